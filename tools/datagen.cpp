// Builds Linkweave's two data files from the readable sources in assets/:
//   data1  the node texture atlas   (assets/tiles.txt)
//   data2  the overlay sprite sheet (assets/sprites.txt and assets/font8x8.txt)
// Both are written as 24-bit Windows bitmaps. Given a third path, it also writes the
// desktop icon there as a PNG: the index page's node tile, in the colour of a page that
// answered. Usage: datagen ASSETS_DIR OUTPUT_DIR [ICON_PNG]
//
// Source format, one directive a line ('#' starts a comment):
//   sheet W H                      size of the bitmap (black to begin with)
//   palette C RRGGBB               character C paints this colour
//   image X Y W H [S]              then H/S rows of W/S characters, each scaled by S
//   text X Y C words...            the words in the bitmap font, in palette colour C
//   fill X Y W H RRGGBB            a solid rectangle
//   frame X Y W H LEN THICK RRGGBB corner brackets of arm length LEN
//   fontcolour RRGGBB              (sprites only) the font is laid into its cells
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <png.h>

#include "overlay/Font.h"
#include "webspace/NodeDisplay.h"

namespace {

struct Bitmap {
    int width = 0, height = 0;
    std::vector<uint32_t> rgb;  // 0xRRGGBB, rows from the top
    void put(int x, int y, uint32_t c) {
        if (x >= 0 && y >= 0 && x < width && y < height) rgb[static_cast<size_t>(y) * width + x] = c;
    }
};

using Glyph = std::vector<std::string>;  // 8 rows of 8

[[noreturn]] void fail(const std::string& where, const std::string& what) {
    std::fprintf(stderr, "datagen: %s: %s\n", where.c_str(), what.c_str());
    std::exit(1);
}

std::map<int, Glyph> readFont(const std::string& path) {
    std::ifstream in(path);
    if (!in) fail(path, "cannot read");
    std::map<int, Glyph> font;
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (line.rfind("glyph ", 0) != 0) continue;
        const int code = std::stoi(line.substr(6));  // the character's code point
        Glyph g;
        for (int r = 0; r < 8; ++r) {
            if (!std::getline(in, line)) fail(path, "glyph " + std::to_string(code) + " is cut short");
            ++lineNo;
            if (line.size() != 8) fail(path + ":" + std::to_string(lineNo), "a glyph row has 8 pixels");
            g.push_back(line);
        }
        font[code] = g;
    }
    // Every cell of the sheet's font has its glyph, and every glyph a cell.
    for (int c = kFirstGlyph; c <= kLastGlyph; ++c)
        if (!font.count(c)) fail(path, "no glyph for code " + std::to_string(c));
    for (int c = 0x80; c <= 0xFF; ++c) {
        const int codePoint = c < 0xA0 ? kWindows1252[c - 0x80] : c;
        if (codePoint != 0 && codePoint != static_cast<int>(kNoBreakSpace) && !font.count(codePoint))
            fail(path, "no glyph for code " + std::to_string(codePoint) + ", which Windows-1252 has");
    }
    if (!font.count(static_cast<int>(kReplacementCharacter))) fail(path, "no glyph for the replacement mark, code 65533");
    for (const auto& [code, glyph] : font)
        if (code > kLastGlyph && extraGlyphCell(code) == kReplacementCell && code != static_cast<int>(kReplacementCharacter))
            fail(path, "glyph " + std::to_string(code) + " has no cell on the sheet (overlay/Font.h)");
    return font;
}

void drawGlyph(Bitmap& b, const Glyph& g, int x, int y, uint32_t colour) {
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c)
            if (g[r][c] == '#') b.put(x + c, y + r, colour);
}

Bitmap build(const std::string& path, const std::map<int, Glyph>* font) {
    std::ifstream in(path);
    if (!in) fail(path, "cannot read");
    Bitmap b;
    std::map<char, uint32_t> palette;
    std::string line;
    int lineNo = 0;
    auto where = [&] { return path + ":" + std::to_string(lineNo); };
    while (std::getline(in, line)) {
        ++lineNo;
        if (line.empty() || line[0] == '#') continue;
        std::istringstream words(line);
        std::string op;
        words >> op;
        if (op == "sheet") {
            words >> b.width >> b.height;
            b.rgb.assign(static_cast<size_t>(b.width) * b.height, 0);
        } else if (op == "palette") {
            std::string ch, hex;
            words >> ch >> hex;
            palette[ch[0]] = std::stoul(hex, nullptr, 16);
        } else if (op == "image") {
            int x, y, w, h, s = 1;
            words >> x >> y >> w >> h;
            if (!(words >> s)) s = 1;
            for (int r = 0; r < h / s; ++r) {
                if (!std::getline(in, line)) fail(where(), "image is cut short");
                ++lineNo;
                if (static_cast<int>(line.size()) != w / s) fail(where(), "row is not " + std::to_string(w / s) + " wide");
                for (int c = 0; c < w / s; ++c) {
                    auto it = palette.find(line[c]);
                    if (it == palette.end()) fail(where(), std::string("no palette colour for '") + line[c] + "'");
                    for (int dy = 0; dy < s; ++dy)
                        for (int dx = 0; dx < s; ++dx) b.put(x + c * s + dx, y + r * s + dy, it->second);
                }
            }
        } else if (op == "text") {
            int x, y;
            std::string ch, rest;
            words >> x >> y >> ch;
            std::getline(words, rest);
            if (!font) fail(where(), "text needs the font");
            rest = rest.substr(rest.find_first_not_of(' '));
            for (size_t i = 0; i < rest.size(); ++i) {
                const int code = static_cast<unsigned char>(rest[i]);
                if (code >= kFirstGlyph && code <= kLastGlyph)
                    drawGlyph(b, font->at(code), x + kGlyphSize * static_cast<int>(i), y, palette.at(ch[0]));
            }
        } else if (op == "fill") {
            int x, y, w, h;
            std::string hex;
            words >> x >> y >> w >> h >> hex;
            const uint32_t c = std::stoul(hex, nullptr, 16);
            for (int r = 0; r < h; ++r)
                for (int k = 0; k < w; ++k) b.put(x + k, y + r, c);
        } else if (op == "frame") {
            int x, y, w, h, len, t;
            std::string hex;
            words >> x >> y >> w >> h >> len >> t >> hex;
            const uint32_t c = std::stoul(hex, nullptr, 16);
            for (int i = 0; i < len; ++i)
                for (int k = 0; k < t; ++k) {
                    b.put(x + i, y + k, c);             b.put(x + k, y + i, c);
                    b.put(x + w - 1 - i, y + k, c);     b.put(x + w - 1 - k, y + i, c);
                    b.put(x + i, y + h - 1 - k, c);     b.put(x + k, y + h - 1 - i, c);
                    b.put(x + w - 1 - i, y + h - 1 - k, c); b.put(x + w - 1 - k, y + h - 1 - i, c);
                }
        } else if (op == "fontcolour") {
            std::string hex;
            words >> hex;
            if (!font) fail(where(), "fontcolour needs the font");
            const uint32_t c = std::stoul(hex, nullptr, 16);
            for (const auto& [code, glyph] : *font) {
                if (code <= kLastGlyph) drawGlyph(b, glyph, glyphLeft(code), glyphTop(code), c);
                else drawGlyph(b, glyph, extraGlyphLeft(extraGlyphCell(code)), extraGlyphTop(extraGlyphCell(code)), c);
            }
        } else {
            fail(where(), "unknown directive '" + op + "'");
        }
    }
    if (b.width <= 0) fail(path, "no sheet size");
    return b;
}

void put16(std::ofstream& o, uint16_t v) { o.put(char(v & 0xFF)); o.put(char(v >> 8)); }
void put32(std::ofstream& o, uint32_t v) { put16(o, v & 0xFFFF); put16(o, v >> 16); }

void writeBmp(const std::string& path, const Bitmap& b) {
    std::ofstream o(path, std::ios::binary);
    if (!o) fail(path, "cannot write");
    const uint32_t rowBytes = (b.width * 3 + 3) & ~3u;
    const uint32_t imageBytes = rowBytes * b.height;
    o.write("BM", 2);
    put32(o, 54 + imageBytes);
    put32(o, 0);
    put32(o, 54);
    put32(o, 40);
    put32(o, b.width);
    put32(o, b.height);  // positive: rows from the bottom
    put16(o, 1);
    put16(o, 24);
    put32(o, 0);
    put32(o, imageBytes);
    put32(o, 2835);
    put32(o, 2835);
    put32(o, 0);
    put32(o, 0);
    for (int y = b.height - 1; y >= 0; --y) {
        uint32_t written = 0;
        for (int x = 0; x < b.width; ++x) {
            const uint32_t c = b.rgb[static_cast<size_t>(y) * b.width + x];
            o.put(char(c & 0xFF));
            o.put(char((c >> 8) & 0xFF));
            o.put(char((c >> 16) & 0xFF));
            written += 3;
        }
        for (; written < rowBytes; ++written) o.put(0);
    }
    if (!o) fail(path, "write failed");
}

// The tile at (left, top) of the atlas, tinted as a node that answered 200 is, each pixel
// scale x scale, as an opaque PNG.
void writeIcon(const std::string& path, const Bitmap& atlas, int left, int top, int side, int scale) {
    std::vector<uint8_t> rgb;
    for (int y = 0; y < side * scale; ++y)
        for (int x = 0; x < side * scale; ++x) {
            const uint32_t texel = atlas.rgb[static_cast<size_t>(top + y / scale) * atlas.width + left + x / scale];
            for (const int shift : {16, 8, 0})
                rgb.push_back(static_cast<uint8_t>(((texel >> shift) & 0xFF) * ((kAnsweredNodeColour >> shift) & 0xFF) / 255));
        }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = image.height = static_cast<png_uint_32>(side * scale);
    image.format = PNG_FORMAT_RGB;
    const bool written = png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr);
    const std::string message = image.message;
    png_image_free(&image);
    if (!written) fail(path, message);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: datagen ASSETS_DIR OUTPUT_DIR [ICON_PNG]\n");
        return 2;
    }
    const std::string assets = argv[1], out = argv[2];
    const auto font = readFont(assets + "/font8x8.txt");
    const Bitmap atlas = build(assets + "/tiles.txt", nullptr);
    writeBmp(out + "/data1", atlas);
    if (argc == 4) writeIcon(argv[3], atlas, 32, 0, 32, 2);  // 64 x 64
    writeBmp(out + "/data2", build(assets + "/sprites.txt", &font));
    return 0;
}
