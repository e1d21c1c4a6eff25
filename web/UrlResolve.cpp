// Link resolution in the steps a link goes through: tidied, refused or cut, its parent
// steps spent on the page's directories, then joined to the page's URL or host.
#include "web/UrlResolve.h"

#include <cstring>

#include "base/Text.h"
#include "web/TextSearch.h"

namespace {

constexpr const char* kParentStep = "../";
constexpr int kBaseWalkStop = 8;  // positions 0..7 hold "http://" and the host's first character

// Tabs and line breaks inside a link are dropped, as browsers drop them: a link
// written over two lines is the same link, and no URL or log line ever holds one.
void dropTabsAndLineBreaks(char* link) {
    char* kept = link;
    for (const char* c = link; *c != '\0'; ++c) {
        if (*c != '\t' && *c != '\r' && *c != '\n') *kept++ = *c;
    }
    *kept = '\0';
}

// A fragment names a place within a page and is cut off; false for a link that is only
// a fragment, which stays on the page it was found on.
bool cutFragment(char* link) {
    char* hash = std::strchr(link, '#');
    if (hash == link) return false;
    if (hash) *hash = '\0';
    return true;
}

// Scripts, secure pages and mail are never followed. The tests are case-sensitive.
bool refusedScheme(const char* link) {
    return std::strstr(link, "javascript:") || std::strstr(link, "https:") || std::strstr(link, "mailto") ||
           std::strstr(link, "MAILTO");
}

bool absoluteUrl(const char* link) {
    return std::strstr(link, "HTTP://") || std::strstr(link, "http://") || std::strstr(link, "Http://");
}

// Replaces text by what follows its first "../"; false when there is none.
bool dropThroughFirstParentStep(char* text) {
    if (!std::strstr(text, kParentStep)) return false;
    extractBetween(text, kParentStep, "x", text, kTextCapacity, false, false);
    return true;
}

// Parent steps are counted anywhere in the link, then everything up to the last one is
// dropped; returns the count, to be spent on the base's directories.
int dropParentSteps(char* link) {
    char counted[kTextCapacity];
    copyText(counted, link);
    int steps = 0;
    while (dropThroughFirstParentStep(counted)) ++steps;
    for (int i = 0; i < steps; ++i) dropThroughFirstParentStep(link);
    return steps;
}

// The base of a relative link: the page's URL with one more segment cut off per step.
void baseOf(const char* url, int steps, char (&base)[kTextCapacity]) {
    copyText(base, url);
    for (int i = static_cast<int>(std::strlen(base)) - 1; i >= kBaseWalkStop; --i) {
        if (base[i] != '/') continue;
        if (steps > 0) {
            --steps;
            continue;
        }
        base[i] = '\0';
        break;
    }
}

// Appends the ":port" written in an absolute URL's authority, if it has one.
void appendPortOf(char* dest, size_t capacity, const char* url) {
    const char* authority = std::strstr(url, "://");
    if (!authority) return;
    authority += 3;
    const char* end = authority + std::strcspn(authority, "/?#");
    const char* at = std::strchr(authority, '@');
    if (at && at < end) authority = at + 1;  // a user name and password are not the port
    const char* bracket = authority[0] == '[' ? std::strchr(authority, ']') : nullptr;
    if (bracket && bracket < end) authority = bracket;  // nor are the colons of an IPv6 address
    const char* colon = std::strchr(authority, ':');
    if (!colon || colon >= end) return;
    char port[kTextCapacity];
    const size_t length = static_cast<size_t>(end - colon);
    copyText(port, colon);
    if (length < sizeof port) port[length] = '\0';
    appendText(dest, capacity, port);
}

// Joined results longer than a link field are cut at its capacity.
void joinToHost(const LinkSource& page, char* link) {
    char joined[kTextCapacity];
    copyText(joined, "http://");
    appendText(joined, page.host);
    // The host field holds no port; a page served on another port than the default
    // keeps it, or the link would lead to a different server.
    appendPortOf(joined, sizeof joined, page.url);
    appendText(joined, link);
    copyText(link, kTextCapacity, joined);
}

void joinToBase(const char* base, char* link) {
    char joined[kTextCapacity];
    copyText(joined, base);
    appendText(joined, "/");
    appendText(joined, link);
    copyText(link, kTextCapacity, joined);
}

}  // namespace

bool resolveLink(const LinkSource& page, bool localLinksOnly, char* link) {
    dropTabsAndLineBreaks(link);
    if (!cutFragment(link) || refusedScheme(link)) return false;

    int steps = dropParentSteps(link);
    // More steps than the page's level climbs above the top: take the link from the root.
    if (steps > page.level) {
        char fromRoot[kTextCapacity];
        copyText(fromRoot, "/");
        appendText(fromRoot, link);  // a link at the field's capacity loses its last character here
        copyText(link, kTextCapacity, fromRoot);
        steps = 0;
    }

    if (link[0] == '/') {
        joinToHost(page, link);
        return true;
    }
    if (absoluteUrl(link)) return !localLinksOnly;

    char base[kTextCapacity];
    baseOf(page.url, steps, base);
    joinToBase(base, link);
    return true;
}
