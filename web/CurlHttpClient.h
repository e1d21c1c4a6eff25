// The real HTTP client: the page fetch's operations over libcurl's easy interface.
// send() runs the whole GET and keeps the body in one fixed store of the page buffer's
// size; read() then hands it out piece by piece. One libcurl handle serves every fetch
// of the client (its set-up is the costly part), while each open() to close() still
// starts from nothing. Nothing else in Linkweave includes a libcurl header.
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
    static constexpr long kMaxRedirects = 10;
    // The longest one fetch may take, however the server trickles its answer.
    static constexpr uint32_t kFetchLimitMs = 60000;  // ms

    CurlHttpClient();
    ~CurlHttpClient() override;
    CurlHttpClient(const CurlHttpClient&) = delete;
    CurlHttpClient& operator=(const CurlHttpClient&) = delete;

    bool open(const char* agent) override;
    bool setConnectTimeout(uint32_t milliseconds) override;
    bool setReceiveTimeout(uint32_t milliseconds) override;
    bool splitUrl(const char* url, UrlParts& parts) override;
    bool connect(const char* host, int32_t port) override;
    bool openRequest(const char* verb, const char* path) override;
    bool send() override;
    bool queryStatusText(char* out, uint32_t capacity) override;
    bool queryStatusCode(int32_t& code) override;
    bool read(char* buffer, uint32_t wanted, uint32_t& delivered) override;
    void close() override;

    // For tests: a shorter bound on one fetch, and certificates to trust besides the system's.
    void setFetchLimit(uint32_t milliseconds) { fetchLimitMs_ = milliseconds; }
    void setTrustedCertificates(const char* file) { copyText(caFile_, file); }
    // libcurl's own words for why the last send() failed or ended early; empty if it didn't.
    const char* lastError() const { return errorText_; }

private:
    // libcurl's callbacks, which fill in the answer while send() runs the transfer.
    friend struct CurlCallbacks;

    void* createHandle();
    void resetAnswer();
    void resetBody();

    void* curl_ = nullptr;  // the CURL easy handle, kept from the first open to the end
    bool open_ = false;
    uint32_t receiveTimeoutMs_ = 0;
    uint32_t fetchLimitMs_ = kFetchLimitMs;
    char caFile_[kUrlPartCapacity] = {};

    char host_[kUrlPartCapacity] = {};
    int32_t port_ = 0;
    bool connected_ = false;
    char verb_[16] = {};
    char requestUrl_[4 * kUrlPartCapacity + 64] = {};  // host and a path escaped in full
    bool requestOpen_ = false;

    // The answer of the last send(): the last response, after the redirects followed.
    bool answered_ = false;
    bool statusLineRead_ = false;  // the response began with a status line that could be read
    int32_t statusCode_ = 0;
    char statusText_[kUrlPartCapacity] = {};
    bool headersComplete_ = false;
    bool redirectAnswer_ = false;  // the latest response carried a Location to follow
    bool transferFailed_ = false;  // the body ended early: reads fail once it is handed out
    bool connecting_ = false;      // no connection made yet: the connect time-out rules
    uint32_t lastActivityMs_ = 0;  // monotonic time the transfer last received anything
    bool receiveTimedOut_ = false;

    std::unique_ptr<char[]> body_;  // kBodyCapacity bytes, allocated once per client
    size_t bodySize_ = 0;
    size_t readPos_ = 0;
    bool bodyCut_ = false;
    char errorText_[256] = {};
};
