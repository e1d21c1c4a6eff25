// The bounded copy and append that every fixed field is written through, and the
// decoding of a page's bytes as characters.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "base/Text.h"
#include "base/TextDecoding.h"

TEST(FixedText, CopyAndAppendNeverPassTheField) {
    char field[8];
    EXPECT_TRUE(copyText(field, "1234567") && !copyText(field, "123456789"));
    EXPECT_STREQ(field, "1234567");
    EXPECT_TRUE(copyText(field, "abc") && appendText(field, "defg") && !appendText(field, "h"));
    EXPECT_STREQ(field, "abcdefg");
}

// Header names and schemes, compared without regard to case within the bytes given: a
// header line from the network has no terminating zero.
TEST(FixedText, PrefixesWithoutRegardToCaseStayWithinTheLength) {
    struct Row { const char* text; size_t length; const char* prefix; bool starts; } const rows[] = {
        {"Location: /a", 12, "location:", true},
        {"LOCATION:", 9, "location:", true},
        {"Location: /a", 8, "location:", false},  // the colon lies past the bytes given
        {"HTTPS://h/", 10, "https://", true},
        {"http://h/", 9, "https://", false},
        {"", 0, "", true},
    };
    for (const Row& row : rows) EXPECT_EQ(startsWithNoCase(row.text, row.length, row.prefix), row.starts) << row.text;
}

// Code points as "U+0041 U+20AC", and the bytes each took, of a text decoded whole.
static std::string decoded(const char* text) {
    std::string out;
    uint32_t c = 0;
    for (int length; (length = decodeCharacter(text, c)) > 0; text += length) {
        char shown[24];
        std::snprintf(shown, sizeof shown, "%sU+%04X/%d", out.empty() ? "" : " ", c, length);
        out += shown;
    }
    return out;
}

TEST(TextDecoding, WellFormedUtf8AsItIsEveryOtherByteAsWindows1252) {
    const std::pair<const char*, const char*> cases[] = {
        {"", ""},
        {"A~", "U+0041/1 U+007E/1"},
        {"\xC3\xA9", "U+00E9/2"},              // é in UTF-8
        {"\xE9t\xE9", "U+00E9/1 U+0074/1 U+00E9/1"},  // é in Windows-1252
        {"\x80\x9F\x8A", "U+20AC/1 U+0178/1 U+0160/1"},  // the code page's own characters
        {"\x81\x8D\x8F\x90\x9D", "U+0081/1 U+008D/1 U+008F/1 U+0090/1 U+009D/1"},  // unused there: Latin-1
        {"\xE2\x82\xAC", "U+20AC/3"}, {"\xF0\x9F\x98\x80", "U+1F600/4"}, {"\xEF\xBF\xBF", "U+FFFF/3"},
        {"\xC0\xAF", "U+00C0/1 U+00AF/1"},                  // overlong
        {"\xED\xA0\x80", "U+00ED/1 U+00A0/1 U+20AC/1"},     // a surrogate
        {"\xE2\x82", "U+00E2/1 U+201A/1"},                  // cut short by the end
        {"\xE2(\xAC", "U+00E2/1 U+0028/1 U+00AC/1"},        // cut short by a plain byte
        {"\xF4\x90\x80\x80", "U+00F4/1 U+0090/1 U+20AC/1 U+20AC/1"},  // above U+10FFFF
        {"\xF8\x88\x80\x80\x80", "U+00F8/1 U+02C6/1 U+20AC/1 U+20AC/1 U+20AC/1"},  // five bytes
        {"\xA0\xFF", "U+00A0/1 U+00FF/1"},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(decoded(text), expected) << text;
}

TEST(TextDecoding, Utf8OfEachLengthUpToItsLargestCodePoint) {
    const std::pair<uint32_t, std::string> cases[] = {
        {0x00, std::string(1, '\0')}, {0x7F, "\x7F"}, {0x80, "\xC2\x80"}, {0x7FF, "\xDF\xBF"}, {0x800, "\xE0\xA0\x80"},
        {0x20AC, "\xE2\x82\xAC"}, {0xFFFD, "\xEF\xBF\xBD"}, {0x10000, "\xF0\x90\x80\x80"}, {0x10FFFF, "\xF4\x8F\xBF\xBF"},
    };
    for (const auto& [codePoint, expected] : cases) {
        char out[4];
        EXPECT_EQ(std::string(out, static_cast<size_t>(encodeUtf8(codePoint, out))), expected) << std::hex << codePoint;
    }
}
