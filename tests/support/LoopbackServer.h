// A scripted HTTP/1.1 server on 127.0.0.1 for tests. Each path answers as its Route row
// says, misbehaving the way real servers do; paths without a row can be served from a
// directory tree, so whole test sites can be crawled. The same site can be served over
// TLS too, on a second port, and can ask for a user name and password. Each connection is
// served by a thread of its own, as a real server serves a client that asks for several
// pages at once; it is closed after one answer unless a fault keeps it, or the server
// keeps connections alive. Every request is recorded, those it reads and leaves
// unanswered too, and the server counts the connections it has open at once.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// How a scripted path misbehaves.
enum class Fault {
    NoFault,
    NeverAnswer,    // reads the request, then stays silent
    Cut,            // closes after `faultAt` body bytes (0: right after the head), whatever the length promised
    Reset,          // a reset after `faultAt` body bytes
    Stall,          // falls silent after `faultAt` body bytes, the connection kept alive
    Drip,           // the body one byte per kDripMs
    Endless,        // 'a' bytes without a length, until the client hangs up
    Chunked,        // the body in chunked transfer coding
    NoStatusLine,   // the body alone, as an HTTP/0.9 server answers
    RawStatusLine,  // `reason` goes out as the whole status line
    KeptThenClosed, // answers on a kept-alive connection, reads the next request on it, closes unanswered
    SlowStatusLine, // the status line one byte per kSlowLineMs, then the rest at once
};

constexpr int kDripMs = 200;      // ms between the bytes of a dripped body
constexpr int kSlowLineMs = 100;  // ms between the bytes of a slow status line

struct Route {
    std::string path;  // request target as sent, query included
    int status = 200;
    std::string reason = "OK";
    std::string body;  // any bytes, NULs included; sent with Content-Length
    Fault fault = Fault::NoFault;
    size_t faultAt = 0;
    int strikes = -1;      // requests the fault spoils before the path behaves; -1: all
    std::string location;  // sent as a Location header when not empty
    std::string headers;   // further header lines, each ending in CR LF
    bool interim = false;  // an interim "100 Continue" goes first, before any fault
    int delayMs = 0;       // the answer starts this long after the request came, as over a far network
};

class LoopbackServer {
public:
    ~LoopbackServer();

    // Binds 127.0.0.1 on a port of the kernel's choosing and starts accepting.
    bool start();
    // Also serves the site over TLS on a port of its own, with a certificate and its key
    // (PEM files). Call before start().
    bool enableTls(const std::string& certificateFile, const std::string& keyFile);
    // Stops accepting, ends the connection being served and waits for it.
    void stop();

    uint16_t port() const { return port_; }
    uint16_t tlsPort() const { return tlsPort_; }
    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
    std::string httpsUrl(const std::string& path) const {
        return "https://127.0.0.1:" + std::to_string(tlsPort_) + path;
    }

    void route(const Route& route);
    // Serves files under `root` for paths without a row; a missing file gets 404.
    void serveDirectory(const std::string& root);
    // From now on a request without this user name and password (HTTP Basic) gets 401.
    void requireCredentials(const std::string& user, const std::string& password);
    // Answers without "Connection: close" and reads the next request on the same
    // connection, as servers of today do.
    void keepConnectionsAlive() { keepAlive_ = true; }
    // Every answer starts this much later too, files of the directory tree's included.
    void delayEveryAnswer(int milliseconds) { delayMs_ = milliseconds; }

    // Connections accepted so far, and the most that were open at once (one closed after
    // its answer counts until the answer has gone out whole).
    int connectionsAccepted() const { return accepted_; }
    int mostConnectionsAtOnce() const { return mostOpen_; }

    size_t requestCount() const;
    // The last request's line and user agent: "GET /a%20b.html HTTP/1.1 from netmole".
    std::string lastRequest() const;
    // Every request, one a line, as "https 127.0.0.1:PORT GET /a.html", the scheme it came
    // over and its Host header, then " with credentials" when it carried the right ones,
    // " with other credentials" when it carried others.
    std::string requestLog() const;

private:
    struct Connection;
    // Serves one accepted connection to its end, on a thread of its own.
    void serveConnection(int fd, bool tls);
    void serve(Connection& connection);
    // Reads a request's head; false when the client hung up or the server stops first.
    bool readRequest(Connection& connection, std::string& head);
    void record(const Connection& connection, const std::string& head);
    Route lookUp(const std::string& target);
    // Answers one request; true when the connection may carry the next.
    bool answer(Connection& connection, const Route& route);
    bool waitForStop(Connection& connection, int ms);

    int listenFd_ = -1;
    int tlsListenFd_ = -1;
    void* tls_ = nullptr;  // the SSL_CTX of the TLS port
    uint16_t port_ = 0;
    uint16_t tlsPort_ = 0;
    std::thread thread_;
    std::atomic<bool> stopping_ = false;
    std::atomic<bool> keepAlive_ = false;
    std::atomic<int> delayMs_ = 0;
    std::atomic<int> accepted_ = 0, open_ = 0, mostOpen_ = 0;
    std::mutex connectionsMutex_;  // guards the two below
    std::vector<int> openFds_;
    std::vector<std::thread> servers_;
    mutable std::mutex mutex_;  // guards what follows
    std::map<std::string, Route> routes_;
    std::map<std::string, int> struck_;  // faulty answers served per path
    std::string root_;
    std::string authorization_;  // the Authorization header every request must carry; empty: none
    std::vector<std::string> requests_;
    std::vector<std::string> requestLog_;
};
