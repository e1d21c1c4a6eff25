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
        {{.path = "/reset.html", .body = std::string(4000, 'r'), .fault = Fault::Reset, .faultAt = 700}},
        // The head, and then nothing: the first read fails, and the page is tried again.
        {{.path = "/reset-after-head.html", .body = page, .fault = Fault::Reset}},
        {{.path = "/stall-after-head.html", .body = page, .fault = Fault::Stall}},
        {{.path = "/moved-stalls.html", .status = 301, .reason = "Moved", .body = page, .fault = Fault::Stall, .location = "/new.html"}},
        {{.path = "/drip.html", .body = page, .fault = Fault::Drip}},  // stopped by the bound on one fetch
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
        {{}, "ftp://127.0.0.1/pub/file.txt"}, {{}, "https://127.0.0.1/login"}, {{}, "not a url at all"},
        {{}, p, Step::Open}, {{}, p, Step::ConnectTimeout}, {{}, p, Step::ReceiveTimeout}, {{}, p, Step::Connect},
        {{}, p, Step::OpenRequest}, {{}, p, Step::StatusCode},
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
        if (c.route.fault == Fault::Drip) {  // how much came before the bound on one fetch ended it varies
            EXPECT_TRUE(result == 1 && node.length > 0 && node.length < static_cast<int>(c.route.body.size())) << node.length;
            node.length = copyText(pageBuffer, "(some)") ? 6 : 0;
        }
        char line[1024];
        std::snprintf(line, sizeof line, "%s: %d %d %s %s, length %d, level %d, dir %s, server %s:%d, path %s, closed %d, asked %u/%u ms",
                      shown(url).c_str(), result, node.statusCode, shown(node.statusText).c_str(), shown(node.message).c_str(),
                      node.length, node.level, shown(node.dir).c_str(), node.host, node.urlParts.port,
                      shown(node.path).c_str(), client.closes, client.askedMs[0], client.askedMs[1]);
        const bool silent = std::strcmp(client.lastError(), "nothing received within the receive time-out") == 0;
        nodes += std::string(line) + (silent ? ", ended by the receive time-out" : "") + "\n  buffer " + shown(pageBuffer);
        while (result == 1 && !node.scanStep(*space)) {
        }
        for (const LinkEntry& link : std::span(node.links, node.linkCount)) nodes += std::string(", link ") + link.url;
        nodes += "\n";
        const size_t sent = server.requestCount() - requests;
        if (sent) nodes += "  " + std::to_string(sent) + " requests, last " + server.lastRequest() + "\n";
    }
    expectGolden(LW_FIXTURES "/fetch-golden.txt", readFile("debug.txt") + nodes,
                 {server.port(), closed.port(), silentPort});
    for (int fd : silentFds) ::close(fd);
}

// An http page that moved to https, served with a certificate made for the test: the
// fetch follows it when the certificate is trusted, and refuses it while it is not.
TEST_F(Fetch, FollowsARedirectToHttpsOnlyWithATrustedCertificate) {
    ASSERT_EQ(std::system("openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 -addext "
                          "subjectAltName=IP:127.0.0.1 -keyout key.pem -out cert.pem 2>/dev/null"), 0);
    writeFile("secure.html", "<title>Secure</title>.");
    writeFile("tls.py", "import http.server, ssl\n"
                        "httpd = http.server.HTTPServer(('127.0.0.1', 0), http.server.SimpleHTTPRequestHandler)\n"
                        "context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)\ncontext.load_cert_chain('cert.pem', 'key.pem')\n"
                        "httpd.socket = context.wrap_socket(httpd.socket, server_side=True)\nhttpd.timeout = 20\n"
                        "print(httpd.server_address[1], flush=True)\nhttpd.handle_request()\nhttpd.handle_request()\n");
    FILE* tls = popen("python3 tls.py 2>/dev/null", "r");
    int tlsPort = 0;
    ASSERT_TRUE(tls && std::fscanf(tls, "%d", &tlsPort) == 1);
    LoopbackServer server;
    ASSERT_TRUE(server.start());
    server.route({.path = "/moved", .status = 301, .reason = "Moved Permanently",
                  .location = "https://127.0.0.1:" + std::to_string(tlsPort) + "/secure.html"});
    FailingClient client;
    auto space = std::make_unique<Webspace>();
    PageNode& node = space->pages[space->findOrAdd(server.url("/moved").c_str(), -1)];
    EXPECT_EQ(node.fetch(*space, &client), 0);
    EXPECT_STREQ(node.message, "HttpSendRequest() failed:");
    client.setTrustedCertificates("cert.pem");
    EXPECT_EQ(node.fetch(*space, &client), 1) << client.lastError();
    EXPECT_EQ(node.statusCode, 200);
    EXPECT_STREQ(pageBuffer, "<title>Secure</title>x");
    pclose(tls);
}

