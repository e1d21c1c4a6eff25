// The PNG side of window pictures, through libpng's simplified writer.
#include "shell/Screenshot.h"

#include <png.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/Text.h"
#include "overlay/Font.h"

namespace {

constexpr int kLastNumber = 99999;  // linkweave-001.png up to linkweave-99999.png
constexpr uint32_t kNoteLeft = 10;  // pixels: where the overlay draws the note

// The note, "<what> <name> in <folder><why>", naming the working folder so the picture
// can be found: the home folder written ~, and a folder too long for the note's line
// in a window `width` pixels wide cut from the left, so its last folders show.
void writeNote(char* note, size_t capacity, const char* what, const char* name, uint32_t width,
               const std::string& why = "") {
    char working[4096];
    std::string folder = getcwd(working, sizeof working) ? working : "the working folder";
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    if (home.size() > 1 && folder.starts_with(home) && (folder.size() == home.size() || folder[home.size()] == '/'))
        folder = "~" + folder.substr(home.size());
    const std::string start = std::string(what) + " " + name + " in ";
    const size_t columns = width > kNoteLeft ? (width - kNoteLeft) / kGlyphSize : 0;
    const size_t room = columns > start.size() + why.size() ? columns - start.size() - why.size() : 0;
    if (folder.size() > room && room > 3) folder = "..." + folder.substr(folder.size() - (room - 3));
    copyText(note, capacity, (start + folder + why).c_str());
}

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
            writeNote(note, capacity, "Cannot save", name, width, std::string(": ") + std::strerror(errno));
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
        writeNote(note, capacity, "Cannot save", name, width, ": " + failure);
        return false;
    }
    writeNote(note, capacity, "Saved", name, width);
    return true;
}
