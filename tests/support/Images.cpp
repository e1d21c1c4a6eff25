// Images through ImageMagick as PPM, and the text a screen shows in Linkweave's font.
#include "support/Images.h"

#include <algorithm>
#include <cstdio>

#include "base/TextDecoding.h"
#include "overlay/Font.h"
#include "support/TestSupport.h"

namespace {

// What ImageMagick writes as a PPM: "P6\n<width> <height>\n255\n", then the RGB bytes.
Image fromPpm(const std::string& ppm) {
    Image image;
    int header = 0;
    if (std::sscanf(ppm.c_str(), "P6 %d %d 255%n", &image.width, &image.height, &header) != 2 ||
        ppm.size() != static_cast<size_t>(header + 1 + 3 * image.width * image.height))
        return {};
    const auto* p = reinterpret_cast<const unsigned char*>(ppm.data()) + header + 1;
    for (int i = 0; i < image.width * image.height; ++i, p += 3) image.rgb.push_back(p[0] << 16 | p[1] << 8 | p[2]);
    return image;
}

}  // namespace

Image imageFromCommand(const std::string& command) { return fromPpm(commandOutput(command)); }

Image readImage(const std::string& path) { return imageFromCommand("convert '" + path + "' -depth 8 ppm:-"); }

bool writeImage(const std::string& path, const Image& image) {
    std::string ppm = "P6\n" + std::to_string(image.width) + " " + std::to_string(image.height) + "\n255\n";
    for (uint32_t p : image.rgb) ppm += {char(p >> 16), char(p >> 8), char(p)};
    FILE* pipe = popen(("convert ppm:- '" + path + "'").c_str(), "w");
    return pipe && std::fwrite(ppm.data(), 1, ppm.size(), pipe) == ppm.size() && pclose(pipe) == 0;
}

std::string readText(const Image& screen, const Image& sheet, int x, int y, int cells) {
    // Every glyph of the sheet with the text it stands for: ASCII's, then those past it.
    struct Glyph { int left, top; std::string text; };
    static const std::vector<Glyph> glyphs = [] {
        std::vector<Glyph> all;
        for (int c = kFirstGlyph; c <= kLastGlyph; ++c) all.push_back({glyphLeft(c), glyphTop(c), std::string(1, char(c))});
        for (uint32_t b = 0x80; b <= 0x100; ++b) {
            const uint32_t c = b == 0x100 ? kReplacementCharacter : b < 0xA0 ? kWindows1252[b - 0x80] : b;
            char utf8[4];
            if (c != 0 && c != kNoBreakSpace)
                all.push_back({extraGlyphLeft(extraGlyphCell(c)), extraGlyphTop(extraGlyphCell(c)),
                               std::string(utf8, encodeUtf8(c, utf8))});
        }
        return all;
    }();
    const uint32_t fontColour = sheet.at(3, 0);  // a lit pixel of '!'
    auto shows = [&](int cell, const Glyph* g) {  // g: null for a blank
        for (int d = 0; d < 64; ++d) {
            const uint32_t glyph = g ? sheet.at(g->left + d % 8, g->top + d / 8) : 0;
            const uint32_t seen = screen.at(x + 8 * cell + d % 8, y + d / 8);
            if (glyph ? seen != glyph : seen == fontColour) return false;
        }
        return true;
    };
    std::string text, blanks;
    for (int cell = 0; cell < cells; ++cell) {
        if (shows(cell, nullptr)) {
            blanks += ' ';  // trailing blanks are cut
            continue;
        }
        const auto g = std::ranges::find_if(glyphs, [&](const Glyph& candidate) { return shows(cell, &candidate); });
        text += blanks + (g != glyphs.end() ? g->text : "?");
        blanks.clear();
    }
    return text;
}
