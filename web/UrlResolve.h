// Link resolution: a link text found on a page becomes an absolute URL on the page's
// own host, or is refused when the crawl is not to follow it.
#pragma once

#include <cstdint>

// The page a link was found on, as resolution sees it.
struct LinkSource {
    const char* url;  // the page's absolute URL
    const char* host; // its host, without a port
    int32_t level;    // its directory level: the parent steps a link may climb before the root
};

// Rewrites link (kTextCapacity bytes) in place into an absolute URL on the page's host.
// False when the crawl is not to follow it: a script, a secure page, mail, a link to a
// place on the page itself, or an absolute URL while localLinksOnly is set.
bool resolveLink(const LinkSource& page, bool localLinksOnly, char* link);
