#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>

#include "webspace/Webspace.h"

namespace {

TEST(Webspace, FreshWebspace) {
    auto space = std::make_unique<Webspace>();
    EXPECT_EQ(space->nodeCount, 0);
    EXPECT_EQ(space->maxPages, 300);
    EXPECT_EQ(space->paused, 1);
    EXPECT_EQ(space->passBusy, 1);
    EXPECT_EQ(space->localLinksOnly, 1);
    EXPECT_EQ(space->nextLevel, 1);
    for (int32_t cell : space->grid.cells) ASSERT_EQ(cell, -1);
    const Vector3& first = space->placementOffsets[0];
    const Vector3& last = space->placementOffsets[99];
    const Vector3& zero = space->placementOffsets[100];
    EXPECT_EQ((std::array{first.x, first.y, first.z}), (std::array{0.0f, 0.0f, 1.0f}));
    EXPECT_EQ((std::array{last.x, last.y, last.z}), (std::array{-4.0f, 0.0f, 7.0f}));
    EXPECT_EQ((std::array{zero.x, zero.y, zero.z}), (std::array{0.0f, 0.0f, 0.0f}));

    const PageNode& slot = space->pages[299];
    EXPECT_EQ(slot.state, PageState::Empty);
    EXPECT_STREQ(slot.title, "No Title");
    EXPECT_STREQ(slot.message, "No Errors");
    EXPECT_STREQ(slot.statusText, "No Status");
    EXPECT_STREQ(slot.url, "empty");
    EXPECT_STREQ(slot.currentLink, "No Links");
    EXPECT_STREQ(slot.dir, "");
    EXPECT_EQ(slot.position.x, 25.0f);
    EXPECT_EQ(slot.screen.x, -10.0f);
    EXPECT_EQ(slot.links[57].node, 0);  // never looked up: refers to the root
    EXPECT_EQ(slot.model, nullptr);
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
