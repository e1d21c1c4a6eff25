// One page slot of the webspace: everything known about one page of the crawled site.
#pragma once

#include <cstdint>

#include "base/Math3D.h"
#include "base/Text.h"
#include "web/HttpClient.h"

class Webspace;
class NodeModel;

constexpr int kMaxLinks = 100;        // links kept per page
constexpr int kTagCapacity = 512;     // bytes of currentTag

enum class PageState : int32_t {
    Empty = 0,    // slot not in use
    Queued = 1,   // URL known; not yet fetched, or every fetch so far failed
    Fetched = 2,  // answered and placed; its HTML is being scanned, one tag per step
    Linking = 3,  // scanned; its links are being looked up, one per step
    Done = 4,     // nothing more to do
};

struct LinkEntry {
    char url[kTextCapacity];
    // Slot the link leads to. Starts at 0, so a link never looked up refers to the root.
    int32_t node;
};

struct PageNode {
    PageState state;
    int32_t level;      // directory level 1..50; 0 = none (never fetched with status 200)
    int32_t linkCount;
    int32_t length;     // bytes of body received
    int32_t scanPos;
    int32_t parent;     // slot on which the link to this page was first found; -1 for the root
    char title[kTextCapacity];
    char message[kTextCapacity];
    char statusText[kTextCapacity];
    char dir[kTextCapacity];
    int32_t statusCode;
    char host[kTextCapacity];
    char url[kTextCapacity];        // the address asked for, the one other pages link
    char landedUrl[kTextCapacity];  // where the last answer came from, after redirects; empty before one
    char path[kTextCapacity];
    char currentLink[kTextCapacity];
    char currentTag[kTagCapacity];
    UrlParts urlParts;
    Vector3 position;
    Vector3 screen;     // x, y: projected screen position in pixels
    LinkEntry links[kMaxLinks];
    NodeModel* model;

    // Puts the slot in its initial state, as at the webspace's construction.
    void reset();

    // Fetches url with one GET into pageBuffer. 1 when the server answered, 0 on failure.
    int fetch(Webspace& space, HttpClient* client);
    // Stores a failure text in message and writes it to the debug log.
    void setMessage(const char* text);
    // The same, with the HTTP client's reason for the failure after the text.
    void failWith(const char* text, const char* reason);
    // The address the page's links resolve against and its directory is taken from:
    // where its fetch landed, or the one asked for before any answer.
    const char* baseUrl() const { return landedUrl[0] != '\0' ? landedUrl : url; }
    // dir := baseUrl() up to and including its last '/'.
    void computeDir();
    // level := the level of the first node sharing this dir, or the next new one.
    void assignLevel(Webspace& space);

    // Scans the next tag of the body in pageBuffer. True when nothing was left to scan.
    bool scanStep(const Webspace& space);
    // Collects the HREF link and the frame link of one tag.
    void scanTag(const Webspace& space, const char* tag);
    // Rewrites link (kTextCapacity bytes) in place into an absolute URL on the site,
    // resolved against where this page landed. False when the crawl is not to follow it.
    bool resolveLink(const Webspace& space, char* link) const;
};
