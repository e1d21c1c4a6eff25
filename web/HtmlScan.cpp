#include "base/DebugLog.h"
#include "web/PageBuffer.h"
#include "web/TextSearch.h"
#include "webspace/Webspace.h"

bool PageNode::scanStep(const Webspace& space) {
    // The title is taken once, on the first step, and cut at the field's capacity.
    if (scanPos == 0) extractBetween(pageBuffer, "<TITLE>", "</TITLE>", title, false, false);

    bool nothingLeft = true;
    int tagState = 0;  // 0: no tag begun, 1: inside a tag, 2: tag complete
    char tag[kTagCollectLimit + 1];
    int tagLength = 0;

    // One call consumes everything up to and including the next '>', so each frame
    // scans one tag and the scan of a long page is spread over many frames.
    while (scanPos < length && scanPos < kPageBufferSize && tagState < 2) {
        nothingLeft = false;
        const char c = pageBuffer[scanPos];
        if (c == '<') tagState = 1;
        if (tagState == 1 && tagLength < kTagCollectLimit) tag[tagLength++] = c;
        if (c == '>') {
            tag[tagLength] = '\0';
            copyText(currentTag, tag);
            scanTag(space, tag);
            tagLength = 0;
            tagState = 2;
        }
        ++scanPos;
    }
    return nothingLeft;
}

void PageNode::scanTag(const Webspace& space, const char* tag) {
    // Only double-quoted values after a blank count: HREF from any tag (anchors, areas,
    // link and base tags alike), SRC only from frames.
    if (extractBetween(tag, " HREF", ">", currentLink, false, false) &&
        extractBetween(currentLink, "\"", "\"", currentLink, false, false) &&
        resolveLink(space, currentLink) && linkCount < kMaxLinks) {
        logMessage(currentLink, kOk);
        copyText(links[linkCount].url, currentLink);
        ++linkCount;
    }

    if (!extractBetween(tag, " FRAME", ">", currentLink, false, true)) return;
    if (!extractBetween(tag, " SRC", ">", currentLink, false, false)) return;
    if (!extractBetween(currentLink, "\"", "\"", currentLink, false, false)) return;
    if (resolveLink(space, currentLink) && linkCount < kMaxLinks) {
        copyText(links[linkCount].url, currentLink);
        ++linkCount;
    }
}
