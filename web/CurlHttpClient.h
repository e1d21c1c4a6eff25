// The real HTTP client: the page fetch's operations over libcurl's multi interface,
// polled from the program's one thread. A request runs while the program goes on: asked
// ahead by ask(), or by send(), which waits for it; either way its answer, the body in
// a fixed store of the page buffer's size, waits in the client until the fetch reads it.
// The client holds at most kTransfers requests at once, each with a libcurl handle and
// a store of its own: that bounds both the memory of answers waiting and the
// connections to a site. Connections the server keeps alive are reused. Nothing else in
// Linkweave includes a libcurl header.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "base/Text.h"
#include "web/HttpClient.h"
#include "web/PageBuffer.h"

class CurlHttpClient : public HttpClient {
public:
    // Bytes of one body the client keeps: as much as the page buffer can ever take.
    // A longer body is cut here and the rest is never downloaded.
    static constexpr size_t kBodyCapacity = kPageBufferSize;
    static constexpr int kMaxRedirects = 10;
    // The longest one fetch may take, redirects included, however the server trickles its answer.
    static constexpr uint32_t kFetchLimitMs = 60000;  // ms
    // Bytes of an address on a request line: a path of a link field, percent-escaped in full.
    static constexpr size_t kRequestUrlCapacity = 4 * kUrlPartCapacity + 64;
    // Open connections whose received bytes the client can watch (see Transfer::socket).
    static constexpr int kWatchedSockets = 16;
    // Requests held at once, on their way or answered and not yet read; also the most
    // connections open at once: as many as wget2 and the common site crawlers allow
    // themselves on one host.
    static constexpr int kTransfers = 5;

    CurlHttpClient();
    ~CurlHttpClient() override;
    CurlHttpClient(const CurlHttpClient&) = delete;
    CurlHttpClient& operator=(const CurlHttpClient&) = delete;

    void setSite(const char* startUrl) override;
    bool open(const char* agent) override;
    bool setConnectTimeout(uint32_t milliseconds) override;
    bool setReceiveTimeout(uint32_t milliseconds) override;
    bool splitUrl(const char* url, UrlParts& parts) override;
    bool connect(UrlScheme scheme, const char* host, int32_t port) override;
    bool openRequest(const char* verb, const char* path) override;
    bool send() override;
    const char* landedUrl() const override { return session_.transfer ? session_.transfer->landed : ""; }
    const char* failureReason() const override { return session_.reason; }
    bool failureIsFinal() const override { return session_.finalFailure; }
    bool queryStatusText(char* out, uint32_t capacity) override;
    bool queryStatusCode(int32_t& code) override;
    bool read(char* buffer, uint32_t wanted, uint32_t& delivered) override;
    void close() override;

    Answer ask(const char* url, const char* agent, uint32_t connectTimeoutMs, uint32_t receiveTimeoutMs) override;
    uint32_t onItsWayMs() const override { return session_.onItsWayMs; }
    bool holds(const char* url) const override;
    int room() const override;
    void forget(const char* url) override;
    void poll() override;

    // Waits until something arrives for a request on its way, or the time is up, and
    // moves the requests along; with none on its way it just waits. For a program
    // without frames that has nothing to do until an answer comes.
    void waitForNetwork(uint32_t milliseconds);
    // Waits until every request held has its answer, or the time is up; false then.
    bool waitForAnswers(uint32_t milliseconds);

    // Once *flag is set, a fetch in progress ends within about a second, failed with the
    // reason "interrupted" (the crawl tool's Ctrl-C), and so does every later one.
    void setCancelFlag(const std::atomic<bool>* flag) { cancel_ = flag; }

    // For tests: a shorter bound on one fetch, and certificates to trust besides the system's.
    void setFetchLimit(uint32_t milliseconds) { fetchLimitMs_ = milliseconds; }
    void setTrustedCertificates(const char* file) { copyText(caFile_, file); }

private:
    // libcurl's callbacks, which fill in the transfer's answer while a request runs.
    friend struct CurlCallbacks;

    // The request as a fetch sets it up, or as ask() does for a page.
    struct Request {
        char agent[64];
        uint32_t connectTimeoutMs;
        uint32_t receiveTimeoutMs;
        UrlScheme scheme;
        char host[kUrlPartCapacity];
        int32_t port;
        bool connected;
        char verb[16];
        char url[kRequestUrlCapacity];  // scheme, host and a path escaped in full
        bool open;
    };

    enum class Stage { Free, OnItsWay, Answered };

    // One request and its answer, from the moment it is asked until the fetch has read
    // it: its own libcurl handle while it runs, the redirects it followed, and what the
    // latest response brought. Everything a request in flight needs lives here and the
    // callbacks see only this.
    struct Transfer {
        Stage stage;
        bool taken;                     // a fetch's send() took it: no other may
        char pageUrl[kUrlPartCapacity];  // the page it was asked for ahead; empty when send() asked
        void* easy;                     // its CURL easy handle, while the request runs
        CurlHttpClient* client;         // the site, the settings and the sockets it draws on
        char* body;                     // kBodyCapacity bytes, its own store in the client
        Request request;

        // The GET on its way, from send(): the address asked now and the redirects followed to it.
        char url[kRequestUrlCapacity];  // the address asked now, escaped for the request line
        char host[kUrlPartCapacity];    // its host name
        bool secure;                    // asked over https
        char landed[kUrlPartCapacity];  // where the redirects led, as the crawl writes addresses
        int redirects;                  // followed so far
        uint32_t startedMs;             // monotonic time it was asked, for the bound on the fetch
        uint32_t answeredMs;            // ... and the time its answer was complete

        bool connecting;                // no connection made yet: the connect time-out rules
        int socket;                     // the connection's socket once known, else -1
        uint32_t lastActivityMs;        // monotonic time the request last received anything
        bool receiveTimedOut;
        bool cancelled;

        // The latest response (a 1xx is forgotten when the next status line comes).
        bool statusLineRead;            // it began with a status line that could be read
        int32_t statusCode;
        char statusText[kUrlPartCapacity];
        bool headersComplete;           // the head of a final answer (not a 1xx) came whole
        char location[kRequestUrlCapacity];  // its Location header; empty when it had none
        bool locationCut;                    // ... or one too long to follow

        size_t bodySize;                // bytes of the body kept in the store
        size_t readPos;
        bool bodyCut;                   // the store was full: the rest was never downloaded

        bool answered;                  // it got an answer that the fetch may read
        bool bodyFailed;                // the body ended early: reads fail once it is handed out
        char errorText[256];            // libcurl's error buffer
        char reason[256];               // why it failed or the body ended early; empty if it did not
        bool finalFailure;              // no later try can end otherwise
    };

    // The fetch between open() and close(): the request it sets up, the transfer whose
    // answer send() took, and how that ended, kept after close() for the fetch to report.
    struct Session {
        Request request;
        Transfer* transfer;
        char reason[256];
        bool finalFailure;
        uint32_t onItsWayMs;
    };

    // libcurl's set-up, and the client's multi and share handles, once.
    bool setUp();
    // Builds the request line's address from the request's connection and path.
    static bool openRequestOn(Request& request, const char* verb, const char* path);
    // A free transfer, or none.
    Transfer* freeTransfer();
    // Starts the transfer of `request` on a free one: its handle, its first request.
    Transfer* start(const Request& request, const char* pageUrl);
    // A fresh easy handle for one transfer, with the options every request shares.
    void* createHandle(Transfer& transfer);
    // Sets the transfer's handle up for its next request, to transfer.url, and hands
    // it to the multi handle; false when libcurl refused an option.
    bool startRequest(Transfer& transfer);
    // Called when libcurl is done with a request: the next one of a redirect, or the end.
    void requestDone(Transfer& transfer, int result);
    // Ends a request on its way early (Ctrl-C, the receive time-out) as failed.
    void endEarly(Transfer& transfer);
    // Runs libcurl's share of the work without waiting, and handles what it finished.
    void drive();
    // The address the latest answer's Location leads to, when it may be followed.
    bool nextAddress(Transfer& transfer, char (&next)[kRequestUrlCapacity]);
    // How the transfer ended, from libcurl's result of its last request.
    void settle(Transfer& transfer, int result);
    bool onSite(const Transfer& transfer, const char* host) const;
    // Ends the transfer's handle and makes it free, its answer forgotten.
    void release(Transfer& transfer);
    bool anyOnItsWay() const;

    // Sockets of the connections open now, whose received bytes the receive time-out
    // watches; -1 for a free slot.
    void watchSocket(int fd);
    void forgetSocket(int fd);
    // The watched socket connected from localPort to remotePort, or -1.
    int findSocket(int localPort, int remotePort) const;

    void* multi_ = nullptr;  // the CURLM that runs every request and keeps their connections
    void* share_ = nullptr;  // the CURLSH of name look-ups and TLS sessions
    bool open_ = false;
    uint32_t fetchLimitMs_ = kFetchLimitMs;
    char caFile_[kUrlPartCapacity] = {};
    const std::atomic<bool>* cancel_ = nullptr;
    int sockets_[kWatchedSockets];

    // The site, set once: its host name, whether it started on https, and the user
    // name and password for it. Nothing else in the program keeps the password.
    char siteHost_[kUrlPartCapacity] = {};
    bool siteSecure_ = false;
    char user_[kUrlPartCapacity] = {};
    char password_[kUrlPartCapacity] = {};

    Session session_ = {};
    Transfer transfers_[kTransfers] = {};
    std::unique_ptr<char[]> bodies_;  // kTransfers stores of kBodyCapacity bytes, allocated once per client
};
