// The real HTTP client: the page fetch's operations over libcurl's easy interface.
// send() runs the whole GET, one request per redirect it follows, and keeps the body in
// one fixed store of the page buffer's size; read() then hands it out piece by piece.
// Each fetch, open() to close(), is a transfer of its own with a fresh libcurl handle,
// so that nothing one fetch went through (libcurl counts the retries of a connection
// that died under it) can fail the next; the connections the server keeps alive stay
// in a cache the client's transfers share. Nothing else in Linkweave includes a libcurl
// header.
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
    const char* landedUrl() const override { return transfer_.landed; }
    const char* failureReason() const override { return transfer_.reason; }
    bool failureIsFinal() const override { return transfer_.finalFailure; }
    bool queryStatusText(char* out, uint32_t capacity) override;
    bool queryStatusCode(int32_t& code) override;
    bool read(char* buffer, uint32_t wanted, uint32_t& delivered) override;
    void close() override;

    // Once *flag is set, a fetch in progress ends within about a second, failed with the
    // reason "interrupted" (the crawl tool's Ctrl-C), and so does every later one.
    void setCancelFlag(const std::atomic<bool>* flag) { cancel_ = flag; }

    // For tests: a shorter bound on one fetch, and certificates to trust besides the system's.
    void setFetchLimit(uint32_t milliseconds) { fetchLimitMs_ = milliseconds; }
    void setTrustedCertificates(const char* file) { copyText(caFile_, file); }

private:
    // libcurl's callbacks, which fill in the transfer's answer while a request runs.
    friend struct CurlCallbacks;

    // One fetch, from open() to close(): its own libcurl handle, the request it makes,
    // the redirects it followed, and what the latest response brought. Everything a
    // request in flight needs lives here and the callbacks see only this, so that more
    // than one can be under way once fetches share the main loop.
    struct Transfer {
        void* easy;                     // its CURL easy handle, from open() to close()
        CurlHttpClient* client;         // the site, the settings and the sockets it draws on
        char* body;                     // kBodyCapacity bytes, lent by the client

        // The request as the fetch sets it up.
        uint32_t receiveTimeoutMs;
        UrlScheme scheme;
        char requestHost[kUrlPartCapacity];
        int32_t port;
        bool connected;
        char verb[16];
        char requestUrl[kRequestUrlCapacity];  // scheme, host and a path escaped in full
        bool requestOpen;

        // The GET on its way, from send(): the address asked now and the redirects followed to it.
        char url[kRequestUrlCapacity];  // the address asked now, escaped for the request line
        char host[kUrlPartCapacity];    // its host name
        bool secure;                    // asked over https
        char landed[kUrlPartCapacity];  // where the redirects led, as the crawl writes addresses
        int redirects;                  // followed so far
        uint32_t startedMs;             // monotonic time send() began, for the bound on the fetch

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

        bool answered;                  // send() got an answer that the fetch may read
        bool bodyFailed;                // the body ended early: reads fail once it is handed out
        char errorText[256];            // libcurl's error buffer

        // How it ended, kept after close() for the fetch to report.
        char reason[256];               // why send() failed or the body ended early; empty if it did not
        bool finalFailure;              // no later try can end otherwise
    };

    // A fresh easy handle for one transfer, with the options every fetch shares.
    void* createHandle(Transfer& transfer);
    // Runs one request of the transfer, for transfer_.url, with the options it needs.
    int perform();
    // The address the latest answer's Location leads to, when it may be followed.
    bool nextAddress(char (&next)[kRequestUrlCapacity]);
    // How the transfer ended, from libcurl's result of its last request.
    bool settle(int result);
    bool onSite(const char* host) const;
    // Ends the transfer's handle and forgets its request and answer, but for how it ended.
    void endTransfer();

    // Sockets of the connections open now, whose received bytes the receive time-out
    // watches; -1 for a free slot.
    void watchSocket(int fd);
    void forgetSocket(int fd);
    // The watched socket connected from localPort to remotePort, or -1.
    int findSocket(int localPort, int remotePort) const;

    void* share_ = nullptr;  // the CURLSH whose connection cache every transfer uses
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

    Transfer transfer_ = {};
    std::unique_ptr<char[]> body_;  // kBodyCapacity bytes, allocated once per client
};
