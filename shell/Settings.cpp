#include "shell/Settings.h"

#include <cctype>
#include <cstdio>

namespace {

constexpr int kPagesCap = 300;

// Resolutions by index: 400x300, 640x480, 800x600, 1024x768.
constexpr int32_t kWidths[] = {400, 640, 800, 1024};
constexpr int32_t kHeights[] = {300, 480, 600, 768};

// Next character that is not white space, or EOF. White space anywhere in the file,
// even inside the URL, is never stored.
int readChar(FILE* file) {
    int c;
    do {
        c = std::fgetc(file);
    } while (c != EOF && std::isspace(static_cast<unsigned char>(c)));
    return c;
}

}  // namespace

void parseSettingsFile(const char* fileName, const SettingsTarget& target) {
    FILE* file = std::fopen(fileName, "r");
    if (!file) return;

    // The URL runs to the first comma. A longer URL than the field holds is cut at
    // its capacity; reading still goes on to the comma so the fields stay in step.
    int c = readChar(file);
    int length = 0;
    while (c != EOF && c != ',') {
        if (length < kInitialUrlCapacity - 1) target.initialUrl[length++] = static_cast<char>(c);
        c = readChar(file);
    }
    target.initialUrl[length] = '\0';
    if (c == EOF) {
        // No comma at all: the file is not one Preflight wrote, so no URL is taken from it.
        target.initialUrl[0] = '\0';
        std::fclose(file);
        return;
    }

    DisplaySettings& display = *target.display;
    c = readChar(file);
    if (c != EOF) display.hardwareDevice = (c == '1') ? 1 : 0;

    readChar(file);  // separator
    c = readChar(file);
    if (c >= '0' && c <= '3') {
        display.displayWidth = kWidths[c - '0'];
        display.displayHeight = kHeights[c - '0'];
    }

    readChar(file);  // separator
    c = readChar(file);
    if (c >= '0' && c <= '9') *target.maxPages = (c - '0' + 1) * 100;
    if (*target.maxPages > kPagesCap) *target.maxPages = kPagesCap;

    readChar(file);  // separator
    c = readChar(file);
    if (c == '1') display.fullScreen = 1;

    std::fclose(file);
}

void readSettings(const SettingsTarget& target) {
    DisplaySettings& display = *target.display;
    display.hardwareDevice = 1;
    display.displayWidth = 1024;
    display.displayHeight = 768;
    display.fullScreen = 0;
    display.colourDepth = 16;
    display.fogDepth = 60.0f;
    parseSettingsFile("settings.txt", target);
}
