#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/DebugLog.h"
#include "support/TestSupport.h"
#include "webspace/NodeModelBuilder.h"

namespace {

struct RecordingBuilder : NodeModelBuilder {
    std::vector<int> built;
    void buildNodeModel(Webspace&, int slot) override { built.push_back(slot); }
};

// Whole crawls of small in-memory sites, started the way the program starts one: a
// fresh trace, the initial URL as root, then the user un-pauses.
class Crawl : public TempDirTest {
protected:
    FakeHttpClient client;
    std::unique_ptr<Webspace> space = makeWebspace(&client);
    RecordingBuilder builder;

    void start(const char* rootUrl) {
        space->modelBuilder = &builder;
        startDebugLog();
        ASSERT_EQ(space->findOrAdd(rootUrl, -1), 0);
        space->paused = 0;
    }

    // Steps until the crawl finishes; returns the number of steps, or -1 past the limit.
    int runToEnd(int limit = 100000) {
        for (int steps = 1; steps <= limit; ++steps) {
            space->crawlStep();
            if (space->finished) return steps;
        }
        return -1;
    }

    void page(const std::string& url, const std::string& body) { client.site[url] = {200, "OK", body}; }
};

std::vector<std::string> fetched(const std::string& url, std::vector<std::string> links = {}) {
    std::vector<std::string> result = lines({ok("------------------------------"), ok("getting page"), ok(url),
                                             ok("got page"), ok("No Errors"), ok("finding links")});
    for (const std::string& link : links) result = lines({result, ok(link)});
    return result;
}

std::vector<std::string> failed(const std::string& url, const std::string& message) {
    return lines({ok("------------------------------"), ok("getting page"), ok(url), ok(message)});
}

const std::vector<std::string> kLogHeading = {"DEBUG LOG"};

TEST_F(Crawl, RootAnsweredNotFoundEndsAfterFourSteps) {
    start("http://h/");
    // Nothing happens while the crawl waits for the user.
    space->paused = 1;
    for (int i = 0; i < 10; ++i) space->crawlStep();
    EXPECT_TRUE(client.requested.empty());
    space->paused = 0;

    space->crawlStep();
    EXPECT_EQ(space->pages[0].state, PageState::Fetched);
    space->crawlStep();
    EXPECT_EQ(space->pages[0].state, PageState::Done);
    EXPECT_EQ(space->pages[0].linkCount, 0);
    space->crawlStep();
    EXPECT_EQ(space->cursor, 0);
    EXPECT_EQ(space->passBusy, 0);
    EXPECT_EQ(space->finished, 0);
    space->crawlStep();
    EXPECT_EQ(space->finished, 1);
    EXPECT_EQ(space->paused, 1);

    const PageNode& root = space->pages[0];
    EXPECT_EQ(root.level, 0);
    EXPECT_EQ(root.position.y, 0.0f);
    EXPECT_STREQ(root.title, "not found");
    EXPECT_EQ(builder.built, std::vector<int>{0});
    EXPECT_EQ(readLines("debug.txt"),
              lines({kLogHeading, failed("http://h/", "File Not Found"), ok("Done!!")}));
}

TEST_F(Crawl, PageWithThreeNewLinks) {
    page("http://h/", "<title>Root</title><a href=\"a.html\"><a href=\"b.html\"><a href=\"c.html\"><p>end</p>");
    // A link to a known page gets its slot and adds nothing.
    page("http://h/a.html", "<a href=\"/\"><a href=\"b.html\">.");
    page("http://h/b.html", "");
    start("http://h/");

    space->crawlStep();  // fetch
    for (int i = 0; i < 8; ++i) space->crawlStep();  // six tags, the text after them, then nothing left
    EXPECT_EQ(space->pages[0].state, PageState::Linking);
    EXPECT_STREQ(space->pages[0].title, "Root");
    EXPECT_EQ(space->nodeCount, 1);

    for (int added = 1; added <= 3; ++added) {
        space->crawlStep();
        EXPECT_EQ(space->nodeCount, 1 + added);
        EXPECT_EQ(space->pages[added].state, PageState::Queued);
        EXPECT_EQ(space->pages[added].parent, 0);
        EXPECT_EQ(space->pages[0].links[added - 1].node, added);
    }
    space->crawlStep();
    EXPECT_EQ(space->pages[0].state, PageState::Done);
    EXPECT_EQ(space->cursor, 0);

    EXPECT_GT(runToEnd(), 0);
    EXPECT_EQ(client.requested, (std::vector<std::string>{"http://h/", "http://h/a.html", "http://h/b.html",
                                                          "http://h/c.html"}));
    EXPECT_EQ(builder.built, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(space->nodeCount, 4);
    EXPECT_EQ(space->pages[1].links[0].node, 0);
    EXPECT_EQ(space->pages[1].links[1].node, 2);
    // Same directory, so one level; the children fill the ring around the root.
    EXPECT_EQ(space->pages[1].position.z, 26.0f);
    EXPECT_EQ(space->pages[2].position.x, 26.0f);
    EXPECT_EQ(readLines("debug.txt"),
              lines({kLogHeading, fetched("http://h/", {"http://h/a.html", "http://h/b.html", "http://h/c.html"}),
                     fetched("http://h/a.html", {"http://h/", "http://h/b.html"}), fetched("http://h/b.html"),
                     failed("http://h/c.html", "File Not Found"), ok("Done!!")}));
}

TEST_F(Crawl, PageLimitLeavesLaterLinksAtTheRoot) {
    std::string rootBody;
    for (int i = 0; i < 100; ++i) rootBody += "<a href=\"p" + std::to_string(i) + ".html\">";
    page("http://h/", rootBody + ".");
    for (int i = 0; i < 100; ++i) page("http://h/p" + std::to_string(i) + ".html", "<a href=\"p1.html\">.");
    space->maxPages = 100;
    start("http://h/");
    const int steps = runToEnd();
    ASSERT_GT(steps, 0);

    EXPECT_EQ(space->nodeCount, 100);
    const PageNode& root = space->pages[0];
    EXPECT_EQ(root.links[98].node, 99);
    EXPECT_EQ(root.links[99].node, 0);  // the 100th page filled the table before this lookup
    // A later page's link to a known page is not even looked up.
    EXPECT_EQ(space->pages[1].state, PageState::Done);
    EXPECT_EQ(space->pages[1].links[0].node, 0);

    std::vector<std::string> expected = kLogHeading;
    std::vector<std::string> rootLinks;
    for (int i = 0; i < 100; ++i) rootLinks.push_back("http://h/p" + std::to_string(i) + ".html");
    expected = lines({expected, fetched("http://h/", rootLinks)});
    for (int i = 0; i < 99; ++i) {
        expected = lines({expected, fetched("http://h/p" + std::to_string(i) + ".html", {"http://h/p1.html"})});
    }
    expected = lines({expected, ok("Done!!")});
    EXPECT_EQ(readLines("debug.txt"), expected);
}

TEST_F(Crawl, FailingFetchHoldsTheCursor) {
    page("http://h/", "<a href=\"down.html\"><a href=\"later.html\">.");
    client.site["http://h/down.html"] = {200, "OK", "", FailAt::Send};
    page("http://h/later.html", "");
    start("http://h/");
    EXPECT_EQ(runToEnd(200), -1);

    EXPECT_EQ(space->cursor, 1);
    EXPECT_EQ(space->pages[1].state, PageState::Queued);
    EXPECT_EQ(space->pages[2].state, PageState::Queued);
    EXPECT_STREQ(space->pages[1].message, "HttpSendRequest() failed:");
    const std::vector<std::string> log = readLines("debug.txt");
    std::vector<std::string> expected =
        lines({kLogHeading, fetched("http://h/", {"http://h/down.html", "http://h/later.html"})});
    const int tries = static_cast<int>(log.size() - expected.size()) / 8;
    EXPECT_GT(tries, 150);  // every step without a clock is a new try
    for (int i = 0; i < tries; ++i) expected = lines({expected, failed("http://h/down.html", "HttpSendRequest() failed:")});
    EXPECT_EQ(log, expected);

    // Once the server answers, the crawl goes on and ends.
    client.site["http://h/down.html"].failAt = FailAt::Nothing;
    EXPECT_GT(runToEnd(), 0);
    EXPECT_EQ(client.requested.back(), "http://h/later.html");
}

uint32_t fakeNowMs = 0;
uint32_t fakeClock() { return fakeNowMs; }

TEST_F(Crawl, FailingFetchIsRetriedWithGrowingPausesWhenThereIsAClock) {
    page("http://h/", "<a href=\"down.html\">.");
    client.site["http://h/down.html"] = {200, "OK", "", FailAt::Connect};
    fakeNowMs = 0xFFFFF000u;  // close to the clock's wrap
    space->clock = fakeClock;
    start("http://h/");
    while (space->cursor != 1) space->crawlStep();

    // Tries come at 0, 1, 3, 7, 15, 31, 61, 91 s: the pause doubles up to 30 s.
    const uint32_t start = fakeNowMs;
    std::vector<uint32_t> triedAt;
    for (uint32_t ms = 0; ms <= 100000; ms += 100) {
        fakeNowMs = start + ms;
        const int opens = client.opens;
        space->crawlStep();
        if (client.opens != opens) triedAt.push_back(ms / 1000);
        ASSERT_EQ(space->cursor, 1);
    }
    EXPECT_EQ(triedAt, (std::vector<uint32_t>{0, 1, 3, 7, 15, 31, 61, 91}));

    client.site["http://h/down.html"].failAt = FailAt::Nothing;
    fakeNowMs += 30000;
    EXPECT_GT(runToEnd(), 0);
    EXPECT_EQ(space->retryDelayMs, 0u);
}

TEST_F(Crawl, PauseInTheMiddleOfAScanResumesAtTheNextTag) {
    page("http://h/", "<title>T</title><a href=\"a.html\"><b>.");
    start("http://h/");
    space->crawlStep();  // fetch
    space->crawlStep();  // <title>
    space->crawlStep();  // </title>
    space->paused = 1;
    const int32_t scanPos = space->pages[0].scanPos;
    const auto before = readLines("debug.txt");
    for (int i = 0; i < 5; ++i) space->crawlStep();
    EXPECT_EQ(space->pages[0].scanPos, scanPos);
    EXPECT_EQ(readLines("debug.txt"), before);

    space->paused = 0;
    space->crawlStep();
    EXPECT_STREQ(space->pages[0].currentTag, "<a href=\"a.html\">");
    EXPECT_EQ(space->pages[0].linkCount, 1);
    EXPECT_EQ(space->pages[0].state, PageState::Fetched);
}

TEST_F(Crawl, WithoutARootTheCursorStaysInTheTable) {
    space->paused = 0;
    for (int i = 0; i < 2 * kPageSlots; ++i) space->crawlStep();
    EXPECT_EQ(space->cursor, 0);
}

}  // namespace
