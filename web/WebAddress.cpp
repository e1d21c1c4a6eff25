// Web addresses split by hand, the same way wherever the crawl asks which host an
// address names, so that resolution and the fetch never disagree about it.
#include "web/WebAddress.h"

#include <cstring>

#include "base/Text.h"

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = lowerAscii(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// Copies `length` bytes of text into out, decoding %XX escapes; cut at capacity.
void copyDecoded(const char* text, size_t length, char* out, size_t capacity) {
    if (capacity == 0) return;
    size_t at = 0;
    for (size_t i = 0; i < length && at + 1 < capacity; ++i) {
        const int high = i + 2 < length && text[i] == '%' ? hexValue(text[i + 1]) : -1;
        const int low = high >= 0 ? hexValue(text[i + 2]) : -1;
        if (low >= 0) {
            out[at++] = static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            out[at++] = text[i];
        }
    }
    out[at] = '\0';
}

}  // namespace

bool splitWebAddress(const char* text, WebAddress& address) {
    size_t schemeEnd = 0;
    if (startsWithNoCase(text, std::strlen(text), "http://")) {
        schemeEnd = 7;
    } else if (startsWithNoCase(text, std::strlen(text), "https://")) {
        schemeEnd = 8;
    } else {
        return false;
    }
    WebAddress split;
    split.secure = schemeEnd == 8;
    const char* authority = text + schemeEnd;
    const size_t authorityLength = std::strcspn(authority, "/?#");
    // The user name and password end at the last '@': a password may hold one.
    const char* host = authority;
    for (size_t i = 0; i < authorityLength; ++i) {
        if (authority[i] == '@') host = authority + i + 1;
    }
    if (host != authority) {
        split.userInfo = authority;
        split.userInfoLength = static_cast<size_t>(host - authority) - 1;
    }
    const char* end = authority + authorityLength;
    // An IPv6 address is written in brackets and holds colons of its own.
    const char* hostEnd = host;
    if (*host == '[') {
        while (hostEnd < end && *hostEnd != ']') ++hostEnd;
        if (hostEnd < end) ++hostEnd;
    } else {
        while (hostEnd < end && *hostEnd != ':') ++hostEnd;
    }
    split.host = host;
    split.hostLength = static_cast<size_t>(hostEnd - host);
    split.rest = hostEnd;
    address = split;
    return true;
}

bool onHost(const WebAddress& address, const char* host) {
    if (address.hostLength == 0 || std::strlen(host) != address.hostLength) return false;
    for (size_t i = 0; i < address.hostLength; ++i) {
        if (lowerAscii(address.host[i]) != lowerAscii(host[i])) return false;
    }
    return true;
}

bool canonicalWebAddress(const char* text, char* out, size_t capacity) {
    WebAddress address;
    if (!splitWebAddress(text, address)) return false;
    char canonical[4 * kTextCapacity];
    copyText(canonical, address.secure ? "https://" : "http://");
    size_t at = std::strlen(canonical);
    for (size_t i = 0; i < address.hostLength && at + 1 < sizeof canonical; ++i) {
        canonical[at++] = lowerAscii(address.host[i]);
    }
    canonical[at] = '\0';
    appendText(canonical, address.rest);
    copyText(out, capacity, canonical);
    return true;
}

void hostNameOf(const char* text, char* out, size_t capacity) {
    if (capacity == 0) return;
    out[0] = '\0';
    WebAddress address;
    if (!splitWebAddress(text, address)) return;
    size_t at = 0;
    for (size_t i = 0; i < address.hostLength && at + 1 < capacity; ++i) out[at++] = lowerAscii(address.host[i]);
    out[at] = '\0';
}

void credentialsOf(const WebAddress& address, char* user, size_t userCapacity, char* password,
                   size_t passwordCapacity) {
    const char* colon = static_cast<const char*>(std::memchr(address.userInfo, ':', address.userInfoLength));
    const size_t userLength = colon ? static_cast<size_t>(colon - address.userInfo) : address.userInfoLength;
    copyDecoded(address.userInfo, userLength, user, userCapacity);
    const size_t passwordLength = colon ? address.userInfoLength - userLength - 1 : 0;
    copyDecoded(colon ? colon + 1 : "", passwordLength, password, passwordCapacity);
}
