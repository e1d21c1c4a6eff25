// The real GL device under X (Xvfb with Mesa in the tests): the set-up trace, rendered
// pixels of a webspace, and sprite blits from the generated sprite sheet.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <tuple>

#include "render/Engine.h"
#include "render/GlDevice.h"
#include "render/NodeModel.h"
#include "render/Viewer.h"
#include "support/TestSupport.h"
#include "tests/render/SetupLog.h"
#include "webspace/Webspace.h"

namespace {

struct Pixel { int r, g, b; };
bool yellow(Pixel p) { return p.r > 90 && p.g > 90 && p.b < 60 && std::abs(p.r - p.g) < 40; }
bool red(Pixel p) { return p.r > 90 && p.g < 50 && p.b < 50; }
bool white(Pixel p) { return p.r > 120 && p.g > 120 && p.b > 120; }

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
        window = nullptr;
        SDL_Quit();
        TempDirTest::TearDown();
    }
    void open(const std::string& settings = "http://a/,1,3,2,0,", bool withData = true) {
        writeFile("settings.txt", settings);
        engine = std::make_unique<Engine>(nullptr, url, &maxPages);
        window = SDL_CreateWindow("Linkweave test", 0, 0, engine->display.displayWidth, engine->display.displayHeight,
                                  SDL_WINDOW_OPENGL | (engine->display.fullScreen == 1 ? SDL_WINDOW_FULLSCREEN : 0));
        ASSERT_NE(window, nullptr) << SDL_GetError();
        device = std::make_unique<GlDevice>(window);
        engine->device = device.get();
        engine->setUpDevice(window);
        ASSERT_TRUE(engine->haveDevice);
        if (withData) engine->loadDataFiles();
    }
    uint32_t rgb(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x] & 0xFFFFFF; }
    Pixel at(int x, int y) const { return {int(rgb(x, y) >> 16), int((rgb(x, y) >> 8) & 0xFF), int(rgb(x, y) & 0xFF)}; }
    // The pixel with the highest score within r of (x, y).
    template <class Score>
    Pixel best(float sx, float sy, int r, Score score) const {
        Pixel found{0, 0, 0};
        for (int y = int(sy) - r; y <= int(sy) + r; ++y)
            for (int x = int(sx) - r; x <= int(sx) + r; ++x)
                if (score(at(x, y)) > score(found)) found = at(x, y);
        return found;
    }

    char url[kInitialUrlCapacity] = {};
    int32_t maxPages = 300;
    SDL_Window* window = nullptr;
    std::unique_ptr<GlDevice> device;
    std::unique_ptr<Engine> engine;
    std::vector<uint32_t> pixels;  // read back from the frame
    uint32_t width = 0, height = 0;
};

TEST_F(GlTest, SetUpTraceMatchesTheDesignWindowedAndFullScreen) {
    for (const auto& [settings, hardware, full] : {std::tuple{"http://a/,1,3,2,0,", true, false}, {"http://a/,0,3,2,0,", false, false},
                                                   {"http://a/,1,3,2,1,", true, true}, {"http://a/,0,1,2,1,", false, true}}) {
        SCOPED_TRACE(settings);
        open(settings, false);
        EXPECT_EQ(readLines("debug.txt"), expectedSetupLog(hardware, full));
        TearDown();  // a fresh directory and display connection for the next mode
        SetUp();
    }
}

TEST_F(GlTest, WebspacePixelsShowNodesLinesFogAndAddition) {
    open();
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

    // One page per slot; `linked`: a line from its parent reaches it; `colour`: how its
    // square is seen.
    struct Node { const char* url; int parent; Vector3 at; int status; int level; bool linked; bool (*colour)(Pixel); };
    const Node nodes[] = {
        {"http://a/", -1, {50, 5, 50}, 200, 1, false, yellow},               // 0 root
        {"http://a/x/index.html", 0, {51.5f, 5.5f, 50}, 200, 2, true, yellow}, // 1
        {"http://a/gone.html", 0, {48.5f, 5.8f, 50}, 404, 0, false, red},      // 2
        {"http://a/x/y.html", 1, {51.5f, 4.2f, 50}, 200, 2, true, white},      // 3 selected
        {"http://a/far.html", 0, {50, 6.5f, 15}, 200, 1, true, nullptr},       // 4 deep in the fog
        {"http://a/o1.html", 0, {48.5f, 4.3f, 50}, 200, 1, false, nullptr},    // 5 and 6 overlap
        {"http://a/o2.html", 0, {48.6f, 4.3f, 50}, 200, 1, false, nullptr},
    };
    for (const Node& n : nodes) {
        const int slot = space->findOrAdd(n.url, n.parent);
        PageNode& p = space->pages[slot];
        p.position = n.at;
        p.statusCode = n.status;
        p.level = n.level;
        p.state = PageState::Done;
        copyText(p.path, std::strchr(n.url + 7, '/'));
        space->buildNodeModel(slot);
        if (n.linked) space->pages[n.parent].links[space->pages[n.parent].linkCount++].node = slot;
    }

    // The viewer's own camera, as every frame of the program has it: the squares face
    // the direction it looks in, so only this camera shows them from the front. With
    // the glide ended on the root, the eye looks at it along -z.
    viewer.target = space->pages[0].position;
    viewer.placeEye();
    viewer.followSelection(*space, 0, *engine);
    space->updateNodes();
    engine->renderFrame();
    ASSERT_TRUE(device->readBackBuffer(pixels, width, height));

    EXPECT_EQ(rgb(5, 5), 0u) << "background is black";

    // Each square is seen at its projected place: the pixels of its colour around it are
    // centred there within 2 pixels.
    for (int slot = 0; slot < 4; ++slot) {
        const Vector3& s = space->pages[slot].screen;
        double sx = 0, sy = 0;
        int n = 0;
        for (int y = int(s.y) - 12; y <= int(s.y) + 12; ++y)
            for (int x = int(s.x) - 12; x <= int(s.x) + 12; ++x)
                if (nodes[slot].colour(at(x, y))) { sx += x + 0.5; sy += y + 0.5; ++n; }
        ASSERT_GT(n, 0) << nodes[slot].url;
        EXPECT_NEAR(sx / n, s.x, 2.0) << nodes[slot].url;
        EXPECT_NEAR(sy / n, s.y, 2.0) << nodes[slot].url;
    }

    // The line from the root to node 1 runs from blue to red.
    const Vector3 a = space->pages[0].screen, b = space->pages[1].screen;
    auto onLine = [&](float t) { return best(a.x + t * (b.x - a.x), a.y + t * (b.y - a.y), 2, [](Pixel p) { return p.r + p.b; }); };
    const Pixel nearSource = onLine(0.3f), nearTarget = onLine(0.7f);
    EXPECT_GT(nearSource.b, nearSource.r + 20);
    EXPECT_GT(nearTarget.r, nearTarget.b + 20);

    // Fog: the far node is much darker than a near one of the same colour (green, which
    // no link line carries).
    auto green = [&](int slot) { return best(space->pages[slot].screen.x, space->pages[slot].screen.y, 3, [](Pixel p) { return p.g; }).g; };
    EXPECT_GT(green(4), 0);
    EXPECT_LT(green(4), green(0) / 2);

    // Two overlapping squares add up: their shared middle is brighter than either alone.
    const Vector3 o5 = space->pages[5].screen, o6 = space->pages[6].screen;
    const Pixel both = at(int((o5.x + o6.x) / 2), int(o5.y));
    const Pixel one = at(int(o5.x) + (o5.x > o6.x ? 4 : -4), int(o5.y));  // the side away from node 6
    EXPECT_TRUE(yellow(one));
    EXPECT_GT(both.r + both.g, one.r + one.g + 40);
}

TEST_F(GlTest, GlyphBlitKeepsBlackTransparentAndEdgeBlitsDrawNothing) {
    open();
    std::vector<uint32_t> sheet;
    uint32_t sw, sh;
    ASSERT_TRUE(device->readBitmapFile("data/data2", sheet, sw, sh));

    const uint32_t backdrop = 0x204060;
    device->clear({0, 0, 1024, 768}, D3DCLEAR_TARGET, 0xFF000000 | backdrop, 1.0f);
    // "A": code 65, g = 32, so the cell at (16, 16) lands at (10, 4).
    engine->spriteSheet->setSourceRect(16, 16, 24, 24);
    EXPECT_EQ(engine->spriteSheet->blit(10, 4, *engine->backBuffer, DDBLTFAST_SRCCOLORKEY), kOk);
    // A cell that would end one pixel past the right edge is refused whole.
    EXPECT_EQ(engine->spriteSheet->blit(1017, 100, *engine->backBuffer, DDBLTFAST_SRCCOLORKEY), DDERR_INVALIDPARAMS);
    ASSERT_TRUE(device->readBackBuffer(pixels, width, height));

    int lit = 0;
    for (int i = 0; i < 64; ++i) {  // the 8 x 8 cell, row by row
        const uint32_t src = sheet[(16 + i / 8) * sw + 16 + i % 8] & 0xFFFFFF;
        EXPECT_EQ(rgb(10 + i % 8, 4 + i / 8), src ? src : backdrop) << "cell pixel " << i;  // black is transparent
        lit += src != 0;
    }
    EXPECT_GT(lit, 10);
    for (int x = 1010; x < 1024; ++x)
        for (int y = 100; y < 108; ++y) EXPECT_EQ(rgb(x, y), backdrop);
}

}  // namespace
