// A whole page fetch, PageNode::fetch over the libcurl client, against a real server on
// 127.0.0.1: what lands in the node, in pageBuffer and in debug.txt.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "support/LoopbackServer.h"
#include "support/TestSupport.h"
#include "web/CurlHttpClient.h"
#include "web/PageBuffer.h"
#include "webspace/Webspace.h"

namespace {

// Each test runs in its own directory, since fetch writes debug.txt into the working one.
class LoopbackFetchTest : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        setenv("no_proxy", "127.0.0.1", 1);
        setenv("NO_PROXY", "127.0.0.1", 1);
        ASSERT_TRUE(server.start());
    }

    // Queues the URL in a slot of its own and fetches it; the node is left in `page`.
    int fetch(const std::string& url) {
        const int slot = space->findOrAdd(url.c_str(), -1);
        EXPECT_GE(slot, 0);
        page = &space->pages[slot];
        const auto start = std::chrono::steady_clock::now();
        const int result = page->fetch(*space, &client);
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return result;
    }

    LoopbackServer server;
    CurlHttpClient client;
    std::unique_ptr<Webspace> space = std::make_unique<Webspace>();
    PageNode* page = nullptr;
    double seconds = 0;
};

TEST_F(LoopbackFetchTest, StoresA200PageMarkedAtItsLastByteAndLogsTheSteps) {
    const std::string body = "<html><title>Home</title><a href=\"b.html\">b</a></html>";
    // Hand-written links carry blanks; they go out escaped.
    server.route("/docs/my%20page.html", LoopbackResponse::ok(body));
    const std::string url = server.url("/docs/my page.html");

    ASSERT_EQ(fetch(url), 1);
    EXPECT_EQ(page->statusCode, 200);
    EXPECT_STREQ(page->message, "No Errors");
    EXPECT_EQ(page->length, static_cast<int32_t>(body.size()));
    // The closing '>' gives way to the marker, so the scan never completes a cut-off tag.
    EXPECT_EQ(std::string(pageBuffer), body.substr(0, body.size() - 1) + "x");
    EXPECT_STREQ(page->host, "127.0.0.1");
    EXPECT_EQ(std::string(page->dir), server.url("/docs/"));
    EXPECT_EQ(server.lastRequest().requestLine, "GET /docs/my%20page.html HTTP/1.1");
    EXPECT_EQ(server.lastRequest().userAgent, "netmole");

    // The trace names the steps in order (each entry may carry its result line).
    const std::vector<std::string> lines = readLines("debug.txt");
    auto at = lines.begin();
    for (const char* step : {"------------------------------", "getting page", url.c_str(), "got page",
                                    "No Errors", "finding links"}) {
        at = std::find(at, lines.end(), step);
        ASSERT_NE(at, lines.end()) << "missing from debug.txt in order: " << step;
        ++at;
    }
}

TEST_F(LoopbackFetchTest, StoresWhatArrivedUpToTheContinueLimit) {
    const std::string binary = std::string(300, 'b') + '\0' + "tail";
    const std::string chunked = std::string(2500, 'c') + "</html>";
    auto change = [](LoopbackResponse response, auto edit) {
        edit(response);
        return response;
    };
    struct Case {
        const char* path;
        LoopbackResponse response;
        std::string sent;  // the body as the server has it
        int length;        // -1: cut by the continue limit
    };
    const Case cases[] = {
        {"/moved.html", LoopbackResponse::redirect(301, server.url("/new.html")), "<title>New home</title>", 23},
        {"/hangs-up.html", change(LoopbackResponse::ok(std::string(10000, 'h')),
                                  [](auto& r) { r.closeAfterBodyBytes = 3000; }), std::string(10000, 'h'), 3000},
        {"/exact.html", LoopbackResponse::ok(std::string(kContinueLimit, 'e')), std::string(kContinueLimit, 'e'),
         kContinueLimit},
        {"/megabyte.html", LoopbackResponse::ok(std::string(1000000, 'm')), std::string(1000000, 'm'), -1},
        {"/endless.html", change({}, [](auto& r) { r.endless = true; }), std::string(kPageBufferSize, 'a'), -1},
        // The buffer holds text: a NUL ends what the scan sees, the length counts every byte.
        {"/nul.html", LoopbackResponse::ok(binary), binary, static_cast<int>(binary.size())},
        {"/chunked.html", change(LoopbackResponse::ok(chunked), [](auto& r) { r.chunked = true; }), chunked,
         static_cast<int>(chunked.size())},
    };
    server.route("/new.html", LoopbackResponse::ok("<title>New home</title>"));
    for (const Case& c : cases) server.route(c.path, c.response);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        ASSERT_EQ(fetch(server.url(c.path)), 1);
        EXPECT_EQ(page->statusCode, 200);
        if (c.length >= 0) {
            EXPECT_EQ(page->length, c.length);
        } else {
            EXPECT_GT(page->length, kContinueLimit);
            EXPECT_LT(page->length, kPageBufferSize);
        }
        const std::string stored = c.sent.substr(0, static_cast<size_t>(page->length) - 1) + "x";
        EXPECT_EQ(std::string(pageBuffer), stored.substr(0, stored.find('\0')));
        EXPECT_LT(seconds, 3.0);  // a long body is not downloaded to its end
    }
}

TEST_F(LoopbackFetchTest, FailuresLeaveNotFoundAndAReason) {
    LoopbackServer closed;
    ASSERT_TRUE(closed.start());
    const std::string refused = closed.url("/a.html");
    closed.stop();
    server.route("/missing.html", LoopbackResponse::withStatus(404, "Not Found", "<h1>404</h1>"));
    server.route("/broken.cgi", LoopbackResponse::withStatus(500, "Internal Server Error", "<h1>oops</h1>"));
    server.route("/loop", LoopbackResponse::redirect(302, "/loop"));
    struct Case {
        std::string url;
        int result;
        const char* message;
        int code;          // the status shown, for answered requests
        const char* path;  // nullptr: the URL could not be split
    };
    const Case cases[] = {
        {server.url("/missing.html"), 1, "File Not Found", 404, "/missing.html"},
        {server.url("/broken.cgi"), 1, "File Not Found", 500, "/broken.cgi"},
        {refused, 0, "HttpSendRequest() failed:", 0, "/a.html"},
        {server.url("/loop"), 0, "HttpSendRequest() failed:", 0, "/loop"},
        {"ftp://127.0.0.1/pub/file.txt", 0, "USE HTTP-URL Local-File", 0, "/pub/file.txt"},
        {"not a url at all", 0, "InternetCrackURL() failed", 0, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        ASSERT_EQ(fetch(c.url), c.result);
        EXPECT_STREQ(page->message, c.message);
        EXPECT_EQ(page->statusCode, c.code);
        EXPECT_EQ(page->length, 0);
        EXPECT_STREQ(pageBuffer, "not found");
        if (c.path) {  // host and path are shown even for a URL that is not fetched
            EXPECT_STREQ(page->host, "127.0.0.1");
            EXPECT_STREQ(page->path, c.path);
        }
        EXPECT_LT(seconds, 3.0);
    }
    // A redirect loop is given up after the client's limit, not followed forever.
    EXPECT_EQ(server.requestCount("/loop"), static_cast<size_t>(CurlHttpClient::kMaxRedirects + 1));
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
    std::printf("never-answering server failed after %.2f s\n", seconds);
}

}  // namespace
