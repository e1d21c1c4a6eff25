// The webspace's construction, the candidate offsets for placement and the page lookup.
#include "webspace/Webspace.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "web/HttpClient.h"
#include "web/WebAddress.h"
#include "webspace/NodeModels.h"

namespace {

// Candidate offsets (x, z) for placing a node next to its parent, tried in order:
// rings of growing distance, each running from +z through +x, -z and -x. The last
// entry, the zero vector, is left at its initial value.
constexpr float kOffsetTable[100][2] = {
    {0, 1}, {1, 0}, {0, -1}, {-1, 0}, {1, 1}, {1, -1}, {-1, -1}, {-1, 1},
    {1, 2}, {2, 1}, {2, -1}, {1, -2}, {-1, -2}, {-2, -1}, {-2, 1}, {-1, 2},
    {1, 3}, {2, 3}, {3, 2}, {3, 1}, {3, -1}, {3, -2}, {2, -3}, {1, -3},
    {-1, -3}, {-2, -3}, {-3, -2}, {-3, -1}, {-3, 1}, {-3, 2}, {-2, 3}, {-1, 3},
    {1, 4}, {3, 4}, {4, 3}, {4, 1}, {4, -1}, {4, -3}, {3, -4}, {1, -4},
    {-1, -4}, {-3, -4}, {-4, -3}, {-4, -1}, {-4, 1}, {-4, 3}, {-3, 4}, {-1, 4},
    {1, 5}, {2, 5}, {3, 5}, {4, 5}, {5, 4}, {5, 3}, {5, 2}, {5, 1},
    {5, -1}, {5, -2}, {5, -3}, {5, -4}, {4, -5}, {3, -5}, {2, -5}, {1, -5},
    {-1, -5}, {-2, -5}, {-3, -5}, {-4, -5}, {-5, -4}, {-5, -3}, {-5, -2}, {-5, -1},
    {-5, 1}, {-5, 2}, {-5, 3}, {-5, 4}, {-4, 5}, {-3, 5}, {-2, 5}, {-1, 5},
    {1, 6}, {5, 6}, {6, 5}, {6, 1}, {6, -1}, {6, -5}, {5, -6}, {1, -6},
    {-1, -6}, {-5, -6}, {-6, -5}, {-6, -1}, {-6, 1}, {-6, 5}, {-5, 6}, {-1, 6},
    {4, 7}, {4, -7}, {-4, -7}, {-4, 7},
};

}  // namespace

int PlacementGrid::cellIndex(const Vector3& p) {
    // Truncate toward zero, then fold negatives over: x = -3.7 shares column 3 with 3.2.
    // Coordinates are checked as floats first, so a huge one cannot overflow the int.
    int cell[3];
    for (int axis = 0; axis < 3; ++axis) {
        const float folded = std::fabs(std::trunc(p[axis]));
        if (!(folded < static_cast<float>(kGridSide))) return -1;  // also catches NaN
        cell[axis] = static_cast<int>(folded);
    }
    return cell[0] * kGridSide * kGridSide + cell[1] * kGridSide + cell[2];
}

Webspace::Webspace() {
    for (PageNode& page : pages) page.reset();
    siteHost[0] = '\0';
    finished = 0;
    passBusy = 1;
    paused = 1;
    cursor = 0;
    linkCursor = 0;
    nextLevel = 1;
    nodeCount = 0;
    maxPages = kPageSlots;
    for (int32_t& cell : grid.cells) cell = -1;
    for (Vector3& offset : placementOffsets) offset = Vector3(0.0f, 0.0f, 0.0f);
    for (int i = 0; i < 100; ++i) placementOffsets[i] = Vector3(kOffsetTable[i][0], 0.0f, kOffsetTable[i][1]);
}

int Webspace::startCrawlAt(char* initialUrl) {
    if (httpClient) httpClient->setSite(initialUrl);
    hostNameOf(initialUrl, siteHost, sizeof siteHost);
    // The canonical form is never longer than the URL it comes from.
    canonicalWebAddress(initialUrl, initialUrl, std::strlen(initialUrl) + 1);
    return findOrAdd(initialUrl, -1);
}

int Webspace::findOrAdd(const char* url, int parent) {
    // A URL longer than the field is cut first, so that it is stored and looked up as
    // the same text and a second call finds it instead of adding it again.
    char key[kTextCapacity];
    copyText(key, url);
    for (int i = 0; i < maxPages; ++i) {
        if (pages[i].state != PageState::Empty && std::strcmp(pages[i].url, key) == 0) return i;
    }
    for (int i = 0; i < maxPages; ++i) {
        PageNode& page = pages[i];
        if (page.state != PageState::Empty) continue;
        page.state = PageState::Queued;
        page.parent = parent;
        copyText(page.url, key);
        ++nodeCount;
        return i;
    }
    return -1;
}

void Webspace::buildNodeModel(int slot) {
    if (nodeModels) nodeModels->buildNodeModel(*this, slot);
}
