// A whole page fetch, PageNode::fetch over the libcurl client, against a real server on
// 127.0.0.1: what lands in the node, in pageBuffer and in debug.txt.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "support/LoopbackServer.h"
#include "web/CurlHttpClient.h"
#include "web/PageBuffer.h"
#include "webspace/Webspace.h"

namespace {

using Clock = std::chrono::steady_clock;

class LoopbackFetchTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("no_proxy", "127.0.0.1", 1);
        setenv("NO_PROXY", "127.0.0.1", 1);
        // fetch writes debug.txt into the working directory: each test gets its own.
        previousDir = std::filesystem::current_path();
        char pattern[] = "/tmp/linkweave-fetch-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        workDir = pattern;
        std::filesystem::current_path(workDir);
        ASSERT_TRUE(server.start());
        space = std::make_unique<Webspace>();
    }

    void TearDown() override {
        server.stop();
        std::filesystem::current_path(previousDir);
        std::filesystem::remove_all(workDir);
    }

    // Queues the URL in the next free slot and fetches it; the node is left in `page`.
    int fetch(const std::string& url) {
        const int slot = space->findOrAdd(url.c_str(), -1);
        EXPECT_GE(slot, 0);
        page = &space->pages[slot];
        const auto start = Clock::now();
        const int result = page->fetch(*space, &client);
        seconds = std::chrono::duration<double>(Clock::now() - start).count();
        return result;
    }

    std::vector<std::string> logLines() const {
        std::ifstream in("debug.txt");
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    LoopbackResponse generated(unsigned long long bytes) {
        LoopbackResponse response;
        response.generatedBytes = bytes;
        response.fillByte = 'a';
        return response;
    }

    std::filesystem::path previousDir;
    std::filesystem::path workDir;
    LoopbackServer server;
    CurlHttpClient client;
    std::unique_ptr<Webspace> space;
    PageNode* page = nullptr;
    double seconds = 0;
};

TEST_F(LoopbackFetchTest, StoresA200PageMarkedAtItsLastByteAndLogsTheSteps) {
    const std::string body = "<html><title>Home</title><a href=\"b.html\">b</a></html>";
    server.route("/docs/a.html", LoopbackResponse::ok(body));
    const std::string url = server.url("/docs/a.html");

    ASSERT_EQ(fetch(url), 1);
    EXPECT_EQ(page->statusCode, 200);
    EXPECT_STREQ(page->statusText, "OK");
    EXPECT_STREQ(page->message, "No Errors");
    EXPECT_EQ(page->length, static_cast<int32_t>(body.size()));
    // The closing '>' gives way to the marker.
    EXPECT_EQ(std::string(pageBuffer), body.substr(0, body.size() - 1) + "x");
    EXPECT_STREQ(page->host, "127.0.0.1");
    EXPECT_STREQ(page->path, "/docs/a.html");
    EXPECT_EQ(std::string(page->dir), server.url("/docs/"));
    EXPECT_EQ(page->level, 1);

    const LoopbackRequest request = server.lastRequest();
    EXPECT_EQ(request.requestLine, "GET /docs/a.html HTTP/1.1");
    EXPECT_EQ(request.userAgent, "netmole");

    // The trace names the steps in order (each entry may carry its result line).
    const std::vector<std::string> steps = {"------------------------------", "getting page", url,
                                            "got page", "No Errors", "finding links"};
    const std::vector<std::string> lines = logLines();
    auto at = lines.begin();
    for (const std::string& step : steps) {
        at = std::find(at, lines.end(), step);
        ASSERT_NE(at, lines.end()) << "missing from debug.txt in order: " << step;
        ++at;
    }
}

TEST_F(LoopbackFetchTest, AnswersOtherThan200AreFileNotFoundWithNoBody) {
    struct Case {
        const char* path;
        LoopbackResponse response;
        int code;
        const char* text;
    };
    const Case cases[] = {
        {"/missing.html", LoopbackResponse::withStatus(404, "Not Found", "<h1>404</h1>"), 404, "Not Found"},
        {"/broken.cgi", LoopbackResponse::withStatus(500, "Internal Server Error", "<h1>oops</h1>"), 500,
         "Internal Server Error"},
        {"/made.html", LoopbackResponse::withStatus(201, "Created", "<p>new</p>"), 201, "Created"},
        {"/moved-away", LoopbackResponse::redirect(302, "/missing.html"), 404, "Not Found"},
    };
    for (const Case& c : cases) server.route(c.path, c.response);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        ASSERT_EQ(fetch(server.url(c.path)), 1);
        EXPECT_EQ(page->statusCode, c.code);
        EXPECT_STREQ(page->statusText, c.text);
        EXPECT_STREQ(page->message, "File Not Found");
        EXPECT_EQ(page->length, 0);
        EXPECT_STREQ(pageBuffer, "not found");
        EXPECT_EQ(page->level, 0);
        EXPECT_STREQ(page->dir, "");
    }
}

TEST_F(LoopbackFetchTest, FollowsARedirectToThePage) {
    server.route("/old/index.html", LoopbackResponse::redirect(301, server.url("/new/index.html")));
    server.route("/new/index.html", LoopbackResponse::ok("<title>New home</title>"));

    ASSERT_EQ(fetch(server.url("/old/index.html")), 1);
    EXPECT_EQ(page->statusCode, 200);
    EXPECT_STREQ(pageBuffer, "<title>New home</titlex");
    // The node stays the page it was asked for; its directory is that URL's.
    EXPECT_EQ(std::string(page->dir), server.url("/old/"));
    EXPECT_EQ(server.requestCount("/new/index.html"), 1u);
}

TEST_F(LoopbackFetchTest, FailuresBeforeAnAnswerLeaveNotFoundAndAReason) {
    struct Case {
        std::string url;
        const char* message;
        const char* host;  // nullptr: not looked at
        const char* path;
    };
    const std::string refused = "http://127.0.0.1:" + std::to_string(LoopbackServer::unusedPort()) + "/a.html";
    const Case cases[] = {
        {refused, "HttpSendRequest() failed:", "127.0.0.1", "/a.html"},
        {"ftp://127.0.0.1/pub/file.txt", "USE HTTP-URL Local-File", "127.0.0.1", "/pub/file.txt"},
        {"https://127.0.0.1/secure.html", "USE HTTP-URL Local-File", "127.0.0.1", "/secure.html"},
        {"not a url at all", "InternetCrackURL() failed", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        ASSERT_EQ(fetch(c.url), 0);
        EXPECT_STREQ(page->message, c.message);
        EXPECT_STREQ(pageBuffer, "not found");
        EXPECT_EQ(page->length, 0);
        if (c.host) {
            EXPECT_STREQ(page->host, c.host);
            EXPECT_STREQ(page->path, c.path);
        }
        EXPECT_LT(seconds, 3.0);
    }
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(LoopbackFetchTest, AServerThatNeverAnswersFailsAtTheFiveSecondTimeOut) {
    LoopbackResponse silent;
    silent.neverAnswer = true;
    server.route("/silent.html", silent);

    ASSERT_EQ(fetch(server.url("/silent.html")), 0);
    EXPECT_STREQ(page->message, "HttpSendRequest() failed:");
    EXPECT_STREQ(pageBuffer, "not found");
    EXPECT_GE(seconds, 4.5);
    EXPECT_LT(seconds, 9.0);
    RecordProperty("TimeOutSeconds", std::to_string(seconds));
    std::printf("never-answering server failed after %.2f s\n", seconds);
}

TEST_F(LoopbackFetchTest, KeepsThePartOfTheBodyThatArrivedBeforeTheServerHungUp) {
    LoopbackResponse cut = LoopbackResponse::ok(std::string(10000, 'c'));
    cut.closeAfterBodyBytes = 3000;
    server.route("/cut.html", cut);

    ASSERT_EQ(fetch(server.url("/cut.html")), 1);
    EXPECT_EQ(page->statusCode, 200);
    EXPECT_EQ(page->length, 3000);
    EXPECT_EQ(std::string(pageBuffer), std::string(2999, 'c') + "x");
}

TEST_F(LoopbackFetchTest, ReadsUpToTheContinueLimitAndNoFurtherWhateverTheBodySize) {
    server.route("/exact.html", generated(kContinueLimit));
    server.route("/megabyte.html", generated(1000 * 1000));
    server.route("/huge.html", generated(50ull * 1000 * 1000));
    server.route("/endless.html", generated(LoopbackResponse::kEndless));

    // A body of exactly the limit is read whole.
    ASSERT_EQ(fetch(server.url("/exact.html")), 1);
    EXPECT_EQ(page->length, kContinueLimit);
    EXPECT_EQ(std::strlen(pageBuffer), static_cast<size_t>(kContinueLimit));
    EXPECT_EQ(pageBuffer[kContinueLimit - 1], 'x');

    // Longer ones end with the chunk that passes the limit, and promptly.
    for (const char* path : {"/megabyte.html", "/huge.html", "/endless.html"}) {
        SCOPED_TRACE(path);
        ASSERT_EQ(fetch(server.url(path)), 1);
        EXPECT_GT(page->length, kContinueLimit);
        EXPECT_LT(page->length, kPageBufferSize);
        EXPECT_EQ(std::strlen(pageBuffer), static_cast<size_t>(page->length));
        EXPECT_EQ(pageBuffer[page->length - 1], 'x');
        EXPECT_EQ(pageBuffer[page->length - 2], 'a');
        EXPECT_LT(seconds, 3.0);
    }
    // The client hung up rather than downloading the rest.
    ASSERT_TRUE(server.waitForIdle(5000));
    for (const LoopbackRequest& request : server.requests()) {
        if (request.target == "/huge.html" || request.target == "/endless.html") {
            EXPECT_LT(request.bodyBytesSent, 20ull * 1000 * 1000) << request.target;
        }
    }
}

TEST_F(LoopbackFetchTest, ChunkedAndBinaryBodiesCountEveryByte) {
    std::string text;
    for (int i = 0; i < 400; ++i) text += "<a href=\"p" + std::to_string(i) + ".html\">p</a>\n";
    LoopbackResponse chunked = LoopbackResponse::ok(text);
    chunked.chunked = true;
    chunked.chunkSize = 333;
    server.route("/chunked.html", chunked);

    std::string binary = "<html>";
    binary += '\0';
    binary += std::string(600, 'b');
    server.route("/binary.html", LoopbackResponse::ok(binary));

    ASSERT_EQ(fetch(server.url("/chunked.html")), 1);
    EXPECT_EQ(page->length, static_cast<int32_t>(text.size()));
    EXPECT_EQ(std::string(pageBuffer), text.substr(0, text.size() - 1) + "x");

    // The buffer holds text, so the NUL ends what the scan sees of the first piece,
    // while the length still counts everything received.
    ASSERT_EQ(fetch(server.url("/binary.html")), 1);
    EXPECT_EQ(page->length, static_cast<int32_t>(binary.size()));
    EXPECT_EQ(std::strncmp(pageBuffer, "<html>", 6), 0);
    EXPECT_LT(std::strlen(pageBuffer), binary.size());
}

TEST_F(LoopbackFetchTest, PagesOfOneDirectoryShareALevelAcrossFetches) {
    server.route("/docs/a.html", LoopbackResponse::ok("<p>a</p>"));
    server.route("/docs/b.html", LoopbackResponse::ok("<p>b</p>"));
    server.route("/top.html", LoopbackResponse::ok("<p>top</p>"));

    ASSERT_EQ(fetch(server.url("/docs/a.html")), 1);
    PageNode* first = page;
    ASSERT_EQ(fetch(server.url("/docs/b.html")), 1);
    PageNode* second = page;
    ASSERT_EQ(fetch(server.url("/top.html")), 1);
    EXPECT_EQ(first->level, 1);
    EXPECT_EQ(second->level, 1);
    EXPECT_EQ(page->level, 2);
    EXPECT_EQ(server.requestCount(), 3u);
}

}  // namespace
