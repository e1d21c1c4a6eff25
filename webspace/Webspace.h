// The webspace: the crawl graph and the one place where everything known about the
// crawled site lives. 300 fixed page slots, taken in index order and never freed, so
// a slot index names its page for the whole run; the placement grid; the candidate
// offsets for placement; and the small state of the crawl.
#pragma once

#include <cstdint>

#include "base/Settings.h"
#include "webspace/NodeDisplay.h"
#include "webspace/PageNode.h"

class HttpClient;
class NodeModels;

constexpr int kPageSlots = kPageLimitCap;  // as many as the highest page limit
constexpr int kGridSide = 50;                                  // cells per axis
constexpr int kGridCells = kGridSide * kGridSide * kGridSide;  // 125,000
constexpr int kPlacementOffsetCount = 101;
constexpr int kLevelCap = 50;
constexpr uint32_t kGiveUpMs = 30000;  // ms a page may keep failing before the crawl gives it up
constexpr int kPagesAhead = 5;  // Queued pages after the cursor that may be asked for ahead of it

// Which node occupies each cell of space; -1 = free.
struct PlacementGrid {
    int32_t cells[kGridCells];

    // Index of the cell holding position p (absolute values of the truncated
    // coordinates), or -1 when that cell lies outside the grid.
    static int cellIndex(const Vector3& p);
};

// Milliseconds from a monotonic clock, for pacing the retries of a failing fetch.
using MillisecondClock = uint32_t (*)();

class Webspace {
public:
    PageNode pages[kPageSlots];
    int32_t nodeCount;
    int32_t maxPages;        // page limit: 100, 200 or 300
    PlacementGrid grid;
    Vector3 placementOffsets[kPlacementOffsetCount];
    char siteHost[kTextCapacity];  // the start URL's host name, in lower case: the crawl stays on it
    uint8_t finished;        // a whole sweep found nothing to do
    uint8_t passBusy;        // the current sweep has done work
    uint8_t paused;          // steps do nothing while set
    int32_t cursor;          // the slot being worked on
    int32_t linkCursor;      // next link of the cursor page to look up
    int32_t nextLevel;       // next new directory level, at most kLevelCap

    // Platform services the crawl uses; set once by the program that owns the webspace.
    HttpClient* httpClient = nullptr;
    NodeModels* nodeModels = nullptr;
    // With a clock, a failing fetch is retried after a growing pause instead of every step.
    MillisecondClock clock = nullptr;

    Webspace();

    // Makes the initial URL the root page, in slot 0, and its host name the site's. A
    // user name and password in it go to the HTTP client, which alone keeps them; the
    // URL itself, in place and as the root's, keeps neither (nor capitals in its scheme
    // and host), so that no password is ever shown or written. Returns the root's slot.
    int startCrawlAt(char* initialUrl);

    // Slot of the page with this URL (exact, case-sensitive), adding it as Queued with
    // the given parent if it is new. -1 when it is new and the page limit is reached.
    int findOrAdd(const char* url, int parent);

    // Chooses where the node just fetched in `slot` stands, next to its parent.
    void placeNode(int slot, int parent);
    // Gives a newly placed node its model, through the renderer's node models if there are any.
    void buildNodeModel(int slot);

    // Advances the crawl by one small piece of work: one fetch, one tag or one link. A
    // page's fetch takes its answer once it is here; until then the step waits and does
    // nothing. Meanwhile the pages the cursor comes to next are asked for ahead.
    void crawlStep();
    // Ends the tries of the page in `slot`: it is placed and done, red, with no links.
    void giveUp(int slot);
    // Runs crawl steps for one frame, at most limit of them, and returns how many ran.
    // It stops early once the crawl is finished or paused, after a step that was about
    // the network (one fetch a frame at most), and, with a clock, once the clock has
    // reached deadlineMs. The steps are the same steps in the same order at any limit.
    int32_t crawlSteps(int32_t limit, uint32_t deadlineMs);

    // Node display (webspace/NodeDisplay.cpp). Screen position of every slot in use.
    void projectNodes(const ScreenProjection& projection);
    // Per frame: projection, node colours by status and selection, squares facing the viewer.
    void updateNodes(const ScreenProjection& projection, int32_t selectedNode);
    // Writes the link lines (two ends each, blue at the source, red at the target) of
    // every page that is linking or done; returns the number of ends written, never
    // more than capacity.
    int collectLinkLines(LinkLineEnd* out, int capacity) const;

    // With a clock: how long a page may keep failing before the crawl gives it up and
    // moves on (its tries come at about 0, 1, 3, 7, 15 and 31 s of the default span).
    // A failure that no later try can change is given up at once, with a clock or without.
    uint32_t giveUpMs = kGiveUpMs;
    // Pause before the next try of a fetch that failed, when it is due, and how long the
    // page at the cursor has been failing: its tries and the pauses between them.
    uint32_t retryDelayMs = 0;
    uint32_t retryDueMs = 0;
    uint32_t failingForMs = 0;
    // Set by a step whose work was the network's: it fetched the cursor page, tried to,
    // found its answer still on its way, or found its next try not yet due. Further
    // steps in the same frame could only wait on the network, so the frame's stepping
    // ends there.
    uint8_t networkStep = 0;
    // Set by a step that did nothing but wait: for the cursor page's answer, or for its
    // next try. A program without frames may then wait on the network itself.
    uint8_t waited = 0;
    // The cursor page's answer is on its way: TRACE INFO says "getting page".
    uint8_t gettingPage = 0;

private:
    // The cursor's part of a step: the work on the page it rests on, the end of a sweep.
    void stepCursor();
    // Asks the HTTP client for the pages the cursor will fetch next, while it has room.
    void askAhead();
};
