// UTF-8 with Windows-1252 for every byte that is not part of a well-formed sequence.
#include "base/TextDecoding.h"

namespace {

// Length of the well-formed UTF-8 sequence at s, with its code point; 0 if there is
// none (a stray continuation byte, a cut or overlong sequence, a surrogate).
int utf8Sequence(const unsigned char* s, uint32_t& codePoint) {
    int length = 0;
    uint32_t least = 0;
    if (s[0] < 0x80) {
        codePoint = s[0];
        return 1;
    } else if ((s[0] & 0xE0) == 0xC0) {
        length = 2, least = 0x80, codePoint = s[0] & 0x1F;
    } else if ((s[0] & 0xF0) == 0xE0) {
        length = 3, least = 0x800, codePoint = s[0] & 0x0F;
    } else if ((s[0] & 0xF8) == 0xF0) {
        length = 4, least = 0x10000, codePoint = s[0] & 0x07;
    } else {
        return 0;
    }
    // The terminator is no continuation byte, so this never reads past the text.
    for (int k = 1; k < length; ++k) {
        if ((s[k] & 0xC0) != 0x80) return 0;
        codePoint = (codePoint << 6) | (s[k] & 0x3F);
    }
    if (codePoint < least || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) return 0;
    return length;
}

}  // namespace

int decodeCharacter(const char* text, uint32_t& codePoint) {
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    if (*s == 0) return 0;
    const int length = utf8Sequence(s, codePoint);
    if (length > 0) return length;
    const bool mapped = *s >= 0x80 && *s < 0xA0 && kWindows1252[*s - 0x80] != 0;
    codePoint = mapped ? kWindows1252[*s - 0x80] : *s;
    return 1;
}

int encodeUtf8(uint32_t c, char (&out)[4]) {
    if (c < 0x80) {
        out[0] = static_cast<char>(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = static_cast<char>(0xC0 | (c >> 6));
        out[1] = static_cast<char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (c >> 12));
        out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (c >> 18));
    out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (c & 0x3F));
    return 4;
}
