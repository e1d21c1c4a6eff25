// A small HTTP/1.1 server on 127.0.0.1 for tests: it listens on a port of the kernel's
// choosing, answers each connection on its own thread, and does exactly what a test
// scripts for a path: a status with its reason phrase, a body (NUL bytes and all),
// chunked or close-delimited transfer, a redirect, a connection cut in the middle of
// the body, a request accepted and never answered, or a body streamed without end.
// Paths without a script can be served from a directory tree on disk, so whole test
// sites can be crawled. Every request is recorded. One request per connection: each
// answer says "Connection: close".
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
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
    std::string body;                                           // any bytes, NULs included
    // Framing of the body: chunked (no Content-Length), or ended by closing the
    // connection (no Content-Length either); otherwise Content-Length.
    bool chunked = false;
    bool closeDelimited = false;
    size_t chunkSize = 1000;  // bytes of body per chunk, when chunked
    // After this many body bytes the connection is closed, whatever the framing
    // promised; -1 sends the whole body.
    long long closeAfterBodyBytes = -1;
    // After this many body bytes the connection falls silent, open, until the server
    // stops; -1 never stalls.
    long long stallAfterBodyBytes = -1;
    // The request is read and then left unanswered until the server stops.
    bool neverAnswer = false;
    // Adds "Location: <redirectTo>" (use with a 3xx status).
    std::string redirectTo;
    // A body made on the fly instead of `body`: this many bytes of `fillByte`, written
    // as fast as the client takes them (Content-Length unless chunked or
    // closeDelimited). kEndless streams until the client hangs up.
    unsigned long long generatedBytes = 0;
    char fillByte = 'a';
    static constexpr unsigned long long kEndless = ~0ULL;

    // Common answers.
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
    unsigned long long bodyBytesSent = 0;  // filled in as the answer goes out
};

class LoopbackServer {
public:
    LoopbackServer();
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    // Binds 127.0.0.1 on an ephemeral port and starts accepting. False on failure.
    bool start();
    // Stops accepting, wakes and closes every open connection, joins all threads.
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
    // Waits until at least `count` requests arrived; false after `timeoutMs`.
    bool waitForRequests(size_t count, int timeoutMs) const;
    // Waits until every connection so far has ended; false after `timeoutMs`.
    bool waitForIdle(int timeoutMs) const;

    // A port on 127.0.0.1 on which nothing listens, for connection-refused cases.
    static uint16_t unusedPort();

private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> finished;
    };

    void acceptLoop();
    void serveConnection(int fd);
    bool readRequest(int fd, LoopbackRequest& request);
    LoopbackResponse lookUp(const std::string& target) const;
    LoopbackResponse fileResponse(const std::string& target) const;
    void answer(int fd, size_t requestIndex, const LoopbackResponse& response);
    bool sendAll(int fd, const char* data, size_t length);
    void waitForStop();
    void reapFinishedWorkers();

    int listenFd_ = -1;
    int wakeRead_ = -1;   // a pipe whose write end is closed on stop, to wake every poll
    int wakeWrite_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread acceptor_;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::map<std::string, LoopbackResponse> routes_;
    std::string root_;
    std::vector<LoopbackRequest> requests_;
    std::set<int> openFds_;
    size_t activeConnections_ = 0;
    std::list<Worker> workers_;
};
