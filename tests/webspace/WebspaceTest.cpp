// The page table: slots taken and found, grid cells, placement next to the parent, and
// directory levels.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "webspace/Webspace.h"

using Triple = std::array<float, 3>;

TEST(Webspace, FindOrAddTakesSlotsInOrderAndFindsKnownUrls) {
    auto space = std::make_unique<Webspace>();
    const std::string overlong = "http://h/" + std::string(400, 'p');
    struct Call { std::string url; int parent, slot; } const calls[] = {
        {"http://h/", -1, 0}, {"http://h/a.html", 0, 1}, {"http://h/A.html", 0, 2},  // case matters
        {"http://h/a.html", 2, 1},  // known: the second parent is ignored
        {"", 0, 3}, {"", 1, 3},     // an empty URL is a URL like any other
        {overlong, 0, 4}, {overlong, 0, 4},  // stored cut, and found again as the same text
    };
    for (const Call& c : calls) EXPECT_EQ(space->findOrAdd(c.url.c_str(), c.parent), c.slot) << c.url;
    EXPECT_TRUE(space->nodeCount == 5 && space->pages[0].parent == -1 && space->pages[1].parent == 0);
    EXPECT_EQ(space->pages[4].url, overlong.substr(0, 255));

    space->maxPages = 100;
    for (int i = 5; i < 100; ++i) ASSERT_EQ(space->findOrAdd(std::to_string(i).c_str(), 0), i);
    EXPECT_EQ(space->findOrAdd("http://h/new", 0), -1);
    EXPECT_EQ(space->findOrAdd("42", 0), 42);
    EXPECT_EQ(space->nodeCount, 100);
}

TEST(Webspace, CellOfAPosition) {
    const std::pair<Vector3, int> cases[] = {{{25, 1, 25}, 25 * 2500 + 1 * 50 + 25}, {{-3.7f, 0, 0}, 3 * 2500},
        {{-0.5f, 0, 0}, 0}, {{49.9f, 49.9f, 49.9f}, kGridCells - 1}, {{50, 0, 0}, -1}, {{0, -50, 0}, -1}, {{0, 0, 1e30f}, -1}};
    for (const auto& [position, cell] : cases) EXPECT_EQ(PlacementGrid::cellIndex(position), cell) << position.x;
}

TEST(Webspace, PlacementNextToTheParent) {
    // Recorded: the grid cells newly taken by the children.
    struct Case { Triple parentAt; int parentLevel, level; std::vector<Triple> taken, children; int recorded; } const cases[] = {
        {{25, 1, 25}, 1, 1, {}, {{25, 1, 26}, {26, 1, 25}, {25, 1, 24}, {24, 1, 25}, {26, 1, 26}, {26, 1, 24}}, 6},
        // A new directory stands aside: levels cycle through +x, -x, +z, -z; level 1 never does.
        {{25, 1, 25}, 1, 2, {}, {{30, 2, 26}}, 1},
        {{25, 1, 25}, 1, 3, {}, {{20, 3, 26}}, 1},
        {{25, 1, 25}, 1, 4, {}, {{25, 4, 31}}, 1},
        {{25, 1, 25}, 1, 5, {}, {{25, 5, 21}}, 1},
        {{25, 2, 25}, 2, 1, {}, {{25, 1, 26}}, 1},
        {{25, 3, 25}, 3, 2, {}, {{30, 2, 26}}, 1},  // a level below the parent's stands aside too
        {{25, 1, 25}, 1, 0, {}, {{25, 0, 26}}, 1},
        // Level 50 lies above the grid: every candidate counts as taken, so the node
        // stands on its parent and takes its cell.
        {{25, 1, 25}, 1, 50, {}, {{25, 1, 25}}, 0},
        // Negative coordinates share the cell of their absolute values.
        {{0, 1, 2}, 1, 1, {{0, 1, 3}}, {{1, 1, 2}, {0, 1, 1}, {1, 1, 3}}, 3},
        {{49, 1, 49}, 1, 1, {}, {{49, 1, 48}}, 1},
        {{200, 1, 200}, 1, 1, {}, {{200, 1, 200}}, 0},  // outside: nothing recorded
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("parent at x " + std::to_string(c.parentAt[0]) + ", child level " + std::to_string(c.level));
        auto space = std::make_unique<Webspace>();
        const auto place = [&](int level, int parent) {
            const int slot = space->findOrAdd(std::to_string(space->nodeCount).c_str(), parent);
            space->pages[slot].level = level;
            space->placeNode(slot, parent);
            const Vector3 p = space->pages[slot].position;
            const int cell = PlacementGrid::cellIndex(p);
            EXPECT_TRUE(cell < 0 || space->grid.cells[cell] == slot);
            return Triple{p.x, p.y, p.z};
        };
        EXPECT_EQ(place(c.parentLevel, -1), (Triple{25, float(c.parentLevel), 25}));
        space->pages[0].position = Vector3(c.parentAt[0], c.parentAt[1], c.parentAt[2]);
        for (const Triple& t : c.taken) space->grid.cells[PlacementGrid::cellIndex({t[0], t[1], t[2]})] = 99;
        const auto freeCells = [&] { return std::count(space->grid.cells, space->grid.cells + kGridCells, -1); };
        const auto freeBefore = freeCells();
        for (const Triple& expected : c.children) EXPECT_EQ(place(c.level, 0), expected);
        EXPECT_EQ(freeBefore - freeCells(), c.recorded);
    }
}

TEST(Webspace, DirectoriesShareLevelsHandedOutInOrderUpToFifty) {
    // Two pages of docs/ share level 1; then 53 new directories take 2 to 49 and every later one 50.
    auto space = std::make_unique<Webspace>();
    for (int i = 0; i < 55; ++i) {
        const std::string url = i < 2 ? "http://h/docs/" + std::to_string(i) : "http://h/d" + std::to_string(i) + "/p.html";
        PageNode& node = space->pages[space->findOrAdd(url.c_str(), -1)];
        node.computeDir();
        node.assignLevel(*space);
        EXPECT_EQ(node.level, std::clamp(i, 1, 50)) << url;
    }
    EXPECT_EQ(space->nextLevel, 50);
}
