// The overlay: glyph cells and the blits of drawText, the icons' hit areas and
// toggles, the hover label, the panels' texts and places for two display heights, and
// the hand-over of a URL to the browser launcher.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "overlay/BrowserOpener.h"
#include "overlay/Icons.h"
#include "overlay/Text.h"
#include "render/Engine.h"
#include "shell/Panels.h"
#include "support/TestSupport.h"
#include "tests/render/FakeDevice.h"
#include "webspace/Webspace.h"

namespace {

TEST(DrawText, EveryByteTakesACellAndOnlyGlyphsAreBlitted) {
    struct Case { std::string text; int32_t x; std::vector<std::array<int32_t, 6>> blits; };  // x, y, source
    const Case cases[] = {
        {"A", 10, {{10, 4, 16, 16, 24, 24}}},
        {"!", 0, {{0, 4, 0, 0, 8, 8}}},
        {"~\x7f", 0, {{0, 4, 24, 48, 32, 56}, {8, 4, 32, 48, 40, 56}}},
        {"a b", 10, {{10, 4, 32, 32, 40, 40}, {26, 4, 40, 32, 48, 40}}},  // the space is refused
        {"\x01\x15\x80\xff" "0", 0, {{32, 4, 0, 8, 8, 16}}},               // skipped bytes keep their cells
        {"", 0, {}},
        // The last cell would end one pixel past the 800-pixel edge: only it is lost.
        {"AB", 785, {{785, 4, 16, 16, 24, 24}}},
    };
    for (const Case& c : cases) {
        // An engine with the 192 x 256 sprite sheet and an 800 x 600 back buffer.
        FakeDevice device;
        char url[kInitialUrlCapacity] = {};
        int32_t maxPages = 300;
        Engine engine{&device, url, &maxPages};
        engine.spriteSheet = new Surface;
        engine.spriteSheet->adopt(&device, 1, 192, 256);
        engine.backBuffer = new Surface;
        engine.backBuffer->adopt(&device, 2, 800, 600);
        EXPECT_EQ(drawText(engine, c.x, 4, c.text.c_str()), static_cast<int>(c.text.size()));
        EXPECT_EQ(device.blits, c.blits) << c.text;
    }
}

struct IconRig {
    std::unique_ptr<Webspace> space{new Webspace};
    int32_t selected = 2;
    Icons icons;
    struct Recorder : PageOpener {
        std::vector<std::string> opened;
        bool open(const char* url) override { opened.push_back(url); return true; }
    } opener;
    IconRig() {
        icons.space = space.get();
        icons.selectedNode = &selected;
        icons.opener = &opener;
        std::snprintf(space->pages[2].url, kTextCapacity, "http://127.0.0.1/two.html");
    }
    void click(float x, float y, int frames = 1) {
        Vector3 pointer(x, y, 0);
        for (int i = 0; i < frames; ++i) icons.handleClicks(pointer, true, 800, 600);
    }
};

TEST(Icons, HitAreasAreStrictAndEdgesBelongToNoTarget) {
    enum What { Nothing, Pause, Resume, Open, Help, Debug };
    struct Case { float x, y; What what; };
    const Case cases[] = {
        {160, 525, Pause}, {177.5f, 521, Pause}, {178, 525, Nothing}, {157, 525, Nothing},
        {180, 525, Resume}, {196.9f, 529.9f, Resume}, {197, 525, Nothing}, {185, 520, Nothing},
        {185, 530, Nothing}, {101, 425, Open}, {100, 425, Nothing}, {172, 425, Nothing},
        {150, 420, Nothing}, {150, 430, Nothing}, {788, 588, Help}, {785, 585, Help},
        {783.5f, 588, Debug}, {784, 588, Nothing}, {769, 588, Debug}, {768, 588, Nothing}, {788, 584, Nothing},
    };
    for (const Case& c : cases) {
        IconRig rig;
        rig.space->paused = (c.what == Resume) ? 1 : 0;  // only a paused crawl can be resumed
        rig.click(c.x, c.y);
        EXPECT_EQ(std::make_tuple(rig.space->paused != (c.what == Resume), rig.opener.opened.size(), rig.icons.helpVisible,
                                  rig.icons.debugVisible),
                  std::make_tuple(c.what == Pause || c.what == Resume, c.what == Open ? 1u : 0u, c.what == Help,
                                  c.what == Debug))
            << c.x << "," << c.y;
    }
}

TEST(Icons, TogglesFlipEveryHeldFrameAndTheOpenBarFiresOnce) {
    for (const int frames : {1, 2, 3}) {
        IconRig rig;
        rig.click(786, 586, frames);  // help
        rig.click(770, 586, frames);  // debug
        EXPECT_EQ(std::make_tuple(rig.icons.helpVisible, rig.icons.debugVisible), std::make_tuple(frames % 2, frames % 2));
    }
    IconRig rig;
    rig.click(120, 425, 5);
    EXPECT_EQ(rig.opener.opened, std::vector<std::string>{"http://127.0.0.1/two.html"});  // the selected page
}

TEST(Icons, HoverLabelHoldsTheLongestUrlAndClearsOffANode) {
    IconRig rig;
    const std::string longest = "http://127.0.0.1/" + std::string(255 - 17, 'x');
    std::snprintf(rig.space->pages[7].url, kTextCapacity, "%s", longest.c_str());
    rig.icons.updateLabel(7);
    EXPECT_EQ(std::string(rig.icons.pageLabel), "Page: " + longest);
    rig.icons.updateLabel(-1);
    EXPECT_STREQ(rig.icons.pageLabel, "");
}

// Records each text as "x,y text".
struct RecordingCanvas : OverlayCanvas {
    std::vector<std::string> texts;
    void text(int32_t x, int32_t y, const char* s) override {
        texts.push_back(std::to_string(x) + "," + std::to_string(y) + " " + s);
    }
    void sprite(const Rect&, int32_t, int32_t) override {}
};

TEST(Panels, TextsAndPlacesFollowTheDisplayHeight) {
    const std::map<int32_t, std::vector<std::string>> expected = {
        {600, {"10,4 Linkweave Beta - https://linkweave.example/", "10,420 NODE INFO", "10,440   Selected Node: 9",
               "10,450        Node URL: empty", "10,460      Node Title: No Title", "10,480     Status Code: 0",
               "178,480  : No Errors", "10,490 Number of Links: 0", "10,520 TRACE INFO",
               "10,540           Total Nodes: 3", "10,550   Current Mother Node: 1", "225,550 http://127.0.0.1/one.html",
               "10,570              Progress: ", "10,580 Number of Links Found: 4", "10,30 HELP",
               "10,80 Run Trace: Click on `Paused` or `Running` icons to start and stop Linkweave", "10,150 DEBUG",
               "10,180 Mouse x:400.000000", "10,260 Rotate x:3.140000", "10,280 Distance:10.000000"}},
        {300, {"10,120 NODE INFO", "10,220 TRACE INFO", "10,280 Number of Links Found: 4", "10,150 DEBUG"}},
    };
    for (const auto& [height, texts] : expected) {
        std::unique_ptr<Webspace> space(new Webspace);
        for (const char* u : {"http://127.0.0.1/", "http://127.0.0.1/one.html", "http://127.0.0.1/two.html"}) space->findOrAdd(u, -1);
        space->cursor = 1;
        space->pages[1].linkCount = 4;
        Viewer viewer;
        viewer.reset(*space, 0, 800, height);
        Icons icons;
        icons.helpVisible = icons.debugVisible = 1;
        RecordingCanvas canvas;
        drawOverlay(canvas, OverlayView{800, height, space.get(), 9, &viewer, &icons, 0});
        for (const std::string& t : texts) {
            EXPECT_EQ(std::count(canvas.texts.begin(), canvas.texts.end(), t), 1)
                << t << " among " << ::testing::PrintToString(canvas.texts);
        }
    }
}

using BrowserLaunch = TempDirTest;

TEST_F(BrowserLaunch, UrlArrivesAsOneArgumentWithoutAShellAndLeavesNoChild) {
    // A stand-in launcher that writes its arguments, one per line.
    writeFile("fake-open", "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$0.args\"\n");
    chmod("fake-open", 0755);
    const std::string program = dir_ + "/fake-open";
    const std::string url = "http://127.0.0.1/a b;touch pwned&x=$(id)'\"|`id`";
    ASSERT_TRUE(BrowserOpener(program.c_str()).open(url.c_str()));
    std::vector<std::string> args;
    for (int i = 0; i < 200 && args.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        args = readLines(program + ".args");
    }
    EXPECT_EQ(args, std::vector<std::string>{url});
    EXPECT_FALSE(std::ifstream("pwned").good());
    // The launcher was handed to init: we have no child left to reap.
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

}  // namespace
