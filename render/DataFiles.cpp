// The data folder's places, and the check of both data files before the window opens.
#include "render/DataFiles.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The folder holding the running program; empty when the system will not say.
fs::path programFolder() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return {};
    path[n] = '\0';
    return fs::path(path).parent_path();
}

// True when the data file can be used; else false, after one line on standard error.
bool usable(const std::string& path) {
    uint32_t width = 0, height = 0;
    switch (checkBitmapHeader(path.c_str(), width, height)) {
    case BitmapCheck::Fits:
        return true;
    case BitmapCheck::Unreadable:
        std::fprintf(stderr, "linkweave: cannot read the data file %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    case BitmapCheck::NotABitmap:
        std::fprintf(stderr, "linkweave: the data file %s is not a bitmap\n", path.c_str());
        return false;
    case BitmapCheck::TooLarge:
        std::fprintf(stderr, "linkweave: the data file %s claims %u x %u pixels; a data file has at most %u x %u\n",
                     path.c_str(), width, height, kLargestDataSide, kLargestDataSide);
        return false;
    }
    return false;
}

}  // namespace

BitmapCheck checkBitmapHeader(const char* path, uint32_t& width, uint32_t& height) {
    unsigned char header[26] = {};
    FILE* file = std::fopen(path, "rb");
    if (!file) return BitmapCheck::Unreadable;
    const size_t got = std::fread(header, 1, sizeof header, file);
    std::fclose(file);
    if (got != sizeof header || header[0] != 'B' || header[1] != 'M') return BitmapCheck::NotABitmap;
    const auto field = [&](int at, int bytes) {
        uint32_t value = 0;
        for (int i = bytes - 1; i >= 0; --i) value = value << 8 | header[at + i];
        return value;
    };
    const bool core = field(14, 4) == 12;  // the old header holds 16-bit sizes
    width = core ? field(18, 2) : field(18, 4);
    const int32_t rawHeight = static_cast<int32_t>(core ? field(20, 2) : field(22, 4));  // negative: top-down rows
    height = rawHeight < 0 ? 0u - static_cast<uint32_t>(rawHeight) : static_cast<uint32_t>(rawHeight);
    return width <= kLargestDataSide && height <= kLargestDataSide ? BitmapCheck::Fits : BitmapCheck::TooLarge;
}

bool findDataFolder(std::string& folder) {
    const fs::path program = programFolder();
    std::vector<fs::path> places;
    if (!program.empty()) places = {program / "data", program / LW_DATADIR_FROM_BINDIR};
    places.push_back(LW_INSTALL_DATADIR);
    std::string tried;
    for (const fs::path& candidate : places) {
        const fs::path place = candidate.lexically_normal();
        std::error_code error;
        if (fs::is_directory(place, error)) {
            folder = place.string();
            return usable(folder + "/data1") && usable(folder + "/data2");
        }
        tried += (tried.empty() ? "" : ", ") + place.string();
    }
    std::fprintf(stderr, "linkweave: cannot find its data files: none of the folders %s exists\n", tried.c_str());
    return false;
}
