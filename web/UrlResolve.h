// Link resolution: a link text found on a page becomes an absolute URL on the site's
// host, or is refused when the crawl is not to follow it.
#pragma once

#include <cstdint>

// The page a link was found on, as resolution sees it.
struct LinkSource {
    const char* url;  // the address the page was served from (where its redirects landed)
    int32_t level;    // its directory level: the parent steps a link may climb before the root
};

// Rewrites link (kTextCapacity bytes) in place into an absolute URL on the site, whose
// host name is siteHost (any port, http or https). False when the crawl is not to
// follow it: a script, mail, a place on the page itself, or an address on another host.
bool resolveLink(const LinkSource& page, const char* siteHost, char* link);
