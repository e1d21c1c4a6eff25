// Reading settings.txt, the one line that Preflight writes:
//   URL,hardware,resolution,pages,fullscreen,
// Each value after the URL is a single character; white space anywhere is skipped.
#pragma once

#include <cstdint>

constexpr int kInitialUrlCapacity = 256;  // bytes, terminator included
constexpr int32_t kPageLimitCap = 300;     // pages: the highest page limit settings.txt can ask for

// The display settings of the Engine that settings.txt controls, with their defaults.
struct DisplaySettings {
    int32_t displayWidth = 1024;  // pixels
    int32_t displayHeight = 768;  // pixels
    int32_t colourDepth = 16;     // bits per pixel
    int32_t fullScreen = 0;
    int32_t hardwareDevice = 1;
    float fogDepth = 60.0f;
};

// Where the values read from settings.txt land.
struct SettingsTarget {
    DisplaySettings* display;
    char* initialUrl;  // kInitialUrlCapacity bytes
    int32_t* maxPages;
};

// What became of a settings file.
enum class SettingsRead {
    Read,      // read, well-formed or not (a broken one leaves no URL behind)
    Missing,   // missing or unreadable: what was there is kept
    NotAFile,  // a FIFO, device, folder or socket: refused unread, what was there is kept
};

// Resets the display defaults, then reads settings.txt from the working directory.
SettingsRead readSettings(const SettingsTarget& target);

// Reads one settings file into the target; a missing or short file keeps what is there.
// A file that is not a regular one is refused, and said so once on standard error: a
// FIFO would hold the program until something writes to it.
SettingsRead parseSettingsFile(const char* fileName, const SettingsTarget& target);
