// settings.txt holding any bytes at all, read by Linkweave's settings reader: the URL
// stays within its field and holds nothing the reader skips, and every display value
// is one the program knows.
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "base/Settings.h"
#include "fuzz/FuzzSupport.h"

namespace {

// The file lives in memory; the reader opens it by name, as it opens settings.txt.
struct MemoryFile {
    int descriptor = ::memfd_create("settings.txt", 0);
    std::string name = "/proc/self/fd/" + std::to_string(descriptor);
};

bool knownResolution(const DisplaySettings& d) {
    const int32_t sizes[][2] = {{400, 300}, {640, 480}, {800, 600}, {1024, 768}};
    for (const auto& size : sizes)
        if (d.displayWidth == size[0] && d.displayHeight == size[1]) return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const MemoryFile file;
    fuzzExpect(file.descriptor >= 0 && ::ftruncate(file.descriptor, 0) == 0 &&
                   ::pwrite(file.descriptor, data, size, 0) == static_cast<ssize_t>(size),
               "the input is written to a file in memory");

    DisplaySettings display;
    FixedField url(kInitialUrlCapacity, "left over");
    int32_t maxPages = 200;
    parseSettingsFile(file.name.c_str(), {&display, url.data(), &maxPages});

    const std::string read = url.text("the initial URL");
    for (const char c : read) {
        fuzzExpect(c != ',' && std::strchr(" \t\n\v\f\r", c) == nullptr, "the URL holds no comma and no white space");
    }
    fuzzExpect(knownResolution(display), "the resolution is one of the four");
    fuzzExpect(display.hardwareDevice == 0 || display.hardwareDevice == 1, "the hardware flag is 0 or 1");
    fuzzExpect(display.fullScreen == 0 || display.fullScreen == 1, "the full-screen flag is 0 or 1");
    fuzzExpect(maxPages == 100 || maxPages == 200 || maxPages == 300, "the page limit is 100, 200 or 300");
    if (std::memchr(data, ',', size) == nullptr) {
        // Not a line Preflight wrote: no URL, and the display as it was.
        const DisplaySettings defaults;
        fuzzExpect(read.empty(), "a file without a comma leaves no URL");
        fuzzExpect(display.displayWidth == defaults.displayWidth && display.displayHeight == defaults.displayHeight &&
                       display.hardwareDevice == defaults.hardwareDevice && display.fullScreen == defaults.fullScreen &&
                       maxPages == 200,
                   "a file without a comma changes no setting");
    }
    return 0;
}
