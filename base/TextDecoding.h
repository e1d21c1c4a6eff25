// Page text as characters. Titles and URLs hold a page's bytes as the server sent them,
// in whatever character set the page uses; these read them as Unicode characters and
// write characters as UTF-8, for everything that shows or exports a page's text.
#pragma once

#include <cstdint>

constexpr uint32_t kReplacementCharacter = 0xFFFD;  // U+FFFD, for what cannot be shown

// The character at the start of text: its code point, and the bytes it takes (1 to 4),
// or 0 at the terminator. Pages today are UTF-8 and older ones mostly a Windows code
// page, so a well-formed UTF-8 sequence is taken as it is (single-byte text rarely forms
// one by chance), and any other byte is read as Windows-1252, which is what browsers
// assume for unlabelled single-byte pages: nothing is dropped.
int decodeCharacter(const char* text, uint32_t& codePoint);

// Writes the code point (at most U+10FFFF) as UTF-8 into out; returns its bytes (1 to 4).
int encodeUtf8(uint32_t codePoint, char (&out)[4]);
