// One drawing surface of the device layer: a buffer, the node texture or the sprite
// sheet, with its description and the source rectangle that blits copy. Blits never
// clip: a rectangle reaching outside either surface is refused and draws nothing, which
// the text drawing relies on for the space and for glyphs at the display's edge.
#pragma once

#include <cstdint>

#include "render/RenderDevice.h"

class Engine;

class Surface {
public:
    RenderDevice* device;   // the layer that owns the surface; null when there is none
    SurfaceHandle surface;  // 0 when there is none
    SurfaceDesc description;
    uint32_t width, height;
    Rect sourceRect;

    Surface();
    ~Surface();
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;

    // Empty: no surface, description zero, sizes and source rectangle zero.
    void reset();
    // Releases the device surface, if any.
    void release();
    // Creates the surface from description (filled by the caller).
    ResultCode create(Engine& engine);
    // Takes over a surface the device made alongside another (the flip chain's back buffer).
    void adopt(RenderDevice* owner, SurfaceHandle handle, uint32_t w, uint32_t h);
    // Loads a bitmap file as a texture of 16 bits per pixel. 0 or E_FAIL.
    ResultCode loadTexture(Engine& engine, const char* fileName);
    // Loads a bitmap file as a plain surface. 0, E_FAIL, or the creation's error.
    ResultCode loadPlain(Engine& engine, const char* fileName);
    // Makes pixels of this colour (0x00BBGGRR) transparent in blits.
    ResultCode setColourKey(uint32_t colour);
    // Note the argument order: top, left, bottom, right.
    void setSourceRect(int32_t top, int32_t left, int32_t bottom, int32_t right);
    // Copies sourceRect to (x, y) of dest; refused (nothing drawn) when either
    // rectangle reaches outside its surface.
    ResultCode blit(int32_t x, int32_t y, Surface& dest, uint32_t flags);
    ResultCode restore();

    // True when sourceRect of a w x h source fits, and so does its copy at (x, y) in a
    // destW x destH destination.
    static bool blitFits(const Rect& source, uint32_t w, uint32_t h, int32_t x, int32_t y,
                         uint32_t destW, uint32_t destH);

private:
    ResultCode loadBitmap(Engine& engine, const char* fileName, uint32_t flags, uint32_t caps,
                          bool texture);
};

struct TextureFormatSearch {
    int32_t wantedBitCount;
    PixelFormat* result;
};

// Texture format enumeration callback: takes the first plain RGB format of the wanted
// bit count (no alpha, FourCC, luminance or bump map). Returns 0 to stop.
uint32_t chooseTextureFormat(const PixelFormat* format, void* search);
