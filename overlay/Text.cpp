// Text and sprites blitted from the sprite sheet onto the back buffer.
#include "overlay/Text.h"

#include <cstring>

#include "render/Engine.h"

bool glyphCell(char c, Rect& cell) {
    const int32_t code = static_cast<signed char>(c);
    if (code <= 21) return false;  // control codes and every byte above 127
    const int32_t left = glyphLeft(code), top = glyphTop(code);
    cell = {left, top, left + kGlyphSize, top + kGlyphSize};
    return true;
}

int drawText(Engine& engine, int32_t x, int32_t y, const char* text) {
    if (!text) return 0;
    Surface* sheet = engine.spriteSheet;
    Surface* back = engine.backBuffer;
    for (size_t i = 0; i < std::strlen(text); ++i) {
        Rect cell;
        if (!glyphCell(text[i], cell) || !sheet || !back) continue;
        sheet->setSourceRect(cell.top, cell.left, cell.bottom, cell.right);
        // A cell that would cross the back buffer's edge is refused by the blit: no clipping.
        sheet->blit(x + kGlyphSize * static_cast<int32_t>(i), y, *back, DDBLTFAST_SRCCOLORKEY);
    }
    return static_cast<int>(std::strlen(text));
}

void drawSprite(Engine& engine, const Rect& source, int32_t x, int32_t y) {
    Surface* sheet = engine.spriteSheet;
    if (!sheet || !engine.backBuffer) return;
    sheet->setSourceRect(source.top, source.left, source.bottom, source.right);
    sheet->blit(x, y, *engine.backBuffer, DDBLTFAST_SRCCOLORKEY);
}
