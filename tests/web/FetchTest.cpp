// The page fetch over the libcurl client against a scripted server on 127.0.0.1: what
// lands in the node, in pageBuffer and in debug.txt, for pages that behave and pages
// that do not.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "support/LoopbackServer.h"
#include "support/TestSupport.h"
#include "web/FailingClient.h"
#include "web/PageBuffer.h"
#include "web/PageFetch.h"
#include "webspace/Webspace.h"

using Step = FailingClient::Step;

// A text for the golden file, control bytes escaped and a long one shortened.
static std::string shown(const std::string& text) {
    std::string out = "\"";
    for (const unsigned char c : text.size() > 80 ? text.substr(0, 30) + "..." + text.substr(text.size() - 30) : text) {
        out += c < 0x20 || c >= 0x7F ? "\\x" + std::string(1, "0123456789ABCDEF"[c >> 4]) + "0123456789ABCDEF"[c & 15] : std::string(1, c);
    }
    return out + "\"" + (text.size() > 80 ? " (" + std::to_string(text.size()) + " bytes)" : "");
}

// A listener that never accepts, its queue full: a connect to it hangs as to a host that
// does not reply. Returns its port.
static int unansweredListener(int fds[3]) {
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    for (int i = 0; i < 3; ++i) fds[i] = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (i ? SOCK_NONBLOCK : 0), 0);
    ::bind(fds[0], reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(fds[0], 0);
    ::getsockname(fds[0], reinterpret_cast<sockaddr*>(&address), &length);
    for (int i = 1; i < 3; ++i) ::connect(fds[i], reinterpret_cast<sockaddr*>(&address), sizeof address);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    return ntohs(address.sin_port);
}

using Fetch = TempDirTest;

TEST_F(Fetch, PagesAndFaultsEndAsTheGoldenFileSays) {
    // The site answers over http and https at once; a second https server's certificate is not trusted.
    LoopbackServer server, closed, untrusted;
    ASSERT_TRUE(makeCertificate("site") && makeCertificate("stranger"));
    ASSERT_TRUE(server.enableTls("site.pem", "site.key") && untrusted.enableTls("stranger.pem", "stranger.key"));
    ASSERT_TRUE(server.start() && closed.start() && untrusted.start());
    closed.stop();  // refuses connections from now on
    int silentFds[3];
    const int silentPort = unansweredListener(silentFds);
    const std::string page = "<html><title>Home</title><a href=\"b.html\">b</a></html>";
    server.route({.path = "/new.html", .body = "<title>New home</title>"});
    server.route({.path = "/docs/", .body = "<a href=\"guide.html\">."});
    server.route({.path = "/p.html", .body = page});
    const std::string p = server.url("/p.html");
    // Each row: what the server does for a path, the URL fetched (empty: the path's), the step that fails.
    struct Case { Route route; std::string url; Step failAt = Step::None; } const cases[] = {
        {{.path = "/docs/my%20page.html", .body = page}, server.url("/docs/my page.html")},  // blanks go out escaped
        {{.path = "/moved.html", .status = 301, .reason = "Moved Permanently", .location = "/new.html"}},
        // Redirects on the site's host are followed; the page's links resolve where it landed.
        {{.path = "/docs", .status = 301, .reason = "Moved Permanently", .location = "/docs/"}},
        {{.path = "/docs/old/moved", .status = 302, .reason = "Found", .location = "../../new.html#top"}},
        {{.path = "/to-https", .status = 301, .reason = "Moved Permanently", .location = server.httpsUrl("/docs")}},
        {{.path = "/named", .status = 307, .reason = "Temporary Redirect",
          .location = "HTTP://user:pw@127.0.0.1:" + std::to_string(server.port()) + "/new.html"}},
        // Another host name, though the same server: never asked. The 3xx is the answer.
        {{.path = "/away", .status = 302, .reason = "Found", .location = "http://localhost:" + std::to_string(server.port()) + "/new.html"}},
        {{}, untrusted.httpsUrl("/")}, {{}, server.httpsUrl("/new.html")},
        {{.path = "/cut.html", .body = std::string(10000, 'h'), .fault = Fault::Cut, .faultAt = 3000}},
        {{.path = "/stall.html", .body = std::string(4000, 's'), .fault = Fault::Stall, .faultAt = 1500}},
        {{.path = "/reset.html", .body = std::string(4000, 'r'), .fault = Fault::Reset, .faultAt = 700}},
        // The head, and then nothing: the first read fails, and the page is tried again.
        {{.path = "/reset-after-head.html", .body = page, .fault = Fault::Reset}},
        {{.path = "/stall-after-head.html", .body = page, .fault = Fault::Stall}},
        {{.path = "/moved-stalls.html", .status = 301, .reason = "Moved", .body = page, .fault = Fault::Stall, .location = "/new.html"}},
        {{.path = "/drip.html", .body = page, .fault = Fault::Drip}},  // stopped by the bound on one fetch
        // Bytes that keep coming are no silence, however slowly a line of the head comes whole.
        {{.path = "/slow-head.html", .body = page, .fault = Fault::SlowStatusLine}},
        // An interim answer is not the answer: the one after it is, and without one the request failed.
        {{.path = "/continue.html", .body = page, .interim = true}},
        {{.path = "/continue-silent.html", .fault = Fault::NeverAnswer, .interim = true}},
        {{.path = "/exact.html", .body = std::string(kContinueLimit, 'e')}},
        {{.path = "/megabyte.html", .body = std::string(1000000, 'm')}},
        {{.path = "/endless.html", .fault = Fault::Endless}},
        // A binary body is text up to its first NUL: no link of the page before it shows through.
        {{.path = "/before-nul.html", .body = std::string(301, ' ') + "<a href=\"g.html\"> and more"}},
        {{.path = "/nul.html", .body = std::string(300, 'b') + '\0' + "<a href=\"tail.html\">"}},
        {{.path = "/chunked.html", .body = std::string(2500, 'c') + "</html>", .fault = Fault::Chunked}},
        {{.path = "/empty.html"}},
        {{.path = "/one-byte.html", .body = "<"}},
        {{.path = "/missing.html", .status = 404, .reason = "Not Found", .body = "<h1>404</h1>"}},
        {{.path = "/nothing.html", .status = 204, .reason = "No Content"}},
        // Redirects that cannot be followed: the 3xx is the answer.
        {{.path = "/loop", .status = 302, .reason = "Found", .location = "/loop"}},
        {{.path = "/to-file", .status = 302, .reason = "Found", .location = "file:///etc/passwd"}},
        {{.path = "/http09.html", .body = page, .fault = Fault::NoStatusLine}},
        {{.path = "/moved-to-http09.html", .status = 302, .reason = "Found", .location = "/http09.html"}},
        {{.path = "/bad-status.html", .reason = "HTTP/1.1 2000 OK", .body = page, .fault = Fault::RawStatusLine}},
        {{.path = "/silent.html", .fault = Fault::NeverAnswer}},
        {{}, closed.url("/a.html")}, {{}, "http://127.0.0.1:" + std::to_string(silentPort) + "/"},
        {{.path = "/q.html?x=1&y=2", .body = "<"}, server.url("/q.html?x=1&y=2#top")},  // the fragment stays home
        {{.path = "/ctl%01.html", .body = "<"}, server.url("/ctl\x01.html")},
        {{}, "ftp://127.0.0.1/pub/file.txt"}, {{}, "https://127.0.0.1:" + std::to_string(closed.port()) + "/login"},
        {{}, "not a url at all"},
        {{}, p, Step::Open}, {{}, p, Step::ConnectTimeout}, {{}, p, Step::ReceiveTimeout}, {{}, p, Step::Connect},
        {{}, p, Step::OpenRequest}, {{}, p, Step::StatusCode},
    };
    std::string nodes = "\n== the nodes, one per row\n";
    for (const Case& c : cases) {
        const std::string url = c.url.empty() ? server.url(c.route.path) : c.url;
        if (!c.route.path.empty()) server.route(c.route);
        FailingClient client;
        client.failAt = c.failAt;
        client.setTrustedCertificates("site.pem");
        auto space = std::make_unique<Webspace>();
        PageNode& node = space->pages[space->startCrawlAt(std::string(url).data())];
        const size_t requests = server.requestCount();
        const auto start = std::chrono::steady_clock::now();
        const int result = node.fetch(*space, &client);
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 3.0) << url;
        if (c.route.fault == Fault::Drip) {  // how much came before the bound on one fetch ended it varies
            EXPECT_TRUE(result == 1 && node.length > 0 && node.length < static_cast<int>(c.route.body.size())) << node.length;
            node.length = copyText(pageBuffer, "(some)") ? 6 : 0;
        }
        char line[1024];
        std::snprintf(line, sizeof line, "%s: %d %d %s %s, length %d, level %d, dir %s, server %s:%d, path %s, closed %d, asked %u/%u ms",
                      shown(url).c_str(), result, node.statusCode, shown(node.statusText).c_str(), shown(node.message).c_str(),
                      node.length, node.level, shown(node.dir).c_str(), node.host, node.urlParts.port,
                      shown(node.path).c_str(), client.closes, client.askedMs[0], client.askedMs[1]);
        const bool silent = std::strcmp(client.failureReason(), "nothing received within the receive time-out") == 0;
        nodes += std::string(line) + (silent ? ", ended by the receive time-out" : "") +
                 (std::strcmp(node.landedUrl, node.url) != 0 && result == 1 ? ", landed at " + shown(node.landedUrl) : "") +
                 "\n  buffer " + shown(pageBuffer);
        while (result == 1 && !node.scanStep(*space)) {
        }
        for (const LinkEntry& link : std::span(node.links, node.linkCount)) nodes += std::string(", link ") + link.url;
        nodes += "\n";
        const size_t sent = server.requestCount() - requests;
        if (sent) nodes += "  " + std::to_string(sent) + " requests, last " + server.lastRequest() + "\n";
    }
    expectGolden(LW_FIXTURES "/fetch-golden.txt", readFile("debug.txt") + nodes,
                 {server.port(), closed.port(), silentPort, server.tlsPort(), untrusted.tlsPort()});
    EXPECT_EQ(server.requestLog().find("localhost"), std::string::npos) << server.requestLog();
    for (int fd : silentFds) ::close(fd);
}

TEST_F(Fetch, EveryFetchIsAnsweredWhenTheServerClosesAKeptConnection) {
    // The server keeps each connection after its answer, takes the next request on it and
    // closes it unanswered, as one whose keep-alive time ran out just then. The client
    // must ask again on a new connection, fetch after fetch, however many came before.
    LoopbackServer server;
    ASSERT_TRUE(makeCertificate("site") && server.enableTls("site.pem", "site.key") && server.start());
    server.route({.path = "/kept.html", .body = "<title>Kept</title>", .fault = Fault::KeptThenClosed});
    constexpr int kFetches = 24;
    for (const std::string& url : {server.url("/kept.html"), server.httpsUrl("/kept.html")}) {
        FailingClient client;
        client.setTrustedCertificates("site.pem");
        auto space = std::make_unique<Webspace>();
        const size_t requests = server.requestCount();
        std::string failures;
        for (int i = 0; i < kFetches; ++i) {
            PageNode& node = space->pages[space->startCrawlAt(std::string(url).data())];
            if (node.fetch(*space, &client) != 1 || node.statusCode != 200) failures += std::to_string(i) + ": " + node.message + "\n";
            node.reset();
            space->nodeCount = 0;
        }
        EXPECT_EQ(failures, "") << url;
        // Each fetch after the first went out twice: on the kept connection, then on a new one.
        EXPECT_EQ(server.requestCount() - requests, 2u * kFetches - 1) << url;
    }
}

TEST_F(Fetch, APageAskedAheadIsTakenAsItCameWithoutAskingAgain) {
    // Each page answers after 200 ms. Per row: the pages asked ahead, what each ask said,
    // the page then fetched, how many requests the server saw in all, and the room left.
    LoopbackServer server;
    ASSERT_TRUE(server.start());
    server.delayEveryAnswer(200);
    for (int i = 0; i < 7; ++i) server.route({.path = "/" + std::to_string(i) + ".html", .body = "<title>Page " + std::to_string(i) + "</title>"});
    const auto page = [&](int i) { return server.url("/" + std::to_string(i) + ".html"); };
    struct Row { const char* what; std::vector<int> asked; std::vector<Answer> said; int fetched; size_t requests; int room; } const rows[] = {
        {"asked, then fetched: one request", {0}, {Answer::OnItsWay}, 0, 1, 5},
        {"asked twice: still one", {1, 1}, {Answer::OnItsWay, Answer::OnItsWay}, 1, 1, 5},
        {"not asked: the fetch asks", {}, {}, 2, 1, 5},
        // Five at most; the one fetched is taken, the rest wait for theirs.
        {"six asked: the sixth finds no room", {0, 1, 2, 3, 4, 5}, {Answer::OnItsWay, Answer::OnItsWay, Answer::OnItsWay,
         Answer::OnItsWay, Answer::OnItsWay, Answer::NoRoom}, 4, 5, 1},
        // ... and what came for them is taken as it came, or dropped.
        {"one held fetched", {}, {}, 0, 0, 2},
        {"one held asked again: here", {1}, {Answer::Here}, 1, 0, 3},
        {"not a page of the web: nothing to ask", {}, {}, -1, 0, 3},
    };
    FailingClient client;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        auto space = std::make_unique<Webspace>();
        const size_t requests = server.requestCount();
        std::vector<Answer> said;
        for (const int i : row.asked) said.push_back(askForPage(client, page(i).c_str()));
        EXPECT_EQ(said, row.said);
        if (row.fetched < 0) {
            EXPECT_EQ(askForPage(client, "ftp://127.0.0.1/file"), Answer::Here);
        }
        client.waitForAnswers(5000);
        const std::string url = row.fetched < 0 ? "ftp://127.0.0.1/file" : page(row.fetched);
        PageNode& node = space->pages[space->findOrAdd(url.c_str(), -1)];
        node.fetch(*space, &client);
        client.forget(url.c_str());
        EXPECT_EQ(node.statusCode, row.fetched < 0 ? 0 : 200);
        EXPECT_EQ(server.requestCount() - requests, row.requests);
        EXPECT_EQ(client.room(), row.room);
        if (row.fetched >= 0) {
            EXPECT_EQ(pageBuffer, "<title>Page " + std::to_string(row.fetched) + "</titlex");
        }
    }
}

TEST_F(Fetch, CompressedBodiesAreDecodedCountedAndCutAsText) {
    // The body each server sends, compressed by Python's zlib as the header says.
    const auto packed = [](const char* encoding, const std::string& text) {
        const std::string wbits = std::string(encoding) == "gzip" ? "31" : "15";  // gzip's wrapper, or zlib's
        writeFile("text", text);
        return commandOutput("python3 -c \"import sys, zlib; c = zlib.compressobj(9, zlib.DEFLATED, " + wbits +
                             "); sys.stdout.buffer.write(c.compress(open('text', 'rb').read()) + c.flush())\"");
    };
    const std::string big = "<title>Big</title>" + std::string(300000, 'b');
    struct Row { const char* encoding; std::string text; int shortest, longest; } const rows[] = {
        {"", "<title>Plain</title>", 20, 20},
        {"gzip", "<title>Packed</title>" + std::string(50000, 'a'), 50021, 50021},
        {"deflate", "<title>Deflated</title>" + std::string(5000, 'd'), 5023, 5023},
        // Cut where the page buffer ends, counted in the page's own bytes, not the packed ones.
        {"gzip", big, kContinueLimit + 1, kPageBufferSize - 1},
    };
    LoopbackServer server;
    ASSERT_TRUE(server.start());
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.encoding) + " " + std::to_string(row.text.size()));
        const std::string encoding = row.encoding;
        server.route({.path = "/page.html", .body = encoding.empty() ? row.text : packed(row.encoding, row.text),
                      .headers = encoding.empty() ? "" : "Content-Encoding: " + encoding + "\r\n"});
        FailingClient client;
        auto space = std::make_unique<Webspace>();
        PageNode& node = space->pages[space->startCrawlAt(server.url("/page.html").data())];
        ASSERT_EQ(node.fetch(*space, &client), 1) << node.message;
        EXPECT_TRUE(node.length >= row.shortest && node.length <= row.longest) << node.length;
        EXPECT_EQ(std::string(pageBuffer, 12), row.text.substr(0, 12));
    }
}
