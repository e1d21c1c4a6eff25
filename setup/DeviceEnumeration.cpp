// The real device enumeration. Each rasteriser is probed in a child process of its own:
// Mesa picks its software rasteriser from LIBGL_ALWAYS_SOFTWARE when the driver is loaded,
// which can happen only once per process, and a broken GL driver then takes down the
// child rather than the dialog. The child is this program run again with the probe
// argument; it reports in the line protocol of parseProbeOutput.
#include "setup/DeviceEnumeration.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <SDL.h>
#include <SDL_opengl.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace {

constexpr const char* kProbeArgument = "--linkweave-gl-probe";
constexpr const char* kSoftwareVariable = "LIBGL_ALWAYS_SOFTWARE";
constexpr int kProbeTimeoutMs = 15000;  // a GL driver that hangs must not hang the dialog

// Tabs and line ends would break the line protocol.
std::string oneLine(const char* text) {
    std::string s = text != nullptr ? text : "";
    for (char& c : s) {
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    }
    return s;
}

// The probe child: lists the displays and names the GL renderer a context gets here.
int runGlProbe() {
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "preflight probe: %s\n", SDL_GetError());
        return 1;
    }
    int count = SDL_GetNumVideoDisplays();
    for (int i = 0; i < count; ++i) {
        SDL_DisplayMode mode{};
        SDL_GetDesktopDisplayMode(i, &mode);
        std::printf("display\t%s (%d x %d)\n", oneLine(SDL_GetDisplayName(i)).c_str(), mode.w, mode.h);
    }
    SDL_Window* window = SDL_CreateWindow("preflight probe", 0, 0, 16, 16,
                                          SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    SDL_GLContext context = window != nullptr ? SDL_GL_CreateContext(window) : nullptr;
    if (context != nullptr) {
        const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
        if (renderer != nullptr && *renderer != '\0') {
            std::printf("device\t%s\t%d\n", oneLine(renderer).c_str(), isSoftwareRenderer(renderer) ? 0 : 1);
        }
        SDL_GL_DeleteContext(context);
    } else {
        std::fprintf(stderr, "preflight probe: no GL context: %s\n", SDL_GetError());
    }
    if (window != nullptr) SDL_DestroyWindow(window);
    SDL_Quit();
    std::fflush(stdout);
    return 0;
}

// Runs the probe child with or without the software rasteriser forced and returns what
// it printed ("" when it could not run or ran out of time).
std::string runProbe(bool forceSoftware) {
    std::string self = "/proc/self/exe";
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::strncmp(*e, kSoftwareVariable, std::strlen(kSoftwareVariable)) == 0 &&
            (*e)[std::strlen(kSoftwareVariable)] == '=') {
            continue;
        }
        env.emplace_back(*e);
    }
    if (forceSoftware) env.push_back(std::string(kSoftwareVariable) + "=1");
    std::vector<char*> envp;
    for (std::string& s : env) envp.push_back(s.data());
    envp.push_back(nullptr);
    std::string arg0 = "preflight";
    std::string arg1 = kProbeArgument;
    char* argv[] = {arg0.data(), arg1.data(), nullptr};

    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, self.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (rc != 0) {
        close(out[0]);
        return {};
    }

    std::string text;
    bool finished = false;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kProbeTimeoutMs);
    while (!finished) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{out[0], POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        char buffer[4096];
        ssize_t n = read(out[0], buffer, sizeof buffer);
        if (n > 0) {
            text.append(buffer, static_cast<size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            finished = true;
        }
    }
    close(out[0]);
    if (!finished) {
        kill(pid, SIGKILL);
        text.clear();
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return text;
}

}  // namespace

bool runProbeChildIfAsked(int argc, char** argv, int& exitCode) {
    if (argc != 2 || std::strcmp(argv[1], kProbeArgument) != 0) return false;
    exitCode = runGlProbe();
    return true;
}

bool enumerateDevices(DeviceLists& displays) {
    displays.clear();
    DeviceLists system = parseProbeOutput(runProbe(false));
    DeviceLists software = parseProbeOutput(runProbe(true));

    displays = !system.empty() ? system : software;
    if (displays.empty()) return false;
    std::vector<Device3D>& devices = displays.front().devices3D;
    devices.clear();

    // Software first, the system's driver second: the second position is the one the
    // dialog prefers when it rasterises in hardware.
    if (!software.empty() && !software.front().devices3D.empty()) {
        Device3D device = software.front().devices3D.front();
        // A driver that ignores the variable gives no software rasteriser to offer.
        if (!device.hardware) {
            device.name = "Software: " + device.name;
            devices.push_back(device);
        }
    }
    if (!system.empty() && !system.front().devices3D.empty()) {
        Device3D device = system.front().devices3D.front();
        device.name = "GL driver: " + device.name;
        devices.push_back(device);
    }
    for (size_t i = 1; i < displays.size(); ++i) displays[i].devices3D.clear();
    return devicesUsable(displays);
}
