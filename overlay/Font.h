// The bitmap font's place on the sprite sheet: an 8 x 8 cell for each code from 33 to
// 127, fifteen to a row from the top left. The data-file generator lays the font out by
// it and text drawing blits from it, so the two can never disagree.
#pragma once

#include <cstdint>

constexpr int32_t kGlyphSize = 8;      // pixels, square
constexpr int32_t kGlyphsPerRow = 15;  // on the sprite sheet
constexpr int kFirstGlyph = 33, kLastGlyph = 127;

// Left and top of the cell of a code. A code below the first glyph gives a cell left of
// the sheet (negative left), which no blit accepts.
constexpr int32_t glyphLeft(int code) { return kGlyphSize * ((code - kFirstGlyph) % kGlyphsPerRow); }
constexpr int32_t glyphTop(int code) { return kGlyphSize * ((code - kFirstGlyph) / kGlyphsPerRow); }
