// Link resolution: where each kind of link on a page leads, or that it is refused.
#include <gtest/gtest.h>

#include <string>

#include "base/Text.h"
#include "web/UrlResolve.h"

// The link as resolved on a page of host h, level 1, at `url`; "refused" if it is.
static std::string resolve(const std::string& text, const std::string& url = "http://h/a/b.html", bool localOnly = true) {
    char link[kTextCapacity];
    copyText(link, text.c_str());
    return resolveLink({url.c_str(), "h", 1}, localOnly, link) ? link : "refused";
}

TEST(ResolveLink, LinksOfAPage) {
    struct Case { const char *link, *result, *url = "http://h/a/b.html"; } const cases[] = {
        {"c.html", "http://h/a/c.html"}, {"c.html#part", "http://h/a/c.html"}, {"page.html#", "http://h/a/page.html"},
        {"#part", "refused"}, {"./c.html", "http://h/a/./c.html"}, {"", "http://h/a/"},
        {"../c.html", "http://h/c.html"},     // one step, not above level 1
        {"../../c.html", "http://h/c.html"},  // above the level: from the root
        {"../c.html", "http://h/index.html/c.html", "http://h/index.html"},  // the level is a number, not a depth
        {"http://h/a/../b.html", "http://h/b.html"}, {"/x/y.html", "http://h/x/y.html"}, {"//other/x", "http://h//other/x"},
        {"HTTP://h/a/c.html", "refused"}, {"http://h/a/c.html", "refused"}, {"Http://h/a/c.html", "refused"},
        {"go.cgi?to=http://elsewhere/", "refused"}, {"https://h/secure.html", "refused"},
        {"HTTPS://h/secure.html", "http://h/a/HTTPS://h/secure.html"}, {"javascript:go()", "refused"},
        {"JavaScript:go()", "http://h/a/JavaScript:go()"}, {"mailto:me@h", "refused"}, {"MAILTO:me@h", "refused"},
        // A page served on another port keeps it, for root-relative links as for relative ones.
        {"/x.html", "http://h:81/x.html", "http://h:81/a/b.html"}, {"/x.html", "http://h:81/x.html", "http://h:81"},
        {"x.html", "http://h:81/a/x.html", "http://h:81/a/b.html"}, {"/x.html", "http://h/x.html", "http://user:secret@h/a/b.html"},
        {"/x.html", "http://h:81/x.html", "http://[::1]:81/a/b.html"},  // the colons of an IPv6 address are no port
        {"c\t.ht\r\nml", "http://h/a/c.html"},  // tabs and line breaks are dropped, as browsers drop them
    };
    for (const Case& c : cases) EXPECT_EQ(resolve(c.link, c.url), c.result) << c.url << " + " << c.link;
}

TEST(ResolveLink, AbsoluteLinksOnlyWhenLocalOnlyIsClearAndLongResultsCut) {
    EXPECT_EQ(resolve("http://other/x.html", "http://h/a/b.html", false), "http://other/x.html");
    const std::string result = resolve("page-with-a-long-name.html", "http://h/" + std::string(230, 'n') + "/b.html", false);
    EXPECT_EQ(result.size(), 255u);
    EXPECT_EQ(result.substr(0, 9), "http://h/");
}
