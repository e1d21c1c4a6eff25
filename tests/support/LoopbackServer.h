// A small HTTP/1.1 server on 127.0.0.1 for tests: it listens on a port of the kernel's
// choosing, answers each connection on its own thread, and does what a test scripts for
// a path: a status with its reason phrase, a body (NUL bytes and all), chunked transfer,
// a redirect, a connection cut or fallen silent in the middle of the body, a request
// never answered, or a body without end. Paths without a script can be served from a
// directory tree, so whole test sites can be crawled. Every request is recorded. One
// request per connection: each answer says "Connection: close".
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

struct LoopbackResponse {
    int status = 200;
    std::string reason = "OK";
    std::vector<std::pair<std::string, std::string>> headers;  // sent as given, after the status line
    std::string body;     // any bytes, NULs included; sent with Content-Length unless chunked
    bool chunked = false;  // Transfer-Encoding: chunked, without Content-Length
    // After this many body bytes the connection is closed, whatever the framing promised;
    // -1 sends the whole body.
    long long closeAfterBodyBytes = -1;
    // After this many body bytes the connection falls silent, open, until the server
    // stops; -1 never stalls.
    long long stallAfterBodyBytes = -1;
    // The request is read and then left unanswered until the server stops.
    bool neverAnswer = false;
    // Instead of `body`: 'a' bytes without Content-Length, until the client hangs up.
    bool endless = false;

    static LoopbackResponse ok(std::string body, std::string contentType = "text/html");
    static LoopbackResponse withStatus(int code, std::string reason, std::string body = {});
    static LoopbackResponse redirect(int code, std::string location);
};

struct LoopbackRequest {
    std::string requestLine;  // "GET /a/b.html HTTP/1.1"
    std::string method;
    std::string target;       // path with its query, as sent
    std::string userAgent;    // empty when the header was absent
    std::string host;         // the Host header
};

class LoopbackServer {
public:
    LoopbackServer() = default;
    ~LoopbackServer() { stop(); }
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    // Binds 127.0.0.1 on an ephemeral port and starts accepting. False on failure.
    bool start();
    // Stops accepting, wakes and closes every open connection, and waits for them.
    void stop();

    uint16_t port() const { return port_; }
    // "http://127.0.0.1:<port><path>"
    std::string url(const std::string& path) const;

    // Scripts the answer for a request target. The target is matched exactly first
    // (query included), then without its query.
    void route(const std::string& target, LoopbackResponse response);
    // Serves files under `root` for targets without a script: a directory serves its
    // index.html, a missing file gets 404 "Not Found".
    void serveDirectory(const std::string& root);

    size_t requestCount() const;
    size_t requestCount(const std::string& target) const;
    std::vector<LoopbackRequest> requests() const;
    LoopbackRequest lastRequest() const;

private:
    void acceptLoop();
    void serveConnection(int fd);
    LoopbackResponse lookUp(const std::string& target) const;
    void answer(int fd, const LoopbackResponse& response);
    void waitForStop();

    int listenFd_ = -1;
    uint16_t port_ = 0;
    std::thread acceptor_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
    std::map<std::string, LoopbackResponse> routes_;
    std::string root_;
    std::vector<LoopbackRequest> requests_;
    std::set<int> openFds_;  // one per connection still served; its thread ends with it
};
