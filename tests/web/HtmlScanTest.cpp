#include <gtest/gtest.h>

#include <string>

#include "support/TestSupport.h"
#include "web/PageBuffer.h"

namespace {

// Scans pages placed straight into the page buffer, as a fetch of http://h/a/b.html
// would leave them.
class HtmlScan : public TempDirTest {
protected:
    std::unique_ptr<Webspace> space = std::make_unique<Webspace>();
    PageNode* node = &space->pages[0];

    void load(const std::string& body) {
        copyText(pageBuffer, body.c_str());
        node->length = static_cast<int32_t>(body.size());
        node->scanPos = 0;
        copyText(node->url, "http://h/a/b.html");
        copyText(node->host, "h");
        node->level = 1;
    }

    // Steps until the scan reports nothing left; returns the number of steps taken.
    int scanAll() {
        int steps = 1;
        while (!node->scanStep(*space)) ++steps;
        return steps;
    }

    std::vector<std::string> linkUrls() const {
        std::vector<std::string> urls;
        for (int i = 0; i < node->linkCount; ++i) urls.push_back(node->links[i].url);
        return urls;
    }
};

TEST_F(HtmlScan, OneTagPerStepThenPlainTextThenDone) {
    std::string body;
    for (int i = 0; i < 10; ++i) body += "<p>";
    body += "a line of plain text";
    load(body);
    for (int i = 0; i < 11; ++i) EXPECT_FALSE(node->scanStep(*space)) << "step " << i + 1;
    EXPECT_TRUE(node->scanStep(*space));
    EXPECT_STREQ(node->currentTag, "<p>");
}

TEST_F(HtmlScan, TitleTakenOnFirstStepOrNotFound) {
    load("<html><TITLE>Home Page</title><body></body>");
    node->scanStep(*space);
    EXPECT_STREQ(node->title, "Home Page");
    EXPECT_STREQ(node->currentTag, "<html>");

    load("<html><body>no title</body>");
    node->scanStep(*space);
    EXPECT_STREQ(node->title, "not found");
}

TEST_F(HtmlScan, PageAnsweredNotFoundEndsOnFirstStep) {
    copyText(pageBuffer, "not found");
    node->length = 0;
    EXPECT_TRUE(node->scanStep(*space));
    EXPECT_STREQ(node->title, "not found");
}

TEST_F(HtmlScan, WhichAttributesYieldLinks) {
    load("<a href=\"one.html\">"
         "<A HREF='single.html'>"
         "<a href=two.html>"
         "<a\thref=\"tab.html\">"
         "<link rel=\"style\" href=\"three.css\">"
         "<img src=\"picture.png\">"
         "<frame src=\"noblank.html\">"
         "<iframe frameborder=\"0\" src=\"framed.html\">"
         "<a href=\"#top\">"
         "<a href=\"four.html#x\">"
         "<a href=\"javascript:go()\">"
         "<a href=\"one.html\">");
    scanAll();
    const std::vector<std::string> expected = {
        "http://h/a/one.html", "http://h/a/three.css", "http://h/a/framed.html",
        "http://h/a/four.html", "http://h/a/one.html",
    };
    EXPECT_EQ(linkUrls(), expected);
    // Href links go to the trace, frame links do not.
    EXPECT_EQ(readLines("debug.txt"), lines({ok("http://h/a/one.html"), ok("http://h/a/three.css"),
                                             ok("http://h/a/four.html"), ok("http://h/a/one.html")}));
}

TEST_F(HtmlScan, CurrentLinkAfterATagWithoutFrame) {
    load("<a href=\"#top\">");
    node->scanStep(*space);
    EXPECT_STREQ(node->currentLink, "not found");
    EXPECT_EQ(node->linkCount, 0);
}

TEST_F(HtmlScan, KeepsTheFirstHundredLinks) {
    std::string body;
    for (int i = 0; i < 150; ++i) body += "<a href=\"p" + std::to_string(i) + ".html\">";
    load(body);
    scanAll();
    ASSERT_EQ(node->linkCount, 100);
    EXPECT_STREQ(node->links[99].url, "http://h/a/p99.html");
}

TEST_F(HtmlScan, TagsAreCollectedUpToTheirFirst256Characters) {
    const std::string longTag = "<a title=\"" + std::string(300, 't') + "\" href=\"late.html\">";
    load(longTag + "<a href=\"next.html\">");
    EXPECT_FALSE(node->scanStep(*space));
    EXPECT_EQ(std::string(node->currentTag).size(), 256u);
    EXPECT_EQ(node->linkCount, 0);  // the href lay past the cut and the '>' was lost
    EXPECT_FALSE(node->scanStep(*space));
    ASSERT_EQ(node->linkCount, 1);
    EXPECT_STREQ(node->links[0].url, "http://h/a/next.html");
}

TEST_F(HtmlScan, GreaterThanBeforeAnyTagEndsStepWithEmptyTag) {
    load("x > y <b>");
    EXPECT_FALSE(node->scanStep(*space));
    EXPECT_STREQ(node->currentTag, "");
    EXPECT_FALSE(node->scanStep(*space));
    EXPECT_STREQ(node->currentTag, "<b>");
    EXPECT_TRUE(node->scanStep(*space));
}

TEST_F(HtmlScan, MarkedLastTagIsConsumedWithoutItsLink) {
    // What a fetch leaves of a page ending in an anchor: its '>' became 'x'.
    load("<p><a href=\"last.html\"x");
    EXPECT_EQ(scanAll(), 3);
    EXPECT_EQ(node->linkCount, 0);
}

}  // namespace
