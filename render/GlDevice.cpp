// The RenderDevice over OpenGL: surfaces as textures, framebuffers and renderbuffers,
// the render states in GL's terms, vertex buffers, draws and batched sprite blits.
#include "render/GlDevice.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
#include <SDL.h>

#include <cstdio>
#include <cstring>

#include "render/DataFiles.h"
#include "render/TriangleList.h"

namespace {

GLenum primitiveMode(uint32_t type) {
    switch (type) {
        case D3DPT_POINTLIST: return GL_POINTS;
        case D3DPT_LINELIST: return GL_LINES;
        case D3DPT_LINESTRIP: return GL_LINE_STRIP;
        case D3DPT_TRIANGLESTRIP: return GL_TRIANGLE_STRIP;
        case D3DPT_TRIANGLEFAN: return GL_TRIANGLE_FAN;
        default: return GL_TRIANGLES;
    }
}

GLenum compareFunction(uint32_t value) {
    switch (value) {
        case D3DCMP_NEVER: return GL_NEVER;
        case D3DCMP_LESS: return GL_LESS;
        case D3DCMP_EQUAL: return GL_EQUAL;
        case D3DCMP_LESSEQUAL: return GL_LEQUAL;
        case D3DCMP_GREATER: return GL_GREATER;
        case D3DCMP_NOTEQUAL: return GL_NOTEQUAL;
        case D3DCMP_GREATEREQUAL: return GL_GEQUAL;
        case D3DCMP_ALWAYS: return GL_ALWAYS;
        default: return value == 0 ? GL_ALWAYS : GL_LEQUAL;
    }
}

GLenum blendFactor(uint32_t value) {
    switch (value) {
        case D3DBLEND_ZERO: return GL_ZERO;
        case D3DBLEND_ONE: return GL_ONE;
        case D3DBLEND_SRCCOLOR: return GL_SRC_COLOR;
        case D3DBLEND_INVSRCCOLOR: return GL_ONE_MINUS_SRC_COLOR;
        case D3DBLEND_SRCALPHA: return GL_SRC_ALPHA;
        case D3DBLEND_INVSRCALPHA: return GL_ONE_MINUS_SRC_ALPHA;
        case D3DBLEND_DESTALPHA: return GL_DST_ALPHA;
        case D3DBLEND_INVDESTALPHA: return GL_ONE_MINUS_DST_ALPHA;
        case D3DBLEND_DESTCOLOR: return GL_DST_COLOR;
        case D3DBLEND_INVDESTCOLOR: return GL_ONE_MINUS_DST_COLOR;
        default: return GL_ONE;
    }
}

GLenum fillMode(uint32_t value) {
    if (value == D3DFILL_POINT) return GL_POINT;
    return value == D3DFILL_WIREFRAME ? GL_LINE : GL_FILL;
}

float bitsToFloat(uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

void setEnabled(GLenum cap, bool on) {
    if (on) glEnable(cap);
    else glDisable(cap);
}

// Whether GL has recorded no error since it was last asked.
bool glSucceeded() { return glGetError() == GL_NO_ERROR; }

}  // namespace

GlDevice::GlDevice(SDL_Window* window) : window_(window) {}

GlDevice::~GlDevice() {
    if (context_) SDL_GL_DeleteContext(static_cast<SDL_GLContext>(context_));
}

const char* GlDevice::rendererName() const {
    return context_ ? reinterpret_cast<const char*>(glGetString(GL_RENDERER)) : "";
}

GlDevice::GlSurface* GlDevice::find(SurfaceHandle handle, Kind kind) {
    if (handle == 0 || handle > surfaces_.size()) return nullptr;
    GlSurface& s = surfaces_[handle - 1];
    return s.kind == kind ? &s : nullptr;
}

SurfaceHandle GlDevice::newSurface(const GlSurface& s) {
    surfaces_.push_back(s);
    return static_cast<SurfaceHandle>(surfaces_.size());
}

ResultCode GlDevice::createDirectDraw() {
    return (window_ && SDL_WasInit(SDL_INIT_VIDEO)) ? kOk : E_FAIL;
}

ResultCode GlDevice::setCooperativeLevel(WindowHandle, uint32_t flags) {
    if (!window_) return DDERR_INVALIDOBJECT;
    if (flags == DDSCL_FULLSCREEN_EXCLUSIVE) return SDL_SetWindowFullscreen(window_, SDL_WINDOW_FULLSCREEN) == 0 ? kOk : E_FAIL;
    return kOk;
}

ResultCode GlDevice::createDirect3D() {
    if (context_) return kOk;
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    context_ = SDL_GL_CreateContext(window_);
    if (!context_) return E_FAIL;
    if (SDL_GL_MakeCurrent(window_, static_cast<SDL_GLContext>(context_)) != 0) return E_FAIL;
    // Framebuffer objects and buffer objects are what the device is built from.
    if (!SDL_GL_ExtensionSupported("GL_ARB_framebuffer_object") ||
        !SDL_GL_ExtensionSupported("GL_ARB_vertex_buffer_object"))
        return E_FAIL;
    return kOk;
}

ResultCode GlDevice::setDisplayMode(int32_t width, int32_t height, int32_t) {
    if (!window_) return DDERR_INVALIDOBJECT;
    SDL_DisplayMode mode{};
    mode.w = width;
    mode.h = height;
    return SDL_SetWindowDisplayMode(window_, &mode) == 0 ? kOk : E_FAIL;
}

ResultCode GlDevice::createSurface(SurfaceDesc& desc, SurfaceHandle& out) {
    out = 0;
    if (!context_) return DDERR_INVALIDOBJECT;
    if (desc.caps & DDSCAPS_PRIMARYSURFACE) return createWindowSurface(desc, out);
    if (desc.width == 0 || desc.height == 0) return DDERR_INVALIDPARAMS;
    GlSurface s;
    s.width = desc.width;
    s.height = desc.height;
    ResultCode r = DDERR_INVALIDPARAMS;
    if (desc.caps & DDSCAPS_ZBUFFER) {
        r = createDepthBuffer(desc.pixelFormat, s);
    } else if (desc.caps & DDSCAPS_3DDEVICE) {
        r = createColourTarget(s);
    } else if (desc.caps & DDSCAPS_TEXTURE) {
        // The texture takes the format the search chose; with none, there is no texture.
        if (desc.pixelFormat.bitCount == 0) return DDERR_INVALIDPARAMS;
        s.kind = Kind::Texture;
        glGenTextures(1, &s.texture);
        r = kOk;
    } else if (desc.caps & DDSCAPS_OFFSCREENPLAIN) {
        s.kind = Kind::Sheet;
        glGenTextures(1, &s.texture);
        r = kOk;
    }
    if (r != kOk) return r;
    out = newSurface(s);
    return kOk;
}

ResultCode GlDevice::createWindowSurface(SurfaceDesc& desc, SurfaceHandle& out) {
    GlSurface s;
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(window_, &w, &h);
    s.kind = Kind::Window;
    s.width = w;
    s.height = h;
    // A flipping chain waits for the vertical blank, as a flip does; a window does not.
    const bool flipping = (desc.caps & DDSCAPS_FLIP) && desc.backBufferCount > 0;
    SDL_GL_SetSwapInterval(flipping ? 1 : 0);
    if (flipping) {
        SurfaceDesc backDesc{};
        backDesc.caps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE;
        backDesc.width = desc.width;
        backDesc.height = desc.height;
        SurfaceHandle back = 0;
        const ResultCode r = createSurface(backDesc, back);
        if (r != kOk) return r;
        s.attachedBack = back;
    }
    desc.width = s.width;
    desc.height = s.height;
    out = newSurface(s);
    return kOk;
}

ResultCode GlDevice::createDepthBuffer(const PixelFormat& format, GlSurface& s) {
    if (format.flags != DDPF_ZBUFFER) return DDERR_INVALIDPARAMS;
    const GLenum depth = format.bitCount >= 32   ? GL_DEPTH_COMPONENT32
                         : format.bitCount >= 24 ? GL_DEPTH_COMPONENT24
                                                 : GL_DEPTH_COMPONENT16;
    s.kind = Kind::Depth;
    glGenRenderbuffers(1, &s.renderbuffer);
    glBindRenderbuffer(GL_RENDERBUFFER, s.renderbuffer);
    glRenderbufferStorage(GL_RENDERBUFFER, depth, s.width, s.height);
    return glSucceeded() ? kOk : E_FAIL;
}

ResultCode GlDevice::createColourTarget(GlSurface& s) {
    s.kind = Kind::Colour;
    glGenTextures(1, &s.texture);
    glBindTexture(GL_TEXTURE_2D, s.texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, s.width, s.height, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glGenFramebuffers(1, &s.framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, s.framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, s.texture, 0);
    const bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    return complete ? kOk : E_FAIL;
}

ResultCode GlDevice::getAttachedBackBuffer(SurfaceHandle front, SurfaceHandle& out) {
    GlSurface* s = find(front, Kind::Window);
    if (!s || !s->attachedBack) return DDERR_NOTFOUND;
    out = s->attachedBack;
    return kOk;
}

ResultCode GlDevice::attachClipper(SurfaceHandle, WindowHandle) {
    // The window system clips a GL window's drawable itself.
    return kOk;
}

void GlDevice::enumZBufferFormats(bool, ZBufferCallback callback, void* context) {
    if (!context_) return;
    // Offered in this order; the renderer takes the first plain z-buffer.
    const PixelFormat offered[] = {
        {32, DDPF_ZBUFFER | DDPF_STENCILBUFFER, 0, 32, {0xFFFFFF00, 0xFF, 0, 0}},
        {32, DDPF_ZBUFFER, 0, 24, {0xFFFFFF, 0, 0, 0}},
        {32, DDPF_ZBUFFER, 0, 16, {0xFFFF, 0, 0, 0}},
    };
    for (const PixelFormat& f : offered)
        if (callback(f, context) == 0) return;
}

void GlDevice::enumTextureFormats(TextureFormatCallback callback, void* context) {
    const PixelFormat offered[] = {
        {32, DDPF_RGB | DDPF_ALPHAPIXELS, 0, 16, {0x7C00, 0x3E0, 0x1F, 0x8000}},
        {32, DDPF_RGB, 0, 16, {0xF800, 0x7E0, 0x1F, 0}},
        {32, DDPF_RGB | DDPF_ALPHAPIXELS, 0, 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}},
    };
    for (const PixelFormat& f : offered)
        if (callback(&f, context) == 0) return;
}

ResultCode GlDevice::addAttachedSurface(SurfaceHandle target, SurfaceHandle attached) {
    GlSurface* colour = find(target, Kind::Colour);
    GlSurface* depth = find(attached, Kind::Depth);
    if (!colour || !depth) return DDERR_INVALIDOBJECT;
    if (colour->width != depth->width || colour->height != depth->height) return DDERR_INVALIDPARAMS;
    glBindFramebuffer(GL_FRAMEBUFFER, colour->framebuffer);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth->renderbuffer);
    const bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    return complete ? kOk : E_FAIL;
}

void GlDevice::releaseSurface(SurfaceHandle handle) {
    if (handle == 0 || handle > surfaces_.size() || !context_) return;
    flushBlits();
    GlSurface& s = surfaces_[handle - 1];
    if (s.framebuffer) glDeleteFramebuffers(1, &s.framebuffer);
    if (s.texture) glDeleteTextures(1, &s.texture);
    if (s.renderbuffer) glDeleteRenderbuffers(1, &s.renderbuffer);
    if (target_ == handle) target_ = 0;
    s = GlSurface{};
}

bool GlDevice::isLost(SurfaceHandle) {
    // GL keeps its framebuffers and textures across mode switches: nothing is ever lost.
    return false;
}

ResultCode GlDevice::restore(SurfaceHandle) { return kOk; }

void GlDevice::uploadSheet(GlSurface& s) {
    // Transparency of the colour key becomes alpha 0, which the blit's alpha test drops.
    std::vector<uint32_t> keyed(s.pixels);
    for (uint32_t& p : keyed) {
        const bool transparent = s.keyed && (p & 0xFFFFFF) == (s.key & 0xFFFFFF);
        p = transparent ? (p & 0xFFFFFF) : (p | 0xFF000000);
    }
    glBindTexture(GL_TEXTURE_2D, s.texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, s.width, s.height, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, keyed.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
}

ResultCode GlDevice::writePixels(SurfaceHandle handle, const uint32_t* argb, uint32_t width, uint32_t height) {
    if (handle == 0 || handle > surfaces_.size() || !argb) return DDERR_INVALIDOBJECT;
    GlSurface& s = surfaces_[handle - 1];
    flushBlits();  // blits made so far show the pixels the sheet had then
    // The loaders make the surface as large as the bitmap, so the copy is one to one.
    if (s.width != width || s.height != height) return DDERR_INVALIDPARAMS;
    if (s.kind == Kind::Sheet) {
        s.pixels.assign(argb, argb + static_cast<size_t>(width) * height);
        uploadSheet(s);
        return kOk;
    }
    if (s.kind != Kind::Texture) return DDERR_INVALIDPARAMS;
    glBindTexture(GL_TEXTURE_2D, s.texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    // 16 bits per texel, as the texture format search asked for.
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB5, width, height, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, argb);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    return glSucceeded() ? kOk : E_FAIL;
}

ResultCode GlDevice::setColourKey(SurfaceHandle handle, uint32_t key) {
    GlSurface* s = find(handle, Kind::Sheet);
    if (!s) return DDERR_INVALIDOBJECT;
    flushBlits();
    s->keyed = true;
    s->key = key;
    if (!s->pixels.empty()) uploadSheet(*s);
    return kOk;
}

ResultCode GlDevice::bltFast(SurfaceHandle dest, int32_t x, int32_t y, SurfaceHandle src, const Rect& r,
                             uint32_t flags) {
    GlSurface* target = find(dest, Kind::Colour);
    GlSurface* sheet = find(src, Kind::Sheet);
    if (!target || !sheet) return DDERR_INVALIDOBJECT;
    // Blits are collected in their order and drawn together (flushBlits): one draw for
    // all those of the same target, sheet and flags, as the whole overlay of a frame is.
    if (!blits_.corners.empty() && (blits_.target != dest || blits_.sheet != src || blits_.flags != flags)) flushBlits();
    blits_.target = dest, blits_.sheet = src, blits_.flags = flags;
    const float left = float(x), top = float(y), right = float(x + r.right - r.left), bottom = float(y + r.bottom - r.top);
    const float u0 = float(r.left) / sheet->width, u1 = float(r.right) / sheet->width;
    const float v0 = float(r.top) / sheet->height, v1 = float(r.bottom) / sheet->height;
    blits_.corners.insert(blits_.corners.end(),
                          {left, top, u0, v0, right, top, u1, v0, right, bottom, u1, v1, left, bottom, u0, v1});
    return kOk;
}

void GlDevice::flushBlits() {
    GlSurface* target = find(blits_.target, Kind::Colour);
    GlSurface* sheet = find(blits_.sheet, Kind::Sheet);
    if (blits_.corners.empty() || !target || !sheet || !context_) {
        blits_.corners.clear();
        return;
    }
    // Client arrays are not part of the attribute stack: without their own push, the
    // scene of the next frame would lose its vertex colours to the blits' white.
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    glBindFramebuffer(GL_FRAMEBUFFER, target->framebuffer);
    glViewport(0, 0, target->width, target->height);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    // Pixels from the top left, as the overlay places them.
    glOrtho(0, target->width, target->height, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_FOG);
    glDisable(GL_BLEND);
    glDisable(GL_CULL_FACE);
    setEnabled(GL_ALPHA_TEST, blits_.flags & DDBLTFAST_SRCCOLORKEY);
    glAlphaFunc(GL_GREATER, 0.5f);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, sheet->texture);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_FOG_COORDINATE_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glColor4f(1, 1, 1, 1);
    glVertexPointer(2, GL_FLOAT, 4 * sizeof(float), blits_.corners.data());
    glTexCoordPointer(2, GL_FLOAT, 4 * sizeof(float), blits_.corners.data() + 2);
    ++drawSubmissions_;
    glDrawArrays(GL_QUADS, 0, static_cast<GLsizei>(blits_.corners.size() / 4));
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopClientAttrib();
    glPopAttrib();
    blits_.corners.clear();
}

ResultCode GlDevice::createDevice(bool, SurfaceHandle renderTarget) {
    // The software device was chosen before the context existed (Mesa's rasteriser).
    GlSurface* s = find(renderTarget, Kind::Colour);
    if (!context_ || !s) return DDERR_INVALIDOBJECT;
    target_ = renderTarget;
    bindTarget();
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glProvokingVertex(GL_FIRST_VERTEX_CONVENTION);  // flat shading takes the first vertex
    // Fog by vertex: each vertex brings its own fog coordinate (see fogCoordinates).
    glFogi(GL_FOG_COORDINATE_SOURCE, GL_FOG_COORDINATE);
    glDisable(GL_LIGHTING);
    world_.setIdentity();
    view_.setIdentity();
    modelView_.setIdentity();
    deviceReady_ = true;
    return glSucceeded() ? kOk : E_FAIL;
}

void GlDevice::bindTarget() {
    GlSurface* s = find(target_, Kind::Colour);
    glBindFramebuffer(GL_FRAMEBUFFER, s ? s->framebuffer : 0);
}

ResultCode GlDevice::setViewport(const Viewport& v) {
    GlSurface* s = find(target_, Kind::Colour);
    if (!s) return DDERR_INVALIDOBJECT;
    // GL counts rows from the bottom.
    glViewport(v.x, static_cast<GLint>(s->height) - static_cast<GLint>(v.y + v.height), v.width, v.height);
    glDepthRange(v.minZ, v.maxZ);
    return kOk;
}

void GlDevice::loadModelView() {
    // Row vectors times world times view: the same floats, read column-major by GL.
    modelView_ = Matrix4::product(world_, view_);
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(modelView_.m);
}

ResultCode GlDevice::setTransform(TransformState state, const Matrix4& matrix) {
    if (!deviceReady_) return DDERR_INVALIDOBJECT;
    if (state == TransformState::World) {
        world_ = matrix;
        loadModelView();
    } else if (state == TransformState::View) {
        view_ = matrix;
        loadModelView();
    } else {
        // Depth 0..1 becomes GL's -1..1: column 2 := 2 column 2 - column 3.
        Matrix4 p = matrix;
        for (int r = 0; r < 4; ++r) p.at(r, 2) = 2.0f * matrix.at(r, 2) - matrix.at(r, 3);
        glMatrixMode(GL_PROJECTION);
        glLoadMatrixf(p.m);
        glMatrixMode(GL_MODELVIEW);
    }
    return kOk;
}

ResultCode GlDevice::setRenderState(uint32_t state, uint32_t value) {
    if (!deviceReady_) return DDERR_INVALIDOBJECT;
    switch (state) {
        case RS_TEXTUREPERSPECTIVE: glHint(GL_PERSPECTIVE_CORRECTION_HINT, value ? GL_NICEST : GL_FASTEST); break;
        case RS_ZENABLE: setEnabled(GL_DEPTH_TEST, value != 0); break;
        case RS_ZFUNC: glDepthFunc(compareFunction(value)); break;
        case RS_ZWRITEENABLE: glDepthMask(value ? GL_TRUE : GL_FALSE); break;
        case RS_FILLMODE: glPolygonMode(GL_FRONT_AND_BACK, fillMode(value)); break;
        case RS_SHADEMODE: glShadeModel(value == D3DSHADE_FLAT ? GL_FLAT : GL_SMOOTH); break;
        case RS_CULLMODE:
            // The matrices load unchanged and nothing is mirrored on the way to the window,
            // so a triangle keeps the winding it has on the screen: culling the
            // counter-clockwise ones keeps those the viewer sees clockwise.
            setEnabled(GL_CULL_FACE, value == D3DCULL_CW || value == D3DCULL_CCW);
            glFrontFace(value == D3DCULL_CCW ? GL_CW : GL_CCW);
            glCullFace(GL_BACK);
            break;
        case RS_DITHERENABLE: setEnabled(GL_DITHER, value != 0); break;
        case RS_ALPHABLENDENABLE: setEnabled(GL_BLEND, value != 0); break;
        case RS_SRCBLEND: {
            GLint dst;
            glGetIntegerv(GL_BLEND_DST, &dst);
            glBlendFunc(blendFactor(value), dst);
            break;
        }
        case RS_DESTBLEND: {
            GLint src;
            glGetIntegerv(GL_BLEND_SRC, &src);
            glBlendFunc(src, blendFactor(value));
            break;
        }
        case RS_FOGENABLE: setEnabled(GL_FOG, value != 0); break;
        case RS_FOGVERTEXMODE:
            if (value == D3DFOG_LINEAR) glFogi(GL_FOG_MODE, GL_LINEAR);
            else if (value == D3DFOG_EXP) glFogi(GL_FOG_MODE, GL_EXP);
            else if (value == D3DFOG_EXP2) glFogi(GL_FOG_MODE, GL_EXP2);
            break;
        case RS_FOGCOLOR: {
            const GLfloat colour[4] = {((value >> 16) & 0xFF) / 255.0f, ((value >> 8) & 0xFF) / 255.0f,
                                       (value & 0xFF) / 255.0f, (value >> 24) / 255.0f};
            glFogfv(GL_FOG_COLOR, colour);
            break;
        }
        case RS_FOGSTART: glFogf(GL_FOG_START, fogStart_ = bitsToFloat(value)); break;
        case RS_FOGEND: glFogf(GL_FOG_END, fogEnd_ = bitsToFloat(value)); break;
        case RS_LIGHTING: setEnabled(GL_LIGHTING, value != 0); break;
        default: break;  // states without a GL counterpart (antialias, subpixel, ...) are accepted
    }
    return glSucceeded() ? kOk : DDERR_INVALIDPARAMS;
}

ResultCode GlDevice::setTextureStageState(uint32_t stage, uint32_t state, uint32_t value) {
    if (!deviceReady_) return DDERR_INVALIDOBJECT;
    if (stage != 0) return DDERR_INVALIDPARAMS;
    // Colour = texture x diffuse, alpha = diffuse alpha: GL's modulate, with textures
    // that carry no alpha of their own.
    if (state == TSS_COLOROP) glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, value == D3DTOP_MODULATE ? GL_MODULATE : GL_REPLACE);
    else if (state == TSS_MAGFILTER) magFilter_ = value;
    else if (state == TSS_MINFILTER) minFilter_ = value;
    return kOk;
}

ResultCode GlDevice::setTexture(uint32_t stage, SurfaceHandle handle) {
    if (!deviceReady_) return DDERR_INVALIDOBJECT;
    if (stage != 0) return DDERR_INVALIDPARAMS;
    if (handle == 0 || handle > surfaces_.size() || !surfaces_[handle - 1].texture) {
        glDisable(GL_TEXTURE_2D);
        return handle == 0 ? kOk : DDERR_INVALIDOBJECT;
    }
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, surfaces_[handle - 1].texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, magFilter_ == D3DTFG_POINT ? GL_NEAREST : GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, minFilter_ == D3DTFN_POINT ? GL_NEAREST : GL_LINEAR);
    return kOk;
}

ResultCode GlDevice::createVertexBuffer(const VertexBufferDesc& desc, BufferHandle& out) {
    out = 0;
    if (!deviceReady_) return DDERR_INVALIDOBJECT;
    if (desc.vertexFormat != D3DFVF_LVERTEX || desc.numVertices == 0) return DDERR_INVALIDPARAMS;
    GlBuffer b;
    b.capacity = desc.numVertices;
    glGenBuffers(1, &b.name);
    glBindBuffer(GL_ARRAY_BUFFER, b.name);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(b.capacity) * sizeof(LitVertex), nullptr, GL_STREAM_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    if (!glSucceeded()) return E_FAIL;
    buffers_.push_back(std::move(b));
    out = static_cast<BufferHandle>(buffers_.size());
    return kOk;
}

ResultCode GlDevice::lockVertexBuffer(BufferHandle handle, LitVertex*& data, uint32_t& capacity) {
    data = nullptr;
    capacity = 0;
    if (handle == 0 || handle > buffers_.size()) return DDERR_INVALIDOBJECT;
    GlBuffer& b = buffers_[handle - 1];
    // The lock hands out system memory; the unlock sends only what was written.
    if (b.shadow.size() != b.capacity) b.shadow.resize(b.capacity);
    data = b.shadow.data();
    capacity = b.capacity;
    return kOk;
}

ResultCode GlDevice::unlockVertexBuffer(BufferHandle handle, uint32_t written) {
    if (handle == 0 || handle > buffers_.size()) return DDERR_INVALIDOBJECT;
    GlBuffer& b = buffers_[handle - 1];
    if (written > b.capacity) written = b.capacity;
    glBindBuffer(GL_ARRAY_BUFFER, b.name);
    // New storage of just what was written: the driver need not wait for last frame's
    // draw, nor allocate the whole capacity every frame.
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(written) * sizeof(LitVertex), b.shadow.data(), GL_STREAM_DRAW);
    b.uploaded = written;
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    return kOk;
}

ResultCode GlDevice::clear(const Rect& r, uint32_t flags, uint32_t colour, float z) {
    GlSurface* s = find(target_, Kind::Colour);
    if (!s) return DDERR_INVALIDOBJECT;
    flushBlits();  // whatever was blitted before lies under what comes after
    bindTarget();
    glPushAttrib(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_SCISSOR_BIT);
    // The whole target is cleared without a scissor, which lets the driver clear fast.
    const bool whole = r.left <= 0 && r.top <= 0 && r.right >= int32_t(s->width) && r.bottom >= int32_t(s->height);
    setEnabled(GL_SCISSOR_TEST, !whole);
    glScissor(r.left, static_cast<GLint>(s->height) - r.bottom, r.right - r.left, r.bottom - r.top);
    // A clear ignores the depth-write state, as the renderer expects of it.
    glDepthMask(GL_TRUE);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glClearColor(((colour >> 16) & 0xFF) / 255.0f, ((colour >> 8) & 0xFF) / 255.0f, (colour & 0xFF) / 255.0f,
                 (colour >> 24) / 255.0f);
    glClearDepth(z);
    GLbitfield mask = 0;
    if (flags & D3DCLEAR_TARGET) mask |= GL_COLOR_BUFFER_BIT;
    if (flags & D3DCLEAR_ZBUFFER) mask |= GL_DEPTH_BUFFER_BIT;
    glClear(mask);
    glPopAttrib();
    return kOk;
}

ResultCode GlDevice::beginScene() {
    if (!deviceReady_) return DDERR_INVALIDOBJECT;
    bindTarget();
    return kOk;
}

ResultCode GlDevice::endScene() { return deviceReady_ && glSucceeded() ? kOk : E_FAIL; }

void GlDevice::applyVertexPointers(const LitVertex* base) {
    const auto* bytes = reinterpret_cast<const char*>(base);
    glVertexPointer(3, GL_FLOAT, sizeof(LitVertex), bytes + offsetof(LitVertex, x));
    // 0xAARRGGBB words are B, G, R, A in memory.
    glColorPointer(GL_BGRA, GL_UNSIGNED_BYTE, sizeof(LitVertex), bytes + offsetof(LitVertex, colour));
    glTexCoordPointer(2, GL_FLOAT, sizeof(LitVertex), bytes + offsetof(LitVertex, tu));
}

void GlDevice::fogCoordinates(const LitVertex* vertices, uint32_t count) {
    // The vertex's eye depth, clamped to where the fog runs: GL then interpolates it
    // over the primitive and, the fog being linear in it, so the fog factor itself.
    fogCoords_.resize(count);
    const Matrix4& m = modelView_;
    for (uint32_t i = 0; i < count; ++i) {
        const LitVertex& v = vertices[i];
        const float depth = m.transformedComponent(Vector3(v.x, v.y, v.z), 2);
        fogCoords_[i] = depth < fogStart_ ? fogStart_ : (depth > fogEnd_ ? fogEnd_ : depth);
    }
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glFogCoordPointer(GL_FLOAT, 0, fogCoords_.data());
    glEnableClientState(GL_FOG_COORDINATE_ARRAY);
}

ResultCode GlDevice::drawPrimitive(uint32_t type, const LitVertex* vertices, uint32_t count) {
    if (!deviceReady_) return DDERR_INVALIDOBJECT;
    if (!vertices) return DDERR_INVALIDPARAMS;
    flushBlits();
    fogCoordinates(vertices, count);
    applyVertexPointers(vertices);
    ++drawSubmissions_;
    glDrawArrays(primitiveMode(type), 0, count);
    glDisableClientState(GL_FOG_COORDINATE_ARRAY);
    return glSucceeded() ? kOk : E_FAIL;
}

ResultCode GlDevice::drawPrimitiveVB(uint32_t type, BufferHandle handle, uint32_t first, uint32_t count) {
    if (!deviceReady_) return DDERR_INVALIDOBJECT;
    if (handle == 0 || handle > buffers_.size()) return DDERR_INVALIDOBJECT;
    const GlBuffer& b = buffers_[handle - 1];
    if (first > b.uploaded || count > b.uploaded - first) return DDERR_INVALIDPARAMS;  // only what GL holds
    if (count == 0) return kOk;
    // The buffer's vertices as the last unlock sent them, from its system-memory copy;
    // the fog coordinates are counted from `first` like the vertices.
    if (b.shadow.size() < static_cast<size_t>(first) + count) return DDERR_INVALIDPARAMS;
    flushBlits();
    fogCoordinates(b.shadow.data(), first + count);
    glBindBuffer(GL_ARRAY_BUFFER, b.name);
    applyVertexPointers(nullptr);
    ++drawSubmissions_;
    glDrawArrays(primitiveMode(type), first, count);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glDisableClientState(GL_FOG_COORDINATE_ARRAY);
    return glSucceeded() ? kOk : E_FAIL;
}

ResultCode GlDevice::flip(SurfaceHandle front) {
    GlSurface* s = find(front, Kind::Window);
    if (!s) return DDERR_INVALIDOBJECT;
    Rect ignored{};
    return blitToWindow(front, s->attachedBack, ignored);
}

ResultCode GlDevice::blitToWindow(SurfaceHandle front, SurfaceHandle back, Rect& presentRect) {
    GlSurface* w = find(front, Kind::Window);
    GlSurface* b = find(back, Kind::Colour);
    if (!w || !b) return DDERR_INVALIDOBJECT;
    flushBlits();
    int dw = 0, dh = 0;
    SDL_GL_GetDrawableSize(window_, &dw, &dh);
    int wx = 0, wy = 0;
    SDL_GetWindowPosition(window_, &wx, &wy);
    presentRect = {wx, wy, wx + dw, wy + dh};
    glBindFramebuffer(GL_READ_FRAMEBUFFER, b->framebuffer);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    ++drawSubmissions_;
    glBlitFramebuffer(0, 0, b->width, b->height, 0, 0, dw, dh, GL_COLOR_BUFFER_BIT,
                      (static_cast<int>(b->width) == dw && static_cast<int>(b->height) == dh) ? GL_NEAREST : GL_LINEAR);
    SDL_GL_SwapWindow(window_);
    bindTarget();
    return glSucceeded() ? kOk : E_FAIL;
}

void GlDevice::releaseDevice() {
    for (GlBuffer& b : buffers_)
        if (b.name && context_) glDeleteBuffers(1, &b.name);
    buffers_.clear();
    deviceReady_ = false;
    target_ = 0;
}

void GlDevice::releaseDirect3D() {
    blits_.corners.clear();
    if (context_) SDL_GL_DeleteContext(static_cast<SDL_GLContext>(context_));
    context_ = nullptr;
    surfaces_.clear();
}

void GlDevice::releaseDirectDraw() {}

bool GlDevice::readBitmapFile(const char* name, std::vector<uint32_t>& argb, uint32_t& width, uint32_t& height) {
    // A header may claim any size, and SDL sets aside that much memory before it reads a
    // pixel (60000 x 60000 asks for gigabytes): a claim no data file makes is refused.
    uint32_t claimedWidth = 0, claimedHeight = 0;
    if (checkBitmapHeader(name, claimedWidth, claimedHeight) == BitmapCheck::TooLarge) return false;
    SDL_Surface* loaded = SDL_LoadBMP(name);
    if (!loaded) return false;
    SDL_Surface* converted = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_ARGB8888, 0);
    SDL_FreeSurface(loaded);
    if (!converted) return false;
    width = converted->w;
    height = converted->h;
    argb.resize(static_cast<size_t>(width) * height);
    SDL_LockSurface(converted);
    for (uint32_t y = 0; y < height; ++y)
        std::memcpy(&argb[static_cast<size_t>(y) * width], static_cast<const char*>(converted->pixels) + y * converted->pitch,
                    width * 4);
    SDL_UnlockSurface(converted);
    SDL_FreeSurface(converted);
    return true;
}

bool GlDevice::readBackBuffer(std::vector<uint32_t>& argb, uint32_t& width, uint32_t& height) {
    GlSurface* s = find(target_, Kind::Colour);
    if (!s) return false;
    flushBlits();
    width = s->width;
    height = s->height;
    std::vector<uint32_t> rows(static_cast<size_t>(width) * height);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, s->framebuffer);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, width, height, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, rows.data());
    argb.resize(rows.size());
    for (uint32_t y = 0; y < height; ++y)
        std::memcpy(&argb[static_cast<size_t>(y) * width], &rows[static_cast<size_t>(height - 1 - y) * width], width * 4);
    bindTarget();
    return glSucceeded();
}
