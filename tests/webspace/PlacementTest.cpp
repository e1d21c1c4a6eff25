#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "webspace/NodeModelBuilder.h"
#include "webspace/Webspace.h"

namespace {

using Triple = std::array<float, 3>;

Triple at(const Vector3& v) { return {v.x, v.y, v.z}; }

struct RecordingBuilder : NodeModelBuilder {
    std::vector<int> built;
    void buildNodeModel(Webspace&, int slot) override { built.push_back(slot); }
};

class Placement : public ::testing::Test {
protected:
    std::unique_ptr<Webspace> space = std::make_unique<Webspace>();
    RecordingBuilder builder;

    void SetUp() override { space->modelBuilder = &builder; }

    // Adds and places a page of the given level under parent; returns its slot.
    int place(int level, int parent) {
        const int slot = space->findOrAdd(("http://h/" + std::to_string(space->nodeCount)).c_str(), parent);
        space->pages[slot].level = level;
        space->placeNode(slot, parent);
        return slot;
    }

    int cellHolder(int x, int y, int z) const { return space->grid.cells[x * 2500 + y * 50 + z]; }
};

TEST_F(Placement, RootStandsInTheMiddleOnItsLayer) {
    const int root = place(1, -1);
    EXPECT_EQ(at(space->pages[root].position), (Triple{25, 1, 25}));
    EXPECT_EQ(cellHolder(25, 1, 25), root);
    EXPECT_EQ(builder.built, std::vector<int>{root});
}

TEST_F(Placement, DirectoryShiftByLevel) {
    struct Case { int parentLevel; int level; Triple position; };
    const Case cases[] = {
        {1, 1, {25, 1, 26}},  // same directory: no shift, first ring cell
        {1, 2, {30, 2, 26}},  // +x
        {1, 3, {20, 3, 26}},  // -x
        {1, 4, {25, 4, 31}},  // +z
        {1, 5, {25, 5, 21}},  // -z
        {2, 1, {25, 1, 26}},  // level 1 never shifts
        {1, 50, {25, 1, 25}},  // level 50 lies above the grid: every candidate counts as taken
        {1, 0, {25, 0, 26}},  // a page without a level stands at y = 0
    };
    for (const Case& c : cases) {
        auto fresh = std::make_unique<Webspace>();
        space.swap(fresh);
        const int root = place(c.parentLevel, -1);
        const int child = place(c.level, root);
        EXPECT_EQ(at(space->pages[child].position), c.position) << "level " << c.level;
    }
}

TEST_F(Placement, SiblingsFillTheRingInOffsetOrder) {
    const int root = place(1, -1);
    const Triple expected[] = {{25, 1, 26}, {26, 1, 25}, {25, 1, 24}, {24, 1, 25}, {26, 1, 26}, {26, 1, 24}};
    for (const Triple& position : expected) {
        const int child = place(1, root);
        EXPECT_EQ(at(space->pages[child].position), position);
        EXPECT_EQ(cellHolder(int(position[0]), int(position[1]), int(position[2])), child);
    }
}

TEST_F(Placement, NegativeCoordinatesUseTheAbsoluteCell) {
    const int root = place(1, -1);
    space->pages[root].position = Vector3(0, 1, 2);
    // Fill candidate 0 (0, 1, 3) so that candidate 1 (1, 1, 2) is tried; then candidate 3
    // at x = -1 falls into column 1, which candidate 1 has taken.
    space->grid.cells[0 * 2500 + 1 * 50 + 3] = 99;
    const int first = place(1, root);
    EXPECT_EQ(at(space->pages[first].position), (Triple{1, 1, 2}));
    const int second = place(1, root);
    EXPECT_EQ(at(space->pages[second].position), (Triple{0, 1, 1}));
    const int third = place(1, root);
    EXPECT_EQ(at(space->pages[third].position), (Triple{1, 1, 3}));  // (-1, 1, 2) shares cell (1, 1, 2)
}

TEST_F(Placement, AllCandidatesTakenPutsTheNodeOnItsParent) {
    const int root = place(1, -1);
    for (const Vector3& offset : space->placementOffsets) {
        Vector3 p = space->pages[root].position;
        p += offset;
        space->grid.cells[PlacementGrid::cellIndex(p)] = 77;
    }
    const int child = place(1, root);
    EXPECT_EQ(at(space->pages[child].position), (Triple{25, 1, 25}));
    EXPECT_EQ(cellHolder(25, 1, 25), child);  // the parent's cell now names the child
}

TEST_F(Placement, CandidatesOutsideTheGridCountAsTaken) {
    const int root = place(1, -1);
    space->pages[root].position = Vector3(49, 1, 49);
    const int child = place(1, root);
    // (49, 1, 50) and (50, 1, 49) lie outside; (49, 1, 48) is the first inside.
    EXPECT_EQ(at(space->pages[child].position), (Triple{49, 1, 48}));

    // A parent far outside: every candidate is outside, nothing is recorded.
    space->pages[root].position = Vector3(200, 1, 200);
    std::vector<int32_t> before(space->grid.cells, space->grid.cells + kGridCells);
    const int far = place(1, root);
    EXPECT_EQ(at(space->pages[far].position), (Triple{200, 1, 200}));
    EXPECT_TRUE(std::equal(before.begin(), before.end(), space->grid.cells));
}

TEST_F(Placement, DeepChainsNeverLeaveTheGridArrays) {
    // 299 nodes, each a new directory under the last: levels climb to 50 and beyond the grid.
    int parent = place(1, -1);
    for (int i = 2; i <= 299; ++i) parent = place(i > 50 ? 50 : i, parent);
    EXPECT_EQ(space->nodeCount, 299);
}

}  // namespace
