// The X driver over one shared Xlib connection, xdotool, ImageMagick's import and xclip.
#include "support/XDriver.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

// Xlib after gtest (in XDriver.h): its None would break gtest's headers.
#include <X11/Xlib.h>

#include <sstream>
#include <thread>

extern char** environ;

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
    if (ownWindow_) XDestroyWindow(display_, ownWindow_), XSync(display_, False);
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
    std::istringstream out(commandOutput("xdotool search --all --onlyvisible --pid " + std::to_string(pid_) + " --name '^" + title + "$'"));
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
    return window ? imageFromCommand("import -window " + std::to_string(window) + " -depth 8 ppm:-") : Image{};
}

unsigned long XDriver::takeFocus() {
    if (!display_) return 0;
    const int screen = DefaultScreen(display_);
    XSetWindowAttributes attributes{};
    attributes.event_mask = StructureNotifyMask;
    attributes.override_redirect = True;  // placed where asked, whatever manages the windows
    if (ownWindow_) XDestroyWindow(display_, ownWindow_);
    const Window own = XCreateWindow(display_, RootWindow(display_, screen), DisplayWidth(display_, screen) - 40,
                                     DisplayHeight(display_, screen) - 40, 32, 32, 0, CopyFromParent, InputOutput,
                                     CopyFromParent, CWEventMask | CWOverrideRedirect, &attributes);
    ownWindow_ = own;
    XMapRaised(display_, own);
    // Focus can only go to a window once it is viewable.
    for (XEvent event; XWindowEvent(display_, own, StructureNotifyMask, &event), event.type != MapNotify;) {}
    XSetInputFocus(display_, own, RevertToParent, CurrentTime);
    XSync(display_, False);
    return own;
}

std::string XDriver::clipboard() const { return commandOutput("xclip -selection clipboard -out"); }
