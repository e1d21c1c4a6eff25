// A device double for the renderer's own logic: it accepts every request, remembers
// what it was asked, and can be told to offer no plain z-buffer format or to hand out
// vertex buffers smaller than asked, so failure paths can be driven on demand.
#pragma once

#include <string>
#include <vector>

#include "render/RenderDevice.h"
#include "render/TriangleList.h"

class FakeDevice : public RenderDevice {
public:
    bool offerPlainZBuffer = true;
    uint32_t bufferCapacity = 0;  // 0: as asked
    std::vector<std::string> calls;
    std::vector<std::pair<uint32_t, uint32_t>> renderStates;  // (state | 0x1000 for stage, value)
    std::vector<std::vector<LitVertex>> buffers;
    std::vector<uint32_t> written;  // per buffer: vertices the last unlock reported
    std::vector<uint32_t> drawnLineVertices;
    int vbDraws = 0;
    uint32_t lastVbCount = 0;
    uint32_t nextSurface = 1;

    ResultCode createDirectDraw() override { return note("createDirectDraw"); }
    ResultCode setCooperativeLevel(WindowHandle, uint32_t flags) override { return note("coop " + std::to_string(flags)); }
    ResultCode createDirect3D() override { return note("createDirect3D"); }
    ResultCode setDisplayMode(int32_t, int32_t, int32_t) override { return note("setDisplayMode"); }
    ResultCode createSurface(SurfaceDesc& desc, SurfaceHandle& out) override {
        note("createSurface " + std::to_string(desc.caps));
        if ((desc.caps & DDSCAPS_ZBUFFER) && desc.pixelFormat.flags != DDPF_ZBUFFER) return DDERR_INVALIDPARAMS;
        out = nextSurface++;
        return kOk;
    }
    ResultCode getAttachedBackBuffer(SurfaceHandle, SurfaceHandle& out) override {
        out = nextSurface++;
        return note("getAttachedBackBuffer");
    }
    ResultCode attachClipper(SurfaceHandle, WindowHandle) override { return note("attachClipper"); }
    void enumZBufferFormats(bool, ZBufferCallback callback, void* context) override {
        const PixelFormat withStencil{32, DDPF_ZBUFFER | DDPF_STENCILBUFFER, 0, 32, {}};
        const PixelFormat plain{32, DDPF_ZBUFFER, 0, 16, {}};
        if (callback(withStencil, context) == 0) return;
        if (offerPlainZBuffer) callback(plain, context);
    }
    void enumTextureFormats(TextureFormatCallback callback, void* context) override {
        const PixelFormat f{32, DDPF_RGB, 0, 16, {}};
        callback(&f, context);
    }
    ResultCode addAttachedSurface(SurfaceHandle, SurfaceHandle) override { return note("addAttachedSurface"); }
    void releaseSurface(SurfaceHandle) override {}
    bool isLost(SurfaceHandle) override { return false; }
    ResultCode restore(SurfaceHandle) override { return kOk; }
    ResultCode writePixels(SurfaceHandle, const uint32_t*, uint32_t, uint32_t) override { return kOk; }
    ResultCode setColourKey(SurfaceHandle, uint32_t) override { return kOk; }
    ResultCode bltFast(SurfaceHandle, int32_t, int32_t, SurfaceHandle, const Rect&, uint32_t) override {
        return note("bltFast");
    }
    ResultCode createDevice(bool hardware, SurfaceHandle) override {
        return note(hardware ? "createDevice hardware" : "createDevice software");
    }
    ResultCode setViewport(const Viewport&) override { return kOk; }
    ResultCode setTransform(TransformState, const Matrix4&) override { return kOk; }
    ResultCode setRenderState(uint32_t state, uint32_t value) override {
        renderStates.push_back({state, value});
        return kOk;
    }
    ResultCode setTextureStageState(uint32_t, uint32_t state, uint32_t value) override {
        renderStates.push_back({state | 0x1000, value});
        return kOk;
    }
    ResultCode setTexture(uint32_t, SurfaceHandle) override { return kOk; }
    ResultCode createVertexBuffer(const VertexBufferDesc& desc, BufferHandle& out) override {
        buffers.emplace_back(bufferCapacity ? bufferCapacity : desc.numVertices);
        written.push_back(0);
        out = static_cast<BufferHandle>(buffers.size());
        return kOk;
    }
    ResultCode lockVertexBuffer(BufferHandle b, LitVertex*& data, uint32_t& capacity) override {
        data = buffers[b - 1].data();
        capacity = static_cast<uint32_t>(buffers[b - 1].size());
        return kOk;
    }
    ResultCode unlockVertexBuffer(BufferHandle b, uint32_t count) override {
        written[b - 1] = count;
        return kOk;
    }
    ResultCode clear(const Rect&, uint32_t, uint32_t, float) override { return note("clear"); }
    ResultCode beginScene() override { return kOk; }
    ResultCode endScene() override { return kOk; }
    ResultCode drawPrimitive(uint32_t, const LitVertex*, uint32_t count) override {
        drawnLineVertices.push_back(count);
        return kOk;
    }
    ResultCode drawPrimitiveVB(uint32_t, BufferHandle, uint32_t, uint32_t count) override {
        ++vbDraws;
        lastVbCount = count;
        return kOk;
    }
    ResultCode flip(SurfaceHandle) override { return note("flip"); }
    ResultCode blitToWindow(SurfaceHandle, SurfaceHandle, Rect&) override { return note("blitToWindow"); }
    void releaseDevice() override { note("releaseDevice"); }
    void releaseDirect3D() override { note("releaseDirect3D"); }
    void releaseDirectDraw() override { note("releaseDirectDraw"); }
    bool readBitmapFile(const char*, std::vector<uint32_t>&, uint32_t&, uint32_t&) override { return false; }

private:
    ResultCode note(const std::string& call) {
        calls.push_back(call);
        return kOk;
    }
};
