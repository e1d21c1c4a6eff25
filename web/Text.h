// Text utilities for the zero-terminated byte strings that Linkweave keeps in fixed
// fields: bounded copy and append, which every write into a field goes through, and
// the case-blind marker search that the HTML scan and link resolution rest on.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kTextCapacity = 256;  // bytes of a URL, host, path, title or message field

// Copies src into dest of `capacity` bytes. A longer text is cut at capacity - 1
// characters so that nothing is ever written past the field. Returns false if cut.
bool copyText(char* dest, size_t capacity, const char* src);

// Appends src to the text in dest, cutting it at the field's capacity. Returns false if cut.
bool appendText(char* dest, size_t capacity, const char* src);

template <size_t N>
bool copyText(char (&dest)[N], const char* src) { return copyText(dest, N, src); }
template <size_t N>
bool appendText(char (&dest)[N], const char* src) { return appendText(dest, N, src); }

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
