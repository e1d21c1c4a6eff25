// Page text as characters. Titles and URLs hold a page's bytes as the server sent them,
// in whatever character set the page uses; these read them as Unicode characters and
// write characters as UTF-8, for everything that shows or exports a page's text.
#pragma once

#include <cstdint>

constexpr uint32_t kReplacementCharacter = 0xFFFD;  // U+FFFD, for what cannot be shown

// Windows-1252 for the bytes 0x80 to 0x9F; 0 where the code page leaves a byte unused
// (those read as Latin-1, like every byte from 0xA0 up).
constexpr uint16_t kWindows1252[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

// The character at the start of text: its code point, and the bytes it takes (1 to 4),
// or 0 at the terminator. Pages today are UTF-8 and older ones mostly a Windows code
// page, so a well-formed UTF-8 sequence is taken as it is (single-byte text rarely forms
// one by chance), and any other byte is read as Windows-1252, which is what browsers
// assume for unlabelled single-byte pages: nothing is dropped.
int decodeCharacter(const char* text, uint32_t& codePoint);

// Writes the code point (at most U+10FFFF) as UTF-8 into out; returns its bytes (1 to 4).
int encodeUtf8(uint32_t codePoint, char (&out)[4]);
