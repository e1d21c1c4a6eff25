// HTML scanning on plain text: the page's title, the next tag after a position, and the
// links a tag holds. The crawl scans one tag per step, so a long page is spread over
// many frames.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kTagCollectLimit = 256;  // characters of a tag collected by the scan

// The text between <TITLE> and </TITLE>, found case-blind and cut at the field's
// capacity; "not found" when the page has none.
void findTitle(const char* text, char* title, size_t capacity);

// Moves pos through text, up to end, to just past the next '>' and collects the tag
// that ends there from its '<' (its first kTagCollectLimit characters; a '>' before any
// '<' ends an empty tag). tagEnded is false when the text ran out before a '>'. Returns
// false when pos stood at the end already: nothing was left to scan.
bool scanToNextTag(const char* text, int32_t end, int32_t& pos, char (&tag)[kTagCollectLimit + 1], bool& tagEnded);

// Only double-quoted values after a blank count. The HREF of any tag (anchors, areas,
// link and base tags alike) goes into link; false when the tag has none. Whatever the
// search left in link stays there ("not found" included), as the trace shows it.
bool hrefOfTag(const char* tag, char* link, size_t capacity);
// The SRC of a frame tag (FRAME or IFRAME), in the same way.
bool frameSourceOfTag(const char* tag, char* link, size_t capacity);
