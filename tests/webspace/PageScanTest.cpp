// The scan of a page's HTML through its slot, one tag per step: the title, the links
// found and resolved, the last tag.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "support/TestSupport.h"
#include "web/PageBuffer.h"
#include "webspace/Webspace.h"

// Pages placed straight into the page buffer, as a fetch of http://h/a/b.html leaves them.
using HtmlScan = TempDirTest;

TEST_F(HtmlScan, StepsTitleLinksAndLastTag) {
    std::string hundredFifty, firstHundred;
    for (int i = 0; i < 150; ++i) hundredFifty += "<a href=\"p" + std::to_string(i) + ".html\">";
    for (int i = 0; i < 100; ++i) firstHundred += " http://h/a/p" + std::to_string(i) + ".html";
    struct Case { std::string body; int steps; const char* title; std::string links; const char* lastTag; } const cases[] = {
        // One tag per step; text after the last tag takes one more; then one that finds nothing.
        {"<p><p><p><p><p><p><p><p><p><p>a line of plain text", 12, "not found", "", "<p>"},
        {"<html><TITLE>Home Page</title><body></body>", 6, "Home Page", "", "</body>"},
        {"<a href=\"one.html\"><A HREF='single.html'><a href=two.html><a\thref=\"tab.html\">"
         "<link rel=\"style\" href=\"three.css\"><img src=\"picture.png\"><frame src=\"noblank.html\">"
         "<iframe frameborder=\"0\" src=\"framed.html\"><a href=\"#top\"><a href=\"four.html#x\">"
         "<a href=\"javascript:go()\"><a href=\"one.html\">",
         13, "not found", " http://h/a/one.html http://h/a/three.css http://h/a/framed.html http://h/a/four.html"
         " http://h/a/one.html", "<a href=\"one.html\">"},
        {hundredFifty, 151, "not found", firstHundred, "<a href=\"p149.html\">"},
        // A tag is collected up to 256 characters: the href behind the cut is lost with its '>'.
        {"<a title=\"" + std::string(300, 't') + "\" href=\"late.html\"><a href=\"next.html\">", 3, "not found",
         " http://h/a/next.html", "<a href=\"next.html\">"},
        {"x > y <b>", 3, "not found", "", "<b>"},  // a '>' before any '<' ends a step with an empty tag
        {"<p><a href=\"last.html\"x", 3, "not found", "", "<p>"},  // the fetch's 'x' in the last '>'s place
    };
    auto space = std::make_unique<Webspace>();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body.substr(0, 60));
        PageNode& node = space->pages[0];
        node.reset();
        copyText(node.url, "http://h/a/b.html");
        copyText(node.host, "h");
        node.level = 1;
        copyText(pageBuffer, c.body.c_str());
        node.length = static_cast<int32_t>(c.body.size());
        int steps = 1;
        while (!node.scanStep(*space)) ++steps;
        std::string links;
        for (int i = 0; i < node.linkCount; ++i) links += std::string(" ") + node.links[i].url;
        EXPECT_EQ(steps, c.steps);
        EXPECT_STREQ(node.title, c.title);
        EXPECT_EQ(links, c.links);
        EXPECT_STREQ(node.currentTag, c.lastTag);
        EXPECT_STREQ(node.currentLink, "not found");  // what a tag without " FRAME" leaves there
    }
}
