#include "support/XDriver.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

// Xlib after gtest (in XDriver.h): its None would break gtest's headers.
#include <X11/Xlib.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace {

// A command's standard output; empty when it failed.
std::string run(const std::string& command) {
    FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char buffer[65536];
    for (size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    return pipe && pclose(pipe) == 0 ? out : std::string();
}

// What ImageMagick writes as a PPM: "P6\n<width> <height>\n255\n", then the RGB bytes.
Image fromPpm(const std::string& ppm) {
    Image image;
    int header = 0;
    if (std::sscanf(ppm.c_str(), "P6 %d %d 255%n", &image.width, &image.height, &header) != 2 ||
        ppm.size() != static_cast<size_t>(header + 1 + 3 * image.width * image.height))
        return {};
    const auto* p = reinterpret_cast<const unsigned char*>(ppm.data()) + header + 1;
    for (int i = 0; i < image.width * image.height; ++i, p += 3) image.rgb.push_back(p[0] << 16 | p[1] << 8 | p[2]);
    return image;
}

}  // namespace

Image readImage(const std::string& path) { return fromPpm(run("convert '" + path + "' -depth 8 ppm:-")); }

bool writeImage(const std::string& path, const Image& image) {
    std::string ppm = "P6\n" + std::to_string(image.width) + " " + std::to_string(image.height) + "\n255\n";
    for (uint32_t p : image.rgb) ppm += {char(p >> 16), char(p >> 8), char(p)};
    FILE* pipe = popen(("convert ppm:- '" + path + "'").c_str(), "w");
    return pipe && std::fwrite(ppm.data(), 1, ppm.size(), pipe) == ppm.size() && pclose(pipe) == 0;
}

void expectGolden(const std::string& path, const std::string& trace) {
    if (std::getenv("LW_UPDATE_GOLDEN")) std::ofstream(path) << trace;
    std::ostringstream golden;
    golden << std::ifstream(path).rdbuf();
    EXPECT_EQ(golden.str(), trace) << path;
}

std::string traceOf(const std::string& script, const Step& step) {
    std::ifstream in(script);
    std::string trace;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        const size_t blank = line.find(' ');
        const std::string shown = step(line.substr(0, blank), blank == std::string::npos ? "" : line.substr(blank + 1));
        trace += line + (shown.empty() ? "" : "  =>  " + shown) + "\n";
    }
    return trace;
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition())
        if (std::chrono::steady_clock::now() > end) return false;
        else std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return true;
}

std::string readText(const Image& screen, const Image& sheet, int x, int y, int cells) {
    const uint32_t fontColour = sheet.at(3, 0);  // a lit pixel of '!'
    auto shows = [&](int cell, int c) {          // c: 32 for a blank
        for (int d = 0; d < 64; ++d) {
            const uint32_t glyph = c > 32 ? sheet.at(8 * ((c - 33) % 15) + d % 8, 8 * ((c - 33) / 15) + d / 8) : 0;
            const uint32_t seen = screen.at(x + 8 * cell + d % 8, y + d / 8);
            if (glyph ? seen != glyph : seen == fontColour) return false;
        }
        return true;
    };
    std::string text;
    for (int cell = 0, c = 32; cell < cells; ++cell, c = 32) {
        while (c < 128 && !shows(cell, c)) ++c;
        text += c < 128 ? char(c) : '?';
    }
    return text.substr(0, text.find_last_not_of(' ') + 1);
}

namespace {

// One connection for the whole test program, opened once and never closed: an X server
// resets when its last client leaves and refuses whoever connects meanwhile, so a
// connection closed after one test could make the next one find no display. The test
// program before this one may just have left the server resetting: it is tried for 5 s.
Display* sharedDisplay() {
    static Display* const display = [] {
        Display* d = nullptr;
        for (int i = 0; i < 100 && !(d = XOpenDisplay(nullptr)); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return d;
    }();
    return display;
}

}  // namespace

XDriver::XDriver() : display_(sharedDisplay()) {}

XDriver::~XDriver() {
    if (pid_ > 0 && kill(pid_, SIGKILL) == 0) waitpid(pid_, nullptr, 0);
}

bool XDriver::start(const std::string& program, const std::string& dir, const std::vector<std::string>& env) {
    // The folder, the entries and the program reach the shell as arguments, unquoted;
    // exec keeps the pid, so the windows found by pid are the program's.
    std::vector<const char*> argv = {"sh", "-c", "cd \"$0\" && exec env \"$@\" 2> stderr.txt", dir.c_str()};
    for (const std::string& entry : env) argv.push_back(entry.c_str());
    argv.insert(argv.end(), {program.c_str(), nullptr});
    return posix_spawnp(&pid_, "sh", nullptr, nullptr, const_cast<char* const*>(argv.data()), environ) == 0;
}

std::optional<int> XDriver::waitExit(std::chrono::milliseconds timeout) {
    int status = 0;
    if (pid_ <= 0 || !waitUntil([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, timeout)) return std::nullopt;
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<unsigned long> XDriver::windows(const std::string& title) const {
    std::istringstream out(run("xdotool search --all --onlyvisible --pid " + std::to_string(pid_) + " --name '^" + title + "$'"));
    std::vector<unsigned long> found;
    for (unsigned long w; out >> w;) found.push_back(w);
    return found;
}

unsigned long XDriver::waitForWindow(const std::string& title, std::chrono::milliseconds timeout) {
    std::vector<unsigned long> found;
    waitUntil([&] { return !(found = windows(title)).empty(); }, timeout);
    return !found.empty() && xdo("windowfocus --sync " + std::to_string(found.back())) ? found.back() : 0;
}

bool XDriver::xdo(const std::string& args) const { return std::system(("xdotool " + args).c_str()) == 0; }

Image XDriver::capture(unsigned long window) const {
    // Window 0 would have import wait for a click.
    return window ? fromPpm(run("import -window " + std::to_string(window) + " -depth 8 ppm:-")) : Image{};
}

std::string XDriver::clipboard() const { return run("xclip -selection clipboard -out"); }
