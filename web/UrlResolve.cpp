#include <cstring>

#include "web/TextSearch.h"
#include "webspace/Webspace.h"

namespace {

constexpr const char* kParentStep = "../";
constexpr int kBaseWalkStop = 8;  // positions 0..7 hold "http://" and the host's first character

// Replaces text by what follows its first "../"; false when there is none.
bool dropThroughFirstParentStep(char* text) {
    if (!std::strstr(text, kParentStep)) return false;
    extractBetween(text, kParentStep, "x", text, kTextCapacity, false, false);
    return true;
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

}  // namespace

bool PageNode::resolveLink(const Webspace& space, char* link) const {
    // Tabs and line breaks inside a link are dropped, as browsers drop them: a link
    // written over two lines is the same link, and no URL or log line ever holds one.
    char* kept = link;
    for (const char* c = link; *c != '\0'; ++c) {
        if (*c != '\t' && *c != '\r' && *c != '\n') *kept++ = *c;
    }
    *kept = '\0';

    // A fragment names a place within a page; a link that is only a fragment stays on it.
    const size_t linkLength = std::strlen(link);
    for (size_t i = 0; i < linkLength; ++i) {
        if (link[i] != '#') continue;
        if (i == 0) return false;
        link[i] = '\0';
        break;
    }

    // Scripts, secure pages and mail are never followed. The tests are case-sensitive.
    if (std::strstr(link, "javascript:") || std::strstr(link, "https:") ||
        std::strstr(link, "mailto") || std::strstr(link, "MAILTO")) {
        return false;
    }

    // Parent steps are counted anywhere in the link, then everything up to the last
    // one is dropped; the count is spent on the base's directories below.
    char counted[kTextCapacity];
    copyText(counted, link);
    int steps = 0;
    while (dropThroughFirstParentStep(counted)) ++steps;
    for (int i = 0; i < steps; ++i) dropThroughFirstParentStep(link);

    // More steps than the page's level climbs above the top: take the link from the root.
    char joined[kTextCapacity];
    if (steps > level) {
        copyText(joined, "/");
        appendText(joined, link);  // a link at the field's capacity loses its last character here
        copyText(link, kTextCapacity, joined);
        steps = 0;
    }

    // The base is this page's URL with one more segment cut off per remaining step.
    char base[kTextCapacity];
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

    // Joined results longer than a link field are cut at its capacity.
    if (link[0] == '/') {
        copyText(joined, "http://");
        appendText(joined, host);
        // The host field holds no port; a page served on another port than the default
        // keeps it, or the link would lead to a different server.
        appendPortOf(joined, sizeof joined, url);
        appendText(joined, link);
        copyText(link, kTextCapacity, joined);
        return true;
    }

    if (std::strstr(link, "HTTP://") || std::strstr(link, "http://") || std::strstr(link, "Http://")) {
        return !space.localLinksOnly;
    }

    copyText(joined, base);
    appendText(joined, "/");
    appendText(joined, link);
    copyText(link, kTextCapacity, joined);
    return true;
}
