// The crawl scheduler: one small piece of work per step, in slot order, sweep after sweep.
#include <cstdio>

#include "base/DebugLog.h"
#include "web/HttpClient.h"
#include "web/PageFetch.h"
#include "webspace/Webspace.h"

namespace {

constexpr uint32_t kFirstRetryDelayMs = 1000;  // ms before the first retry of a failed fetch
constexpr uint32_t kLongestRetryDelayMs = 30000;  // ms: the pause doubles up to this

}  // namespace

void Webspace::crawlStep() {
    networkStep = 0;
    waited = 0;
    // Paused, nothing is asked of the server; what is on its way may still come.
    if (paused) return;
    // Without a root there is nothing to sweep over (and no slot for the cursor to rest on).
    if (nodeCount == 0) return;
    const int32_t nodesBefore = nodeCount, cursorBefore = cursor;
    stepCursor();
    // Which pages to ask for ahead changes only with a fetch (or the wait for one), a new
    // page or a move of the cursor; the many steps over one tag leave it as it was.
    if (networkStep || nodeCount != nodesBefore || cursor != cursorBefore) askAhead();
}

void Webspace::stepCursor() {
    PageNode& page = pages[cursor];
    switch (page.state) {
        case PageState::Empty:
            ++cursor;
            break;

        case PageState::Queued: {
            networkStep = 1;  // a fetch, or the wait for one: the rest of the frame is the network's
            // A fetch that fails holds the cursor, so that a page that fails for a moment
            // is tried again. With a clock, the retries back off so that a dead server is
            // not asked every frame and debug.txt does not fill with the same failure
            // thousands of times, and a page that keeps failing is given up in the end:
            // one broken page must not hold the whole crawl.
            if (clock && retryDelayMs != 0 && static_cast<int32_t>(clock() - retryDueMs) < 0) {
                waited = 1;
                return;
            }
            passBusy = 1;
            // The fetch runs once the answer is here: until then the frames go on.
            if (httpClient && askForPage(*httpClient, page.url) != Answer::Here) {
                gettingPage = 1;
                waited = 1;
                return;
            }
            gettingPage = 0;
            const uint32_t triedAtMs = clock ? clock() : 0;
            const int fetched = page.fetch(*this, httpClient);
            // An answer asked before the fetch counts as a try made now that took as long
            // as it was on its way, so a failing page gets the same tries, asked ahead or not.
            const uint32_t onItsWayMs = httpClient ? httpClient->onItsWayMs() : 0;
            if (httpClient) httpClient->forget(page.url);
            if (fetched == 1) {
                retryDelayMs = 0;
                placeNode(cursor, page.parent);
                page.state = PageState::Fetched;
                break;
            }
            // The time a page has been failing counts its tries and the pauses before
            // them, not the time the crawl was paused or its window hidden: a page
            // that failed before a pause still gets its tries after it.
            if (clock) {
                failingForMs = (retryDelayMs == 0 ? 0 : failingForMs + retryDelayMs) + (clock() - triedAtMs) + onItsWayMs;
            }
            if (page.failedForGood || (clock && failingForMs >= giveUpMs)) {
                retryDelayMs = 0;
                giveUp(cursor);
            } else if (clock) {
                retryDelayMs = retryDelayMs == 0 ? kFirstRetryDelayMs : retryDelayMs * 2;
                if (retryDelayMs > kLongestRetryDelayMs) retryDelayMs = kLongestRetryDelayMs;
                retryDueMs = clock() + retryDelayMs;
            }
            break;
        }

        case PageState::Fetched:
            passBusy = 1;
            if (page.scanStep(*this)) {
                page.state = PageState::Done;
                if (page.linkCount > 0) {
                    linkCursor = 0;
                    page.state = PageState::Linking;
                }
            }
            break;

        case PageState::Linking:
            passBusy = 1;
            // Once the page limit is reached the remaining links keep node 0: they
            // refer to the root, and their lines are drawn to it.
            if (linkCursor < page.linkCount && nodeCount < maxPages) {
                LinkEntry& link = page.links[linkCursor];
                link.node = findOrAdd(link.url, cursor);
                ++linkCursor;
            } else {
                page.state = PageState::Done;
            }
            break;

        case PageState::Done:
            ++cursor;
            break;

        default:
            break;
    }

    // End of a sweep: a whole sweep without work means the crawl is complete.
    if (cursor == nodeCount) {
        if (!passBusy) {
            finished = 1;
            paused = 1;
            logMessage("Done!!", kOk);
        }
        passBusy = 0;
        cursor = 0;
    }
}

void Webspace::giveUp(int slot) {
    PageNode& page = pages[slot];
    // Shown as a page answered with an error is: placed, red, selectable, its message
    // the last failure. Nothing of it is scanned, so it leads nowhere.
    page.statusCode = 0;
    page.linkCount = 0;
    page.givenUp = 1;
    placeNode(slot, page.parent);
    page.state = PageState::Done;
    char line[2 * kTextCapacity];
    if (page.failedForGood) {
        std::snprintf(line, sizeof line, "gave up on %s: no later try can succeed", page.url);
    } else {
        std::snprintf(line, sizeof line, "gave up on %s: still failing after %g s", page.url, giveUpMs / 1000.0);
    }
    logMessage(line, kOk);
}

void Webspace::askAhead() {
    if (!httpClient) return;
    // A room stays free for the cursor page while it has none: the answers held for the
    // pages after it wait for the cursor, which would otherwise never get past it.
    const PageNode& current = pages[cursor];
    const int reserved = current.state == PageState::Queued && !httpClient->holds(current.url) ? 1 : 0;
    // Only Queued slots after the cursor, in the order it reaches them, and only the
    // first few: pages it will ask for in any case, within the page limit.
    int queued = 0;
    for (int32_t slot = cursor + 1; slot < nodeCount && queued < kPagesAhead && httpClient->room() > reserved; ++slot) {
        const PageNode& page = pages[slot];
        if (page.state != PageState::Queued) continue;
        ++queued;
        if (!httpClient->holds(page.url)) askForPage(*httpClient, page.url);
    }
}

int32_t Webspace::crawlSteps(int32_t limit, uint32_t deadlineMs) {
    int32_t steps = 0;
    while (steps < limit && !finished && !paused) {
        crawlStep();
        ++steps;
        if (networkStep) break;
        if (clock && static_cast<int32_t>(clock() - deadlineMs) >= 0) break;
    }
    return steps;
}
