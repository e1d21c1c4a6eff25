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
#include <memory>
#include <string>
#include <thread>

#include "support/LoopbackServer.h"
#include "support/TestSupport.h"
#include "web/FailingClient.h"
#include "web/PageBuffer.h"
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
    LoopbackServer server, closed;
    ASSERT_TRUE(server.start() && closed.start());
    closed.stop();  // refuses connections from now on
    int silentFds[3];
    const int silentPort = unansweredListener(silentFds);
    const std::string page = "<html><title>Home</title><a href=\"b.html\">b</a></html>";
    server.route({.path = "/new.html", .body = "<title>New home</title>"});
    server.route({.path = "/p.html", .body = page});
    const std::string p = server.url("/p.html");
    // Each row: what the server does for a path, the URL fetched (empty: the path's), the step that fails.
    struct Case { Route route; std::string url; Step failAt = Step::None; } const cases[] = {
        {{.path = "/docs/my%20page.html", .body = page}, server.url("/docs/my page.html")},  // blanks go out escaped
        {{.path = "/moved.html", .status = 301, .reason = "Moved Permanently", .location = "/new.html"}},
        {{.path = "/cut.html", .body = std::string(10000, 'h'), .fault = Fault::Cut, .faultAt = 3000}},
        {{.path = "/stall.html", .body = std::string(4000, 's'), .fault = Fault::Stall, .faultAt = 1500}},
        {{.path = "/exact.html", .body = std::string(kContinueLimit, 'e')}},
        {{.path = "/megabyte.html", .body = std::string(1000000, 'm')}},
        {{.path = "/endless.html", .fault = Fault::Endless}},
        {{.path = "/nul.html", .body = std::string(300, 'b') + '\0' + "<a href=\"tail.html\">"}},
        {{.path = "/chunked.html", .body = std::string(2500, 'c') + "</html>", .fault = Fault::Chunked}},
        {{.path = "/empty.html"}},
        {{.path = "/one-byte.html", .body = "<"}},
        {{.path = "/missing.html", .status = 404, .reason = "Not Found", .body = "<h1>404</h1>"}},
        {{.path = "/nothing.html", .status = 204, .reason = "No Content"}},
        {{.path = "/loop", .status = 302, .reason = "Found", .location = "/loop"}},
        {{.path = "/silent.html", .fault = Fault::NeverAnswer}},
        {{}, closed.url("/a.html")}, {{}, "http://127.0.0.1:" + std::to_string(silentPort) + "/"},
        {{.path = "/q.html?x=1&y=2", .body = "<"}, server.url("/q.html?x=1&y=2#top")},  // the fragment stays home
        {{}, "ftp://127.0.0.1/pub/file.txt"}, {{}, "https://127.0.0.1/login"}, {{}, "not a url at all"},
        {{}, p, Step::Open}, {{}, p, Step::ConnectTimeout}, {{}, p, Step::ReceiveTimeout}, {{}, p, Step::Connect},
        {{}, p, Step::OpenRequest}, {{}, p, Step::StatusText}, {{}, p, Step::StatusCode}, {{}, p, Step::FirstRead},
    };
    std::string nodes = "\n== the nodes, one per row\n";
    for (const Case& c : cases) {
        const std::string url = c.url.empty() ? server.url(c.route.path) : c.url;
        if (!c.route.path.empty()) server.route(c.route);
        FailingClient client;
        client.failAt = c.failAt;
        auto space = std::make_unique<Webspace>();
        PageNode& node = space->pages[space->findOrAdd(url.c_str(), -1)];
        const size_t requests = server.requestCount();
        const auto start = std::chrono::steady_clock::now();
        const int result = node.fetch(*space, &client);
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 3.0) << url;
        char line[1024];
        std::snprintf(line, sizeof line, "%s: %d %d %s %s, length %d, level %d, dir %s, server %s:%d, path %s, closed %d, asked %u/%u ms",
                      url.c_str(), result, node.statusCode, shown(node.statusText).c_str(), shown(node.message).c_str(),
                      node.length, node.level, shown(node.dir).c_str(), node.host, node.urlParts.port,
                      shown(node.path).c_str(), client.closes, client.askedMs[0], client.askedMs[1]);
        nodes += std::string(line) + "\n  buffer " + shown(pageBuffer) + "\n";
        const size_t sent = server.requestCount() - requests;
        if (sent) nodes += "  " + std::to_string(sent) + " requests, last " + server.lastRequest() + "\n";
    }
    expectGolden(readFile("debug.txt") + nodes, LW_FIXTURES "/fetch-golden.txt",
                 {server.port(), closed.port(), silentPort});
    for (int fd : silentFds) ::close(fd);
}
