// Surfaces over the device layer: creation, bitmap loading, the colour key and the
// unclipped blit.
#include "render/Surface.h"

#include <cstring>
#include <vector>

#include "render/Engine.h"

Surface::Surface() : device(nullptr), surface(0) { reset(); }

Surface::~Surface() { release(); }

void Surface::reset() {
    surface = 0;
    std::memset(&description, 0, sizeof description);
    description.pixelFormat.size = sizeof(PixelFormat);
    width = height = 0;
    sourceRect = {0, 0, 0, 0};
}

void Surface::release() {
    if (device && surface) device->releaseSurface(surface);
    surface = 0;
}

ResultCode Surface::create(Engine& engine) {
    release();
    device = engine.device;
    if (!device) return DDERR_INVALIDOBJECT;
    SurfaceHandle handle = 0;
    const ResultCode r = device->createSurface(description, handle);
    if (r != kOk) return r;
    surface = handle;
    width = description.width;
    height = description.height;
    sourceRect = {0, 0, static_cast<int32_t>(width), static_cast<int32_t>(height)};
    return kOk;
}

void Surface::adopt(RenderDevice* owner, SurfaceHandle handle, uint32_t w, uint32_t h) {
    release();
    device = owner;
    surface = handle;
    width = description.width = w;
    height = description.height = h;
    sourceRect = {0, 0, static_cast<int32_t>(w), static_cast<int32_t>(h)};
}

uint32_t chooseTextureFormat(const PixelFormat* format, void* context) {
    auto* search = static_cast<TextureFormatSearch*>(context);
    if (!format || !search || !search->result) return 1;
    if (format->flags & DDPF_LUMINANCE_BUMP_MASK) return 1;
    if (format->bitCount < 16) return 1;
    if (format->fourCC != 0) return 1;
    if (format->flags & DDPF_ALPHAPIXELS) return 1;
    if (format->bitCount != static_cast<uint32_t>(search->wantedBitCount)) return 1;
    *search->result = *format;
    return 0;
}

ResultCode Surface::loadBitmap(Engine& engine, const char* fileName, uint32_t flags, uint32_t caps,
                               bool texture) {
    release();
    reset();
    device = engine.device;
    if (!device) return E_FAIL;
    std::vector<uint32_t> pixels;
    uint32_t w = 0, h = 0;
    if (!device->readBitmapFile(fileName, pixels, w, h)) return E_FAIL;

    description.flags = flags;
    description.caps = caps;
    description.width = w;
    description.height = h;
    if (texture) {
        TextureFormatSearch search{16, &description.pixelFormat};
        device->enumTextureFormats(chooseTextureFormat, &search);
    }
    SurfaceHandle handle = 0;
    const ResultCode r = device->createSurface(description, handle);
    if (r != kOk) return texture ? E_FAIL : r;
    surface = handle;
    device->writePixels(surface, pixels.data(), w, h);
    width = description.width;
    height = description.height;
    sourceRect = {0, 0, static_cast<int32_t>(width), static_cast<int32_t>(height)};
    return kOk;
}

ResultCode Surface::loadTexture(Engine& engine, const char* fileName) {
    return loadBitmap(engine, fileName, DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT,
                      DDSCAPS_TEXTURE | engine.surfaceMemory, true);
}

ResultCode Surface::loadPlain(Engine& engine, const char* fileName) {
    return loadBitmap(engine, fileName, DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH, DDSCAPS_OFFSCREENPLAIN,
                      false);
}

ResultCode Surface::setColourKey(uint32_t colour) {
    if (!device || !surface) return DDERR_INVALIDOBJECT;
    // Our surfaces hold 0xAARRGGBB pixels; the key compares the colour part only.
    const uint32_t value = ((colour & 0xFF) << 16) | (colour & 0xFF00) | ((colour >> 16) & 0xFF);
    return device->setColourKey(surface, value);
}

void Surface::setSourceRect(int32_t top, int32_t left, int32_t bottom, int32_t right) {
    sourceRect = {left, top, right, bottom};
}

bool Surface::blitFits(const Rect& s, uint32_t w, uint32_t h, int32_t x, int32_t y, uint32_t destW,
                       uint32_t destH) {
    // 64-bit sums, so no rectangle near the integer limits can wrap into range.
    if (s.left < 0 || s.top < 0 || s.right <= s.left || s.bottom <= s.top) return false;
    if (s.right > static_cast<int64_t>(w) || s.bottom > static_cast<int64_t>(h)) return false;
    if (x < 0 || y < 0) return false;
    const int64_t right = static_cast<int64_t>(x) + (s.right - s.left);
    const int64_t bottom = static_cast<int64_t>(y) + (s.bottom - s.top);
    return right <= static_cast<int64_t>(destW) && bottom <= static_cast<int64_t>(destH);
}

ResultCode Surface::blit(int32_t x, int32_t y, Surface& dest, uint32_t flags) {
    if (!device || !surface || !dest.surface) return DDERR_INVALIDOBJECT;
    if (!blitFits(sourceRect, width, height, x, y, dest.width, dest.height)) return DDERR_INVALIDPARAMS;
    const ResultCode r = device->bltFast(dest.surface, x, y, surface, sourceRect, flags);
    if (r == DDERR_SURFACELOST) restore();
    return r;
}

ResultCode Surface::restore() {
    if (!device || !surface) return DDERR_INVALIDOBJECT;
    return device->restore(surface);
}
