// Text and sprites of the overlay, copied from the sprite sheet onto the back buffer
// after the scene is drawn, in the sheet's font (overlay/Font.h). Texts are read as
// UTF-8, any other byte as Windows-1252, as pages are (base/TextDecoding.h); every
// character takes one 8-pixel cell, drawn or not, so texts line up in columns.
#pragma once

#include <cstdint>

#include "base/TextDecoding.h"
#include "overlay/Font.h"
#include "render/RenderDevice.h"

class Engine;

// The sheet cell of a character's glyph (left, top, right, bottom). False for the codes
// 1 to 21 and the no-break space, which are skipped without a blit. Spaces and codes 22
// to 32 give a cell left of the sheet, which the blit refuses, so they come out as empty
// cells. A character the sheet has no glyph for gets the replacement mark's cell.
bool glyphCell(uint32_t codePoint, Rect& cell);

// Calls draw(cell, column) for each character of text that has a glyph, column counting
// the cells from 0; returns the number of cells the text takes.
template <class Draw>
int forEachGlyph(const char* text, Draw draw) {
    int column = 0;
    uint32_t codePoint = 0;
    for (int length; text && (length = decodeCharacter(text, codePoint)) > 0; text += length, ++column) {
        Rect cell;
        if (glyphCell(codePoint, cell)) draw(cell, column);
    }
    return column;
}

// Draws text with its first cell's top left at (x, y); returns the cells it takes.
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
