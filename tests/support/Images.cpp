// Images through ImageMagick as PPM, and the text a screen shows in Linkweave's font.
#include "support/Images.h"

#include <cstdio>

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
    const uint32_t fontColour = sheet.at(3, 0);  // a lit pixel of '!'
    auto shows = [&](int cell, int c) {          // c: 32 for a blank
        for (int d = 0; d < 64; ++d) {
            const uint32_t glyph = c > 32 ? sheet.at(8 * ((c - 33) % 15) + d % 8, 8 * ((c - 33) / 15) + d / 8) : 0;
            const uint32_t seen = screen.at(x + 8 * cell + d % 8, y + d / 8);
            if (glyph ? seen != glyph : seen == fontColour) return false;
        }
        return true;
    };
    std::string text;
    for (int cell = 0, c = 32; cell < cells; ++cell, c = 32) {
        while (c < 128 && !shows(cell, c)) ++c;
        text += c < 128 ? char(c) : '?';
    }
    return text.substr(0, text.find_last_not_of(' ') + 1);
}
