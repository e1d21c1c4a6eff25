// A device double for the renderer's own logic: it accepts every request, remembers
// what the tests look at, and can be told to offer no plain z-buffer format or to
// report a vertex buffer capacity smaller than the memory behind it, so a write past
// the reported end stays visible instead of corrupting the heap.
#pragma once

#include <array>
#include <vector>

#include "render/RenderDevice.h"
#include "render/TriangleList.h"

class FakeDevice : public RenderDevice {
public:
    bool offerPlainZBuffer = true;
    uint32_t bufferCapacity = 0;  // reported by a lock; 0: as asked
    std::vector<std::pair<uint32_t, uint32_t>> renderStates;  // (state | 0x1000 for a stage state, value)
    std::vector<std::vector<LitVertex>> buffers;
    std::vector<uint32_t> drawnLineVertices;
    std::vector<std::array<int32_t, 6>> blits;  // x, y, source left, top, right, bottom
    uint32_t nextSurface = 1;

    ResultCode createDirectDraw() override { return kOk; }
    ResultCode setCooperativeLevel(WindowHandle, uint32_t) override { return kOk; }
    ResultCode createDirect3D() override { return kOk; }
    ResultCode setDisplayMode(int32_t, int32_t, int32_t) override { return kOk; }
    ResultCode createSurface(SurfaceDesc& desc, SurfaceHandle& out) override {
        if ((desc.caps & DDSCAPS_ZBUFFER) && desc.pixelFormat.flags != DDPF_ZBUFFER) return DDERR_INVALIDPARAMS;
        out = nextSurface++;
        return kOk;
    }
    ResultCode getAttachedBackBuffer(SurfaceHandle, SurfaceHandle& out) override { out = nextSurface++; return kOk; }
    ResultCode attachClipper(SurfaceHandle, WindowHandle) override { return kOk; }
    void enumZBufferFormats(bool, ZBufferCallback callback, void* context) override {
        // The stencil format comes first: the set-up has to pass it over.
        if (callback(PixelFormat{32, DDPF_ZBUFFER | DDPF_STENCILBUFFER, 0, 32, {}}, context) == 0) return;
        if (offerPlainZBuffer) callback(PixelFormat{32, DDPF_ZBUFFER, 0, 16, {}}, context);
    }
    void enumTextureFormats(TextureFormatCallback callback, void* context) override {
        const PixelFormat f{32, DDPF_RGB, 0, 16, {}};
        callback(&f, context);
    }
    ResultCode addAttachedSurface(SurfaceHandle, SurfaceHandle) override { return kOk; }
    void releaseSurface(SurfaceHandle) override {}
    bool isLost(SurfaceHandle) override { return false; }
    ResultCode restore(SurfaceHandle) override { return kOk; }
    ResultCode writePixels(SurfaceHandle, const uint32_t*, uint32_t, uint32_t) override { return kOk; }
    ResultCode setColourKey(SurfaceHandle, uint32_t) override { return kOk; }
    ResultCode bltFast(SurfaceHandle, int32_t x, int32_t y, SurfaceHandle, const Rect& r, uint32_t) override {
        blits.push_back({x, y, r.left, r.top, r.right, r.bottom});
        return kOk;
    }
    ResultCode createDevice(bool, SurfaceHandle) override { return kOk; }
    ResultCode setViewport(const Viewport&) override { return kOk; }
    ResultCode setTransform(TransformState, const Matrix4&) override { return kOk; }
    ResultCode setRenderState(uint32_t state, uint32_t value) override {
        renderStates.push_back({state, value});
        return kOk;
    }
    ResultCode setTextureStageState(uint32_t, uint32_t state, uint32_t value) override {
        return setRenderState(state | 0x1000, value);
    }
    ResultCode setTexture(uint32_t, SurfaceHandle) override { return kOk; }
    ResultCode createVertexBuffer(const VertexBufferDesc& desc, BufferHandle& out) override {
        buffers.emplace_back(desc.numVertices);  // zeroed
        out = static_cast<BufferHandle>(buffers.size());
        return kOk;
    }
    ResultCode lockVertexBuffer(BufferHandle b, LitVertex*& data, uint32_t& capacity) override {
        data = buffers[b - 1].data();
        capacity = bufferCapacity ? bufferCapacity : static_cast<uint32_t>(buffers[b - 1].size());
        return kOk;
    }
    ResultCode unlockVertexBuffer(BufferHandle, uint32_t) override { return kOk; }
    ResultCode clear(const Rect&, uint32_t, uint32_t, float) override { return kOk; }
    ResultCode beginScene() override { return kOk; }
    ResultCode endScene() override { return kOk; }
    ResultCode drawPrimitive(uint32_t, const LitVertex*, uint32_t n) override {
        drawnLineVertices.push_back(n);
        return kOk;
    }
    ResultCode drawPrimitiveVB(uint32_t, BufferHandle, uint32_t, uint32_t) override { return kOk; }
    ResultCode flip(SurfaceHandle) override { return kOk; }
    ResultCode blitToWindow(SurfaceHandle, SurfaceHandle, Rect&) override { return kOk; }
    void releaseDevice() override {}
    void releaseDirect3D() override {}
    void releaseDirectDraw() override {}
    bool readBitmapFile(const char*, std::vector<uint32_t>&, uint32_t&, uint32_t&) override { return false; }
};
