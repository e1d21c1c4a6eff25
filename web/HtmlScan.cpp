// HTML scanning: the title, one tag at a time, and the HREF and frame SRC values.
#include "web/HtmlScan.h"

#include "web/TextSearch.h"

namespace {

// The double-quoted value in what follows a marker, in place.
bool quotedValue(char* text, size_t capacity) {
    return extractBetween(text, "\"", "\"", text, capacity, false, false) != 0;
}

}  // namespace

void findTitle(const char* text, char* title, size_t capacity) {
    extractBetween(text, "<TITLE>", "</TITLE>", title, capacity, false, false);
}

bool scanToNextTag(const char* text, int32_t end, int32_t& pos, char (&tag)[kTagCollectLimit + 1], bool& tagEnded) {
    bool nothingLeft = true;
    bool inTag = false;
    int tagLength = 0;
    tagEnded = false;
    // One call consumes everything up to and including the next '>'.
    while (pos < end && !tagEnded) {
        nothingLeft = false;
        const char c = text[pos];
        if (c == '<') inTag = true;
        if (inTag && tagLength < kTagCollectLimit) tag[tagLength++] = c;
        if (c == '>') tagEnded = true;
        ++pos;
    }
    tag[tagLength] = '\0';
    return !nothingLeft;
}

bool hrefOfTag(const char* tag, char* link, size_t capacity) {
    return extractBetween(tag, " HREF", ">", link, capacity, false, false) && quotedValue(link, capacity);
}

bool frameSourceOfTag(const char* tag, char* link, size_t capacity) {
    return extractBetween(tag, " FRAME", ">", link, capacity, false, true) &&
           extractBetween(tag, " SRC", ">", link, capacity, false, false) && quotedValue(link, capacity);
}
