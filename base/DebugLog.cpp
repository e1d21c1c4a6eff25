// debug.txt written one entry at a time: opened, written with one call and closed again.
#include "base/DebugLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kLogFile = "debug.txt";
constexpr size_t kEntryCapacity = 2 * 1024;  // bytes of one entry as written; longer texts are cut

int lostEntries = 0;

// The names of the four codes a reader of the trace is expected to recognise.
const char* errorName(ResultCode code) {
    switch (code) {
        case DDERR_INVALIDOBJECT: return "DDERR_INVALIDOBJECT";
        case DDERR_INVALIDPARAMS: return "DDERR_INVALIDPARAMS";
        case DDERR_NOTFOUND: return "DDERR_NOTFOUND";
        case DDERR_SURFACELOST: return "DDERR_SURFACELOST";
        default: return "";
    }
}

// Appends the text to the entry, and its line end. Control bytes are written as escapes
// (CR, LF and tab as \r, \n and \t, the others as \xNN), so that every entry is its
// own lines whatever a page put into a text, and no byte of a page can move a
// terminal's cursor or colour what a reader of the trace sees. Other bytes, those of
// the page's character set above ASCII too, go as they are.
size_t appendLine(char* entry, size_t used, const char* text, size_t limit = kEntryCapacity) {
    for (const char* c = text; *c != '\0'; ++c) {
        const auto byte = static_cast<unsigned char>(*c);
        char shown[5] = {*c};
        size_t length = 1;
        if (byte == '\r' || byte == '\n' || byte == '\t') {
            shown[0] = '\\';
            shown[1] = byte == '\r' ? 'r' : byte == '\n' ? 'n' : 't';
            length = 2;
        } else if (byte < 0x20 || byte == 0x7F) {
            length = static_cast<size_t>(std::snprintf(shown, sizeof shown, "\\x%02X", byte));
        }
        if (used + length + 1 > limit) break;  // the line end always fits
        std::memcpy(entry + used, shown, length);
        used += length;
    }
    entry[used++] = '\n';
    return used;
}

// Opens debug.txt, writes the entry with one write and closes it again: three system
// calls, since a crawl writes thousands of entries and each must be on disk at once.
void writeEntry(const char* entry, size_t length, int flags) {
    const int file = ::open(kLogFile, O_WRONLY | O_CREAT | O_CLOEXEC | flags, 0644);
    bool written = file >= 0 && ::write(file, entry, length) == static_cast<ssize_t>(length);
    if (file >= 0 && ::close(file) != 0) written = false;
    if (!written) ++lostEntries;
}

}  // namespace

void startDebugLog() {
    writeEntry("DEBUG LOG\n", 10, O_TRUNC);
}

void logMessage(const char* text, ResultCode code) {
    char entry[kEntryCapacity];
    size_t used = appendLine(entry, 0, text, kEntryCapacity - 32);  // the result line always fits
    char result[32];
    std::snprintf(result, sizeof result, "%s%s", code == kOk ? "OK" : "error", code == kOk ? "" : errorName(code));
    used = appendLine(entry, used, result);
    writeEntry(entry, used, O_APPEND);
}

void logLine(const char* text) {
    char entry[kEntryCapacity];
    writeEntry(entry, appendLine(entry, 0, text), O_APPEND);
}

int lostLogEntries() { return lostEntries; }
