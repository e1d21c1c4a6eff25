// The overlay: glyph cells and the blits of drawText, the icons' hit areas and
// toggles, the hover label, the panels' texts and places for two display heights, and
// the hand-over of a URL to the browser launcher.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
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

struct Blit {
    int32_t x, y;
    Rect source;
};

struct RecordingDevice : FakeDevice {
    std::vector<Blit> blits;
    ResultCode bltFast(SurfaceHandle, int32_t x, int32_t y, SurfaceHandle, const Rect& r, uint32_t) override {
        blits.push_back({x, y, r});
        return kOk;
    }
};

// An engine with a 192 x 256 sheet and a back buffer of the given size.
struct TextRig {
    RecordingDevice device;
    char url[kInitialUrlCapacity] = {};
    int32_t maxPages = 300;
    Engine engine{&device, url, &maxPages};
    TextRig(uint32_t width = 800, uint32_t height = 600) {
        engine.spriteSheet = new Surface;
        engine.spriteSheet->adopt(&device, 1, 192, 256);
        engine.backBuffer = new Surface;
        engine.backBuffer->adopt(&device, 2, width, height);
    }
};

TEST(DrawText, EveryByteTakesACellAndOnlyGlyphsAreBlitted) {
    struct Case { std::string text; int32_t x; std::vector<Blit> expected; };
    const Case cases[] = {
        {"A", 10, {{10, 4, {16, 16, 24, 24}}}},
        {"!", 0, {{0, 4, {0, 0, 8, 8}}}},
        {"~\x7f", 0, {{0, 4, {24, 48, 32, 56}}, {8, 4, {32, 48, 40, 56}}}},
        {"a b", 10, {{10, 4, {32, 32, 40, 40}}, {26, 4, {40, 32, 48, 40}}}},  // the space is refused
        {"\x01\x15\x80\xff" "0", 0, {{32, 4, {0, 8, 8, 16}}}},       // skipped bytes keep their cells
        {"", 0, {}},
        // The last cell would end one pixel past the 800-pixel edge: only it is lost.
        {"AB", 785, {{785, 4, {16, 16, 24, 24}}}},
    };
    for (const Case& c : cases) {
        TextRig rig;
        EXPECT_EQ(drawText(rig.engine, c.x, 4, c.text.c_str()), static_cast<int>(c.text.size()));
        ASSERT_EQ(rig.device.blits.size(), c.expected.size()) << c.text;
        for (size_t i = 0; i < c.expected.size(); ++i) {
            const Blit& got = rig.device.blits[i];
            const Blit& want = c.expected[i];
            EXPECT_EQ(got.x, want.x) << c.text;
            EXPECT_EQ(got.y, want.y);
            EXPECT_EQ(got.source.left, want.source.left) << c.text << " #" << i;
            EXPECT_EQ(got.source.top, want.source.top);
            EXPECT_EQ(got.source.right, want.source.right);
            EXPECT_EQ(got.source.bottom, want.source.bottom);
        }
    }
    // Codes 22 to 32 give cells left of the sheet, which no blit takes.
    Rect cell;
    ASSERT_TRUE(glyphCell(' ', cell));
    EXPECT_LT(cell.left, 0);
    EXPECT_FALSE(glyphCell('\x15', cell));
}

struct IconRig {
    std::unique_ptr<Webspace> space{new Webspace};
    int32_t selected = 2;
    Icons icons;
    struct Recorder : PageOpener {
        std::vector<std::string> opened;
        bool open(const char* url) override {
            opened.push_back(url);
            return true;
        }
    } opener;
    IconRig() {
        icons.space = space.get();
        icons.selectedNode = &selected;
        icons.opener = &opener;
        std::snprintf(space->pages[2].url, kTextCapacity, "http://127.0.0.1/two.html");
    }
};

TEST(Icons, HitAreasAreStrictAndEdgesBelongToNoTarget) {
    constexpr int32_t W = 800, H = 600;
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
        rig.space->paused = (c.what == Resume) ? 1 : 0;
        if (c.what == Pause) rig.space->paused = 0;
        const uint8_t pausedBefore = rig.space->paused;
        Vector3 pointer(c.x, c.y, 0);
        rig.icons.handleClicks(pointer, true, W, H);
        EXPECT_EQ(rig.space->paused != pausedBefore, c.what == Pause || c.what == Resume) << c.x << "," << c.y;
        EXPECT_EQ(rig.opener.opened.size(), c.what == Open ? 1u : 0u) << c.x << "," << c.y;
        EXPECT_EQ(rig.icons.helpVisible, c.what == Help ? 1 : 0) << c.x << "," << c.y;
        EXPECT_EQ(rig.icons.debugVisible, c.what == Debug ? 1 : 0) << c.x << "," << c.y;
        // Without the button nothing happens anywhere.
        IconRig idle;
        Vector3 still(c.x, c.y, 0);
        idle.icons.handleClicks(still, false, W, H);
        EXPECT_EQ(idle.icons.helpVisible + idle.icons.debugVisible, 0);
        EXPECT_TRUE(idle.opener.opened.empty());
    }
}

TEST(Icons, TogglesFlipEveryHeldFrameAndTheOpenBarFiresOnce) {
    for (const int frames : {1, 2, 3}) {
        IconRig rig;
        Vector3 help(786, 586, 0), debug(770, 586, 0);
        for (int i = 0; i < frames; ++i) {
            rig.icons.handleClicks(help, true, 800, 600);
            rig.icons.handleClicks(debug, true, 800, 600);
        }
        EXPECT_EQ(rig.icons.helpVisible, frames % 2) << frames;
        EXPECT_EQ(rig.icons.debugVisible, frames % 2) << frames;
    }
    IconRig rig;
    Vector3 bar(120, 425, 0);
    for (int i = 0; i < 5; ++i) rig.icons.handleClicks(bar, true, 800, 600);
    ASSERT_EQ(rig.opener.opened.size(), 1u);
    EXPECT_EQ(rig.opener.opened[0], "http://127.0.0.1/two.html");  // the selected page
    EXPECT_EQ(bar.y, 415.0f);
}

TEST(Icons, HoverLabelNamesTheHoveredPageAndHoldsTheLongestUrl) {
    IconRig rig;
    rig.icons.updateLabel(2);
    EXPECT_STREQ(rig.icons.pageLabel, "Page: http://127.0.0.1/two.html");
    rig.icons.updateLabel(-1);
    EXPECT_STREQ(rig.icons.pageLabel, "");
    std::string longest = "http://127.0.0.1/" + std::string(255 - 17, 'x');
    std::snprintf(rig.space->pages[7].url, kTextCapacity, "%s", longest.c_str());
    rig.icons.updateLabel(7);
    EXPECT_EQ(std::string(rig.icons.pageLabel), "Page: " + longest);
}

struct Drawn {
    int32_t x, y;
    std::string text;  // empty for a sprite
    Rect source;
};

struct RecordingCanvas : OverlayCanvas {
    std::vector<Drawn> items;
    void text(int32_t x, int32_t y, const char* s) override { items.push_back({x, y, s, {}}); }
    void sprite(const Rect& r, int32_t x, int32_t y) override { items.push_back({x, y, "", r}); }
    const Drawn* find(const std::string& prefix) const {
        for (const Drawn& d : items)
            if (!d.text.empty() && d.text.rfind(prefix, 0) == 0) return &d;
        return nullptr;
    }
    int indexOfSprite(const Rect& r) const {
        for (size_t i = 0; i < items.size(); ++i)
            if (items[i].text.empty() && items[i].source.left == r.left && items[i].source.top == r.top) return static_cast<int>(i);
        return -1;
    }
};

TEST(Panels, TextsAndPlacesFollowTheDisplayHeight) {
    struct Case { int32_t height; std::string text; int32_t x, y; };
    const Case cases[] = {
        {600, "Linkweave Beta - https://linkweave.example/", 10, 4},
        {600, "NODE INFO", 10, 420},
        {600, "  Selected Node: 9", 10, 440},
        {600, "       Node URL: empty", 10, 450},
        {600, "     Node Title: No Title", 10, 460},
        {600, "    Status Code: 0", 10, 480},
        {600, " : No Errors", 178, 480},
        {600, "Number of Links: 0", 10, 490},
        {600, "TRACE INFO", 10, 520},
        {600, "          Total Nodes: 3", 10, 540},
        {600, "  Current Mother Node: 1", 10, 550},
        {600, "http://127.0.0.1/one.html", 225, 550},
        {600, "             Progress: ", 10, 570},
        {600, "Number of Links Found: 4", 10, 580},
        {600, "HELP", 10, 30},
        {600, "Run Trace: Click on `Paused` or `Running` icons to start and stop Linkweave", 10, 80},
        {600, "DEBUG", 10, 150},
        {600, "Mouse x:400.000000", 10, 180},
        {600, "Rotate x:3.140000", 10, 260},
        {600, "Distance:10.000000", 10, 280},
        {300, "NODE INFO", 10, 120},
        {300, "TRACE INFO", 10, 220},
        {300, "Number of Links Found: 4", 10, 280},
        {300, "DEBUG", 10, 150},
    };
    for (const Case& c : cases) {
        std::unique_ptr<Webspace> space(new Webspace);
        for (const char* u : {"http://127.0.0.1/", "http://127.0.0.1/one.html", "http://127.0.0.1/two.html"})
            space->findOrAdd(u, -1);
        space->cursor = 1;
        space->pages[1].linkCount = 4;
        space->pages[1].length = 5000;
        space->pages[1].scanPos = 1234;
        Viewer viewer;
        viewer.reset(*space, 0, 800, c.height);
        Icons icons;
        icons.helpVisible = icons.debugVisible = 1;
        OverlayView view;
        view.width = 800;
        view.height = c.height;
        view.space = space.get();
        view.selectedNode = 9;
        view.viewer = &viewer;
        view.icons = &icons;
        RecordingCanvas canvas;
        drawOverlay(canvas, view);
        const Drawn* d = canvas.find(c.text);
        ASSERT_NE(d, nullptr) << c.text;
        EXPECT_EQ(d->text, c.text);
        EXPECT_EQ(d->x, c.x) << c.text;
        EXPECT_EQ(d->y, c.y) << c.text;
        if (c.text == "TRACE INFO") {
            // Progress bar: (5000 / 100 - 1234 / 100) = 38 pixels long, at (185, B + 193).
            const int bar = canvas.indexOfSprite(Rect{0, kProgressBarTop, 38, kProgressBarBottom});
            ASSERT_GE(bar, 0);
            EXPECT_EQ(canvas.items[bar].source.right, 38);
            EXPECT_EQ(canvas.items[bar].y, c.height - 220 + 193);
            EXPECT_GE(canvas.indexOfSprite(kRunStatePausedSprite), 0);  // starts paused
            // The markers come last, over everything; the pointer just before them.
            const size_t n = canvas.items.size();
            EXPECT_EQ(canvas.indexOfSprite(kCrawlMarkerSprite), static_cast<int>(n - 1));
            EXPECT_EQ(canvas.indexOfSprite(kSelectionMarkerSprite), static_cast<int>(n - 2));
            EXPECT_EQ(canvas.indexOfSprite(kPointerSprite), static_cast<int>(n - 3));
            EXPECT_EQ(canvas.items[n - 3].x, 400);
            EXPECT_EQ(canvas.find("  Finished Tracing"), nullptr);
        }
    }
}

TEST(Panels, HiddenPanelsAndEmptyLabelDrawNothing) {
    std::unique_ptr<Webspace> space(new Webspace);
    space->findOrAdd("http://127.0.0.1/", -1);
    space->finished = 1;
    Viewer viewer;
    viewer.reset(*space, 0, 800, 600);
    Icons icons;
    OverlayView view{800, 600, space.get(), 0, &viewer, &icons, 1};
    RecordingCanvas canvas;
    drawOverlay(canvas, view);
    EXPECT_EQ(canvas.find("HELP"), nullptr);
    EXPECT_EQ(canvas.find("DEBUG"), nullptr);
    EXPECT_EQ(canvas.find("Page: "), nullptr);
    ASSERT_NE(canvas.find("  Finished Tracing"), nullptr);
    EXPECT_EQ(canvas.find("  Finished Tracing")->x, 202);
    std::snprintf(icons.pageLabel, sizeof icons.pageLabel, "Page: x");
    viewer.pointer = Vector3(100.7f, 50.2f, 0);
    RecordingCanvas labelled;
    drawOverlay(labelled, view);
    ASSERT_NE(labelled.find("Page: x"), nullptr);
    EXPECT_EQ(labelled.find("Page: x")->x, 110);
    EXPECT_EQ(labelled.find("Page: x")->y, 50);
}

using BrowserLaunch = TempDirTest;

TEST_F(BrowserLaunch, UrlArrivesAsOneArgumentWithoutAShellAndLeavesNoChild) {
    // A stand-in launcher that writes its arguments, one per line.
    writeFile("fake-open", "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$0.args\"\n");
    chmod("fake-open", 0755);
    const std::string program = dir_ + "/fake-open";
    const std::string url = "http://127.0.0.1/a b;touch pwned&x=$(id)'\"|`id`";
    BrowserOpener opener(program.c_str());
    ASSERT_TRUE(opener.open(url.c_str()));
    std::vector<std::string> args;
    for (int i = 0; i < 200 && args.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        args = readLines(program + ".args");
    }
    ASSERT_EQ(args.size(), 1u);
    EXPECT_EQ(args[0], url);
    EXPECT_FALSE(std::ifstream("pwned").good());
    // The launcher was handed to init: we have no child left to reap.
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
    // A missing launcher fails quietly.
    BrowserOpener missing("/nonexistent/xdg-open");
    missing.open(url.c_str());
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
}

}  // namespace
