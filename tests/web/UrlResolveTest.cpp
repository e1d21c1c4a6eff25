#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "webspace/Webspace.h"

namespace {

struct ResolveCase {
    const char* url;
    const char* host;
    int level;
    const char* link;
    bool accepted;
    const char* result;  // checked only when accepted
};

class ResolveLink : public ::testing::Test {
protected:
    std::unique_ptr<Webspace> space = std::make_unique<Webspace>();

    void check(const ResolveCase& c) {
        PageNode& node = space->pages[0];
        copyText(node.url, c.url);
        copyText(node.host, c.host);
        node.level = c.level;
        char link[kTextCapacity];
        copyText(link, c.link);
        EXPECT_EQ(node.resolveLink(*space, link), c.accepted) << c.url << " + " << c.link;
        if (c.accepted) {
            EXPECT_STREQ(link, c.result) << c.url << " + " << c.link;
        }
    }
};

TEST_F(ResolveLink, WorkedExamples) {
    const ResolveCase cases[] = {
        {"http://h/a/b.html", "h", 1, "c.html", true, "http://h/a/c.html"},
        {"http://h/a/b.html", "h", 1, "c.html#part", true, "http://h/a/c.html"},
        {"http://h/a/b.html", "h", 1, "#part", false, ""},
        {"http://h/a/b.html", "h", 1, "../c.html", true, "http://h/c.html"},
        {"http://h/a/b.html", "h", 1, "../../c.html", true, "http://h/c.html"},
        {"http://h/a/b.html", "h", 1, "/x/y.html", true, "http://h/x/y.html"},
        {"http://h/a/b.html", "h", 1, "HTTP://h/a/c.html", false, ""},
        {"http://h/a/b.html", "h", 1, "http://h/a/c.html", false, ""},
        {"http://h/a/b.html", "h", 1, "Http://h/a/c.html", false, ""},
        {"http://h/a/b.html", "h", 1, "javascript:go()", false, ""},
        {"http://h/a/b.html", "h", 1, "mailto:me@h", false, ""},
        {"http://h/a/b.html", "h", 1, "MAILTO:me@h", false, ""},
        {"http://h/a/b.html", "h", 1, "./c.html", true, "http://h/a/./c.html"},
        {"http://h/a/b.html", "h", 1, "", true, "http://h/a/"},
    };
    for (const ResolveCase& c : cases) check(c);
}

TEST_F(ResolveLink, ListedCases) {
    const ResolveCase cases[] = {
        // The level is a directory number, not a depth.
        {"http://h/index.html", "h", 1, "../c.html", true, "http://h/index.html/c.html"},
        // An absolute link holding "../" is joined as the relative rest, its step spent on the base.
        {"http://h/a/b.html", "h", 1, "http://h/a/../b.html", true, "http://h/b.html"},
        {"http://h/a/b.html", "h", 1, "go.cgi?to=http://elsewhere/", false, ""},
        {"http://h/a/b.html", "h", 1, "https://h/secure.html", false, ""},
        {"http://h/a/b.html", "h", 1, "HTTPS://h/secure.html", true, "http://h/a/HTTPS://h/secure.html"},
        // A page on another port keeps it for root-relative links as for relative ones.
        {"http://h:81/a/b.html", "h", 1, "/x.html", true, "http://h:81/x.html"},
        {"http://h:81", "h", 1, "/x.html", true, "http://h:81/x.html"},
        {"http://user:secret@h/a/b.html", "h", 1, "/x.html", true, "http://h/x.html"},
        {"http://h:81/a/b.html", "h", 1, "x.html", true, "http://h:81/a/x.html"},
        {"http://h/a/b.html", "h", 1, "//other/x", true, "http://h//other/x"},
        {"http://h/a/b.html", "h", 1, "page.html#", true, "http://h/a/page.html"},
        {"http://h/a/b.html", "h", 1, "JavaScript:go()", true, "http://h/a/JavaScript:go()"},
    };
    for (const ResolveCase& c : cases) check(c);
}

TEST_F(ResolveLink, AbsoluteLinksAreTakenUnchangedWhenLocalOnlyIsClear) {
    space->localLinksOnly = 0;
    check({"http://h/a/b.html", "h", 1, "http://other/x.html", true, "http://other/x.html"});
}

TEST_F(ResolveLink, OverlongResultIsCutAtTheField) {
    std::string longName(230, 'n');
    const std::string url = "http://h/" + longName + "/b.html";
    ResolveCase c{url.c_str(), "h", 1, "page-with-a-long-name.html", true, ""};
    PageNode& node = space->pages[0];
    copyText(node.url, c.url);
    copyText(node.host, c.host);
    node.level = 1;
    char link[kTextCapacity];
    copyText(link, c.link);
    ASSERT_TRUE(node.resolveLink(*space, link));
    EXPECT_EQ(std::string(link).size(), 255u);
    EXPECT_EQ(std::string(link).substr(0, 9), "http://h/");
}

}  // namespace
