// The bitmap font's place on the sprite sheet, in 8 x 8 cells. ASCII, the codes 33 to
// 127, fifteen to a row from the top left. Past ASCII, a glyph for each character that
// a byte of Windows-1252 stands for (Latin-1 from 0xA0 up, and the letters and
// punctuation that code page adds at 0x80 to 0x9F), in the cell of that byte, twenty-
// four to a row from (0, 192); after them the replacement mark, drawn for every
// character the sheet lacks. So any single-byte Western page shows whole, and a UTF-8
// page shows its Western letters. The data-file generator lays the font out by these
// and text drawing blits from them, so the two can never disagree.
#pragma once

#include <cstdint>

#include "base/TextDecoding.h"

constexpr int32_t kGlyphSize = 8;      // pixels, square
constexpr int32_t kGlyphsPerRow = 15;  // on the sprite sheet
constexpr int kFirstGlyph = 33, kLastGlyph = 127;

// Left and top of the cell of a code. A code below the first glyph gives a cell left of
// the sheet (negative left), which no blit accepts.
constexpr int32_t glyphLeft(int code) { return kGlyphSize * ((code - kFirstGlyph) % kGlyphsPerRow); }
constexpr int32_t glyphTop(int code) { return kGlyphSize * ((code - kFirstGlyph) / kGlyphsPerRow); }

constexpr int32_t kExtraGlyphsTop = 192;    // pixels: below the sheet's sprites
constexpr int32_t kExtraGlyphsPerRow = 24;  // the sheet's whole width
constexpr int kReplacementCell = 128;       // after the cells of the bytes 0x80 to 0xFF
constexpr uint32_t kNoBreakSpace = 0xA0;    // its cell stays empty, as a space's does

// The cell of a character past ASCII: its Windows-1252 byte less 0x80, or the
// replacement mark's when no byte stands for it.
constexpr int extraGlyphCell(uint32_t codePoint) {
    if (codePoint >= 0xA0 && codePoint <= 0xFF) return static_cast<int>(codePoint - 0x80);
    for (int i = 0; i < 32; ++i)
        if (kWindows1252[i] != 0 && kWindows1252[i] == codePoint) return i;
    return kReplacementCell;
}
constexpr int32_t extraGlyphLeft(int cell) { return kGlyphSize * (cell % kExtraGlyphsPerRow); }
constexpr int32_t extraGlyphTop(int cell) { return kExtraGlyphsTop + kGlyphSize * (cell / kExtraGlyphsPerRow); }
