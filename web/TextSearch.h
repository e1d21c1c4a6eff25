// The case-blind marker search that the HTML scan and link resolution rest on: the
// piece of a text between two markers, found whatever the letter case of the page.
#pragma once

#include <cstddef>

// Turns the letters a to z into capitals, in place; returns the text's length.
int toUpperInPlace(char* text);

// Finds the piece of `text` between `startMarker` and the first `endMarker` after it,
// searching case-blind (markers with letters are given in capitals), and copies it in
// its own case into `out`. A marker starting with 'x' means the beginning (start) or
// the end (end) of the text. keepStart keeps the start marker in the piece;
// includeEnd takes the end marker into it. Returns the offset in `text` just past the
// piece, or 0 with "not found" in `out` when a marker is missing. `out` may be `text`.
int extractBetween(const char* text, const char* startMarker, const char* endMarker,
                   char* out, size_t outCapacity, bool keepStart, bool includeEnd);

template <size_t N>
int extractBetween(const char* text, const char* startMarker, const char* endMarker,
                   char (&out)[N], bool keepStart, bool includeEnd) {
    return extractBetween(text, startMarker, endMarker, out, N, keepStart, includeEnd);
}
