// The case-blind marker search over a working copy in capitals.
#include "web/TextSearch.h"

#include <cstring>

#include "base/Text.h"
#include "web/PageBuffer.h"

namespace {

constexpr const char* kNotFound = "not found";

// The upper-case working copy of extractBetween: as large as the page buffer, the
// longest text ever searched. Static, since one thread uses it and a page-sized
// stack frame per call would be wasteful.
char workingCopy[kPageBufferSize];

}  // namespace

int toUpperInPlace(char* text) {
    int length = 0;
    for (; text[length] != '\0'; ++length) {
        if (text[length] >= 'a' && text[length] <= 'z') text[length] = static_cast<char>(text[length] - 32);
    }
    return length;
}

int extractBetween(const char* text, const char* startMarker, const char* endMarker,
                   char* out, size_t outCapacity, bool keepStart, bool includeEnd) {
    copyText(workingCopy, text);
    const int copyLength = toUpperInPlace(workingCopy);

    const char* start = workingCopy;
    if (startMarker[0] != 'x') {
        start = std::strstr(workingCopy, startMarker);
        if (!start) {
            copyText(out, outCapacity, kNotFound);
            return 0;
        }
    }
    if (!keepStart) start += std::strlen(startMarker);
    // Skipping the one-character 'x' marker on an empty text would leave the terminator.
    if (start > workingCopy + copyLength) start = workingCopy + copyLength;

    const char* end = workingCopy + copyLength;
    if (endMarker[0] != 'x') {
        end = std::strstr(start, endMarker);
        if (!end) {
            copyText(out, outCapacity, kNotFound);
            return 0;
        }
        if (includeEnd) end += std::strlen(endMarker);
    }
    // The end of the text has no marker to take in, so includeEnd leaves it where it is.

    const int startPos = static_cast<int>(start - workingCopy);
    const int endPos = static_cast<int>(end - workingCopy);
    // The piece comes from the text itself, in its own case. A piece longer than the
    // field is cut at the field's capacity.
    size_t pieceLength = endPos > startPos ? static_cast<size_t>(endPos - startPos) : 0;
    if (outCapacity == 0) return endPos;
    if (pieceLength > outCapacity - 1) pieceLength = outCapacity - 1;
    std::memmove(out, text + startPos, pieceLength);
    out[pieceLength] = '\0';
    return endPos;
}
