// The one application object of Linkweave: the window, the 3D device (through our
// RenderDevice layer), the buffers, the three matrices, the two data-file surfaces, the
// vertex buffer slots, the triangle lists, the meshes and the display settings.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/Math3D.h"
#include "base/Settings.h"
#include "render/Mesh.h"
#include "render/RenderDevice.h"
#include "render/Surface.h"
#include "render/TriangleList.h"
#include "webspace/Webspace.h"

constexpr int kVertexBufferSlots = 25;
constexpr uint32_t kVertexBufferCapacity = 45000;  // vertices per slot: 15,000 triangles
// Every link of every page as one line of two vertices.
constexpr int kLineVertexCapacity = kPageSlots * kMaxLinks * 2;

struct VertexBufferSlot {
    BufferHandle buffer;
    VertexBufferDesc description;
    int32_t slotIndex;
    int32_t verticesInUse;  // written by the last upload
};

class Engine {
public:
    WindowHandle window = nullptr;
    RenderDevice* device;  // the platform layer; not owned
    // Which parts of the device the set-up obtained; nothing later uses a missing one.
    bool haveDirectDraw = false;
    bool haveDirect3D = false;
    bool haveDevice = false;
    Viewport viewport{};
    Surface* frontBuffer = nullptr;
    Surface* backBuffer = nullptr;
    Surface* zBuffer = nullptr;
    Matrix4 world, view, projection;
    Surface* textureAtlas = nullptr;
    Surface* spriteSheet = nullptr;
    VertexBufferSlot vertexBuffers[kVertexBufferSlots]{};
    TriangleList triangleLists[kTriangleListCount];
    Mesh meshes[kMeshCount];
    PixelFormat zBufferFormat{};
    uint32_t surfaceMemory = 0;
    DisplaySettings display;
    Rect presentRect{};
    uint32_t clearColour = 0xFF000000;  // opaque black: clear colour and fog colour

    // Reads settings.txt into the display settings, initialUrl and maxPages.
    Engine(RenderDevice* device, char* initialUrl, int32_t* maxPages);
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Sets up the whole device, logging every step to debug.txt. Returns the result of
    // the last vertex buffer creation.
    ResultCode setUpDevice(WindowHandle window);
    // Releases the device, the three buffers, the 3D interface and the display object.
    void releaseDevice();
    // The folder's data1 into the texture atlas and its data2 into the sprite sheet;
    // false once it has said on standard error that they cannot be loaded.
    bool loadDataFiles(const std::string& folder = "data");
    // Mesh 0: the unit square carrying the atlas's top-left tile.
    void buildBuiltInMeshes();

    // Upload, clear, scene with the webspace's link lines; returns the end of the scene's result.
    ResultCode renderFrame(const Webspace& space);
    ResultCode uploadTriangleLists();
    void drawScene(const Webspace& space);
    // Flip (full screen) or blit to the window; a lost surface is restored.
    ResultCode present();
    ResultCode restoreSurfaces();

    // Where the nodes are projected to with the current matrices and viewport.
    ScreenProjection screenProjection() const;

    SettingsTarget settingsTarget() const { return {const_cast<DisplaySettings*>(&display), initialUrl_, maxPages_}; }

private:
    // The steps of setUpDevice, each logged under the name the trace has always used.
    void chooseSurfaceMemory(bool hardware);
    // The display object, its cooperative level and the 3D interface; the latter's result.
    ResultCode createDisplayObjects();
    // Full screen: the display mode and a front buffer with its attached back buffer.
    void createFlipChain();
    // Windowed: the window's front buffer, an offscreen back buffer and the clipper.
    void createWindowBuffers(ResultCode direct3DResult);
    void createZBuffer(bool hardware);
    ResultCode create3DDevice(bool hardware);
    // The viewport, the three matrices and the render states of the device's mode.
    void setUpViewportAndStates(bool hardware);
    // The 25 vertex buffer slots; the result of the last creation.
    ResultCode createVertexBuffers(bool hardware);

    char* initialUrl_;
    int32_t* maxPages_;
    std::unique_ptr<LinkLineEnd[]> lineEnds_;
    std::unique_ptr<LitVertex[]> lineVertices_;
};

// The z-buffer enumeration's callback: takes the first format that is a plain z-buffer.
uint32_t chooseZBufferFormat(const PixelFormat& format, void* context);
