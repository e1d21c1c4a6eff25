// Drives the real Preflight on an X display: xdotool clicks and types, the test reads the
// screen's pixels, the window properties and the clipboard through Xlib, and looks at the
// files Preflight leaves in its own temporary working directory. A stand-in `linkweave`
// script there records that it was started.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "setup/SetupLogic.h"

// Xlib last: its None and Bool macros would break gtest's headers.
#include <X11/Xatom.h>
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
const char* const kOneSoftwareDevice =
    "display\tTest display\n"
    "device\tSoftware: test rasteriser\t0\n";

// Runs a program (found on PATH) to its end and returns its standard output.
std::string capture(const std::vector<std::string>& args, int* exitCode = nullptr) {
    int out[2];
    if (pipe(out) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    std::string text;
    char buffer[4096];
    ssize_t n;
    while (rc == 0 && (n = read(out[0], buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
    close(out[0]);
    int status = 0;
    if (rc == 0) waitpid(pid, &status, 0);
    if (exitCode != nullptr) *exitCode = rc == 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return text;
}

void xdo(std::vector<std::string> args) {
    args.insert(args.begin(), "xdotool");
    int rc = 0;
    capture(args, &rc);
    EXPECT_EQ(rc, 0) << "xdotool " << args[1];
}

template <typename F>
bool waitUntil(F condition, std::chrono::milliseconds timeout = 20s) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition()) return true;
        std::this_thread::sleep_for(50ms);
    }
    return condition();
}

std::optional<std::string> fileText(const fs::path& path) { return readWholeFile(path.string()); }

// The display the tests run on: the one they are given, or a private Xvfb.
class XDisplayEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        const char* given = std::getenv("DISPLAY");
        if (given == nullptr || *given == '\0') startXvfb();
        display_ = XOpenDisplay(nullptr);
        ASSERT_NE(display_, nullptr) << "no X display";
    }
    void TearDown() override {
        if (display_ != nullptr) XCloseDisplay(display_);
        if (xvfb_ > 0) {
            kill(xvfb_, SIGTERM);
            waitpid(xvfb_, nullptr, 0);
        }
    }
    static Display* display() { return display_; }

private:
    void startXvfb() {
        for (int n = 90; n < 200; ++n) {
            std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
            std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
            if (fs::exists(socket) || fs::exists(lock)) continue;
            std::string name = ":" + std::to_string(n);
            const char* argv[] = {"Xvfb", name.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp", nullptr};
            if (posix_spawnp(&xvfb_, "Xvfb", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) return;
            if (waitUntil([&] { return fs::exists(socket); }, 10s)) setenv("DISPLAY", name.c_str(), 1);
            return;
        }
    }
    static inline Display* display_ = nullptr;
    pid_t xvfb_ = -1;
};

// The pixels of a window as they are on the screen, 0xRRGGBB each.
struct Shot {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y * width + x)]; }
};

Shot grab(Window window) {
    Display* d = XDisplayEnvironment::display();
    XWindowAttributes a{};
    XGetWindowAttributes(d, window, &a);
    int x = 0, y = 0;
    Window child;
    XTranslateCoordinates(d, window, DefaultRootWindow(d), 0, 0, &x, &y, &child);
    Shot shot;
    XImage* image = XGetImage(d, DefaultRootWindow(d), x, y, static_cast<unsigned>(a.width),
                              static_cast<unsigned>(a.height), AllPlanes, ZPixmap);
    if (image == nullptr) return shot;
    shot.width = a.width;
    shot.height = a.height;
    for (int j = 0; j < a.height; ++j) {
        for (int i = 0; i < a.width; ++i) shot.pixels.push_back(static_cast<uint32_t>(XGetPixel(image, i, j) & 0xFFFFFF));
    }
    XDestroyImage(image);
    return shot;
}

// Widths of the icons set on a window.
std::set<long> iconSizes(Window window) {
    Display* d = XDisplayEnvironment::display();
    Atom icon = XInternAtom(d, "_NET_WM_ICON", False);
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    std::set<long> sizes;
    if (XGetWindowProperty(d, window, icon, 0, 1 << 20, False, XA_CARDINAL, &type, &format, &count, &after, &data) ==
            Success && data != nullptr) {
        const long* v = reinterpret_cast<const long*>(data);
        for (unsigned long i = 0; i + 1 < count; i += 2 + static_cast<unsigned long>(v[i] * v[i + 1])) {
            if (v[i] == v[i + 1]) sizes.insert(v[i]);
        }
        XFree(data);
    }
    return sizes;
}

// The text on the CLIPBOARD, as UTF-8.
std::string clipboardText() {
    Display* d = XDisplayEnvironment::display();
    Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
    Atom clipboard = XInternAtom(d, "CLIPBOARD", False);
    Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
    Atom property = XInternAtom(d, "PREFLIGHT_TEST_CLIP", False);
    XConvertSelection(d, clipboard, utf8, property, w, CurrentTime);
    XFlush(d);
    std::string text;
    bool done = waitUntil(
        [&] {
            XEvent e;
            while (XPending(d) > 0) {
                XNextEvent(d, &e);
                if (e.type == SelectionNotify) return true;
            }
            return false;
        },
        5s);
    if (done) {
        Atom type;
        int format;
        unsigned long count, after;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(d, w, property, 0, 1 << 20, True, AnyPropertyType, &type, &format, &count, &after,
                               &data) == Success && data != nullptr) {
            text.assign(reinterpret_cast<char*>(data), count);
            XFree(data);
        }
    }
    XDestroyWindow(d, w);
    return text;
}

// Centre of a control of the template, in window pixels.
std::pair<int, int> centreOf(int id) {
    const ControlSpec* c = findControl(id);
    DialogRect r = dialogUnitsToPixels(c->rect, kDialogFontBaseUnits);
    if (c->kind == ControlKind::DropDown) {
        r.height = dialogUnitsToPixels({0, 0, 0, kClosedDropDownHeight}, kDialogFontBaseUnits).height;
    }
    return {r.x + r.width / 2, r.y + r.height / 2};
}

class PreflightGui : public ::testing::Test {
protected:
    void SetUp() override {
        // A blank in the folder name: nothing on the way to ./linkweave may go through a shell.
        char pattern[] = "/tmp/preflight gui XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        writeFile("linkweave",
                  "#!/bin/sh\n"
                  "echo \"args=$# cwd=$(pwd)\" > linkweave-ran.txt\n"
                  "sleep 3\n"
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
        std::vector<Window> found;
        std::string out = capture({"xdotool", "search", "--all", "--onlyvisible", "--pid", std::to_string(pid_), "--name",
                                   "^" + title + "$"});
        size_t pos = 0;
        while (pos < out.size()) {
            size_t end = out.find('\n', pos);
            std::string line = out.substr(pos, end - pos);
            if (!line.empty()) found.push_back(std::stoul(line));
            if (end == std::string::npos) break;
            pos = end + 1;
        }
        return found;
    }

    // Waits for a window with this title other than `except`.
    Window waitForWindow(const std::string& title, Window except = 0) {
        Window window = 0;
        waitUntil([&] {
            for (Window w : windows(title)) {
                if (w != except) window = w;
            }
            return window != 0;
        });
        if (window != 0) std::this_thread::sleep_for(300ms);  // let it draw and take input
        return window;
    }

    Window waitForDialog() {
        Window w = waitForWindow(kDialogTitle);
        EXPECT_NE(w, 0u) << "the dialog did not appear";
        // A window is found as soon as it is mapped; GTK takes a moment more to draw it
        // and take input, and a first click before that is lost.
        if (w != 0) {
            xdo({"windowfocus", "--sync", std::to_string(w)});
            std::this_thread::sleep_for(700ms);
        }
        return w;
    }

    // The exit code once Preflight has ended, or nullopt if it is still running.
    std::optional<int> waitExit(std::chrono::milliseconds timeout = 10s) {
        int status = 0;
        bool ended = waitUntil([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, timeout);
        if (!ended) return std::nullopt;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    void click(Window w, int id) {
        auto [x, y] = centreOf(id);
        xdo({"mousemove", "--window", std::to_string(w), std::to_string(x), std::to_string(y), "click", "1"});
        std::this_thread::sleep_for(300ms);
    }

    void keys(Window w, std::vector<std::string> names) {
        xdo({"windowfocus", "--sync", std::to_string(w)});
        names.insert(names.begin(), "key");
        xdo(names);
        std::this_thread::sleep_for(300ms);
    }

    // Picks an item of a drop-down list by opening it and moving from the current item.
    void pick(Window w, int id, const std::string& direction, int steps) {
        click(w, id);
        // The list's popup has to be mapped before it takes keys, or they go to the dialog.
        std::this_thread::sleep_for(500ms);
        std::vector<std::string> k(static_cast<size_t>(steps), direction);
        k.push_back("Return");
        names(k);
    }
    void names(std::vector<std::string> k) {
        k.insert(k.begin(), "key");
        xdo(k);
        std::this_thread::sleep_for(300ms);
    }

    // The text of a message box, copied from its label.
    std::string messageText(Window box) {
        // Tab selects the text (focusing a selectable label does), shift+Tab gives the
        // focus back to OK.
        keys(box, {"Tab", "ctrl+c", "shift+Tab"});
        return clipboardText();
    }

    // Dismisses the "Settings Saved" box and checks that the stand-in Linkweave then ran,
    // detached: Preflight ends while the stand-in is still running.
    void acceptSavedBoxAndExpectLaunch(Window dialog) {
        Window box = waitForWindow(kSavedCaption);
        ASSERT_NE(box, 0u) << "no \"Settings Saved\" box";
        EXPECT_FALSE(fs::exists(dir_ / "linkweave-ran.txt")) << "Linkweave started before OK";
        EXPECT_EQ(messageText(box), kSavedText);
        keys(box, {"Return"});
        EXPECT_EQ(waitExit(), kResultDone);
        ASSERT_TRUE(waitUntil([&] { return fs::exists(dir_ / "linkweave-ran.txt"); }, 10s)) << "Linkweave not started";
        std::string ran = fileText(dir_ / "linkweave-ran.txt").value_or("");
        EXPECT_EQ(ran.substr(0, ran.find('\n')), "args=0 cwd=" + dir_.string());
        EXPECT_EQ(ran.find("finished"), std::string::npos) << "Preflight waited for Linkweave";
        (void)dialog;
    }

    fs::path dir_;
    pid_t pid_ = -1;
};

TEST_F(PreflightGui, DialogShowsItsControlsAndSavesItsDefaults) {
    start();
    Window w = waitForDialog();
    ASSERT_NE(w, 0u);

    Shot shot = grab(w);
    DialogRect size = dialogUnitsToPixels(kDialogSize, kDialogFontBaseUnits);
    ASSERT_EQ(shot.width, size.width);
    ASSERT_EQ(shot.height, size.height);
    capture({"import", "-window", std::to_string(w), "preflight-dialog-test.png"});

    // The logo, pixel for pixel, at its place.
    DialogRect logo = dialogUnitsToPixels(setupDialogControls().front().rect, kDialogFontBaseUnits);
    int same = 0;
    for (int y = 0; y < kLogoSize; ++y) {
        for (int x = 0; x < kLogoSize; ++x) {
            same += shot.at(logo.x + x, logo.y + y) == kArtPalette[static_cast<size_t>(paletteIndexAt(logoImage(), x, y))];
        }
    }
    EXPECT_EQ(same, kLogoSize * kLogoSize);

    // Every control draws something inside its rectangle, and the empty corner of the
    // dialog to the right of the heading stays plain.
    uint32_t background = shot.at(2, 2);
    for (const ControlSpec& c : setupDialogControls()) {
        if (c.kind == ControlKind::Bitmap) continue;
        DialogRect r = dialogUnitsToPixels(c.rect, kDialogFontBaseUnits);
        if (c.kind == ControlKind::DropDown) r.height = centreOf(c.id).second * 2 - r.y * 2;
        int ink = 0;
        for (int y = r.y; y < r.y + r.height; ++y) {
            for (int x = r.x; x < r.x + r.width; ++x) ink += shot.at(x, y) != background;
        }
        EXPECT_GT(ink, 20) << "nothing drawn for " << c.text << " " << c.id;
    }
    for (int y = 2; y < 28; ++y) {
        for (int x = 265; x < size.width - 2; ++x) ASSERT_EQ(shot.at(x, y), background) << x << "," << y;
    }
    EXPECT_EQ(iconSizes(w), (std::set<long>{16, 32}));

    click(w, IdSave);
    // The file is complete before the box is shown. Field 2 depends on this machine's GL.
    std::string saved = fileText(dir_ / "settings.txt").value_or("(none)");
    EXPECT_TRUE(std::regex_match(saved, std::regex("http://www\\.example\\.com/,[01],3,4,0,"))) << saved;
    acceptSavedBoxAndExpectLaunch(w);
}

TEST_F(PreflightGui, SaveWritesTheResolutionPagesFullScreenAndUrlChosen) {
    start(kTwoDevices);
    Window w = waitForDialog();
    ASSERT_NE(w, 0u);
    pick(w, IdResolutionList, "Up", 1);  // 800 x 600
    pick(w, IdPagesList, "Down", 5);     // 1000
    click(w, IdFullScreen);
    click(w, IdUrl);
    keys(w, {"ctrl+a"});
    xdo({"type", "--delay", "5", "http://127.0.0.1:8080/a b,c"});
    click(w, IdSave);
    EXPECT_EQ(fileText(dir_ / "settings.txt"), "http://127.0.0.1:8080/a%20b%2Cc,1,2,9,1,");
    acceptSavedBoxAndExpectLaunch(w);
}

TEST_F(PreflightGui, EnterPressesTheFocusedButtonElseCancel) {
    struct Case {
        const char* name;
        std::vector<std::string> clickAndKeys;  // "click:<id>" or key names
        bool saves;
    };
    const Case cases[] = {
        {"Cancel clicked", {"click:2"}, false},
        {"Escape", {"Escape"}, false},
        {"Enter at the start", {"Return"}, false},
        {"Enter in the URL box", {"click:1020", "Return"}, false},
        {"Enter on the focused Save button", {"click:1020", "Tab", "Tab", "Return"}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile("settings.txt", "http://keep/,1,1,1,1,");
        fs::remove(dir_ / "linkweave-ran.txt");
        start(kTwoDevices);
        Window w = waitForDialog();
        ASSERT_NE(w, 0u);
        for (const std::string& step : c.clickAndKeys) {
            if (step.rfind("click:", 0) == 0) {
                click(w, std::stoi(step.substr(6)));
            } else {
                keys(w, {step});
            }
        }
        if (c.saves) {
            EXPECT_EQ(fileText(dir_ / "settings.txt"), "http://keep/,1,1,1,1,");  // read back, saved again
            acceptSavedBoxAndExpectLaunch(w);
        } else {
            EXPECT_EQ(waitExit(), kResultDone);
            EXPECT_EQ(fileText(dir_ / "settings.txt"), "http://keep/,1,1,1,1,");
            EXPECT_FALSE(fs::exists(dir_ / "settings.txt.new"));
            std::this_thread::sleep_for(200ms);
            EXPECT_FALSE(fs::exists(dir_ / "linkweave-ran.txt"));
        }
    }
}

TEST_F(PreflightGui, HelpShowsItsTextAndLeavesTheDialogOpen) {
    start(kTwoDevices);
    Window w = waitForDialog();
    ASSERT_NE(w, 0u);
    click(w, IdHelp);
    Window help = waitForWindow(kHelpCaption);
    ASSERT_NE(help, 0u);
    EXPECT_EQ(messageText(help), kHelpText);
    keys(help, {"Return"});
    EXPECT_TRUE(waitUntil([&] { return windows(kHelpCaption).empty(); }, 5s));
    EXPECT_EQ(waitExit(500ms), std::nullopt) << "the dialog closed with the Help box";
    EXPECT_EQ(windows(kDialogTitle), std::vector<Window>{w});
    EXPECT_FALSE(fs::exists(dir_ / "settings.txt"));
    keys(w, {"Escape"});
    EXPECT_EQ(waitExit(), kResultDone);
    EXPECT_FALSE(fs::exists(dir_ / "settings.txt"));
}

TEST_F(PreflightGui, NoDeviceShowsTheErrorAndEndsWithCode3) {
    start("display\tA display without 3D devices\n");
    Window box = waitForWindow(kEnumerationErrorCaption);
    ASSERT_NE(box, 0u);
    EXPECT_TRUE(windows(kDialogTitle).empty());
    EXPECT_EQ(messageText(box), kEnumerationErrorText);
    keys(box, {"Return"});
    EXPECT_EQ(waitExit(), kResultNoDevices);
    EXPECT_FALSE(fs::exists(dir_ / "settings.txt"));
    EXPECT_FALSE(fs::exists(dir_ / "linkweave-ran.txt"));
}

TEST_F(PreflightGui, NextStartShowsWhatWasSaved) {
    struct Case {
        const char* name;
        const char* devices;
        std::string file;
        std::string saved;
    };
    const std::string url127 = "http://127.0.0.1:8080/" + std::string(105, 'p');
    const Case cases[] = {
        {"a URL of 127 characters and every field", kTwoDevices, url127 + ",0,0,9,1,", url127 + ",0,0,9,1,"},
        {"a single device and a saved 0", kOneSoftwareDevice, "http://a/,0,2,3,0,", "http://a/,0,2,3,0,"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(dir_ / "linkweave-ran.txt");
        writeFile("settings.txt", c.file);
        start(c.devices);
        Window w = waitForDialog();
        ASSERT_NE(w, 0u);
        click(w, IdSave);
        EXPECT_EQ(fileText(dir_ / "settings.txt"), c.saved);
        acceptSavedBoxAndExpectLaunch(w);
    }
}

TEST_F(PreflightGui, FailuresToSaveOrStartAreReported) {
    // settings.txt cannot be written: the error is shown and the dialog stays open.
    writeFile("settings.txt", "http://old/,1,3,4,0,");
    fs::create_directory(dir_ / "settings.txt.new");
    start(kTwoDevices);
    Window w = waitForDialog();
    ASSERT_NE(w, 0u);
    click(w, IdSave);
    Window error = waitForWindow(kDialogTitle, w);
    ASSERT_NE(error, 0u) << "no error box";
    EXPECT_EQ(messageText(error).rfind("Settings could not be saved.", 0), 0u);
    EXPECT_TRUE(windows(kSavedCaption).empty());
    keys(error, {"Return"});
    EXPECT_EQ(waitExit(500ms), std::nullopt);
    EXPECT_EQ(fileText(dir_ / "settings.txt"), "http://old/,1,3,4,0,");

    // Once it can be written, Save goes on; with no ./linkweave that is reported too.
    fs::remove(dir_ / "settings.txt.new");
    fs::remove(dir_ / "linkweave");
    click(w, IdSave);
    Window box = waitForWindow(kSavedCaption);
    ASSERT_NE(box, 0u);
    keys(box, {"Return"});
    error = waitForWindow(kDialogTitle, w);
    ASSERT_NE(error, 0u) << "no error box for the missing program";
    EXPECT_EQ(messageText(error).rfind("Linkweave could not be started.", 0), 0u);
    keys(error, {"Return"});
    EXPECT_EQ(waitExit(), kResultDone);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new XDisplayEnvironment);
    return RUN_ALL_TESTS();
}
