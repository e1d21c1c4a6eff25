// The real HTTP client: the page fetch's operations over libcurl's easy interface.
// send() runs the whole GET, one request per redirect it follows, and keeps the body in
// one fixed store of the page buffer's size; read() then hands it out piece by piece.
// One libcurl handle serves every fetch of the client (its set-up is the costly part),
// while each open() to close() still starts from nothing. Nothing else in Linkweave
// includes a libcurl header.
#pragma once

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
    const char* failureReason() const override { return transfer_.errorText; }
    bool queryStatusText(char* out, uint32_t capacity) override;
    bool queryStatusCode(int32_t& code) override;
    bool read(char* buffer, uint32_t wanted, uint32_t& delivered) override;
    void close() override;

    // For tests: a shorter bound on one fetch, and certificates to trust besides the system's.
    void setFetchLimit(uint32_t milliseconds) { fetchLimitMs_ = milliseconds; }
    void setTrustedCertificates(const char* file) { copyText(caFile_, file); }

private:
    // libcurl's callbacks, which fill in the transfer's answer while a request runs.
    friend struct CurlCallbacks;

    // One GET on its way, from send() until the next: the address asked now, the
    // redirects followed to it, and what the latest response brought. Everything a
    // request in flight needs lives here, not in the steps that drive it.
    struct Transfer {
        char url[kRequestUrlCapacity];  // the address asked now, escaped for the request line
        char host[kUrlPartCapacity];    // its host name
        bool secure;                    // asked over https
        char landed[kUrlPartCapacity];  // where the redirects led, as the crawl writes addresses
        int redirects;                  // followed so far
        uint32_t startedMs;             // monotonic time send() began, for the bound on the fetch

        bool connecting;                // no connection made yet: the connect time-out rules
        uint32_t lastActivityMs;        // monotonic time the request last received anything
        bool receiveTimedOut;

        // The latest response (a 1xx is forgotten when the next status line comes).
        bool statusLineRead;            // it began with a status line that could be read
        int32_t statusCode;
        char statusText[kUrlPartCapacity];
        bool headersComplete;
        char location[kRequestUrlCapacity];  // its Location header; empty when it had none
        bool locationCut;                    // ... or one too long to follow

        size_t bodySize;                // bytes of the body kept in the client's store
        size_t readPos;
        bool bodyCut;                   // the store was full: the rest was never downloaded

        bool answered;                  // send() got an answer that the fetch may read
        bool bodyFailed;                // the body ended early: reads fail once it is handed out
        char errorText[256];            // libcurl's error buffer, then the reason send() gives
    };

    void* createHandle();
    // Runs one request of the transfer, for transfer_.url, with the options it needs.
    int perform();
    // The address the latest answer's Location leads to, when it may be followed.
    bool nextAddress(char (&next)[kRequestUrlCapacity]);
    // How the transfer ended, from libcurl's result of its last request.
    bool settle(int result);
    bool onSite(const char* host) const;
    void forgetResponse();

    void* curl_ = nullptr;  // the CURL easy handle, kept from the first open to the end
    bool open_ = false;
    uint32_t receiveTimeoutMs_ = 0;
    uint32_t fetchLimitMs_ = kFetchLimitMs;
    char caFile_[kUrlPartCapacity] = {};

    // The site, set once: its host name, whether it started on https, and the user
    // name and password for it. Nothing else in the program keeps the password.
    char siteHost_[kUrlPartCapacity] = {};
    bool siteSecure_ = false;
    char user_[kUrlPartCapacity] = {};
    char password_[kUrlPartCapacity] = {};

    UrlScheme scheme_ = UrlScheme::Unknown;
    char host_[kUrlPartCapacity] = {};
    int32_t port_ = 0;
    bool connected_ = false;
    char verb_[16] = {};
    char requestUrl_[kRequestUrlCapacity] = {};  // scheme, host and a path escaped in full
    bool requestOpen_ = false;

    Transfer transfer_ = {};
    std::unique_ptr<char[]> body_;  // kBodyCapacity bytes, allocated once per client
};
