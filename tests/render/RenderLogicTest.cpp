// The renderer's own logic, without a display: the device set-up's trace and render
// states against a device double, the node mesh and node models, the upload, link-line
// selection, node projection and colours, and the blit rule.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <tuple>

#include "render/Engine.h"
#include "render/NodeModel.h"
#include "render/Viewer.h"
#include "support/TestSupport.h"
#include "tests/render/FakeDevice.h"
#include "tests/render/SetupLog.h"
#include "webspace/Webspace.h"

namespace {

void expectAt(const LitVertex& v, float x, float y, float z) {
    EXPECT_NEAR(v.x, x, 1e-5);
    EXPECT_NEAR(v.y, y, 1e-5);
    EXPECT_NEAR(v.z, z, 1e-5);
}

// A webspace with `pages` slots in use (http://a/0, http://a/1, ...), all roots.
std::unique_ptr<Webspace> makeSpace(int pages) {
    std::unique_ptr<Webspace> space(new Webspace);  // too large for the stack
    for (int i = 0; i < pages; ++i) space->findOrAdd(("http://a/" + std::to_string(i)).c_str(), -1);
    return space;
}

// An engine over the device double, in a private directory (debug.txt, settings.txt).
class EngineTest : public TempDirTest {
protected:
    void makeEngine(const std::string& settings = "", bool setUp = true) {
        if (!settings.empty()) writeFile("settings.txt", settings);
        engine = std::make_unique<Engine>(&device, url, &maxPages);
        if (setUp) engine->setUpDevice(nullptr);
    }
    FakeDevice device;
    char url[kInitialUrlCapacity] = {};
    int32_t maxPages = 300;
    std::unique_ptr<Engine> engine;
    Viewer viewer;
};

TEST_F(EngineTest, SetUpWritesTheDesignedTraceAndStatesInEveryMode) {
    struct Case { const char* settings; bool hardware, fullScreen; size_t states; };
    for (const Case& c : {Case{"http://a/,1,3,2,0,", true, false, 32}, Case{"http://a/,1,3,2,1,", true, true, 32},
                          Case{"http://a/,0,3,2,0,", false, false, 35}, Case{"http://a/,0,3,2,1,", false, true, 35}}) {
        SCOPED_TRACE(c.settings);
        device = FakeDevice{};
        makeEngine(c.settings);
        EXPECT_EQ(readLines("debug.txt"), expectedSetupLog(c.hardware, c.fullScreen));
        EXPECT_TRUE(engine->haveDevice);
        EXPECT_EQ(engine->surfaceMemory, c.hardware ? DDSCAPS_VIDEOMEMORY : DDSCAPS_SYSTEMMEMORY);
        // Software rendering puts three cheaper states between the common 26 and the fog.
        ASSERT_EQ(device.renderStates.size(), c.states);
        EXPECT_EQ(device.renderStates[0], std::make_pair(uint32_t{RS_TEXTUREPERSPECTIVE}, 1u));
        if (!c.hardware) { EXPECT_EQ(device.renderStates[26], std::make_pair(uint32_t{RS_TEXTUREPERSPECTIVE}, 0u)); }
    }
}

TEST_F(EngineTest, NoPlainZBufferFormatLogsBothZBufferStepsAsErrors) {
    device.offerPlainZBuffer = false;  // only a z-buffer with stencil is offered
    makeEngine("http://a/,1,3,2,0,");
    EXPECT_EQ(readLines("debug.txt"),
              expectedSetupLog(true, false, "errorDDERR_INVALIDPARAMS", "errorDDERR_INVALIDOBJECT"));
}

TEST_F(EngineTest, NodeModelFromMeshZeroFacesTheViewer) {
    makeEngine("", false);
    engine->buildBuiltInMeshes();
    EXPECT_EQ(engine->meshes[0].count, 2);
    auto space = makeSpace(0);
    viewer.reset(*space, 0, 1024, 768);
    viewer.rotation = Vector3(0, 0, 0);  // turn 0, tilt 0
    NodeModel model(*engine, viewer);
    model.buildFromMesh(0);
    EXPECT_EQ(engine->triangleLists[0].count, 2);
    model.setPosition(25, 1, 25);
    model.faceViewer(0.2f);
    const float corners[6][3] = {{25.2f, 0.8f, 25}, {24.8f, 0.8f, 25}, {24.8f, 1.2f, 25},
                                 {25.2f, 0.8f, 25}, {24.8f, 1.2f, 25}, {25.2f, 1.2f, 25}};
    for (int k = 0; k < 6; ++k) expectAt(model.triangles[k / 3]->vertices[k % 3], corners[k][0], corners[k][1], corners[k][2]);
}

TEST_F(EngineTest, BuildNodeModelPicksTheTileByKind) {
    makeEngine("", false);
    engine->buildBuiltInMeshes();
    auto space = makeSpace(0);
    viewer.reset(*space, 0, 1024, 768);
    EngineNodeModelBuilder builder(*engine, viewer);
    struct Case { const char* path; int level; float tu; };
    const Case cases[] = {{"/a/page.html", 1, 0.0f}, {"/a/index.html", 1, 0.25f}, {"/a/default.htm", 2, 0.25f},
                          {"/gone.html", 0, 0.5f}, {"/index.html", 0, 0.75f}, {"/Index.html", 1, 0.0f}};
    for (int slot = 0; slot < 6; ++slot) {
        std::strcpy(space->pages[slot].path, cases[slot].path);
        space->pages[slot].level = cases[slot].level;
        builder.buildNodeModel(*space, slot);
        ASSERT_NE(space->pages[slot].model, nullptr);
        // Vertex 0 of triangle 0 carries the tile's left edge.
        EXPECT_FLOAT_EQ(space->pages[slot].model->triangles[0]->vertices[0].tu, cases[slot].tu) << cases[slot].path;
    }
}

TEST_F(EngineTest, UploadWritesNewestFirstAndNeverPastTheBuffer) {
    device.bufferCapacity = 4;  // one whole triangle fits
    makeEngine();
    LitVertex a[3], b[3];
    for (int k = 0; k < 3; ++k) {
        a[k].set(Vector3(1, 0, 0), 0, 0, 0, 0);
        b[k].set(Vector3(2, 0, 0), 0, 0, 0, 0);
    }
    for (int i = 0; i < 4; ++i) engine->triangleLists[0].add(a);
    engine->triangleLists[0].add(b);
    engine->uploadTriangleLists();
    EXPECT_EQ(engine->vertexBuffers[0].verticesInUse, 3);
    EXPECT_EQ(device.buffers[0][0].x, 2.0f);
    for (size_t k = 3; k < device.buffers[0].size(); ++k) ASSERT_EQ(device.buffers[0][k].x, 0.0f) << k;
}

TEST_F(EngineTest, FrameDrawsAllLinkLinesInOneCall) {
    makeEngine();
    auto space = makeSpace(4);
    space->pages[0].state = PageState::Done;
    space->pages[0].linkCount = 3;
    space->pages[0].links[0].node = 1;
    space->pages[0].links[1].node = 2;
    space->pages[0].links[2].node = 7;  // an empty slot: no line
    engine->webspace = space.get();
    engine->renderFrame();
    EXPECT_EQ(device.drawnLineVertices, std::vector<uint32_t>{4});
}

TEST(LinkLineTest, SelectsLinesByStateAndTarget) {
    auto space = makeSpace(3);
    space->pages[1].position = Vector3(1, 2, 3);
    space->pages[2].position = Vector3(4, 5, 6);
    space->pages[1].linkCount = 2;
    space->pages[1].links[0].node = 2;
    space->pages[1].links[1].node = 0;  // not looked up yet: drawn to the root
    LitVertex out[16];
    for (const auto& [state, lines] : {std::pair{PageState::Fetched, 0}, {PageState::Linking, 2}, {PageState::Done, 2}}) {
        space->pages[1].state = state;
        EXPECT_EQ(space->collectLinkLines(out, 16), 2 * lines);
    }
    // Blue at the source, red at the target.
    EXPECT_EQ(std::make_tuple(out[0].colour, out[1].colour, out[1].x), std::make_tuple(0x990000FFu, 0x99FF0000u, 4.0f));
    EXPECT_EQ(out[3].z, 25.0f);  // the root's default place
    // Capacity is never exceeded, and a partial line is never written.
    EXPECT_EQ(space->collectLinkLines(out, 3), 2);
}

TEST_F(EngineTest, ProjectionAndNodeColours) {
    makeEngine();
    engine->buildBuiltInMeshes();
    auto space = makeSpace(4);
    int32_t selected = 2;
    space->engine = engine.get();
    space->selectedNode = &selected;
    viewer.reset(*space, 0, 1024, 768);
    EngineNodeModelBuilder builder(*engine, viewer);
    const int status[3] = {200, 404, 200};
    for (int i = 0; i < 3; ++i) {
        space->pages[i].statusCode = status[i];
        space->pages[i].position = Vector3(50.0f + i, 5, 50);
        builder.buildNodeModel(*space, i);
    }
    space->updateNodes();
    // The view target (50, 5, 50) is the middle of the viewport; +x is to the right.
    EXPECT_NEAR(space->pages[0].screen.x, 512.0f, 1e-3);
    EXPECT_NEAR(space->pages[0].screen.y, 384.0f, 1e-3);
    EXPECT_GT(space->pages[1].screen.x, 512.0f);
    // Yellow for 200, red otherwise, white for the selected node.
    const uint32_t colours[3] = {0xC8C8C800u, 0xC8FF0000u, 0xC8FFFFFFu};
    for (int i = 0; i < 3; ++i) EXPECT_EQ(space->pages[i].model->triangles[0]->vertices[0].colour, colours[i]) << i;
    EXPECT_EQ(space->pages[4].screen.x, -10.0f);  // slots beyond nodeCount are not projected
}

TEST(SurfaceTest, BlitDrawsNothingForARectangleReachingOutsideEitherSurface) {
    struct Case { Rect src; int32_t x, y; bool fits; };
    const Case cases[] = {
        {{8, 64, 39, 79}, 0, 0, true}, {{0, 0, 192, 256}, 0, 0, true}, {{0, 0, 8, 8}, 1016, 760, true},
        // Left of the sheet (a space or control code), wider than the sheet, empty.
        {{-8, 0, 0, 8}, 10, 10, false}, {{0, 0, 193, 8}, 0, 0, false}, {{5, 5, 5, 9}, 0, 0, false},
        // One pixel past each edge of the 1024 x 768 target, and far past it.
        {{0, 0, 8, 8}, 1017, 0, false}, {{0, 0, 8, 8}, -1, 0, false}, {{0, 0, 8, 8}, 0, 761, false},
        {{0, 0, 8, 8}, 0, -1, false}, {{0, 0, 8, 8}, 2147483647, 0, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Surface::blitFits(c.src, 192, 256, c.x, c.y, 1024, 768), c.fits)
            << c.src.left << "," << c.src.top << " at " << c.x << "," << c.y;
    }
}

}  // namespace
