// Absolute web addresses (http:// and https://) as the crawl compares them: where the
// host name stands in one, the form the crawl keeps it in, and the user name and
// password it may carry. Plain text in, plain text out; no network.
#pragma once

#include <cstddef>

// An absolute http or https address split where it is written: each part points into
// the text it was split from.
struct WebAddress {
    bool secure = false;           // https
    const char* userInfo = "";     // what stands before the host's '@', as written
    size_t userInfoLength = 0;
    const char* host = "";         // the host name as written (an IPv6 address with its brackets)
    size_t hostLength = 0;
    const char* rest = "";         // what follows the host: its ":port", then path and query
};

// Splits text when it begins, in any letter case, with "http://" or "https://";
// false for anything else.
bool splitWebAddress(const char* text, WebAddress& address);

// True when the address's host name is `host`, whatever the letter case of either.
bool onHost(const WebAddress& address, const char* host);

// The address as the crawl keeps it: scheme and host name in lower case, without a
// user name or password, the rest as written; cut at `capacity`. `out` may be `text`.
// False, with `out` untouched, when text is no http or https address.
bool canonicalWebAddress(const char* text, char* out, size_t capacity);

// The host name of an http or https address, in lower case; empty for anything else.
void hostNameOf(const char* text, char* out, size_t capacity);

// The user name and password written in an address (user:password@host), with their
// %XX escapes decoded; empty where none is written.
void credentialsOf(const WebAddress& address, char* user, size_t userCapacity, char* password,
                   size_t passwordCapacity);
