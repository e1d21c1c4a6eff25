// The reader of settings.txt: the URL up to the first comma, then four one-character
// fields, white space skipped, nothing taken from a broken file.
#include "base/Settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/Text.h"

namespace {

// Resolutions by index: 400x300, 640x480, 800x600, 1024x768.
constexpr int32_t kWidths[] = {400, 640, 800, 1024};
constexpr int32_t kHeights[] = {300, 480, 600, 768};

// Next character that is not white space, or EOF. White space anywhere in the file,
// even inside the URL, is never stored. A NUL byte is no text: it ends the reading and
// marks the file as broken.
int readChar(FILE* file, bool& broken) {
    int c;
    do {
        c = std::fgetc(file);
    } while (c != EOF && c != '\0' && std::isspace(static_cast<unsigned char>(c)));
    if (c != '\0') return c;
    broken = true;
    return EOF;
}

// What kind of thing a path names that is not a regular file, for the refusal.
const char* kindOf(mode_t mode) {
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

// Opens a settings file for reading if it is a regular file. Opening without blocking
// and then asking the open file what it is leaves no moment in which the name could
// be swapped for a FIFO between the question and the opening.
FILE* openRegularFile(const char* fileName, SettingsRead& read) {
    read = SettingsRead::Missing;
    const int fd = ::open(fileName, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat info = {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        static bool said = false;  // the program reads the file twice; one line says it
        if (!said) {
            std::fprintf(stderr, "%s: %s is %s, not a settings file: it is not read\n", program_invocation_short_name,
                         fileName, kindOf(info.st_mode));
        }
        said = true;
        ::close(fd);
        read = SettingsRead::NotAFile;
        return nullptr;
    }
    FILE* file = ::fdopen(fd, "r");
    if (!file) ::close(fd);
    read = file ? SettingsRead::Read : SettingsRead::Missing;
    return file;
}

}  // namespace

SettingsRead parseSettingsFile(const char* fileName, const SettingsTarget& target) {
    SettingsRead read;
    FILE* file = openRegularFile(fileName, read);
    if (!file) return read;
    // An editor may have saved the file as UTF-8 with a byte-order mark in front.
    char mark[3] = {};
    if (std::fread(mark, 1, 3, file) != 3 || std::memcmp(mark, "\xEF\xBB\xBF", 3) != 0) std::rewind(file);

    // The values are read into copies and taken only from a file that is not broken.
    bool broken = false;
    char url[kInitialUrlCapacity];
    DisplaySettings display = *target.display;
    int32_t maxPages = *target.maxPages;

    // The URL runs to the first comma. A longer URL than the field holds is cut at
    // its capacity; reading still goes on to the comma so the fields stay in step.
    int c = readChar(file, broken);
    int length = 0;
    while (c != EOF && c != ',') {
        if (length < kInitialUrlCapacity - 1) url[length++] = static_cast<char>(c);
        c = readChar(file, broken);
    }
    url[length] = '\0';

    // Without a comma the file is not one Preflight wrote, so no URL is taken from it.
    const bool comma = c == ',';
    if (comma) {
        c = readChar(file, broken);
        if (c != EOF) display.hardwareDevice = (c == '1') ? 1 : 0;

        readChar(file, broken);  // separator
        c = readChar(file, broken);
        if (c >= '0' && c <= '3') {
            display.displayWidth = kWidths[c - '0'];
            display.displayHeight = kHeights[c - '0'];
        }

        readChar(file, broken);  // separator
        c = readChar(file, broken);
        if (c >= '0' && c <= '9') maxPages = (c - '0' + 1) * 100;
        if (maxPages > kPageLimitCap) maxPages = kPageLimitCap;

        readChar(file, broken);  // separator
        c = readChar(file, broken);
        if (c == '1') display.fullScreen = 1;
        if (!broken) {
            copyText(target.initialUrl, kInitialUrlCapacity, url);
            *target.display = display;
            *target.maxPages = maxPages;
        }
    }
    // A broken file, like one without a comma, leaves no URL behind.
    if (broken || !comma) target.initialUrl[0] = '\0';
    std::fclose(file);
    return SettingsRead::Read;
}

SettingsRead readSettings(const SettingsTarget& target) {
    *target.display = DisplaySettings{};
    return parseSettingsFile("settings.txt", target);
}
