// debug.txt written one entry at a time: opened, written with one call and closed again.
#include "base/DebugLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

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

// Appends the text to the entry, a line break inside it written as \r or \n: every
// entry is its own lines, whatever a page put into a text.
size_t appendLine(char* entry, size_t used, const char* text, size_t limit = kEntryCapacity) {
    for (const char* c = text; *c != '\0' && used + 3 < limit; ++c) {
        if (*c == '\r' || *c == '\n') {
            entry[used++] = '\\';
            entry[used++] = *c == '\r' ? 'r' : 'n';
        } else {
            entry[used++] = *c;
        }
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
