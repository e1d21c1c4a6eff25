// The engine's device set-up step by step, its data files and built-in mesh, and each
// frame's upload, scene and presentation.
#include "render/Engine.h"

#include <cstdio>
#include <cstring>

#include "base/DebugLog.h"
#include "webspace/Webspace.h"

namespace {

constexpr float kFogStart = 3.0f;  // eye depth at which the fog begins

uint32_t floatBits(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

struct StateSetting {
    bool textureStage;
    uint32_t state;
    uint32_t value;
};

}  // namespace

uint32_t chooseZBufferFormat(const PixelFormat& format, void* context) {
    // Only an exact match: a z-buffer with a stencil part is passed over.
    if (format.flags != DDPF_ZBUFFER || !context) return 1;
    std::memcpy(context, &format, sizeof(PixelFormat));
    return 0;
}

Engine::Engine(RenderDevice* dev, char* initialUrl, int32_t* maxPages)
    : device(dev), initialUrl_(initialUrl), maxPages_(maxPages),
      lineEnds_(new LinkLineEnd[kLineVertexCapacity]), lineVertices_(new LitVertex[kLineVertexCapacity]) {
    readSettings(settingsTarget());
}

Engine::~Engine() {
    releaseDevice();
    delete textureAtlas;
    delete spriteSheet;
}

void Engine::releaseDevice() {
    if (haveDevice && device) device->releaseDevice();
    haveDevice = false;
    delete backBuffer;
    backBuffer = nullptr;
    delete zBuffer;
    zBuffer = nullptr;
    delete frontBuffer;
    frontBuffer = nullptr;
    if (haveDirect3D && device) device->releaseDirect3D();
    haveDirect3D = false;
    if (haveDirectDraw && device) device->releaseDirectDraw();
    haveDirectDraw = false;
}

ResultCode Engine::setUpDevice(WindowHandle windowHandle) {
    startDebugLog();
    releaseDevice();
    readSettings(settingsTarget());
    window = windowHandle;
    logMessage("--------------------------------", kOk);
    logMessage("Starting Setup", kOk);

    // A step whose prerequisite is missing is not tried; it is logged as failed, so
    // the trace still shows every step in its place.
    const bool hardware = display.hardwareDevice == 1;
    chooseSurfaceMemory(hardware);
    const ResultCode d3dResult = createDisplayObjects();
    frontBuffer = new Surface;
    backBuffer = new Surface;
    presentRect = {0, 0, display.displayWidth, display.displayHeight};
    if (display.fullScreen == 1) createFlipChain();
    else createWindowBuffers(d3dResult);
    createZBuffer(hardware);
    const ResultCode deviceResult = create3DDevice(hardware);
    setUpViewportAndStates(hardware);
    logMessage("setup viewport - renderstates", deviceResult);
    const ResultCode lastBuffer = createVertexBuffers(hardware);
    logMessage("setup Vertexbuffers ", lastBuffer);
    logMessage("Done Setup", kOk);
    return lastBuffer;
}

void Engine::chooseSurfaceMemory(bool hardware) {
    surfaceMemory = hardware ? DDSCAPS_VIDEOMEMORY : DDSCAPS_SYSTEMMEMORY;
    logLine(hardware ? "HARDWARE CHOSEN" : "SOFTWARE CHOSEN");
}

ResultCode Engine::createDisplayObjects() {
    ResultCode r = device ? device->createDirectDraw() : DDERR_INVALIDOBJECT;
    haveDirectDraw = (r == kOk);
    logMessage("Setup DDRAW", r);

    const uint32_t cooperation = display.fullScreen == 1 ? DDSCL_FULLSCREEN_EXCLUSIVE : DDSCL_NORMAL;
    r = haveDirectDraw ? device->setCooperativeLevel(window, cooperation) : DDERR_INVALIDOBJECT;
    logMessage("setco-operative", r);

    r = haveDirectDraw ? device->createDirect3D() : DDERR_INVALIDOBJECT;
    haveDirect3D = (r == kOk);
    logMessage("Create d3d", r);
    return r;
}

void Engine::createFlipChain() {
    const int32_t width = display.displayWidth;
    const int32_t height = display.displayHeight;
    ResultCode r = haveDirectDraw ? device->setDisplayMode(width, height, display.colourDepth) : DDERR_INVALIDOBJECT;
    logMessage("setdisplaymode FULLSCREEN", r);

    SurfaceDesc& front = frontBuffer->description;
    front.flags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    front.caps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_3DDEVICE | surfaceMemory;
    front.backBufferCount = 1;
    front.width = width;
    front.height = height;
    r = haveDirectDraw ? frontBuffer->create(*this) : DDERR_INVALIDOBJECT;
    logMessage("frontbuffer", r);

    SurfaceHandle back = 0;
    r = frontBuffer->surface ? device->getAttachedBackBuffer(frontBuffer->surface, back) : DDERR_INVALIDOBJECT;
    if (r == kOk) backBuffer->adopt(device, back, width, height);
    logMessage("getbackbuffer", r);
}

void Engine::createWindowBuffers(ResultCode direct3DResult) {
    // The windowed path logs no step of its own; its line carries the 3D interface's result.
    logMessage("setdisplaymode WINDOWED", direct3DResult);
    if (!haveDirectDraw) return;
    frontBuffer->description.flags = DDSD_CAPS;
    frontBuffer->description.caps = DDSCAPS_PRIMARYSURFACE;
    frontBuffer->create(*this);
    SurfaceDesc& back = backBuffer->description;
    back.flags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
    back.caps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE;
    back.width = display.displayWidth;
    back.height = display.displayHeight;
    backBuffer->create(*this);
    if (frontBuffer->surface) device->attachClipper(frontBuffer->surface, window);
}

void Engine::createZBuffer(bool hardware) {
    zBuffer = new Surface;
    std::memset(&zBufferFormat, 0, sizeof zBufferFormat);
    if (haveDirect3D) device->enumZBufferFormats(hardware, chooseZBufferFormat, &zBufferFormat);

    SurfaceDesc& z = zBuffer->description;
    z.flags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
    z.caps = DDSCAPS_ZBUFFER | surfaceMemory;
    z.width = display.displayWidth;
    z.height = display.displayHeight;
    z.pixelFormat = zBufferFormat;
    ResultCode r = haveDirectDraw ? zBuffer->create(*this) : DDERR_INVALIDOBJECT;
    logMessage("zbuffer", r);

    r = (backBuffer->surface && zBuffer->surface) ? device->addAttachedSurface(backBuffer->surface, zBuffer->surface)
                                                  : DDERR_INVALIDOBJECT;
    logMessage("attach zbuffer", r);
}

ResultCode Engine::create3DDevice(bool hardware) {
    const ResultCode r =
        (haveDirect3D && backBuffer->surface) ? device->createDevice(hardware, backBuffer->surface) : DDERR_INVALIDOBJECT;
    haveDevice = (r == kOk);
    logMessage(hardware ? "createHARDWAREdevice" : "createSOFTWAREdevice", r);
    return r;
}

void Engine::setUpViewportAndStates(bool hardware) {
    viewport = {0, 0, static_cast<uint32_t>(display.displayWidth), static_cast<uint32_t>(display.displayHeight), 0.0f,
                1.0f};
    world.setIdentity();
    view.setLookAt(Vector3(50, 6, 45), Vector3(50, 5, 50), Vector3(0, 1, 0));
    projection.setPerspective(0.1f, 300.0f, 1.0471976f);
    if (!haveDevice) return;
    device->setViewport(viewport);
    device->setTransform(TransformState::World, world);
    device->setTransform(TransformState::View, view);
    device->setTransform(TransformState::Projection, projection);

    // Lighting off, since the vertices carry their own colours; depth test less-or-equal
    // with depth writes; counter-clockwise triangles culled; colour = texture times
    // diffuse, alpha = diffuse.
    const StateSetting common[] = {
        {false, RS_TEXTUREPERSPECTIVE, 1}, {false, RS_ANTIALIAS, 0}, {false, RS_ZFUNC, D3DCMP_LESSEQUAL},
        {false, RS_ZENABLE, 1}, {false, RS_FILLMODE, D3DFILL_SOLID}, {false, RS_SHADEMODE, D3DSHADE_GOURAUD},
        {false, RS_MONOENABLE, 0}, {false, RS_ZWRITEENABLE, 1}, {false, RS_CULLMODE, D3DCULL_CCW},
        {false, RS_DITHERENABLE, 0}, {false, RS_SPECULARENABLE, 0}, {false, RS_ZVISIBLE, 0},
        {false, RS_SUBPIXEL, 0}, {false, RS_SUBPIXEL, 0}, {false, RS_WRAPU, 0},
        {false, RS_WRAPV, 0}, {false, RS_COLORKEYENABLE, 1}, {true, TSS_COLORARG1, D3DTA_TEXTURE},
        {true, TSS_COLORARG2, D3DTA_CURRENT}, {true, TSS_ALPHAOP, D3DTOP_SELECTARG1}, {true, TSS_COLOROP, D3DTOP_MODULATE},
        {true, TSS_ALPHAARG1, D3DTA_DIFFUSE}, {true, TSS_ALPHAARG2, D3DTA_CURRENT}, {true, TSS_MAGFILTER, D3DTFG_LINEAR},
        {true, TSS_MINFILTER, D3DTFN_LINEAR}, {false, RS_LIGHTING, 0},
    };
    // The software device draws flat, with point magnification and without perspective
    // correction (each frame turns that on again).
    const StateSetting softwareOnly[] = {
        {false, RS_TEXTUREPERSPECTIVE, 0}, {false, RS_SHADEMODE, D3DSHADE_FLAT}, {true, TSS_MAGFILTER, D3DTFG_POINT},
    };
    const StateSetting fog[] = {
        {false, RS_FOGENABLE, 1},
        {false, RS_FOGVERTEXMODE, D3DFOG_LINEAR},
        {false, RS_FOGCOLOR, clearColour},
        {false, RS_FOGSTART, floatBits(kFogStart)},
        {false, RS_FOGEND, floatBits(display.fogDepth + 5.0f)},
        {false, RS_FOGTABLEMODE, D3DFOG_NONE},
    };
    auto send = [this](const StateSetting& s) {
        if (s.textureStage) device->setTextureStageState(0, s.state, s.value);
        else device->setRenderState(s.state, s.value);
    };
    for (const StateSetting& s : common) send(s);
    if (!hardware)
        for (const StateSetting& s : softwareOnly) send(s);
    for (const StateSetting& s : fog) send(s);
}

ResultCode Engine::createVertexBuffers(bool hardware) {
    ResultCode lastBuffer = DDERR_INVALIDOBJECT;
    for (int i = 0; i < kVertexBufferSlots; ++i) {
        VertexBufferSlot& slot = vertexBuffers[i];
        slot.description = {16, D3DVBCAPS_WRITEONLY | (hardware ? 0u : D3DVBCAPS_SYSTEMMEMORY), D3DFVF_LVERTEX,
                            kVertexBufferCapacity};
        slot.buffer = 0;
        lastBuffer = haveDevice ? device->createVertexBuffer(slot.description, slot.buffer) : DDERR_INVALIDOBJECT;
        if (lastBuffer != kOk) slot.buffer = 0;
        slot.verticesInUse = 0;
        slot.slotIndex = i;
    }
    // Only the last creation's result is kept: it stands for all of them in the trace.
    return lastBuffer;
}

bool Engine::loadDataFiles(const std::string& folder) {
    textureAtlas = new Surface;
    spriteSheet = new Surface;
    const std::string atlas = folder + "/data1", sheet = folder + "/data2";
    const char* failed = textureAtlas->loadTexture(*this, atlas.c_str()) != kOk ? atlas.c_str()
                         : spriteSheet->loadPlain(*this, sheet.c_str()) != kOk  ? sheet.c_str()
                                                                                : nullptr;
    if (failed) {
        std::fprintf(stderr, "linkweave: cannot load the data file %s\n", failed);
        return false;
    }
    spriteSheet->setColourKey(0);
    return true;
}

void Engine::buildBuiltInMeshes() {
    struct Corner {
        float x, y, tu, tv;
    };
    // The unit square split along its diagonal, clockwise seen from -z.
    constexpr Corner corners[6] = {
        {0, 1, 0, 0}, {1, 1, 0.25f, 0}, {1, 0, 0.25f, 0.25f},
        {0, 1, 0, 0}, {1, 0, 0.25f, 0.25f}, {0, 0, 0, 0.25f},
    };
    Mesh& mesh = meshes[0];
    mesh.count = 2;
    for (int t = 0; t < 2; ++t) {
        for (int v = 0; v < 3; ++v) {
            const Corner& c = corners[3 * t + v];
            mesh.triangles[t].vertices[v].set(Vector3(c.x, c.y, 0), 0xFFFFFFFF, 0xFF7F7F7F, c.tu, c.tv);
        }
        mesh.triangles[t].group = 0;
    }
}

ResultCode Engine::uploadTriangleLists() {
    for (int i = 0; i < kVertexBufferSlots; ++i) {
        VertexBufferSlot& slot = vertexBuffers[i];
        const TriangleList& list = triangleLists[i];
        slot.verticesInUse = 3 * list.count;
        if (list.count == 0) continue;
        LitVertex* data = nullptr;
        uint32_t capacity = 0;
        if (!slot.buffer || !device || device->lockVertexBuffer(slot.buffer, data, capacity) != kOk || !data) {
            // Nothing was written, so nothing may be drawn from this slot.
            slot.verticesInUse = 0;
            continue;
        }
        // Never past the buffer: a longer list is cut at the capacity.
        const uint32_t maxTriangles = capacity / 3;
        uint32_t k = 0;
        for (const Triangle* t = list.first(); t != list.end() && k < maxTriangles; t = t->next, ++k) {
            std::memcpy(data + 3 * k, t->vertices, sizeof t->vertices);
        }
        slot.verticesInUse = static_cast<int32_t>(3 * k);
        device->unlockVertexBuffer(slot.buffer, 3 * k);
    }
    return kOk;
}

ScreenProjection Engine::screenProjection() const {
    return {Matrix4::product(Matrix4::product(world, view), projection), viewport.x, viewport.y, viewport.width,
            viewport.height};
}

ResultCode Engine::renderFrame(const Webspace& space) {
    if (!haveDevice) return DDERR_INVALIDOBJECT;
    uploadTriangleLists();
    device->clear({0, 0, display.displayWidth, display.displayHeight}, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER,
                  clearColour, 1.0f);
    device->beginScene();
    drawScene(space);
    return device->endScene();
}

void Engine::drawScene(const Webspace& space) {
    device->setRenderState(RS_ALPHABLENDENABLE, 0);
    device->setRenderState(RS_TEXTUREPERSPECTIVE, 1);
    device->setRenderState(RS_FOGENABLE, 1);
    device->setTexture(0, 0);

    // All link lines of the frame go to the device in one draw.
    const int lineVertices = space.collectLinkLines(lineEnds_.get(), kLineVertexCapacity);
    for (int i = 0; i < lineVertices; ++i) lineVertices_[i].set(lineEnds_[i].position, lineEnds_[i].colour, 0, 0, 0);
    if (lineVertices > 0) {
        const ResultCode r = device->drawPrimitive(D3DPT_LINELIST, lineVertices_.get(), lineVertices);
        if (r != kOk) logMessage("error", r);
    }

    device->setRenderState(RS_FOGENABLE, 1);
    device->setRenderState(RS_ALPHABLENDENABLE, 1);
    // The squares add their light to what lies behind them.
    device->setRenderState(RS_SRCBLEND, D3DBLEND_ONE);
    device->setRenderState(RS_DESTBLEND, D3DBLEND_ONE);
    device->setRenderState(RS_ZWRITEENABLE, 0);
    device->setTexture(0, textureAtlas ? textureAtlas->surface : 0);
    const VertexBufferSlot& slot = vertexBuffers[0];
    if (slot.buffer) device->drawPrimitiveVB(D3DPT_TRIANGLELIST, slot.buffer, 0, slot.verticesInUse);
}

ResultCode Engine::present() {
    if (!device || !frontBuffer || !frontBuffer->surface) return DDERR_INVALIDOBJECT;
    ResultCode r;
    if (display.fullScreen == 1) {
        r = device->flip(frontBuffer->surface);
    } else {
        if (!backBuffer || !backBuffer->surface) return DDERR_INVALIDOBJECT;
        r = device->blitToWindow(frontBuffer->surface, backBuffer->surface, presentRect);
    }
    if (r == DDERR_SURFACELOST) restoreSurfaces();
    return r;
}

ResultCode Engine::restoreSurfaces() {
    ResultCode last = kOk;
    for (Surface* s : {frontBuffer, backBuffer, zBuffer}) {
        if (s && s->surface && device->isLost(s->surface)) last = device->restore(s->surface);
    }
    return last;
}
