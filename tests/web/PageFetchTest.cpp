#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/TestSupport.h"
#include "web/PageBuffer.h"

namespace {

class PageFetch : public TempDirTest {
protected:
    FakeHttpClient client;
    std::unique_ptr<Webspace> space = makeWebspace(&client);

    PageNode& addPage(const char* url) { return space->pages[space->findOrAdd(url, -1)]; }
};

std::vector<std::string> fetchStart(const std::string& url) {
    return lines({ok("------------------------------"), ok("getting page"), ok(url)});
}

TEST_F(PageFetch, SuccessfulFetchFillsNodeBufferAndTrace) {
    client.site["http://h/docs/a.html"] = {200, "OK", "<html><title>A</title></html>"};
    PageNode& node = addPage("http://h/docs/a.html");
    ASSERT_EQ(node.fetch(*space, &client), 1);

    EXPECT_EQ(client.agent, "netmole");
    EXPECT_EQ(client.connectTimeout, 5000u);
    EXPECT_EQ(client.receiveTimeout, 5000u);
    EXPECT_EQ(client.closes, 1);
    EXPECT_EQ(node.statusCode, 200);
    EXPECT_STREQ(node.statusText, "OK");
    EXPECT_STREQ(node.host, "h");
    EXPECT_STREQ(node.path, "/docs/a.html");
    EXPECT_STREQ(node.dir, "http://h/docs/");
    EXPECT_EQ(node.level, 1);
    EXPECT_EQ(node.length, 29);
    EXPECT_STREQ(node.message, "No Errors");
    // The last byte received is marked, so the final tag is never completed.
    EXPECT_STREQ(pageBuffer, "<html><title>A</title></htmlx");
    EXPECT_EQ(readLines("debug.txt"), lines({fetchStart("http://h/docs/a.html"), ok("got page"), ok("No Errors"),
                                             ok("finding links")}));
}

struct FailureCase {
    FailAt step;
    const char* message;
    int result;
    bool hostAndPathShown;
};

TEST_F(PageFetch, EveryFailureHasItsMessageResultAndClose) {
    const FailureCase cases[] = {
        {FailAt::Open, "InternetOpen() failed", 0, false},
        {FailAt::ConnectTimeout, "InternetConnect() failed", 0, false},
        {FailAt::ReceiveTimeout, "InternetConnect() failed", 0, false},
        {FailAt::Split, "InternetCrackURL() failed", 0, false},
        {FailAt::Connect, "InternetConnect() failed", 0, true},
        {FailAt::OpenRequest, "HttpOpenRequest() failed", 0, true},
        {FailAt::Send, "HttpSendRequest() failed:", 0, true},
        {FailAt::StatusText, "HttpQueryInfo() failed: ", 0, true},
        {FailAt::StatusCode, "HttpQueryInfo() failed: Couldn't get statusCODE ", 0, true},
        {FailAt::FirstRead, "InternetReadFile() failed: didn't get page", 0, true},
    };
    client.site["http://h/p.html"] = {200, "OK", "<p>body</p>"};
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.message);
        std::remove("debug.txt");
        auto fresh = makeWebspace(&client);
        PageNode& node = fresh->pages[fresh->findOrAdd("http://h/p.html", -1)];
        client.failAt = c.step;
        client.opens = client.closes = 0;

        EXPECT_EQ(node.fetch(*fresh, &client), c.result);
        EXPECT_STREQ(node.message, c.message);
        EXPECT_STREQ(pageBuffer, "not found");
        EXPECT_EQ(node.length, 0);
        EXPECT_STREQ(node.host, c.hostAndPathShown ? "h" : "empty");
        EXPECT_STREQ(node.path, c.hostAndPathShown ? "/p.html" : "empty");
        EXPECT_EQ(client.closes, c.step == FailAt::Open ? 0 : 1);
        EXPECT_EQ(readLines("debug.txt"), lines({fetchStart("http://h/p.html"), ok(c.message)}));
        // Only a failed first read comes after the directory was given its level.
        EXPECT_EQ(node.level, c.step == FailAt::FirstRead ? 1 : 0);
    }
}

TEST_F(PageFetch, StatusOtherThan200IsAnsweredButNotFound) {
    for (int status : {404, 500, 204, 301}) {
        client.site["http://h/x.html"] = {status, "Whatever", "<p>ignored</p>"};
        auto fresh = makeWebspace(&client);
        PageNode& node = fresh->pages[fresh->findOrAdd("http://h/x.html", -1)];
        EXPECT_EQ(node.fetch(*fresh, &client), 1) << status;
        EXPECT_STREQ(node.message, "File Not Found");
        EXPECT_STREQ(node.statusText, "Whatever");
        EXPECT_EQ(node.statusCode, status);
        EXPECT_EQ(node.length, 0);
        EXPECT_EQ(node.level, 0);
        EXPECT_STREQ(node.dir, "");
        EXPECT_STREQ(pageBuffer, "not found");
    }
}

TEST_F(PageFetch, BodyLengthsAroundTheContinueLimit) {
    struct Case { size_t size; int storedLength; };
    // 99,744 bytes are read whole; a longer body stops after the chunk that passes the limit.
    // An empty body has no byte to mark and leaves an empty text.
    const Case cases[] = {{99744, 99744}, {99745, 99745}, {1000000, 391 * 255 + 255}, {255, 255}, {1, 1}, {0, 0}};
    for (const Case& c : cases) {
        std::string body(c.size, 'a');
        client.site["http://h/big.html"] = {200, "OK", body};
        auto fresh = makeWebspace(&client);
        PageNode& node = fresh->pages[fresh->findOrAdd("http://h/big.html", -1)];
        ASSERT_EQ(node.fetch(*fresh, &client), 1);
        EXPECT_EQ(node.length, c.storedLength) << c.size;
        ASSERT_EQ(std::strlen(pageBuffer), static_cast<size_t>(c.storedLength)) << c.size;
        if (c.storedLength > 0) {
            EXPECT_EQ(pageBuffer[c.storedLength - 1], 'x') << c.size;
        }
    }
}

TEST(ComputeDir, WorkedExamples) {
    const std::pair<const char*, const char*> cases[] = {
        {"http://h/a/b.html", "http://h/a/"},
        {"http://h/a/", "http://h/a/"},
        {"http://h", "http://"},
        {"/", "/"},
        {"noslash", "noslash"},
    };
    auto space = std::make_unique<Webspace>();
    for (const auto& [url, dir] : cases) {
        PageNode& node = space->pages[0];
        copyText(node.url, url);
        node.computeDir();
        EXPECT_STREQ(node.dir, dir) << url;
    }
}

TEST_F(PageFetch, DirectoriesShareLevelsHandedOutInOrderUpToFifty) {
    // docs/a and docs/b share level 1; the root directory is the next new one; then 52
    // more directories take 3 to 49 and every later one 50.
    std::vector<std::string> urls = {"http://h/docs/a.html", "http://h/docs/b.html", "http://h/index.html"};
    for (int i = 0; i < 52; ++i) urls.push_back("http://h/d" + std::to_string(i) + "/p.html");
    for (size_t i = 0; i < urls.size(); ++i) {
        client.site[urls[i]] = {200, "OK", "<p>"};
        PageNode& node = addPage(urls[i].c_str());
        ASSERT_EQ(node.fetch(*space, &client), 1);
        const int expected = i < 2 ? 1 : (i < 50 ? static_cast<int>(i) : 50);
        EXPECT_EQ(node.level, expected) << urls[i];
    }
    EXPECT_EQ(space->nextLevel, 50);
}

}  // namespace
