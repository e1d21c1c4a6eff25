// A page body of any bytes, up to past the page buffer's size, read into the page
// buffer as a fetch reads it and scanned tag by tag: through the scan functions on
// fields of their exact size, then through a page slot as the crawl scans it, links
// resolved and kept. No field is written or read past, the scan always ends, and both
// ways find the same title and links.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/DebugLog.h"
#include "fuzz/FuzzSupport.h"
#include "web/HtmlScan.h"
#include "web/PageBuffer.h"
#include "web/PageFetch.h"
#include "webspace/Webspace.h"

namespace {

// Hands out a body in the pieces the fetch asks for; the request steps are not under test.
class BodyClient : public HttpClient {
public:
    explicit BodyClient(const std::string& body) : body_(body) {}
    void setSite(const char*) override {}
    bool open(const char*) override { return true; }
    bool setConnectTimeout(uint32_t) override { return true; }
    bool setReceiveTimeout(uint32_t) override { return true; }
    bool splitUrl(const char*, UrlParts&) override { return true; }
    bool connect(UrlScheme, const char*, int32_t) override { return true; }
    bool openRequest(const char*, const char*) override { return true; }
    bool send() override { return true; }
    const char* landedUrl() const override { return ""; }
    const char* failureReason() const override { return ""; }
    bool queryStatusText(char*, uint32_t) override { return true; }
    bool queryStatusCode(int32_t&) override { return true; }
    bool read(char* buffer, uint32_t wanted, uint32_t& delivered) override {
        delivered = static_cast<uint32_t>(std::min<size_t>(wanted, body_.size() - at_));
        std::memcpy(buffer, body_.data() + at_, delivered);
        at_ += delivered;
        return true;
    }
    void close() override {}

private:
    const std::string& body_;
    size_t at_ = 0;
};

// The body: the input's text, and when the filler byte asks (its top quarter) plain text
// in front that brings it to the end of what the page buffer takes, so that the cut there
// meets tags of every kind. Filling with text rather than repeating tags keeps a
// page-sized body quick to scan.
std::string bodyOf(std::string_view text, uint8_t fillerByte) {
    constexpr size_t kFillerStep = 64;  // bytes of filler per step of the byte
    std::string body;
    if (fillerByte >= 192) body.assign(kContinueLimit - 32 * kFillerStep + (fillerByte - 192) * kFillerStep, 'f');
    body += text;
    return body;
}

// What the scan found: the title and the links kept, in order.
struct Found {
    std::string title;
    std::vector<std::string> links;
};

// The scan functions one by one, each field allocated at its exact size; links resolved
// for the page as the slot resolves them, and kept as the slot keeps them.
Found scanWithExactFields(const PageNode& page, const Webspace& space, int32_t end) {
    Found found;
    FixedField title(kTextCapacity);
    findTitle(pageBuffer, title.data(), title.capacity());
    found.title = title.text("the title");

    FixedField tag(kTagCollectLimit + 1);
    FixedField link(kTextCapacity);
    auto keep = [&](bool isLink, const char* what) {
        link.text(what);
        if (isLink && page.resolveLink(space, link.data()) && found.links.size() < kMaxLinks)
            found.links.push_back(link.text("a resolved link"));
    };
    int32_t pos = 0;
    bool tagEnded = false;
    while (scanToNextTag(pageBuffer, end, pos, *reinterpret_cast<char(*)[kTagCollectLimit + 1]>(tag.data()), tagEnded)) {
        fuzzExpect(pos <= end, "the scan stays within the body");
        tag.text("a collected tag");
        if (!tagEnded) continue;
        keep(hrefOfTag(tag.data(), link.data(), link.capacity()), "an HREF");
        keep(frameSourceOfTag(tag.data(), link.data(), link.capacity()), "a frame's SRC");
    }
    fuzzExpect(pos == end, "the scan reaches the end of the body");
    return found;
}

// The same body through a page slot, as the crawl scans it.
void scanThroughPageSlot(PageNode& page, const Webspace& space, const Found& expected) {
    const int32_t end = std::min(page.length, kPageBufferSize);
    int32_t steps = 0;
    while (!page.scanStep(space)) {
        fuzzExpect(++steps <= end, "every step consumes at least one byte");
        fuzzExpect(page.scanPos <= end, "the slot's scan stays within the body");
    }
    fuzzExpect(page.linkCount >= 0 && page.linkCount <= kMaxLinks, "the link count stays within the link list");
    expectTerminated(page.title, sizeof page.title, "the slot's title");
    expectTerminated(page.currentLink, sizeof page.currentLink, "the slot's current link");
    expectTerminated(page.currentTag, sizeof page.currentTag, "the slot's current tag");
    for (int32_t i = 0; i < page.linkCount; ++i) {
        expectTerminated(page.links[i].url, sizeof page.links[i].url, "a kept link");
        fuzzExpect(std::strpbrk(page.links[i].url, "\t\r\n") == nullptr || std::strpbrk(page.url, "\t\r\n"),
                   "a kept link holds no tab or line break of its own");
    }
    // Fields side by side in a slot must hold what the same scan leaves in fields of their own.
    fuzzExpect(page.title == expected.title, "the slot's title is the page's title");
    fuzzExpect(static_cast<size_t>(page.linkCount) == expected.links.size(), "the slot keeps the page's links");
    for (int32_t i = 0; i < page.linkCount; ++i)
        fuzzExpect(page.links[i].url == expected.links[static_cast<size_t>(i)], "the slot keeps each link as resolved");
}

}  // namespace

// Input: a flags byte (unused, kept so the corpus keeps its shape), the page's level, the
// filler byte (see bodyOf), the page's URL and the site's host name (each ending at a
// NUL), then the body text.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::unique_ptr<Webspace> space = std::make_unique<Webspace>();
    FuzzInput input(data, size);
    input.byte();
    PageNode& page = space->pages[0];
    page.reset();
    page.state = PageState::Fetched;
    page.level = input.byte() % (kLevelCap + 1);
    const uint8_t fillerByte = input.byte();
    copyText(page.url, std::string(input.piece()).c_str());
    copyText(space->siteHost, std::string(input.piece()).c_str());
    const std::string body = bodyOf(input.rest(), fillerByte);

    startDebugLog();  // debug.txt in the working folder, afresh per input: the links found go to the trace
    BodyClient client(body);
    fuzzExpect(readPageBody(client, page.length) == BodyRead::Whole, "a body that is there is read whole");
    // Reading stops once the body passes what the buffer is to hold; until then every byte counts.
    fuzzExpect(static_cast<size_t>(page.length) == body.size() ||
                   (page.length > kContinueLimit && static_cast<size_t>(page.length) < body.size()),
               "every byte received is counted");
    expectTerminated(pageBuffer, kPageBufferSize, "the page buffer");

    const Found found = scanWithExactFields(page, *space, std::min(page.length, kPageBufferSize));
    scanThroughPageSlot(page, *space, found);
    return 0;
}
