// The renderer on the real GL device (Mesa under Xvfb): the set-up's trace and render
// states in every mode against golden files, whole frames of scene and overlay against
// their golden image, and buffers that are never written past.
#include <SDL.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "overlay/BrowserOpener.h"
#include "overlay/Text.h"
#include "render/Engine.h"
#include "render/GlDevice.h"
#include "shell/Frame.h"
#include "support/Images.h"
#include "support/TestSupport.h"
#include "webspace/Webspace.h"

namespace {

// The real device, told to offer no plain z-buffer or to report less vertex buffer than
// it has, and recording the states it is sent.
struct TestDevice : GlDevice {
    using GlDevice::GlDevice;
    bool plainZBuffer = true;
    uint32_t capacity = 0;  // what a lock reports; 0: the real capacity
    LitVertex* locked = nullptr;
    std::vector<std::string> states;

    void enumZBufferFormats(bool hardware, ZBufferCallback callback, void* context) override {
        if (plainZBuffer) GlDevice::enumZBufferFormats(hardware, callback, context);
        else callback(PixelFormat{32, DDPF_ZBUFFER | DDPF_STENCILBUFFER, 0, 32, {}}, context);
    }
    ResultCode lockVertexBuffer(BufferHandle buffer, LitVertex*& data, uint32_t& n) override {
        const ResultCode r = GlDevice::lockVertexBuffer(buffer, data, n);
        locked = data, n = capacity ? capacity : n;
        return r;
    }
    ResultCode setRenderState(uint32_t state, uint32_t value) override {
        states.push_back("render state " + std::to_string(state) + " " + std::to_string(value));
        return GlDevice::setRenderState(state, value);
    }
    ResultCode setTextureStageState(uint32_t stage, uint32_t state, uint32_t value) override {
        states.push_back("texture stage state " + std::to_string(state) + " " + std::to_string(value));
        return GlDevice::setTextureStageState(stage, state, value);
    }
};

class GlEngine : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        std::filesystem::create_directory_symlink(LW_DATA_DIR, "data");
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
    }
    void TearDown() override { close(), SDL_Quit(), TempDirTest::TearDown(); }
    // An engine set up on the real device from these settings, with its data and mesh.
    void open(const std::string& settings, bool plainZBuffer = true) {
        writeFile("settings.txt", settings);
        engine = std::make_unique<Engine>(nullptr, url, &maxPages);
        const DisplaySettings& d = engine->display;
        window = SDL_CreateWindow("Linkweave test", 0, 0, d.displayWidth, d.displayHeight,
                                  SDL_WINDOW_OPENGL | (d.fullScreen == 1 ? SDL_WINDOW_FULLSCREEN : 0));
        ASSERT_NE(window, nullptr) << SDL_GetError();
        device = std::make_unique<TestDevice>(window);
        device->plainZBuffer = plainZBuffer;
        engine->device = device.get();
        engine->setUpDevice(window);
        engine->loadDataFiles(), engine->buildBuiltInMeshes();
    }
    void close() {
        engine.reset(), device.reset();
        if (window) SDL_DestroyWindow(std::exchange(window, nullptr));
    }
    // The back buffer against the golden image; a differing frame is kept for a look.
    void expectGoldenFrame(const std::string& name) {
        std::vector<uint32_t> argb;
        uint32_t w = 0, h = 0;
        ASSERT_TRUE(device->readBackBuffer(argb, w, h));
        Image frame{int(w), int(h), std::move(argb)};
        for (uint32_t& p : frame.rgb) p &= 0xFFFFFF;
        const std::string path = LW_GOLDEN_DIR "/" + name;
        if (updatingGoldenFiles()) { ASSERT_TRUE(writeImage(path, frame)); }
        const Image golden = readImage(path);
        ASSERT_EQ(std::make_pair(golden.width, golden.height), std::make_pair(frame.width, frame.height)) << path;
        int differing = 0;  // channels that differ by more than Mesa's rounding may vary
        for (int i = 0; i < frame.width * frame.height; ++i)
            for (int shift : {0, 8, 16}) differing += std::abs(int(frame.rgb[i] >> shift & 0xFF) - int(golden.rgb[i] >> shift & 0xFF)) > 2;
        if (differing) writeImage(LW_OUTPUT_DIR "/" + name, frame);
        EXPECT_EQ(differing, 0) << "the frame is in " LW_OUTPUT_DIR "/" << name;
    }

    char url[kInitialUrlCapacity] = {};
    int32_t maxPages = kPageSlots;
    SDL_Window* window = nullptr;
    std::unique_ptr<TestDevice> device;
    std::unique_ptr<Engine> engine;
};

TEST_F(GlEngine, SetUpLogsEveryStepAndSendsTheStatesOfItsMode) {
    struct Case { const char* settings; bool plainZBuffer; const char* golden; };
    for (const Case& c : {Case{"http://a/,1,3,2,0,", true, "setup-hardware-window.txt"},
                          {"http://a/,0,3,2,0,", true, "setup-software-window.txt"},
                          {"http://a/,1,3,2,1,", true, "setup-hardware-fullscreen.txt"},
                          {"http://a/,0,1,2,1,", true, "setup-software-fullscreen.txt"},
                          // Only a z-buffer with stencil: both z-buffer steps fail, the rest goes on.
                          {"http://a/,1,3,2,0,", false, "setup-no-plain-zbuffer.txt"}}) {
        open(c.settings, c.plainZBuffer);
        std::ostringstream trace;  // debug.txt, then what the device was sent
        trace << std::ifstream("debug.txt").rdbuf() << "surface memory " << engine->surfaceMemory << "\n";
        for (const std::string& state : device->states) trace << state << "\n";
        expectGolden(LW_GOLDEN_DIR "/" + std::string(c.golden), trace.str());
        close();
    }
}

// A webspace of ten pages (fixtures/render/scene.txt) seen by the viewer's own camera,
// with both panels, the hover label, the pointer and both markers over it: node colours
// and tiles, link lines (chosen by state), fog, additive squares, every kind of text
// byte, lines cut at the edge, sprites refused there.
TEST_F(GlEngine, FrameOfSceneAndOverlayMatchesItsGoldenImageFrameAfterFrame) {
    open("http://a/,1,1,2,0,");  // 640 x 480
    std::unique_ptr<Webspace> space(new Webspace);
    BrowserOpener opener;
    Frame frame(*space, *engine, opener);
    frame.selectedNode = 3;
    Viewer& viewer = frame.viewer;

    // The pages from the fixture: URL, parent, position, status, level, state, the pages it links to.
    std::ifstream scene(LW_GOLDEN_DIR "/scene.txt");
    for (std::string line, url, state; std::getline(scene, line);) {
        std::istringstream in(line);
        int parent = 0, link = 0;
        Vector3 at(0, 0, 0);
        if (line[0] == '#' || !(in >> url >> parent >> at.x >> at.y >> at.z)) continue;
        const int slot = space->findOrAdd(url.c_str(), parent);
        PageNode& p = space->pages[slot];
        in >> p.statusCode >> p.level >> state;
        p.position = at, p.state = state == "Done" ? PageState::Done : state == "Linking" ? PageState::Linking : PageState::Fetched;
        copyText(p.path, std::strchr(url.c_str() + 7, '/'));
        while (in >> link) p.links[p.linkCount++].node = link;
        space->buildNodeModel(slot);
    }
    // Bytes that are not UTF-8 read as Windows-1252 (\xe9\x80: an e acute and the euro
    // sign, from the cells below the sprites); 1 to 21 are skipped and keep their cells.
    copyText(space->pages[3].title, "Caf\xe9\x80 \x01\x15~\x7f tab");
    space->cursor = 1, space->paused = 0;
    space->pages[1].length = 9000, space->pages[1].scanPos = 2000;  // a progress bar of 70 pixels
    copyText(space->pages[1].currentTag, "a href=\"y.html\"");
    frame.icons.helpVisible = frame.icons.debugVisible = 1;

    viewer.target = space->pages[0].position;  // the glide has ended on the root
    viewer.placeEye(), viewer.followSelection(*space, 0, *engine);
    frame.renderScene();  // from the second frame on the lines leave depth alone
    EXPECT_EQ(space->pages[space->nodeCount].screen.x, -10.0f) << "a slot not in use is not projected";
    viewer.pointer = space->pages[2].screen, frame.icons.updateLabel(2);
    for (int round = 0; round < 2; ++round) {
        const uint32_t draws = device->drawSubmissions();
        engine->renderFrame(*space);
        frame.drawOverlay(1, nullptr);
        // Refused whole, not clipped: sprites one pixel past each edge of the frame or the sheet.
        for (const auto& [x, y] : {std::pair{-1, 100}, {577, 100}, {300, -1}, {300, 417}}) drawSprite(*engine, kSelectionMarkerSprite, x, y);
        drawSprite(*engine, Rect{0, 80, 193, 84}, 10, 440);
        expectGoldenFrame("frame-640x480.png");  // reading back draws the blits collected
        EXPECT_EQ(device->drawSubmissions() - draws, 3u) << "lines, squares, the overlay: one draw each, frame " << round;
    }
}

TEST_F(GlEngine, UploadNeverWritesPastTheBuffer) {
    open("http://a/,1,3,2,0,");
    device->capacity = 4;  // one whole triangle fits
    LitVertex a[3], b[3];
    for (int k = 0; k < 3; ++k) a[k].set(Vector3(1, 0, 0), 0, 0, 0, 0), b[k].set(Vector3(2, 0, 0), 0, 0, 0, 0);
    for (const LitVertex* t : {a, a, a, a, b}) engine->triangleLists[0].add(t);
    engine->uploadTriangleLists();
    EXPECT_EQ(engine->vertexBuffers[0].verticesInUse, 3);
    EXPECT_EQ(device->locked[0].x, 2.0f) << "the newest triangle first";
    for (uint32_t k = 3; k < kVertexBufferCapacity; ++k) ASSERT_EQ(device->locked[k].x, 0.0f) << k;

}

}  // namespace
