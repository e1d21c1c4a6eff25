// The narrow device layer between the renderer and the graphics platform. Its requests
// are the ones the renderer has always made of its 3D device (surfaces, a z-buffer, a
// device, render states, vertex buffers, draws, presentation), each answering with a
// result code, so the set-up can log every step and a test double can fail any one of
// them. The real implementation is GlDevice (OpenGL through SDL2).
#pragma once

#include <cstdint>
#include <vector>

#include "base/Math3D.h"
#include "base/ResultCodes.h"

struct LitVertex;

using WindowHandle = void*;    // the platform's window, opaque here
using SurfaceHandle = uint32_t;  // 0 = none
using BufferHandle = uint32_t;   // 0 = none

struct Rect {
    int32_t left, top, right, bottom;  // right and bottom exclusive
};

struct Viewport {
    uint32_t x, y, width, height;
    float minZ, maxZ;
};

// Pixel format of a surface, 32 bytes.
struct PixelFormat {
    uint32_t size;
    uint32_t flags;
    uint32_t fourCC;
    uint32_t bitCount;  // RGB or z bit count
    uint32_t masks[4];  // red/z, green/stencil, blue, alpha
};
static_assert(sizeof(PixelFormat) == 32);

constexpr uint32_t DDPF_ALPHAPIXELS = 0x1;
constexpr uint32_t DDPF_FOURCC = 0x4;
constexpr uint32_t DDPF_RGB = 0x40;
constexpr uint32_t DDPF_ZBUFFER = 0x400;
constexpr uint32_t DDPF_STENCILBUFFER = 0x4000;
constexpr uint32_t DDPF_LUMINANCE_BUMP_MASK = 0xE0000;

// Description from which a surface is created (the fields the renderer uses).
struct SurfaceDesc {
    uint32_t flags;
    uint32_t width, height;
    uint32_t backBufferCount;
    uint32_t caps;
    PixelFormat pixelFormat;
};

constexpr uint32_t DDSD_CAPS = 0x1, DDSD_HEIGHT = 0x2, DDSD_WIDTH = 0x4;
constexpr uint32_t DDSD_BACKBUFFERCOUNT = 0x20, DDSD_PIXELFORMAT = 0x1000;

constexpr uint32_t DDSCAPS_BACKBUFFER = 0x4, DDSCAPS_COMPLEX = 0x8, DDSCAPS_FLIP = 0x10;
constexpr uint32_t DDSCAPS_OFFSCREENPLAIN = 0x40, DDSCAPS_PRIMARYSURFACE = 0x200;
constexpr uint32_t DDSCAPS_SYSTEMMEMORY = 0x800, DDSCAPS_TEXTURE = 0x1000;
constexpr uint32_t DDSCAPS_3DDEVICE = 0x2000, DDSCAPS_VIDEOMEMORY = 0x4000;
constexpr uint32_t DDSCAPS_ZBUFFER = 0x20000;

constexpr uint32_t DDSCL_FULLSCREEN_EXCLUSIVE = 0x11, DDSCL_NORMAL = 0x8;
constexpr uint32_t DDBLTFAST_SRCCOLORKEY = 0x1;

struct VertexBufferDesc {
    uint32_t size, caps, vertexFormat, numVertices;
};
constexpr uint32_t D3DVBCAPS_SYSTEMMEMORY = 0x800, D3DVBCAPS_WRITEONLY = 0x10000;
constexpr uint32_t D3DFVF_LVERTEX = 0x1E2;

enum class TransformState : uint32_t { World = 1, View = 2, Projection = 3 };

enum PrimitiveType : uint32_t {
    D3DPT_POINTLIST = 1, D3DPT_LINELIST = 2, D3DPT_LINESTRIP = 3, D3DPT_TRIANGLELIST = 4, D3DPT_TRIANGLESTRIP = 5,
    D3DPT_TRIANGLEFAN = 6,
};
constexpr uint32_t D3DCLEAR_TARGET = 1, D3DCLEAR_ZBUFFER = 2;

// Render states (their numbers are what the trace and the tests speak of).
enum RenderState : uint32_t {
    RS_ANTIALIAS = 2, RS_TEXTUREPERSPECTIVE = 4, RS_WRAPU = 5, RS_WRAPV = 6, RS_ZENABLE = 7,
    RS_FILLMODE = 8, RS_SHADEMODE = 9, RS_MONOENABLE = 11, RS_ZWRITEENABLE = 14,
    RS_SRCBLEND = 19, RS_DESTBLEND = 20, RS_CULLMODE = 22, RS_ZFUNC = 23, RS_DITHERENABLE = 26,
    RS_ALPHABLENDENABLE = 27, RS_FOGENABLE = 28, RS_SPECULARENABLE = 29, RS_ZVISIBLE = 30,
    RS_SUBPIXEL = 31, RS_FOGCOLOR = 34, RS_FOGTABLEMODE = 35, RS_FOGSTART = 36, RS_FOGEND = 37,
    RS_COLORKEYENABLE = 41, RS_LIGHTING = 137, RS_FOGVERTEXMODE = 140,
};
enum TextureStageState : uint32_t {
    TSS_COLOROP = 1, TSS_COLORARG1 = 2, TSS_COLORARG2 = 3, TSS_ALPHAOP = 4, TSS_ALPHAARG1 = 5,
    TSS_ALPHAARG2 = 6, TSS_MAGFILTER = 16, TSS_MINFILTER = 17,
};

// The values those states take, by the names of the platform they come from; the device
// decodes them by these names, so both sides of the layer speak of the same thing.
enum CompareFunction : uint32_t {  // RS_ZFUNC
    D3DCMP_NEVER = 1, D3DCMP_LESS = 2, D3DCMP_EQUAL = 3, D3DCMP_LESSEQUAL = 4, D3DCMP_GREATER = 5,
    D3DCMP_NOTEQUAL = 6, D3DCMP_GREATEREQUAL = 7, D3DCMP_ALWAYS = 8,
};
enum FillMode : uint32_t { D3DFILL_POINT = 1, D3DFILL_WIREFRAME = 2, D3DFILL_SOLID = 3 };
enum ShadeMode : uint32_t { D3DSHADE_FLAT = 1, D3DSHADE_GOURAUD = 2 };
enum CullMode : uint32_t { D3DCULL_NONE = 1, D3DCULL_CW = 2, D3DCULL_CCW = 3 };  // the winding culled
enum BlendFactor : uint32_t {  // RS_SRCBLEND, RS_DESTBLEND
    D3DBLEND_ZERO = 1, D3DBLEND_ONE = 2, D3DBLEND_SRCCOLOR = 3, D3DBLEND_INVSRCCOLOR = 4, D3DBLEND_SRCALPHA = 5,
    D3DBLEND_INVSRCALPHA = 6, D3DBLEND_DESTALPHA = 7, D3DBLEND_INVDESTALPHA = 8, D3DBLEND_DESTCOLOR = 9,
    D3DBLEND_INVDESTCOLOR = 10,
};
enum FogMode : uint32_t { D3DFOG_NONE = 0, D3DFOG_EXP = 1, D3DFOG_EXP2 = 2, D3DFOG_LINEAR = 3 };
enum TextureOperation : uint32_t {  // TSS_COLOROP, TSS_ALPHAOP
    D3DTOP_DISABLE = 1, D3DTOP_SELECTARG1 = 2, D3DTOP_SELECTARG2 = 3, D3DTOP_MODULATE = 4,
};
enum TextureArgument : uint32_t { D3DTA_DIFFUSE = 0, D3DTA_CURRENT = 1, D3DTA_TEXTURE = 2 };
enum MagnificationFilter : uint32_t { D3DTFG_POINT = 1, D3DTFG_LINEAR = 2 };  // TSS_MAGFILTER
enum MinificationFilter : uint32_t { D3DTFN_POINT = 1, D3DTFN_LINEAR = 2 };   // TSS_MINFILTER

// Called once per offered z-buffer format; returns 0 to stop the enumeration.
using ZBufferCallback = uint32_t (*)(const PixelFormat& format, void* context);
// Called once per offered texture format; returns 0 to stop the enumeration.
using TextureFormatCallback = uint32_t (*)(const PixelFormat* format, void* context);

class RenderDevice {
public:
    virtual ~RenderDevice() = default;

    // The display driver object, the binding to the window and the 3D interface.
    virtual ResultCode createDirectDraw() = 0;
    virtual ResultCode setCooperativeLevel(WindowHandle window, uint32_t flags) = 0;
    virtual ResultCode createDirect3D() = 0;
    virtual ResultCode setDisplayMode(int32_t width, int32_t height, int32_t colourDepth) = 0;

    // Surfaces: the front buffer, back buffer, z-buffer, textures and plain sheets.
    virtual ResultCode createSurface(SurfaceDesc& desc, SurfaceHandle& out) = 0;
    virtual ResultCode getAttachedBackBuffer(SurfaceHandle front, SurfaceHandle& out) = 0;
    virtual ResultCode attachClipper(SurfaceHandle front, WindowHandle window) = 0;
    virtual void enumZBufferFormats(bool hardware, ZBufferCallback callback, void* context) = 0;
    virtual void enumTextureFormats(TextureFormatCallback callback, void* context) = 0;
    virtual ResultCode addAttachedSurface(SurfaceHandle target, SurfaceHandle attached) = 0;
    virtual void releaseSurface(SurfaceHandle surface) = 0;
    virtual bool isLost(SurfaceHandle surface) = 0;
    virtual ResultCode restore(SurfaceHandle surface) = 0;
    // Fills a surface with ARGB pixels, stretched onto its whole area.
    virtual ResultCode writePixels(SurfaceHandle surface, const uint32_t* argb, uint32_t width,
                                   uint32_t height) = 0;
    // Reads back the pixel (0, 0), writes a value there, for the colour-key probe.
    virtual ResultCode setColourKey(SurfaceHandle surface, uint32_t key) = 0;
    // Copies srcRect of src to (x, y) of dest without clipping (the caller checks bounds).
    virtual ResultCode bltFast(SurfaceHandle dest, int32_t x, int32_t y, SurfaceHandle src,
                               const Rect& srcRect, uint32_t flags) = 0;

    // The 3D device and its state.
    virtual ResultCode createDevice(bool hardware, SurfaceHandle renderTarget) = 0;
    virtual ResultCode setViewport(const Viewport& viewport) = 0;
    virtual ResultCode setTransform(TransformState state, const Matrix4& matrix) = 0;
    virtual ResultCode setRenderState(uint32_t state, uint32_t value) = 0;
    virtual ResultCode setTextureStageState(uint32_t stage, uint32_t state, uint32_t value) = 0;
    virtual ResultCode setTexture(uint32_t stage, SurfaceHandle texture) = 0;

    // Vertex buffers. A lock hands out the buffer's memory and its capacity in vertices;
    // the unlock is told how many vertices were written from the start.
    virtual ResultCode createVertexBuffer(const VertexBufferDesc& desc, BufferHandle& out) = 0;
    virtual ResultCode lockVertexBuffer(BufferHandle buffer, LitVertex*& data, uint32_t& capacity) = 0;
    virtual ResultCode unlockVertexBuffer(BufferHandle buffer, uint32_t verticesWritten) = 0;

    // One frame.
    virtual ResultCode clear(const Rect& rect, uint32_t flags, uint32_t colour, float z) = 0;
    virtual ResultCode beginScene() = 0;
    virtual ResultCode endScene() = 0;
    virtual ResultCode drawPrimitive(uint32_t type, const LitVertex* vertices, uint32_t count) = 0;
    virtual ResultCode drawPrimitiveVB(uint32_t type, BufferHandle buffer, uint32_t first, uint32_t count) = 0;
    virtual ResultCode flip(SurfaceHandle front) = 0;
    // Stretches back onto the window's client area; presentRect receives that area.
    virtual ResultCode blitToWindow(SurfaceHandle front, SurfaceHandle back, Rect& presentRect) = 0;

    // Release of the device, the 3D interface and the display driver object.
    virtual void releaseDevice() = 0;
    virtual void releaseDirect3D() = 0;
    virtual void releaseDirectDraw() = 0;

    // Reads a Windows bitmap file into ARGB pixels, rows from the top. False if unreadable.
    virtual bool readBitmapFile(const char* name, std::vector<uint32_t>& argb, uint32_t& width,
                                uint32_t& height) = 0;
};
