// Images for the tests that look at real pixels, read and written through ImageMagick,
// and the text a screen shows in Linkweave's font. No display needed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Pixels as 0xRRGGBB, rows from the top; outside the image reads as black.
struct Image {
    int width = 0, height = 0;
    std::vector<uint32_t> rgb;
    uint32_t at(int x, int y) const { return (x < 0 || y < 0 || x >= width || y >= height) ? 0 : rgb[y * width + x]; }
};

// Any image file ImageMagick reads; an empty image when it cannot be read.
Image readImage(const std::string& path);
bool writeImage(const std::string& path, const Image& image);
// The image a command writes to its standard output as a PPM; empty when it fails.
Image imageFromCommand(const std::string& command);

// The text of up to `cells` 8 x 8 cells from (x, y) of screen in the font of Linkweave's
// sprite sheet, as UTF-8: a cell reads as the glyph whose pixels it shows with no other
// pixel of the font's colour, as a blank when it has none, else as '?'. Trailing blanks
// are cut.
std::string readText(const Image& screen, const Image& sheet, int x, int y, int cells = 100);
