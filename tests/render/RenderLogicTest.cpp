// The renderer's own logic, without a display: triangle lists, the node mesh and node
// models, the device set-up's trace and render states against a device double, the
// upload, link-line selection, node projection and the blit rule.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "render/Engine.h"
#include "render/NodeModel.h"
#include "render/Viewer.h"
#include "support/TestSupport.h"
#include "tests/render/FakeDevice.h"
#include "tests/render/SetupLog.h"
#include "webspace/Webspace.h"

namespace {

LitVertex vertexAt(float x, float y, float z, uint32_t colour = 0xFF112233) {
    LitVertex v;
    v.set(Vector3(x, y, z), colour, 0xFF7F7F7F, 0.5f, 0.25f);
    return v;
}

void expectNear(const LitVertex& v, float x, float y, float z) {
    EXPECT_NEAR(v.x, x, 1e-5);
    EXPECT_NEAR(v.y, y, 1e-5);
    EXPECT_NEAR(v.z, z, 1e-5);
}

TEST(TriangleListTest, IteratesNewestFirstAndKeepsCount) {
    TriangleList list;
    EXPECT_EQ(list.count, 0);
    EXPECT_EQ(list.first(), list.end());
    LitVertex three[3] = {vertexAt(0, 0, 0), vertexAt(1, 0, 0), vertexAt(0, 1, 0)};
    Triangle* a = list.add(three);
    Triangle* b = list.add(three);
    Triangle* c = list.add(three);
    EXPECT_EQ(list.count, 3);
    std::vector<Triangle*> seen;
    for (Triangle* t = list.first(); t != list.end(); t = t->next) seen.push_back(t);
    EXPECT_EQ(seen, (std::vector<Triangle*>{c, b, a}));
    // The list is circular both ways through the sentinel.
    EXPECT_EQ(list.end()->prev, a);
    EXPECT_EQ(a->next, list.end());
}

TEST(TriangleListTest, TransformsMovePositionsOnly) {
    Triangle t;
    LitVertex three[3] = {vertexAt(1, 0, 0), vertexAt(0, 2, 0), vertexAt(0, 0, 3)};
    t.setVertices(three);
    t.translate(1, 2, 3);
    expectNear(t.vertices[0], 2, 2, 3);
    EXPECT_EQ(t.vertices[0].colour, 0xFF112233u);
    EXPECT_FLOAT_EQ(t.vertices[0].tu, 0.5f);

    struct Case { int axis; float x, y, z; };
    const float half = static_cast<float>(M_PI / 2);
    for (const Case& c : {Case{3, 0, 1, 0}, Case{7, 0, 0, 0}}) {
        Triangle r;
        r.setVertices(three);
        r.rotate(c.axis, half);
        expectNear(r.vertices[0], c.x, c.y, c.z);  // (1, 0, 0): a quarter turn, or collapsed
    }
}

// An engine over the device double, in a private directory (debug.txt, settings.txt).
class EngineTest : public TempDirTest {
protected:
    void makeEngine(const std::string& settings = "") {
        if (!settings.empty()) writeFile("settings.txt", settings);
        engine = std::make_unique<Engine>(&device, url, &maxPages);
    }
    FakeDevice device;
    char url[kInitialUrlCapacity] = {};
    int32_t maxPages = 300;
    std::unique_ptr<Engine> engine;
};

TEST_F(EngineTest, SetUpWritesTheDesignedTraceInEveryMode) {
    struct Case { const char* settings; bool hardware, fullScreen; };
    for (const Case& c : {Case{"http://a/,1,3,2,0,", true, false}, Case{"http://a/,1,3,2,1,", true, true},
                          Case{"http://a/,0,3,2,0,", false, false}, Case{"http://a/,0,3,2,1,", false, true}}) {
        SCOPED_TRACE(c.settings);
        device = FakeDevice{};
        makeEngine(c.settings);
        engine->setUpDevice(nullptr);
        EXPECT_EQ(readLines("debug.txt"), expectedSetupLog(c.hardware, c.fullScreen));
        EXPECT_TRUE(engine->haveDevice);
        EXPECT_EQ(engine->surfaceMemory, c.hardware ? DDSCAPS_VIDEOMEMORY : DDSCAPS_SYSTEMMEMORY);
        EXPECT_EQ(engine->vertexBuffers[24].description.caps,
                  D3DVBCAPS_WRITEONLY | (c.hardware ? 0u : D3DVBCAPS_SYSTEMMEMORY));
        // The clipper belongs to the window only.
        const bool clipped = std::count(device.calls.begin(), device.calls.end(), "attachClipper") > 0;
        EXPECT_EQ(clipped, !c.fullScreen);
    }
}

TEST_F(EngineTest, NoPlainZBufferFormatLogsBothZBufferStepsAsErrors) {
    device.offerPlainZBuffer = false;  // only a z-buffer with stencil is offered
    makeEngine("http://a/,1,3,2,0,");
    engine->setUpDevice(nullptr);
    EXPECT_EQ(readLines("debug.txt"),
              expectedSetupLog(true, false, "errorDDERR_INVALIDPARAMS", "errorDDERR_INVALIDOBJECT"));
    EXPECT_EQ(engine->zBufferFormat.flags, 0u);
}

TEST_F(EngineTest, RenderStatesFollowTheDesignedOrderWithSoftwareExtras) {
    makeEngine("http://a/,0,3,2,0,");
    engine->setUpDevice(nullptr);
    const auto& s = device.renderStates;
    ASSERT_EQ(s.size(), 26u + 3u + 6u);
    EXPECT_EQ(s[0], std::make_pair(uint32_t{RS_TEXTUREPERSPECTIVE}, 1u));
    EXPECT_EQ(s[12], s[13]);  // sub-pixel state sent twice
    EXPECT_EQ(s[26], std::make_pair(uint32_t{RS_TEXTUREPERSPECTIVE}, 0u));
    EXPECT_EQ(s[27], std::make_pair(uint32_t{RS_SHADEMODE}, 1u));
    EXPECT_EQ(s[28], std::make_pair(uint32_t{TSS_MAGFILTER} | 0x1000, 1u));
    float fogStart, fogEnd;
    std::memcpy(&fogStart, &s[32].second, 4);
    std::memcpy(&fogEnd, &s[33].second, 4);
    EXPECT_EQ(s[32].first, uint32_t{RS_FOGSTART});
    EXPECT_FLOAT_EQ(fogStart, 3.0f);
    EXPECT_FLOAT_EQ(fogEnd, 65.0f);
}

TEST_F(EngineTest, NodeModelsFromMeshZeroStandFaceAndColour) {
    makeEngine();
    engine->buildBuiltInMeshes();
    EXPECT_EQ(engine->meshes[0].count, 2);
    EXPECT_EQ(engine->meshes[0].triangles[1].vertices[2].tv, 0.25f);
    EXPECT_EQ(engine->meshes[0].triangles[0].vertices[1].reserved, 0u);

    std::unique_ptr<Webspace> space(new Webspace);
    Viewer viewer;
    viewer.reset(*space, 0, 1024, 768);
    viewer.rotation = Vector3(0, 0, 0);

    NodeModel model(*engine, viewer);
    model.buildFromMesh(0);
    EXPECT_EQ(engine->triangleLists[0].count, 2);
    for (int i = 1; i < kTriangleListCount; ++i) EXPECT_EQ(engine->triangleLists[i].count, 0);

    model.setPosition(1, 2, 3);
    expectNear(model.triangles[0]->vertices[0], 1, 3, 3);  // (0, 1, 0) moved by (1, 2, 3)
    model.setPosition(1, 2, 3);
    expectNear(model.triangles[0]->vertices[0], 1, 3, 3);

    model.setPosition(25, 1, 25);
    model.faceViewer(0.2f);
    const float expected[6][3] = {{25.2f, 0.8f, 25}, {24.8f, 0.8f, 25}, {24.8f, 1.2f, 25},
                                  {25.2f, 0.8f, 25}, {24.8f, 1.2f, 25}, {25.2f, 1.2f, 25}};
    for (int k = 0; k < 6; ++k) expectNear(model.triangles[k / 3]->vertices[k % 3], expected[k][0], expected[k][1], expected[k][2]);

    // With the initial tilt the square's normal points along -z.
    viewer.rotation = Vector3(0, 3.14f, 0);
    model.faceViewer(0.1f);
    const LitVertex* v = model.triangles[0]->vertices;
    const Vector3 e1(v[1].x - v[0].x, v[1].y - v[0].y, v[1].z - v[0].z);
    const Vector3 e2(v[2].x - v[0].x, v[2].y - v[0].y, v[2].z - v[0].z);
    const Vector3 n = Vector3::cross(e1, e2).normalised();
    EXPECT_NEAR(std::fabs(n.z), 1.0f, 1e-3);

    model.shiftTexture(0.25f, 0);
    model.shiftTexture(0.25f, 0);
    EXPECT_FLOAT_EQ(model.triangles[1]->vertices[2].tu, 0.5f);
    model.setColour(255, 0, 0, 200);
    for (int t = 0; t < 2; ++t)
        for (const LitVertex& vert : model.triangles[t]->vertices) EXPECT_EQ(vert.colour, 0xC8FF0000u);
}

TEST_F(EngineTest, BuildNodeModelPicksTheTileByKind) {
    makeEngine();
    engine->buildBuiltInMeshes();
    std::unique_ptr<Webspace> space(new Webspace);
    Viewer viewer;
    viewer.reset(*space, 0, 1024, 768);
    EngineNodeModelBuilder builder(*engine, viewer);
    struct Case { const char* path; int level; float tu; };
    const Case cases[] = {{"/a/page.html", 1, 0.0f}, {"/a/index.html", 1, 0.25f}, {"/a/default.htm", 2, 0.25f},
                          {"/gone.html", 0, 0.5f}, {"/index.html", 0, 0.75f}, {"/Index.html", 1, 0.0f}};
    int slot = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        std::strcpy(space->pages[slot].path, c.path);
        space->pages[slot].level = c.level;
        builder.buildNodeModel(*space, slot);
        ASSERT_NE(space->pages[slot].model, nullptr);
        // Vertex 0 of triangle 0 carries the tile's left edge.
        EXPECT_FLOAT_EQ(space->pages[slot].model->triangles[0]->vertices[0].tu, c.tu);
        ++slot;
    }
}

TEST_F(EngineTest, UploadWritesNewestFirstAndNeverPastTheBuffer) {
    makeEngine();
    engine->setUpDevice(nullptr);
    LitVertex a[3] = {vertexAt(1, 0, 0), vertexAt(1, 0, 0), vertexAt(1, 0, 0)};
    LitVertex b[3] = {vertexAt(2, 0, 0), vertexAt(2, 0, 0), vertexAt(2, 0, 0)};
    engine->triangleLists[0].add(a);
    engine->triangleLists[0].add(b);
    engine->uploadTriangleLists();
    EXPECT_EQ(engine->vertexBuffers[0].verticesInUse, 6);
    EXPECT_EQ(device.buffers[0][0].x, 2.0f);
    EXPECT_EQ(device.buffers[0][3].x, 1.0f);

    // A buffer that holds fewer vertices than the list: the upload stops at its end.
    FakeDevice small;
    small.bufferCapacity = 4;  // one whole triangle
    Engine tight(&small, url, &maxPages);
    tight.setUpDevice(nullptr);
    for (int i = 0; i < 5; ++i) tight.triangleLists[0].add(a);
    tight.uploadTriangleLists();
    EXPECT_EQ(tight.vertexBuffers[0].verticesInUse, 3);
    EXPECT_EQ(small.written[0], 3u);
}

TEST_F(EngineTest, FrameDrawsAllLinkLinesInOneCallAndEmptyListsAsZero) {
    makeEngine();
    engine->setUpDevice(nullptr);
    std::unique_ptr<Webspace> space(new Webspace);
    for (int i = 0; i < 4; ++i) {
        space->findOrAdd(("http://a/" + std::to_string(i)).c_str(), i ? 0 : -1);
    }
    space->pages[0].state = PageState::Done;
    space->pages[0].linkCount = 3;
    space->pages[0].links[0].node = 1;
    space->pages[0].links[1].node = 2;
    space->pages[0].links[2].node = 7;  // an empty slot: no line
    engine->webspace = space.get();
    engine->renderFrame();
    ASSERT_EQ(device.drawnLineVertices.size(), 1u);
    EXPECT_EQ(device.drawnLineVertices[0], 4u);
    EXPECT_EQ(device.vbDraws, 1);
    EXPECT_EQ(device.lastVbCount, 0u);
}

TEST(LinkLineTest, SelectsLinesByStateAndTarget) {
    std::unique_ptr<Webspace> space(new Webspace);
    for (int i = 0; i < 3; ++i) space->findOrAdd(("http://a/" + std::to_string(i)).c_str(), -1);
    space->pages[1].position = Vector3(1, 2, 3);
    space->pages[2].position = Vector3(4, 5, 6);
    struct Case { PageState state; int lines; };
    LitVertex out[16];
    for (const Case& c : {Case{PageState::Fetched, 0}, Case{PageState::Linking, 2}, Case{PageState::Done, 2}}) {
        space->pages[1].state = c.state;
        space->pages[1].linkCount = 2;
        space->pages[1].links[0].node = 2;
        space->pages[1].links[1].node = 0;  // not looked up yet: drawn to the root
        EXPECT_EQ(space->collectLinkLines(out, 16), 2 * c.lines);
    }
    EXPECT_EQ(out[0].colour, 0x990000FFu);
    EXPECT_EQ(out[1].colour, 0x99FF0000u);
    EXPECT_EQ(out[1].x, 4.0f);
    EXPECT_EQ(out[3].z, 25.0f);
    // Capacity is never exceeded, and a partial line is never written.
    EXPECT_EQ(space->collectLinkLines(out, 3), 2);
}

TEST_F(EngineTest, ProjectionAndNodeColours) {
    makeEngine();
    engine->setUpDevice(nullptr);
    engine->buildBuiltInMeshes();
    std::unique_ptr<Webspace> space(new Webspace);
    int32_t selected = 2;
    space->engine = engine.get();
    space->selectedNode = &selected;
    Viewer viewer;
    viewer.reset(*space, 0, 1024, 768);
    EngineNodeModelBuilder builder(*engine, viewer);
    for (int i = 0; i < 4; ++i) space->findOrAdd(("http://a/" + std::to_string(i)).c_str(), -1);
    const int status[3] = {200, 404, 200};
    for (int i = 0; i < 3; ++i) {
        space->pages[i].statusCode = status[i];
        space->pages[i].position = Vector3(50.0f + i, 5, 50);
        builder.buildNodeModel(*space, i);
    }
    space->updateNodes();
    // The view target (50, 5, 50) is the middle of the viewport.
    EXPECT_NEAR(space->pages[0].screen.x, 512.0f, 1e-3);
    EXPECT_NEAR(space->pages[0].screen.y, 384.0f, 1e-3);
    EXPECT_GT(space->pages[1].screen.x, 512.0f);  // +x is to the right
    // Slot 3 is in use but not placed: projected from (25, 0, 25), not coloured.
    EXPECT_NE(space->pages[3].screen.x, -10.0f);
    EXPECT_EQ(space->pages[0].model->triangles[0]->vertices[0].colour, 0xC8C8C800u);
    EXPECT_EQ(space->pages[1].model->triangles[0]->vertices[0].colour, 0xC8FF0000u);
    EXPECT_EQ(space->pages[2].model->triangles[0]->vertices[0].colour, 0xC8FFFFFFu);
    // Slots beyond nodeCount keep their initial screen position.
    EXPECT_EQ(space->pages[4].screen.x, -10.0f);
}

TEST(SurfaceTest, BlitRefusesRectanglesOutsideEitherSurface) {
    struct Case { Rect src; int32_t x, y; bool fits; };
    const Case cases[] = {
        {{8, 64, 39, 79}, 0, 0, true},      {{0, 0, 192, 256}, 0, 0, true},
        {{-8, 0, 0, 8}, 10, 10, false},     // left of the sheet: a space or control code
        {{0, 0, 193, 8}, 0, 0, false},      // wider than the sheet
        {{0, 0, 8, 8}, 1017, 0, false},     // one pixel past the right edge of 1024
        {{0, 0, 8, 8}, 1016, 760, true},    // the last whole cell
        {{0, 0, 8, 8}, -1, 0, false},       {{0, 0, 8, 8}, 0, 761, false},
        {{5, 5, 5, 9}, 0, 0, false},        // empty
        {{0, 0, 8, 8}, 2147483647, 0, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Surface::blitFits(c.src, 192, 256, c.x, c.y, 1024, 768), c.fits)
            << c.src.left << "," << c.src.top << " at " << c.x << "," << c.y;
    }
    Surface s;
    s.setSourceRect(64, 8, 79, 39);
    EXPECT_EQ(s.sourceRect.left, 8);
    EXPECT_EQ(s.sourceRect.top, 64);
    EXPECT_EQ(s.sourceRect.right, 39);
    EXPECT_EQ(s.sourceRect.bottom, 79);
}

TEST(SurfaceTest, TextureFormatSearchTakesFirstPlainSixteenBitFormat) {
    PixelFormat result{};
    TextureFormatSearch search{16, &result};
    const PixelFormat withAlpha{32, DDPF_RGB | DDPF_ALPHAPIXELS, 0, 16, {0x7C00, 0x3E0, 0x1F, 0x8000}};
    const PixelFormat wide{32, DDPF_RGB, 0, 32, {}};
    const PixelFormat plain{32, DDPF_RGB, 0, 16, {0xF800, 0x7E0, 0x1F, 0}};
    EXPECT_EQ(chooseTextureFormat(&withAlpha, &search), 1u);
    EXPECT_EQ(chooseTextureFormat(&wide, &search), 1u);
    EXPECT_EQ(chooseTextureFormat(nullptr, &search), 1u);
    EXPECT_EQ(chooseTextureFormat(&plain, &search), 0u);
    EXPECT_EQ(result.masks[0], 0xF800u);
}

TEST(ViewerTest, FollowSelectionGlidesAlongTheDominantAxis) {
    std::unique_ptr<Webspace> space(new Webspace);
    FakeDevice device;
    char url[kInitialUrlCapacity] = {};
    int32_t maxPages = 300;
    Engine engine(&device, url, &maxPages);
    Viewer viewer;
    viewer.reset(*space, 0, 1024, 768);
    EXPECT_EQ(viewer.target.y, -10.0f);
    EXPECT_EQ(viewer.target.z, 34.0f);
    space->pages[0].position = Vector3(25, 1, 25);
    viewer.followSelection(*space, 0, engine);
    EXPECT_FLOAT_EQ(viewer.target.x, 25.0f);
    EXPECT_FLOAT_EQ(viewer.target.y, -9.9f);
    EXPECT_NEAR(viewer.target.z, 33.91818f, 1e-5);

    viewer.target = Vector3(25, 1, 25);
    viewer.placeEye();
    EXPECT_NEAR(viewer.eye.y, 0.98407f, 1e-4);
    EXPECT_NEAR(viewer.eye.z, 34.99999f, 1e-4);
}

}  // namespace
