// Text and sprites blitted from the sprite sheet onto the back buffer.
#include "overlay/Text.h"

#include "render/Engine.h"

bool glyphCell(uint32_t codePoint, Rect& cell) {
    if (codePoint <= 21 || codePoint == kNoBreakSpace) return false;  // control codes
    if (codePoint < 0x80) {
        const int32_t left = glyphLeft(static_cast<int>(codePoint)), top = glyphTop(static_cast<int>(codePoint));
        cell = {left, top, left + kGlyphSize, top + kGlyphSize};
    } else {
        const int extra = extraGlyphCell(codePoint);
        cell = {extraGlyphLeft(extra), extraGlyphTop(extra), extraGlyphLeft(extra) + kGlyphSize,
                extraGlyphTop(extra) + kGlyphSize};
    }
    return true;
}

int drawText(Engine& engine, int32_t x, int32_t y, const char* text) {
    Surface* sheet = engine.spriteSheet;
    Surface* back = engine.backBuffer;
    return forEachGlyph(text, [&](const Rect& cell, int column) {
        if (!sheet || !back) return;
        sheet->setSourceRect(cell.top, cell.left, cell.bottom, cell.right);
        // A cell that would cross the back buffer's edge is refused by the blit: no clipping.
        sheet->blit(x + kGlyphSize * column, y, *back, DDBLTFAST_SRCCOLORKEY);
    });
}

void drawSprite(Engine& engine, const Rect& source, int32_t x, int32_t y) {
    Surface* sheet = engine.spriteSheet;
    if (!sheet || !engine.backBuffer) return;
    sheet->setSourceRect(source.top, source.left, source.bottom, source.right);
    sheet->blit(x, y, *engine.backBuffer, DDBLTFAST_SRCCOLORKEY);
}
