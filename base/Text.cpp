// The bounded copy and append that every fixed text field is written through, and the
// case-blind prefix test of addresses and header names.
#include "base/Text.h"

#include <cstring>

bool copyText(char* dest, size_t capacity, const char* src) {
    if (capacity == 0) return false;
    size_t length = std::strlen(src);
    bool fits = length < capacity;
    if (!fits) length = capacity - 1;  // cut at capacity: never write past the field
    std::memmove(dest, src, length);
    dest[length] = '\0';
    return fits;
}

bool startsWithNoCase(const char* text, size_t length, const char* prefix) {
    for (size_t i = 0; prefix[i] != '\0'; ++i) {
        if (i >= length || lowerAscii(text[i]) != prefix[i]) return false;
    }
    return true;
}

bool appendText(char* dest, size_t capacity, const char* src) {
    size_t used = strnlen(dest, capacity);
    if (used >= capacity) return false;
    return copyText(dest + used, capacity - used, src);
}
