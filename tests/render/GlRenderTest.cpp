// The real GL device under X (Xvfb with Mesa in the tests): the set-up trace, rendered
// pixels of a webspace, and sprite blits from the generated sprite sheet.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include "render/Engine.h"
#include "render/GlDevice.h"
#include "render/NodeModel.h"
#include "render/Viewer.h"
#include "support/TestSupport.h"
#include "tests/render/SetupLog.h"
#include "webspace/Webspace.h"

namespace {

struct Pixel {
    int r, g, b;
};

class GlTest : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        std::filesystem::create_directory_symlink(LW_DATA_DIR, "data");
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
    }
    void TearDown() override {
        engine.reset();
        device.reset();
        if (window) SDL_DestroyWindow(window);
        SDL_Quit();
        TempDirTest::TearDown();
    }
    void open(const std::string& settings) {
        writeFile("settings.txt", settings);
        engine = std::make_unique<Engine>(nullptr, url, &maxPages);
        const bool full = engine->display.fullScreen == 1;
        window = SDL_CreateWindow("Linkweave test", 0, 0, engine->display.displayWidth, engine->display.displayHeight,
                                  SDL_WINDOW_OPENGL | (full ? SDL_WINDOW_FULLSCREEN : 0));
        ASSERT_NE(window, nullptr) << SDL_GetError();
        device = std::make_unique<GlDevice>(window);
        engine->device = device.get();
        engine->setUpDevice(window);
        ASSERT_TRUE(engine->haveDevice);
    }
    void readBack() {
        uint32_t w, h;
        ASSERT_TRUE(device->readBackBuffer(pixels, w, h));
        width = static_cast<int>(w);
    }
    Pixel at(int x, int y) const {
        const uint32_t p = pixels[static_cast<size_t>(y) * width + x];
        return {static_cast<int>((p >> 16) & 0xFF), static_cast<int>((p >> 8) & 0xFF), static_cast<int>(p & 0xFF)};
    }
    // Centre of the pixels within r of (x, y) that pass the test; false if none do.
    template <class Test>
    bool centroid(float x, float y, int r, Test test, float& cx, float& cy) const {
        double sx = 0, sy = 0;
        int n = 0;
        for (int py = int(y) - r; py <= int(y) + r; ++py)
            for (int px = int(x) - r; px <= int(x) + r; ++px)
                if (test(at(px, py))) {
                    sx += px + 0.5;
                    sy += py + 0.5;
                    ++n;
                }
        if (!n) return false;
        cx = float(sx / n);
        cy = float(sy / n);
        return true;
    }

    char url[kInitialUrlCapacity] = {};
    int32_t maxPages = 300;
    SDL_Window* window = nullptr;
    std::unique_ptr<GlDevice> device;
    std::unique_ptr<Engine> engine;
    std::vector<uint32_t> pixels;
    int width = 0;
};

TEST_F(GlTest, SetUpTraceMatchesTheDesignWindowedAndFullScreen) {
    struct Case { const char* settings; bool hardware, full; };
    for (const Case& c : {Case{"http://a/,1,3,2,0,", true, false}, Case{"http://a/,0,3,2,0,", false, false},
                          Case{"http://a/,1,3,2,1,", true, true}, Case{"http://a/,0,1,2,1,", false, true}}) {
        SCOPED_TRACE(c.settings);
        open(c.settings);
        EXPECT_EQ(readLines("debug.txt"), expectedSetupLog(c.hardware, c.full));
        engine.reset();
        device.reset();
        SDL_DestroyWindow(window);
        window = nullptr;
    }
}

TEST_F(GlTest, WebspacePixelsShowNodesLinesFogAndAddition) {
    open("http://a/,1,3,2,0,");
    engine->loadDataFiles();
    engine->buildBuiltInMeshes();
    std::unique_ptr<Webspace> space(new Webspace);
    int32_t selected = 3;
    Viewer viewer;
    viewer.reset(*space, 0, 1024, 768);
    EngineNodeModelBuilder builder(*engine, viewer);
    space->modelBuilder = &builder;
    space->engine = engine.get();
    space->selectedNode = &selected;
    engine->webspace = space.get();

    // The viewer's own camera, as every frame of the program has it: the squares face
    // the direction it looks in, so only this camera shows them from the front.
    struct Node { const char* url; int parent; Vector3 at; int status; int level; PageState state; };
    const Node nodes[] = {
        {"http://a/", -1, {50, 5, 50}, 200, 1, PageState::Done},               // 0 root
        {"http://a/x/index.html", 0, {51.5f, 5.5f, 50}, 200, 2, PageState::Done}, // 1
        {"http://a/gone.html", 0, {48.5f, 5.8f, 50}, 404, 0, PageState::Done},    // 2: no line reaches it
        {"http://a/x/y.html", 1, {51.5f, 4.2f, 50}, 200, 2, PageState::Done},     // 3 selected
        {"http://a/far.html", 0, {50, 6.5f, 15}, 200, 1, PageState::Done},        // 4 deep in the fog
        {"http://a/o1.html", 0, {48.5f, 4.3f, 50}, 200, 1, PageState::Done},      // 5 and 6 overlap
        {"http://a/o2.html", 0, {48.6f, 4.3f, 50}, 200, 1, PageState::Done},
    };
    for (const Node& n : nodes) {
        const int slot = space->findOrAdd(n.url, n.parent);
        PageNode& p = space->pages[slot];
        p.position = n.at;
        p.statusCode = n.status;
        p.level = n.level;
        p.state = n.state;
        copyText(p.path, std::strchr(n.url + 7, '/'));
        space->buildNodeModel(slot);
    }
    space->pages[0].linkCount = 2;
    space->pages[0].links[0].node = 1;
    space->pages[0].links[1].node = 4;
    space->pages[1].linkCount = 1;
    space->pages[1].links[0].node = 3;

    // The glide brings the target onto the root; the eye then looks at it along -z.
    viewer.reset(*space, 0, 1024, 768);
    for (int frame = 0; frame < 400; ++frame) {
        viewer.placeEye();
        viewer.followSelection(*space, 0, *engine);
    }
    space->updateNodes();
    engine->renderFrame();
    readBack();

    EXPECT_EQ(at(5, 5).r + at(5, 5).g + at(5, 5).b, 0) << "background is black";

    auto yellow = [](Pixel p) { return p.r > 90 && p.g > 90 && p.b < 60 && std::abs(p.r - p.g) < 40; };
    auto red = [](Pixel p) { return p.r > 90 && p.g < 50 && p.b < 50; };
    auto white = [](Pixel p) { return p.r > 120 && p.g > 120 && p.b > 120; };
    struct Expect { int slot; bool (*test)(Pixel); const char* what; };
    for (const Expect& e : {Expect{0, +yellow, "root"}, Expect{1, +yellow, "index page"}, Expect{2, +red, "404"},
                            Expect{3, +white, "selected"}}) {
        SCOPED_TRACE(e.what);
        const Vector3& s = space->pages[e.slot].screen;
        float cx, cy;
        ASSERT_TRUE(centroid(s.x, s.y, 12, e.test, cx, cy));
        EXPECT_NEAR(cx, s.x, 2.0f);
        EXPECT_NEAR(cy, s.y, 2.0f);
    }

    // The line from the root to node 1 runs from blue to red.
    const Vector3 a = space->pages[0].screen, b = space->pages[1].screen;
    auto linePixel = [&](float t) {
        const int x = int(a.x + t * (b.x - a.x)), y = int(a.y + t * (b.y - a.y));
        Pixel best{0, 0, 0};
        for (int dy = -2; dy <= 2; ++dy)
            for (int dx = -2; dx <= 2; ++dx) {
                const Pixel p = at(x + dx, y + dy);
                if (p.r + p.b > best.r + best.b) best = p;
            }
        return best;
    };
    const Pixel nearSource = linePixel(0.3f), nearTarget = linePixel(0.7f);
    EXPECT_GT(nearSource.b, nearSource.r + 20);
    EXPECT_GT(nearTarget.r, nearTarget.b + 20);

    // Fog: the far node is much darker than a near one of the same colour (green, which
    // no link line carries).
    auto brightest = [&](const Vector3& s) {
        int best = 0;
        for (int dy = -3; dy <= 3; ++dy)
            for (int dx = -3; dx <= 3; ++dx) best = std::max(best, at(int(s.x) + dx, int(s.y) + dy).g);
        return best;
    };
    const int nearG = brightest(space->pages[0].screen), farG = brightest(space->pages[4].screen);
    EXPECT_GT(farG, 0);
    EXPECT_LT(farG, nearG / 2);

    // Two overlapping squares add up: their shared middle is brighter than either alone.
    const Vector3 o5 = space->pages[5].screen, o6 = space->pages[6].screen;
    const Pixel both = at(int((o5.x + o6.x) / 2), int(o5.y));
    const Pixel one = at(int(o5.x) + (o5.x > o6.x ? 4 : -4), int(o5.y));  // the side away from node 6
    EXPECT_TRUE(yellow(one));
    EXPECT_GT(both.r + both.g, one.r + one.g + 40);
}

TEST_F(GlTest, GlyphBlitKeepsBlackTransparentAndEdgeBlitsDrawNothing) {
    open("http://a/,1,3,2,0,");
    engine->loadDataFiles();
    ASSERT_NE(engine->spriteSheet->surface, 0u);
    std::vector<uint32_t> sheet;
    uint32_t sw, sh;
    ASSERT_TRUE(device->readBitmapFile("data/data2", sheet, sw, sh));

    const uint32_t backdrop = 0xFF204060;
    device->clear({0, 0, 1024, 768}, D3DCLEAR_TARGET, backdrop, 1.0f);
    // "A": code 65, g = 32, so the cell at (16, 16) lands at (10, 4).
    engine->spriteSheet->setSourceRect(16, 16, 24, 24);
    EXPECT_EQ(engine->spriteSheet->blit(10, 4, *engine->backBuffer, DDBLTFAST_SRCCOLORKEY), kOk);
    // A cell that would end one pixel past the right edge is refused whole.
    EXPECT_EQ(engine->spriteSheet->blit(1017, 100, *engine->backBuffer, DDBLTFAST_SRCCOLORKEY), DDERR_INVALIDPARAMS);
    readBack();

    int lit = 0;
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c) {
            const uint32_t src = sheet[(16 + r) * sw + 16 + c] & 0xFFFFFF;
            const uint32_t dst = pixels[(4 + r) * width + 10 + c] & 0xFFFFFF;
            if (src == 0) {
                EXPECT_EQ(dst, backdrop & 0xFFFFFF) << "transparent at " << c << "," << r;
            } else {
                EXPECT_EQ(dst, src) << "glyph at " << c << "," << r;
                ++lit;
            }
        }
    EXPECT_GT(lit, 10);
    for (int x = 1010; x < 1024; ++x)
        for (int y = 100; y < 108; ++y) EXPECT_EQ(pixels[y * width + x] & 0xFFFFFF, backdrop & 0xFFFFFF);
}

}  // namespace
