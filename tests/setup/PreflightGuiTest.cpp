// Preflight on the X display, worked with xdotool through the sessions of
// fixtures/setup/sessions.txt. Each step writes what it did and what the dialog, its
// message boxes (their texts through the clipboard) and its folder then show, and the
// whole trace is compared with the golden one. Every session has a fresh working folder
// and, inside it, a folder with a copy of Preflight and a stand-in `linkweave` beside
// it that records how it was started; both names have a blank, since nothing on the
// way to Linkweave may pass through a shell.

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <thread>

#include "setup/SetupLogic.h"
#include "support/XDriver.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

const std::map<std::string, std::string> kDeviceLists = {
    {"two-devices", "display\tTest display\ndevice\tSoftware: test rasteriser\t0\ndevice\tGL driver: test card\t1\n"},
    {"no-devices", "display\tA display without 3D devices\n"}};
const std::map<std::string, int> kControls = {{"Cancel", IdCancel}, {"Save", IdSave}, {"Help", IdHelp}, {"Url", IdUrl},
                                              {"Resolution", IdResolutionList}, {"Pages", IdPagesList}, {"FullScreen", IdFullScreen}};

// A control of the template in window pixels: the logo at its own size, a drop-down as
// tall as when it is closed.
DialogRect pixelsOf(const ControlSpec& c) {
    DialogRect r = dialogUnitsToPixels(c.rect, kDialogFontBaseUnits);
    if (c.kind == ControlKind::Bitmap) r.width = r.height = kLogoSize;
    if (c.kind == ControlKind::DropDown) r.height = dialogUnitsToPixels({0, 0, 0, kClosedDropDownHeight}, kDialogFontBaseUnits).height;
    return r;
}
uint32_t logoPixel(int x, int y) { return kArtPalette[size_t(paletteIndexAt(logoImage(), x, y))]; }

struct Session {
    XDriver x;
    fs::path dir, bin;
    unsigned long dialog = 0, focused = 0;

    Session() {
        char pattern[] = "/tmp/preflight gui XXXXXX";
        dir = mkdtemp(pattern);
        fs::create_directory(bin = dir / "bin folder");
        write("bin folder/linkweave", "#!/bin/sh\necho \"ran=$0 args=$# cwd=$(pwd) settings=$(cat settings.txt)\" > linkweave-ran.txt\n"
                                      "sleep 3\necho finished >> linkweave-ran.txt\n");
        fs::permissions(bin / "linkweave", fs::perms::owner_all);
        fs::copy_file(PREFLIGHT_FAKE_PATH, bin / "preflight");
    }
    ~Session() { fs::remove_all(dir); }
    void write(const std::string& name, const std::string& content) { std::ofstream(dir / name, std::ios::binary) << content; }
    std::string text(const std::string& name) const { return readWholeFile((dir / name).string()).value_or(""); }
    std::string named(const std::string& text) const { return std::regex_replace(text, std::regex(dir.string()), "the folder"); }

    // The dialog's size, and each control not drawn as it should be: the logo pixel for
    // pixel, the others with some ink on the plain background.
    std::string look() const {
        const Image shot = x.capture(dialog);
        std::string seen = std::to_string(shot.width) + " x " + std::to_string(shot.height);
        for (const ControlSpec& c : setupDialogControls()) {
            const DialogRect r = pixelsOf(c);
            const bool logo = c.kind == ControlKind::Bitmap;
            int differs = 0;
            for (int i = 0; i < r.width * r.height; ++i)
                differs += shot.at(r.x + i % r.width, r.y + i / r.width) != (logo ? logoPixel(i % r.width, i / r.width) : shot.at(2, 2));
            if (logo ? differs != 0 : differs <= 20) seen += std::string(", not drawn: ") + (logo ? "logo" : c.text);
        }
        return seen;
    }
    bool keys(const std::string& names) const {
        return x.xdo("windowfocus --sync " + std::to_string(focused) + " key " + names + " sleep 0.3");
    }
    void click(const std::string& control) {
        const DialogRect r = pixelsOf(*findControl(kControls.at(control)));
        x.xdo("mousemove --window " + std::to_string(focused = dialog) + " " + std::to_string(r.x + r.width / 2) + " " +
              std::to_string(r.y + r.height / 2) + " click 1 sleep 0.3");
    }

    // One step of a session; what it shows, or "" for a step that only acts.
    std::string step(const std::string& command, const std::string& rest) {
        const std::string word = rest.substr(0, rest.find(' '));
        if (command == "settings") write("settings.txt", word);
        if (command == "start" && word != "real") write("fake-devices.txt", kDeviceLists.at(word));
        if (command == "start" && !x.start(word == "real" ? PREFLIGHT_PATH : (bin / "preflight").string(), dir.string())) return "not started";
        if (command == "remove") fs::remove(bin / word);
        if (command == "dialog") {  // mapped is not yet drawn and taking input: a click before that is lost
            focused = dialog = x.waitForWindow(kDialogTitle);
            waitUntil([&] { return look().find("not drawn") == std::string::npos; }, 10s);
            std::this_thread::sleep_for(300ms);
            return look();
        }
        if (command == "click") click(word);
        if (command == "keys") keys(rest);
        if (command == "xdo") x.xdo(rest);
        if (command == "box") {  // its text: Tab selects the label's text, shift+Tab gives OK back the focus
            focused = x.waitForWindow(rest);
            std::this_thread::sleep_for(300ms);
            if (!focused || !keys("Tab ctrl+c shift+Tab")) return "no box";
            return named(std::regex_replace(x.clipboard(), std::regex("\n"), "\\n"));
        }
        if (command == "windows")  // as many as are left once those closing have gone
            return waitUntil([&] { return x.windows(rest).empty(); }, 1s) ? "0" : std::to_string(x.windows(rest).size());
        if (command == "exit") {
            const std::optional<int> code = x.waitExit(word == "soon" ? 500ms : 10s);  // 1: it says why
            return !code ? "still running" : "exit code " + std::to_string(*code) + (*code == 1 ? ": " + text("stderr.txt") : "");
        }
        if (command == "files") {  // a moment after the step before, for whatever comes late
            std::this_thread::sleep_for(200ms);
            std::string seen;
            for (const char* name : {"settings.txt", "settings.txt.new", "linkweave-ran.txt"})
                if (fs::exists(dir / name)) seen += std::string(seen.empty() ? "" : ", ") + name + " '" + text(name) + "'";
            return seen.empty() ? "none" : seen;
        }
        if (command == "launched") {  // once Preflight has ended, while the stand-in still runs
            waitUntil([&] { return text("linkweave-ran.txt").ends_with("\n"); }, 10s);
            return std::regex_replace(named(text("linkweave-ran.txt")), std::regex("\n$"), "");
        }
        return "";
    }
};

TEST(PreflightGui, SessionsLeaveTheGoldenTrace) {
    const XDriver display;  // connected through every session
    ASSERT_TRUE(display.connected()) << "no X display: run under xvfb-run";
    std::unique_ptr<Session> session;
    const std::string trace = traceOf(LW_FIXTURES "/setup/sessions.txt", [&](const std::string& command, const std::string& rest) {
        if (command == "session") session.reset(), session = std::make_unique<Session>();
        return session ? session->step(command, rest) : "";
    });
    expectGolden(LW_FIXTURES "/setup/sessions-trace.txt", trace);
}

}  // namespace
