// The PNG side of window pictures, through libpng's simplified writer.
#include "shell/Screenshot.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/Text.h"

namespace {

constexpr int kLastNumber = 99999;  // linkweave-001.png up to linkweave-99999.png

}  // namespace

bool saveScreenshot(const std::vector<uint32_t>& argb, uint32_t width, uint32_t height, char* note,
                    size_t capacity) {
    char name[32];
    std::FILE* file = nullptr;
    // "x" creates the file only if it does not exist yet, so a picture is never written
    // over, even by a second Linkweave saving into the same folder at the same moment.
    for (int number = 1; !file && number <= kLastNumber; ++number) {
        std::snprintf(name, sizeof name, "linkweave-%03d.png", number);
        file = std::fopen(name, "wbx");
        if (!file && errno != EEXIST) {
            const std::string reason = std::strerror(errno);
            copyText(note, capacity, (std::string("Cannot save ") + name + ": " + reason).c_str());
            return false;
        }
    }
    if (!file) {
        copyText(note, capacity, "Cannot save a picture: every name up to linkweave-99999.png is taken");
        return false;
    }

    std::vector<uint8_t> rgb;
    rgb.reserve(argb.size() * 3);
    for (const uint32_t pixel : argb) {
        rgb.push_back(static_cast<uint8_t>(pixel >> 16));
        rgb.push_back(static_cast<uint8_t>(pixel >> 8));
        rgb.push_back(static_cast<uint8_t>(pixel));
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = width;
    image.height = height;
    image.format = PNG_FORMAT_RGB;
    std::string failure;
    errno = 0;
    if (argb.empty() || argb.size() != static_cast<size_t>(width) * height)
        failure = "the window has no picture";
    else if (!png_image_write_to_stdio(&image, file, 0, rgb.data(), 0, nullptr))
        failure = errno ? std::strerror(errno) : image.message;  // "No space left on device" says more
    png_image_free(&image);
    if (std::fclose(file) != 0 && failure.empty()) failure = std::strerror(errno);
    if (!failure.empty()) {
        std::remove(name);  // no half-written picture is left behind
        copyText(note, capacity, (std::string("Cannot save ") + name + ": " + failure).c_str());
        return false;
    }
    copyText(note, capacity, (std::string("Saved ") + name).c_str());
    return true;
}
