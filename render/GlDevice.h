// The real RenderDevice: OpenGL (compatibility profile, fixed function) through SDL2's
// GL context. The back buffer is an offscreen framebuffer of display width x height with
// a depth renderbuffer as its z-buffer; scene and sprites are drawn into it, and
// presentation copies it to the window.
#pragma once

#include <cstdint>
#include <vector>

#include "render/RenderDevice.h"

struct SDL_Window;

class GlDevice : public RenderDevice {
public:
    explicit GlDevice(SDL_Window* window);
    ~GlDevice() override;

    ResultCode createDirectDraw() override;
    ResultCode setCooperativeLevel(WindowHandle window, uint32_t flags) override;
    ResultCode createDirect3D() override;
    ResultCode setDisplayMode(int32_t width, int32_t height, int32_t colourDepth) override;
    ResultCode createSurface(SurfaceDesc& desc, SurfaceHandle& out) override;
    ResultCode getAttachedBackBuffer(SurfaceHandle front, SurfaceHandle& out) override;
    ResultCode attachClipper(SurfaceHandle front, WindowHandle window) override;
    void enumZBufferFormats(bool hardware, ZBufferCallback callback, void* context) override;
    void enumTextureFormats(TextureFormatCallback callback, void* context) override;
    ResultCode addAttachedSurface(SurfaceHandle target, SurfaceHandle attached) override;
    void releaseSurface(SurfaceHandle surface) override;
    bool isLost(SurfaceHandle surface) override;
    ResultCode restore(SurfaceHandle surface) override;
    ResultCode writePixels(SurfaceHandle surface, const uint32_t* argb, uint32_t width, uint32_t height) override;
    ResultCode setColourKey(SurfaceHandle surface, uint32_t key) override;
    ResultCode bltFast(SurfaceHandle dest, int32_t x, int32_t y, SurfaceHandle src, const Rect& srcRect,
                       uint32_t flags) override;
    ResultCode createDevice(bool hardware, SurfaceHandle renderTarget) override;
    ResultCode setViewport(const Viewport& viewport) override;
    ResultCode setTransform(TransformState state, const Matrix4& matrix) override;
    ResultCode setRenderState(uint32_t state, uint32_t value) override;
    ResultCode setTextureStageState(uint32_t stage, uint32_t state, uint32_t value) override;
    ResultCode setTexture(uint32_t stage, SurfaceHandle texture) override;
    ResultCode createVertexBuffer(const VertexBufferDesc& desc, BufferHandle& out) override;
    ResultCode lockVertexBuffer(BufferHandle buffer, LitVertex*& data, uint32_t& capacity) override;
    ResultCode unlockVertexBuffer(BufferHandle buffer, uint32_t verticesWritten) override;
    ResultCode clear(const Rect& rect, uint32_t flags, uint32_t colour, float z) override;
    ResultCode beginScene() override;
    ResultCode endScene() override;
    ResultCode drawPrimitive(uint32_t type, const LitVertex* vertices, uint32_t count) override;
    ResultCode drawPrimitiveVB(uint32_t type, BufferHandle buffer, uint32_t first, uint32_t count) override;
    ResultCode flip(SurfaceHandle front) override;
    ResultCode blitToWindow(SurfaceHandle front, SurfaceHandle back, Rect& presentRect) override;
    void releaseDevice() override;
    void releaseDirect3D() override;
    void releaseDirectDraw() override;
    bool readBitmapFile(const char* name, std::vector<uint32_t>& argb, uint32_t& width, uint32_t& height) override;

    // True once a GL context exists and is current.
    bool hasContext() const { return context_ != nullptr; }
    // The renderer's name as the driver reports it.
    const char* rendererName() const;
    // The back buffer's pixels as 0xAARRGGBB, rows from the top (for checks and screenshots).
    bool readBackBuffer(std::vector<uint32_t>& argb, uint32_t& width, uint32_t& height);
    // GL draw submissions so far (draws and framebuffer blits), for counting a frame's.
    uint32_t drawSubmissions() const { return drawSubmissions_; }
    // The GL texture behind a texture or sprite sheet surface, 0 for none (benchmarks).
    uint32_t textureName(SurfaceHandle surface) const {
        return surface && surface <= surfaces_.size() ? surfaces_[surface - 1].texture : 0;
    }

private:
    enum class Kind { Free, Window, Colour, Depth, Texture, Sheet };
    struct GlSurface {
        Kind kind = Kind::Free;
        uint32_t width = 0, height = 0;
        uint32_t texture = 0;       // colour attachment, texture or sheet
        uint32_t framebuffer = 0;   // Colour only
        uint32_t renderbuffer = 0;  // Depth only
        SurfaceHandle attachedBack = 0;  // Window with a flip chain
        std::vector<uint32_t> pixels;    // Sheet: kept for re-keying
        bool keyed = false;
        uint32_t key = 0;
    };
    struct GlBuffer {
        uint32_t name = 0;
        uint32_t capacity = 0;
        uint32_t uploaded = 0;  // vertices the GL buffer holds, from the last unlock
        std::vector<LitVertex> shadow;
    };

    GlSurface* find(SurfaceHandle handle, Kind kind);
    // The kinds of surface createSurface makes: the window (with the back buffer of a
    // flipping chain), a depth renderbuffer, a colour texture with its framebuffer.
    ResultCode createWindowSurface(SurfaceDesc& desc, SurfaceHandle& out);
    ResultCode createDepthBuffer(const PixelFormat& format, GlSurface& s);
    ResultCode createColourTarget(GlSurface& s);
    SurfaceHandle newSurface(const GlSurface& s);
    void uploadSheet(GlSurface& s);
    void bindTarget();
    void loadModelView();
    void applyVertexPointers(const LitVertex* base);
    // Draws the blits collected so far in one draw, the overlay's GL state set once.
    void flushBlits();
    // Binds the fog coordinate array of these vertices (draws unbind it after).
    void fogCoordinates(const LitVertex* vertices, uint32_t count);

    SDL_Window* window_;
    void* context_ = nullptr;
    std::vector<GlSurface> surfaces_;  // handle = index + 1
    std::vector<GlBuffer> buffers_;    // handle = index + 1
    SurfaceHandle target_ = 0;         // the device's render target (Colour)
    Matrix4 world_, view_, modelView_;
    float fogStart_ = 0.0f, fogEnd_ = 1.0f;  // eye depth
    std::vector<float> fogCoords_;
    uint32_t magFilter_ = 0, minFilter_ = 0;
    bool deviceReady_ = false;
    uint32_t drawSubmissions_ = 0;
    struct Blits {
        SurfaceHandle target = 0, sheet = 0;
        uint32_t flags = 0;
        std::vector<float> corners;  // x, y, u, v of each quad's four corners, in blit order
    } blits_;
};
