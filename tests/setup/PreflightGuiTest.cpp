// Drives the real Preflight on an X display (run under xvfb-run): xdotool clicks and
// types, the test reads the screen's pixels and the clipboard through Xlib, and looks at
// the files Preflight leaves in its own temporary working directory. A stand-in
// `linkweave` script there records that it was started.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "setup/SetupLogic.h"

// Xlib last: its None and Bool macros would break gtest's headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#undef None
#undef Bool

extern char** environ;

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

const char* const kTwoDevices =
    "display\tTest display\n"
    "device\tSoftware: test rasteriser\t0\n"
    "device\tGL driver: test card\t1\n";

// Runs a shell command line to its end and returns its standard output.
std::string output(const std::string& command) {
    FILE* pipe = popen(command.c_str(), "r");
    std::string text;
    char buffer[4096];
    for (size_t n; pipe != nullptr && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
    if (pipe != nullptr) pclose(pipe);
    return text;
}

void xdo(const std::string& args) { EXPECT_EQ(std::system(("xdotool " + args).c_str()), 0) << "xdotool " << args; }

template <typename F>
bool waitUntil(F condition, std::chrono::milliseconds timeout = 20s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition()) return true;
        std::this_thread::sleep_for(50ms);
    }
    return condition();
}

Display* display() {
    static Display* const d = XOpenDisplay(nullptr);
    return d;
}

// The text on the CLIPBOARD, as UTF-8.
std::string clipboardText() {
    Display* d = display();
    const Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
    const Atom property = XInternAtom(d, "PREFLIGHT_TEST_CLIP", False);
    XConvertSelection(d, XInternAtom(d, "CLIPBOARD", False), XInternAtom(d, "UTF8_STRING", False), property, w,
                      CurrentTime);
    XFlush(d);
    const bool done = waitUntil(
        [&] {
            XEvent e;
            while (XPending(d) > 0) {
                XNextEvent(d, &e);
                if (e.type == SelectionNotify) return true;
            }
            return false;
        },
        5s);
    std::string text;
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    if (done && XGetWindowProperty(d, w, property, 0, 1 << 20, True, AnyPropertyType, &type, &format, &count, &after,
                                   &data) == Success && data != nullptr) {
        text.assign(reinterpret_cast<char*>(data), count);
        XFree(data);
    }
    XDestroyWindow(d, w);
    return text;
}

// A control of the template in window pixels: the logo at its own size, a drop-down as
// tall as when it is closed.
DialogRect pixelsOf(const ControlSpec& c) {
    DialogRect r = dialogUnitsToPixels(c.rect, kDialogFontBaseUnits);
    if (c.kind == ControlKind::Bitmap) r.width = r.height = kLogoSize;
    if (c.kind == ControlKind::DropDown) {
        r.height = dialogUnitsToPixels({0, 0, 0, kClosedDropDownHeight}, kDialogFontBaseUnits).height;
    }
    return r;
}

class PreflightGui : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(display(), nullptr) << "no X display: run under xvfb-run";
        // A blank in the folder name: nothing on the way to ./linkweave may go through a shell.
        char pattern[] = "/tmp/preflight gui XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        writeFile("linkweave", "#!/bin/sh\necho \"args=$# cwd=$(pwd)\" > linkweave-ran.txt\nsleep 3\n"
                               "{ echo finished >> linkweave-ran.txt; } 2>/dev/null\n");
        fs::permissions(dir_ / "linkweave", fs::perms::owner_all);
    }

    void TearDown() override {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        fs::remove_all(dir_);
    }

    void writeFile(const std::string& name, const std::string& content) {
        std::ofstream(dir_ / name, std::ios::binary) << content;
    }
    std::optional<std::string> fileText(const std::string& name) { return readWholeFile((dir_ / name).string()); }

    // Starts Preflight in the test's folder: the real one, or the one whose devices come
    // from `fakeDevices`.
    void start(std::optional<std::string> fakeDevices = std::nullopt) {
        if (fakeDevices) writeFile("fake-devices.txt", *fakeDevices);
        const char* path = fakeDevices ? PREFLIGHT_FAKE_PATH : PREFLIGHT_PATH;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addchdir_np(&actions, dir_.c_str());
        char* argv[] = {const_cast<char*>(path), nullptr};
        ASSERT_EQ(posix_spawn(&pid_, path, &actions, nullptr, argv, environ), 0);
        posix_spawn_file_actions_destroy(&actions);
    }

    // The visible windows of Preflight with this title.
    std::vector<Window> windows(const std::string& title) {
        std::istringstream out(
            output("xdotool search --all --onlyvisible --pid " + std::to_string(pid_) + " --name '^" + title + "$'"));
        std::vector<Window> found;
        for (Window w; out >> w;) found.push_back(w);
        return found;
    }

    Window waitForWindow(const std::string& title) {
        Window window = 0;
        waitUntil([&] {
            const std::vector<Window> found = windows(title);
            window = found.empty() ? 0 : found.back();
            return window != 0;
        });
        if (window != 0) std::this_thread::sleep_for(300ms);  // let it draw and take input
        return window;
    }

    Window waitForDialog() {
        const Window w = waitForWindow(kDialogTitle);
        // A window is found as soon as it is mapped; GTK takes a moment more to draw it
        // and take input, and a first click before that is lost.
        if (w != 0) {
            xdo("windowfocus --sync " + std::to_string(w));
            std::this_thread::sleep_for(700ms);
        }
        return w;
    }

    // The exit code once Preflight has ended, or nullopt if it is still running.
    std::optional<int> waitExit(std::chrono::milliseconds timeout = 10s) {
        int status = 0;
        if (!waitUntil([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, timeout)) return std::nullopt;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    void click(Window w, int id) {
        const DialogRect r = pixelsOf(*findControl(id));
        xdo("mousemove --window " + std::to_string(w) + " " + std::to_string(r.x + r.width / 2) + " " +
            std::to_string(r.y + r.height / 2) + " click 1");
        std::this_thread::sleep_for(300ms);
    }

    // Presses keys (names separated by blanks), in the window `w` has the focus given to it first.
    void keys(const std::string& names, Window w = 0) {
        if (w != 0) xdo("windowfocus --sync " + std::to_string(w));
        xdo("key " + names);
        std::this_thread::sleep_for(300ms);
    }

    // Picks an item of a drop-down list by opening it and moving from the current item.
    void pick(Window w, int id, const std::string& direction, int steps) {
        click(w, id);
        // The list's popup has to be mapped before it takes keys, or they go to the dialog.
        std::this_thread::sleep_for(500ms);
        std::string k;
        for (int i = 0; i < steps; ++i) k += direction + " ";
        keys(k + "Return");
    }

    // The text of a message box: Tab selects its label's text, shift+Tab gives the focus
    // back to OK.
    std::string messageText(Window box) {
        keys("Tab ctrl+c shift+Tab", box);
        return clipboardText();
    }

    // Dismisses the "Settings Saved" box and checks that the stand-in Linkweave then ran,
    // detached: Preflight ends while the stand-in is still running.
    void acceptSavedBoxAndExpectLaunch() {
        const Window box = waitForWindow(kSavedCaption);
        ASSERT_NE(box, 0u) << "no \"Settings Saved\" box";
        EXPECT_FALSE(fs::exists(dir_ / "linkweave-ran.txt")) << "Linkweave started before OK";
        EXPECT_EQ(messageText(box), kSavedText);
        keys("Return", box);
        EXPECT_EQ(waitExit(), kResultDone);
        ASSERT_TRUE(waitUntil([&] { return fs::exists(dir_ / "linkweave-ran.txt"); }, 10s)) << "Linkweave not started";
        const std::string ran = fileText("linkweave-ran.txt").value_or("");
        EXPECT_EQ(ran.substr(0, ran.find('\n')), "args=0 cwd=" + dir_.string());
        EXPECT_EQ(ran.find("finished"), std::string::npos) << "Preflight waited for Linkweave";
    }

    fs::path dir_;
    pid_t pid_ = -1;
};

TEST_F(PreflightGui, DialogShowsItsControlsAndSavesItsDefaults) {
    start();
    const Window w = waitForDialog();
    ASSERT_NE(w, 0u) << "the dialog did not appear";
    output("import -window " + std::to_string(w) + " preflight-dialog-test.png");

    // The screen under the window: the logo pixel for pixel, and ink in every control.
    XWindowAttributes a{};
    XGetWindowAttributes(display(), w, &a);
    const DialogRect size = dialogUnitsToPixels(kDialogSize, kDialogFontBaseUnits);
    ASSERT_EQ(std::make_pair(a.width, a.height), std::make_pair(size.width, size.height));
    int x0 = 0, y0 = 0;
    Window child;
    XTranslateCoordinates(display(), w, DefaultRootWindow(display()), 0, 0, &x0, &y0, &child);
    XImage* shot = XGetImage(display(), DefaultRootWindow(display()), x0, y0, static_cast<unsigned>(a.width),
                             static_cast<unsigned>(a.height), AllPlanes, ZPixmap);
    ASSERT_NE(shot, nullptr);
    auto at = [&](int x, int y) { return static_cast<uint32_t>(XGetPixel(shot, x, y) & 0xFFFFFF); };
    const uint32_t background = at(2, 2);
    for (const ControlSpec& c : setupDialogControls()) {
        const DialogRect r = pixelsOf(c);
        const bool logo = c.kind == ControlKind::Bitmap;
        int differs = 0;  // pixels other than the logo's own, or than the plain background
        for (int y = 0; y < r.height; ++y) {
            for (int x = 0; x < r.width; ++x) {
                differs += at(r.x + x, r.y + y) !=
                           (logo ? kArtPalette[static_cast<size_t>(paletteIndexAt(logoImage(), x, y))] : background);
            }
        }
        EXPECT_TRUE(logo ? differs == 0 : differs > 20) << "not drawn as it should be: " << c.text << " " << c.id;
    }
    XDestroyImage(shot);

    click(w, IdSave);
    // The file is complete before the box is shown. Field 2 depends on this machine's GL.
    const std::string saved = fileText("settings.txt").value_or("(none)");
    EXPECT_TRUE(std::regex_match(saved, std::regex("http://www\\.example\\.com/,[01],3,4,0,"))) << saved;
    acceptSavedBoxAndExpectLaunch();
}

TEST_F(PreflightGui, SaveWritesTheResolutionPagesFullScreenAndUrlChosen) {
    start(kTwoDevices);
    const Window w = waitForDialog();
    ASSERT_NE(w, 0u) << "the dialog did not appear";
    pick(w, IdResolutionList, "Up", 1);  // 800 x 600
    pick(w, IdPagesList, "Down", 5);     // 1000
    click(w, IdFullScreen);
    click(w, IdUrl);
    keys("ctrl+a", w);
    xdo("type --delay 5 'http://127.0.0.1:8080/a b,c'");
    click(w, IdSave);
    EXPECT_EQ(fileText("settings.txt"), "http://127.0.0.1:8080/a%20b%2Cc,1,2,9,1,");
    acceptSavedBoxAndExpectLaunch();
}

TEST_F(PreflightGui, CancelEscapeAndEnterWithNoButtonFocusedWriteNothing) {
    struct Case {
        const char* name;
        int click;        // the control clicked first, 0 for none
        const char* key;  // then pressed, "" for none
    };
    const Case cases[] = {
        {"Cancel clicked", IdCancel, ""},
        {"Escape", 0, "Escape"},
        {"Enter at the start", 0, "Return"},
        {"Enter in the URL box", IdUrl, "Return"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile("settings.txt", "http://keep/,1,1,1,1,");
        start(kTwoDevices);
        const Window w = waitForDialog();
        ASSERT_NE(w, 0u) << "the dialog did not appear";
        if (c.click != 0) click(w, c.click);
        if (*c.key != '\0') keys(c.key, w);
        EXPECT_EQ(waitExit(), kResultDone);
        EXPECT_EQ(fileText("settings.txt"), "http://keep/,1,1,1,1,");
        EXPECT_FALSE(fs::exists(dir_ / "settings.txt.new"));
        std::this_thread::sleep_for(200ms);
        EXPECT_FALSE(fs::exists(dir_ / "linkweave-ran.txt"));
    }
}

TEST_F(PreflightGui, HelpShowsItsTextAndLeavesTheDialogOpen) {
    start(kTwoDevices);
    const Window w = waitForDialog();
    ASSERT_NE(w, 0u) << "the dialog did not appear";
    click(w, IdHelp);
    const Window help = waitForWindow(kHelpCaption);
    ASSERT_NE(help, 0u);
    EXPECT_EQ(messageText(help), kHelpText);
    keys("Return", help);
    EXPECT_TRUE(waitUntil([&] { return windows(kHelpCaption).empty(); }, 5s));
    EXPECT_EQ(waitExit(500ms), std::nullopt) << "the dialog closed with the Help box";
    EXPECT_EQ(windows(kDialogTitle), std::vector<Window>{w});
    keys("Escape", w);
    EXPECT_EQ(waitExit(), kResultDone);
    EXPECT_FALSE(fs::exists(dir_ / "settings.txt"));
}

TEST_F(PreflightGui, NoDeviceShowsTheErrorAndEndsWithCode3) {
    start("display\tA display without 3D devices\n");
    const Window box = waitForWindow(kEnumerationErrorCaption);
    ASSERT_NE(box, 0u);
    EXPECT_TRUE(windows(kDialogTitle).empty());
    EXPECT_EQ(messageText(box), kEnumerationErrorText);
    keys("Return", box);
    EXPECT_EQ(waitExit(), kResultNoDevices);
    EXPECT_FALSE(fs::exists(dir_ / "settings.txt"));
    EXPECT_FALSE(fs::exists(dir_ / "linkweave-ran.txt"));
}

}  // namespace
