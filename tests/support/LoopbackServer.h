// A scripted HTTP/1.1 server on 127.0.0.1 for tests. Each path answers as its Route row
// says, misbehaving the way real servers do; paths without a row can be served from a
// directory tree, so whole test sites can be crawled. The same site can be served over
// TLS too, on a second port, and can ask for a user name and password. One request per
// connection, and one connection at a time (a crawl asks for one page at a time); every
// request is recorded.
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
};

constexpr int kDripMs = 200;  // ms between the bytes of a dripped body

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

    size_t requestCount() const;
    // The last request's line and user agent: "GET /a%20b.html HTTP/1.1 from netmole".
    std::string lastRequest() const;
    // Every request, one a line, as "https 127.0.0.1:PORT GET /a.html", the scheme it came
    // over and its Host header, then " with credentials" when it carried the right ones,
    // " with other credentials" when it carried others.
    std::string requestLog() const;

private:
    struct Connection;
    void serve(Connection& connection);
    Route lookUp(const std::string& target);
    void answer(Connection& connection, const Route& route);
    bool waitForStop(Connection& connection, int ms);

    int listenFd_ = -1;
    int tlsListenFd_ = -1;
    void* tls_ = nullptr;  // the SSL_CTX of the TLS port
    std::atomic<int> connectionFd_ = -1;
    uint16_t port_ = 0;
    uint16_t tlsPort_ = 0;
    std::thread thread_;
    std::atomic<bool> stopping_ = false;
    mutable std::mutex mutex_;  // guards what follows
    std::map<std::string, Route> routes_;
    std::map<std::string, int> struck_;  // faulty answers served per path
    std::string root_;
    std::string authorization_;  // the Authorization header every request must carry; empty: none
    std::vector<std::string> requests_;
    std::vector<std::string> requestLog_;
};
