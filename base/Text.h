// Bounded text for the zero-terminated byte strings that Linkweave keeps in fixed
// fields: every write into a field goes through copyText or appendText, which never
// write past it, whatever a page or a settings file holds.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kTextCapacity = 256;  // bytes of a URL, host, path, title or message field

// Copies src into dest of `capacity` bytes. A longer text is cut at capacity - 1
// characters so that nothing is ever written past the field. Returns false if cut.
bool copyText(char* dest, size_t capacity, const char* src);

// Appends src to the text in dest, cutting it at the field's capacity. Returns false if cut.
bool appendText(char* dest, size_t capacity, const char* src);

// ASCII letter case only: addresses and header names, never page text in other encodings.
inline char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Whether the first `length` bytes of text begin with prefix, which is in lower case,
// whatever the letter case of text.
bool startsWithNoCase(const char* text, size_t length, const char* prefix);

template <size_t N>
bool copyText(char (&dest)[N], const char* src) { return copyText(dest, N, src); }
template <size_t N>
bool appendText(char (&dest)[N], const char* src) { return appendText(dest, N, src); }
