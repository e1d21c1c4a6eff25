// Text and sprites of the overlay, copied from the sprite sheet onto the back buffer
// after the scene is drawn, in the sheet's font (overlay/Font.h). Every byte takes one
// 8-pixel cell, drawn or not, so texts line up in columns.
#pragma once

#include <cstdint>

#include "overlay/Font.h"
#include "render/RenderDevice.h"

class Engine;

// The sheet cell of a byte's glyph (left, top, right, bottom). False for bytes that are
// skipped without a blit (1 to 21 and 128 to 255). Spaces and codes 22 to 32 give a cell
// left of the sheet, which the blit refuses, so they come out as empty cells.
bool glyphCell(char c, Rect& cell);

// Draws text with its first cell's top left at (x, y); returns its length.
int drawText(Engine& engine, int32_t x, int32_t y, const char* text);
// Copies source (left, top, right, bottom) of the sprite sheet to (x, y), black transparent.
void drawSprite(Engine& engine, const Rect& source, int32_t x, int32_t y);

// Where the overlay draws: the engine's back buffer in the program, a recorder in tests.
class OverlayCanvas {
public:
    virtual ~OverlayCanvas() = default;
    virtual void text(int32_t x, int32_t y, const char* text) = 0;
    virtual void sprite(const Rect& source, int32_t x, int32_t y) = 0;
};

class EngineCanvas : public OverlayCanvas {
public:
    explicit EngineCanvas(Engine& engine) : engine_(engine) {}
    void text(int32_t x, int32_t y, const char* s) override { drawText(engine_, x, y, s); }
    void sprite(const Rect& source, int32_t x, int32_t y) override { drawSprite(engine_, source, x, y); }

private:
    Engine& engine_;
};
