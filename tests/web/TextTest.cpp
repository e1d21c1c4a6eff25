#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "web/PageBuffer.h"
#include "web/Text.h"

namespace {

struct ExtractCase {
    const char* name;
    const char* text;
    const char* start;
    const char* end;
    bool keepStart;
    bool includeEnd;
    const char* piece;
    int result;
};

TEST(ExtractBetween, WorkedExamples) {
    const ExtractCase cases[] = {
        {"lower-case attribute: equals sign and quoted value", "<a href=\"Page.html\">", " HREF", ">", false, false,
         "=\"Page.html\"", 19},
        {"quoted value in the page's own case", "=\"Page.html\"", "\"", "\"", false, false, "Page.html", 11},
        {"missing start marker", "<p class=\"a\">", " HREF", ">", false, false, "not found", 0},
        {"missing end marker", "<a href=\"x\"", " HREF", ">", false, false, "not found", 0},
        {"frame name right after '<' does not match", "<frame src=\"a.html\">", " FRAME", ">", false, true,
         "not found", 0},
        {"FRAMEBORDER after a blank: the rest through the '>'", "<iframe frameborder=0 src=\"a.html\">", " FRAME", ">",
         false, true, "border=0 src=\"a.html\">", 35},
        {"first parent step dropped", "../../c.html", "../", "x", false, false, "../c.html", 12},
        {"second parent step dropped", "../c.html", "../", "x", false, false, "c.html", 9},
        {"lower-case title tag, title keeps its case", "<html><title>My Site</title>", "<TITLE>", "</TITLE>", false,
         false, "My Site", 20},
        {"keepStart keeps the marker", "a <B>bold</B>", "<B>", "</B>", true, false, "<B>bold", 9},
        {"end marker searched at or after the start", "> <a href=\"q\">", " HREF", ">", false, false, "=\"q\"", 13},
        {"'x' start is the beginning, skipped by one character", "abc>", "x", ">", false, false, "bc", 3},
        {"'x' start kept", "abc>", "x", ">", true, true, "abc>", 4},
        {"bytes above 127 are not folded", "\xe9<T>\xe9t\xe9</T>", "<T>", "</T>", false, false, "\xe9t\xe9", 7},
    };
    for (const ExtractCase& c : cases) {
        char out[256] = "junk";
        const int result = extractBetween(c.text, c.start, c.end, out, c.keepStart, c.includeEnd);
        EXPECT_STREQ(out, c.piece) << c.name;
        EXPECT_EQ(result, c.result) << c.name;
    }
}

TEST(ExtractBetween, OutputMayBeTheInputItself) {
    char text[256] = "=\"Index.HTML\" target";
    EXPECT_NE(extractBetween(text, "\"", "\"", text, false, false), 0);
    EXPECT_STREQ(text, "Index.HTML");
}

TEST(ExtractBetween, PieceLongerThanTheFieldIsCutAtItsCapacity) {
    std::string title(600, 'T');
    const std::string page = "<title>" + title + "</title>";
    char out[32];
    std::memset(out, '#', sizeof out);
    const int result = extractBetween(page.c_str(), "<TITLE>", "</TITLE>", out, false, false);
    EXPECT_EQ(result, 7 + 600);
    EXPECT_EQ(std::strlen(out), 31u);
}

TEST(ExtractBetween, EmptyTextWithBeginningMarkerStaysInside) {
    char out[16];
    EXPECT_EQ(extractBetween("", "x", ">", out, false, false), 0);
    EXPECT_STREQ(out, "not found");
    EXPECT_EQ(extractBetween("", "x", "x", out, false, true), 0);
    EXPECT_STREQ(out, "");
}

TEST(ExtractBetween, SearchesAPageSizedText) {
    static char page[kPageBufferSize];
    std::memset(page, 'a', sizeof page - 1);
    page[sizeof page - 1] = '\0';
    std::memcpy(page + 99980, "<TITLE>end</TITLE>", 18);
    char out[256];
    EXPECT_EQ(extractBetween(page, "<TITLE>", "</TITLE>", out, false, false), 99990);
    EXPECT_STREQ(out, "end");
}

TEST(FixedText, CopyAndAppendNeverPassTheField) {
    char field[8];
    EXPECT_TRUE(copyText(field, "1234567"));
    EXPECT_FALSE(copyText(field, "123456789"));
    EXPECT_STREQ(field, "1234567");
    copyText(field, "abc");
    EXPECT_TRUE(appendText(field, "defg"));
    EXPECT_FALSE(appendText(field, "h"));
    EXPECT_STREQ(field, "abcdefg");
}

}  // namespace
