#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>

#include "webspace/Webspace.h"

namespace {

TEST(Webspace, FreshWebspace) {
    auto space = std::make_unique<Webspace>();
    EXPECT_EQ(space->maxPages, 300);
    EXPECT_EQ(space->paused, 1);  // nothing is fetched until the user starts the crawl
    for (int32_t cell : space->grid.cells) ASSERT_EQ(cell, -1);
    const Vector3& first = space->placementOffsets[0];
    const Vector3& last = space->placementOffsets[99];
    const Vector3& zero = space->placementOffsets[100];
    EXPECT_EQ((std::array{first.x, first.z, last.x, last.z, zero.x, zero.z}), (std::array{0.f, 1.f, -4.f, 7.f, 0.f, 0.f}));
    // An unused slot shows these texts when it is selected.
    const PageNode& slot = space->pages[299];
    EXPECT_EQ(std::string(slot.title) + slot.message + slot.statusText + slot.url, "No TitleNo ErrorsNo Statusempty");
    EXPECT_EQ(slot.links[57].node, 0);  // never looked up: refers to the root
}

TEST(Webspace, FindOrAddTakesSlotsInOrderAndFindsKnownUrls) {
    auto space = std::make_unique<Webspace>();
    EXPECT_EQ(space->findOrAdd("http://h/", -1), 0);
    EXPECT_EQ(space->findOrAdd("http://h/a.html", 0), 1);
    EXPECT_EQ(space->findOrAdd("http://h/A.html", 0), 2);  // case matters
    EXPECT_EQ(space->findOrAdd("http://h/a.html", 2), 1);  // known: the second parent is ignored
    EXPECT_EQ(space->nodeCount, 3);
    EXPECT_EQ(space->pages[1].parent, 0);
    EXPECT_EQ(space->pages[0].parent, -1);
    EXPECT_EQ(space->pages[2].state, PageState::Queued);
    EXPECT_EQ(space->findOrAdd("", 0), 3);  // an empty URL is a URL like any other
    EXPECT_EQ(space->findOrAdd("", 1), 3);
}

TEST(Webspace, PageLimitRefusesOnlyNewUrls) {
    auto space = std::make_unique<Webspace>();
    space->maxPages = 100;
    for (int i = 0; i < 100; ++i) ASSERT_EQ(space->findOrAdd(("http://h/" + std::to_string(i)).c_str(), 0), i);
    EXPECT_EQ(space->findOrAdd("http://h/new", 0), -1);
    EXPECT_EQ(space->findOrAdd("http://h/42", 0), 42);
    EXPECT_EQ(space->nodeCount, 100);
    EXPECT_EQ(space->pages[100].state, PageState::Empty);
}

TEST(Webspace, OverlongUrlIsStoredCutAndFoundAgain) {
    auto space = std::make_unique<Webspace>();
    const std::string url = "http://h/" + std::string(400, 'p');
    EXPECT_EQ(space->findOrAdd(url.c_str(), -1), 0);
    EXPECT_EQ(space->findOrAdd(url.c_str(), -1), 0);
    EXPECT_EQ(space->nodeCount, 1);
    EXPECT_EQ(std::string(space->pages[0].url), url.substr(0, 255));
}

TEST(PlacementGrid, CellOfAPosition) {
    EXPECT_EQ(PlacementGrid::cellIndex({25, 1, 25}), 25 * 2500 + 1 * 50 + 25);
    EXPECT_EQ(PlacementGrid::cellIndex({-3.7f, 0, 0}), PlacementGrid::cellIndex({3.2f, 0, 0}));
    EXPECT_EQ(PlacementGrid::cellIndex({-0.5f, 0, 0}), 0);
    EXPECT_EQ(PlacementGrid::cellIndex({49.9f, 49.9f, 49.9f}), kGridCells - 1);
    EXPECT_EQ(PlacementGrid::cellIndex({50, 0, 0}), -1);
    EXPECT_EQ(PlacementGrid::cellIndex({0, -50, 0}), -1);
    EXPECT_EQ(PlacementGrid::cellIndex({0, 0, 1e30f}), -1);
}

}  // namespace
