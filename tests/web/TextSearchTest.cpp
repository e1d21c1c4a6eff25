// The case-blind marker search: markers, flags and results, on texts as long as a page.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/Text.h"
#include "web/PageBuffer.h"
#include "web/TextSearch.h"

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
