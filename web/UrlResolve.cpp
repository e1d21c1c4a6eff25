// Link resolution in the steps a link goes through: tidied, an absolute address taken
// or refused by its host, others refused or cut, their parent steps spent on the
// page's directories, then joined to the page's URL or origin.
#include "web/UrlResolve.h"

#include <cstring>

#include "base/Text.h"
#include "web/TextSearch.h"
#include "web/WebAddress.h"

namespace {

constexpr const char* kParentStep = "../";
// Where the base walk stops in a URL without "://". In one with it, the walk never looks
// at the scheme, its "://" and the host's first character: positions 0..7 for http://.
constexpr int kBaseWalkStop = 8;

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

// Scripts and mail are never followed, nor a link that names "https:" anywhere but at
// its start (an address that begins with its scheme was judged by its host already).
// The tests are case-sensitive.
bool refusedScheme(const char* link) {
    return std::strstr(link, "javascript:") || std::strstr(link, "https:") || std::strstr(link, "mailto") ||
           std::strstr(link, "MAILTO");
}

// An address written anywhere in a link, in one of the spellings the crawl knows.
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
// The walk stops short of the scheme and the host's first character, so no step ever
// cuts into "http://" or "https://".
void baseOf(const char* url, int steps, char (&base)[kTextCapacity]) {
    copyText(base, url);
    const char* scheme = std::strstr(base, "://");
    const int stop = scheme ? static_cast<int>(scheme - base) + 4 : kBaseWalkStop;
    for (int i = static_cast<int>(std::strlen(base)) - 1; i >= stop; --i) {
        if (base[i] != '/') continue;
        if (steps > 0) {
            --steps;
            continue;
        }
        base[i] = '\0';
        break;
    }
}

// A root-relative link joins the scheme, host and port of the page it is on; false for
// a page whose URL is no web address, which has no origin to join.
bool joinToOrigin(const char* url, char* link) {
    WebAddress page;
    if (!splitWebAddress(url, page)) return false;
    char joined[2 * kTextCapacity];  // the result is cut to the link's field below
    copyText(joined, page.secure ? "https://" : "http://");
    const size_t originLength = static_cast<size_t>(page.rest + std::strcspn(page.rest, "/?#") - page.host);
    const size_t kept = std::strlen(joined);
    std::memcpy(joined + kept, page.host, originLength);
    joined[kept + originLength] = '\0';
    appendText(joined, link);
    copyText(link, kTextCapacity, joined);
    return true;
}

void joinToBase(const char* base, char* link) {
    char joined[kTextCapacity];
    copyText(joined, base);
    appendText(joined, "/");
    appendText(joined, link);
    copyText(link, kTextCapacity, joined);
}

}  // namespace

bool resolveLink(const LinkSource& page, const char* siteHost, char* link) {
    dropTabsAndLineBreaks(link);
    if (!cutFragment(link)) return false;
    // An address that begins with its scheme names its host outright: it is followed
    // on the site's host and refused elsewhere, before any textual step can take it
    // for a relative link ("../" counted in it, or an upper-case scheme not matched).
    WebAddress address;
    if (splitWebAddress(link, address)) return onHost(address, siteHost) && canonicalWebAddress(link, link, kTextCapacity);
    if (refusedScheme(link)) return false;

    int steps = dropParentSteps(link);
    // More steps than the page's level climbs above the top: take the link from the root.
    if (steps > page.level) {
        char fromRoot[kTextCapacity];
        copyText(fromRoot, "/");
        appendText(fromRoot, link);  // a link at the field's capacity loses its last character here
        copyText(link, kTextCapacity, fromRoot);
        steps = 0;
    }

    if (link[0] == '/') return joinToOrigin(page.url, link);
    // An address written further into the link (a script's argument, say) is never followed.
    if (absoluteUrl(link)) return false;

    char base[kTextCapacity];
    baseOf(page.url, steps, base);
    joinToBase(base, link);
    return true;
}
