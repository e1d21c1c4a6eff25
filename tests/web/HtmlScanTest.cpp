// The text of pages: the case-blind marker search, link resolution and the HTML scan
// that rests on both.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "support/TestSupport.h"
#include "web/PageBuffer.h"
#include "web/TextSearch.h"
#include "webspace/Webspace.h"

TEST(ExtractBetween, MarkersFlagsAndResults) {
    struct Case { const char *text, *start, *end; bool keepStart, includeEnd; const char* piece; int result; } const cases[] = {
        {"<a href=\"Page.html\">", " HREF", ">", false, false, "=\"Page.html\"", 19},  // case-blind search
        {"=\"Page.html\"", "\"", "\"", false, false, "Page.html", 11},                 // the page's own case
        {"<p class=\"a\">", " HREF", ">", false, false, "not found", 0},
        {"<a href=\"x\"", " HREF", ">", false, false, "not found", 0},
        {"<frame src=\"a.html\">", " FRAME", ">", false, true, "not found", 0},
        {"<iframe frameborder=0 src=\"a.html\">", " FRAME", ">", false, true, "border=0 src=\"a.html\">", 35},
        {"../../c.html", "../", "x", false, false, "../c.html", 12},
        {"<html><title>My Site</title>", "<TITLE>", "</TITLE>", false, false, "My Site", 20},
        {"a <B>bold</B>", "<B>", "</B>", true, false, "<B>bold", 9},
        {"> <a href=\"q\">", " HREF", ">", false, false, "=\"q\"", 13},  // the end is searched from the start
        {"abc>", "x", ">", false, false, "bc", 3}, {"abc>", "x", ">", true, true, "abc>", 4},  // 'x': the start
        {"\xe9<T>\xe9t\xe9</T>", "<T>", "</T>", false, false, "\xe9t\xe9", 7},  // only a-z are folded
        {"", "x", ">", false, false, "not found", 0}, {"", "x", "x", false, true, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " | " + c.start + " | " + c.end);
        char out[256] = "junk", inPlace[256];
        EXPECT_EQ(extractBetween(c.text, c.start, c.end, out, c.keepStart, c.includeEnd), c.result);
        EXPECT_STREQ(out, c.piece);
        // The scan extracts a tag's value into the very field it came from.
        copyText(inPlace, c.text);
        EXPECT_TRUE(extractBetween(inPlace, c.start, c.end, inPlace, c.keepStart, c.includeEnd) == c.result &&
                    std::string(inPlace) == c.piece);
    }
}

TEST(ExtractBetween, PageSizedTextsAndOverlongPieces) {
    static char page[kPageBufferSize];
    std::memset(page, 'a', sizeof page - 1);
    std::memcpy(page + 99980, "<TITLE>end</TITLE>", 18);
    char out[256], small[32];
    EXPECT_EQ(extractBetween(page, "<TITLE>", "</TITLE>", out, false, false), 99990);
    EXPECT_STREQ(out, "end");
    std::memset(page + 7, 'T', 600);
    std::memcpy(page, "<title>", 7);
    std::memcpy(page + 607, "</title>", 8);
    EXPECT_EQ(extractBetween(page, "<TITLE>", "</TITLE>", small, false, false), 607);
    EXPECT_EQ(std::string(small), std::string(31, 'T'));
}

TEST(FixedText, CopyAndAppendNeverPassTheField) {
    char field[8];
    EXPECT_TRUE(copyText(field, "1234567") && !copyText(field, "123456789"));
    EXPECT_STREQ(field, "1234567");
    EXPECT_TRUE(copyText(field, "abc") && appendText(field, "defg") && !appendText(field, "h"));
    EXPECT_STREQ(field, "abcdefg");
}

// The link as resolved on a page of host h, level 1, at `url`; "refused" if it is.
static std::string resolve(Webspace& space, const std::string& text, const std::string& url = "http://h/a/b.html") {
    PageNode& node = space.pages[0];
    copyText(node.url, url.c_str());
    copyText(node.host, "h");
    node.level = 1;
    char link[kTextCapacity];
    copyText(link, text.c_str());
    return node.resolveLink(space, link) ? link : "refused";
}

TEST(ResolveLink, LinksOfAPage) {
    auto space = std::make_unique<Webspace>();
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
    for (const Case& c : cases) EXPECT_EQ(resolve(*space, c.link, c.url), c.result) << c.url << " + " << c.link;
}

TEST(ResolveLink, AbsoluteLinksOnlyWhenLocalOnlyIsClearAndLongResultsCut) {
    auto space = std::make_unique<Webspace>();
    space->localLinksOnly = 0;
    EXPECT_EQ(resolve(*space, "http://other/x.html"), "http://other/x.html");
    const std::string result = resolve(*space, "page-with-a-long-name.html", "http://h/" + std::string(230, 'n') + "/b.html");
    EXPECT_EQ(result.size(), 255u);
    EXPECT_EQ(result.substr(0, 9), "http://h/");
}

// Pages placed straight into the page buffer, as a fetch of http://h/a/b.html leaves them.
using HtmlScan = TempDirTest;

TEST_F(HtmlScan, StepsTitleLinksAndLastTag) {
    std::string hundredFifty, firstHundred;
    for (int i = 0; i < 150; ++i) hundredFifty += "<a href=\"p" + std::to_string(i) + ".html\">";
    for (int i = 0; i < 100; ++i) firstHundred += " http://h/a/p" + std::to_string(i) + ".html";
    struct Case { std::string body; int steps; const char* title; std::string links; const char* lastTag; } const cases[] = {
        // One tag per step; text after the last tag takes one more; then one that finds nothing.
        {"<p><p><p><p><p><p><p><p><p><p>a line of plain text", 12, "not found", "", "<p>"},
        {"<html><TITLE>Home Page</title><body></body>", 6, "Home Page", "", "</body>"},
        {"<a href=\"one.html\"><A HREF='single.html'><a href=two.html><a\thref=\"tab.html\">"
         "<link rel=\"style\" href=\"three.css\"><img src=\"picture.png\"><frame src=\"noblank.html\">"
         "<iframe frameborder=\"0\" src=\"framed.html\"><a href=\"#top\"><a href=\"four.html#x\">"
         "<a href=\"javascript:go()\"><a href=\"one.html\">",
         13, "not found", " http://h/a/one.html http://h/a/three.css http://h/a/framed.html http://h/a/four.html"
         " http://h/a/one.html", "<a href=\"one.html\">"},
        {hundredFifty, 151, "not found", firstHundred, "<a href=\"p149.html\">"},
        // A tag is collected up to 256 characters: the href behind the cut is lost with its '>'.
        {"<a title=\"" + std::string(300, 't') + "\" href=\"late.html\"><a href=\"next.html\">", 3, "not found",
         " http://h/a/next.html", "<a href=\"next.html\">"},
        {"x > y <b>", 3, "not found", "", "<b>"},  // a '>' before any '<' ends a step with an empty tag
        {"<p><a href=\"last.html\"x", 3, "not found", "", "<p>"},  // the fetch's 'x' in the last '>'s place
    };
    auto space = std::make_unique<Webspace>();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body.substr(0, 60));
        PageNode& node = space->pages[0];
        node.reset();
        copyText(node.url, "http://h/a/b.html");
        copyText(node.host, "h");
        node.level = 1;
        copyText(pageBuffer, c.body.c_str());
        node.length = static_cast<int32_t>(c.body.size());
        int steps = 1;
        while (!node.scanStep(*space)) ++steps;
        std::string links;
        for (int i = 0; i < node.linkCount; ++i) links += std::string(" ") + node.links[i].url;
        EXPECT_EQ(steps, c.steps);
        EXPECT_STREQ(node.title, c.title);
        EXPECT_EQ(links, c.links);
        EXPECT_STREQ(node.currentTag, c.lastTag);
        EXPECT_STREQ(node.currentLink, "not found");  // what a tag without " FRAME" leaves there
    }
}
