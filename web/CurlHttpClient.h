// The real HTTP client: the page fetch's operations over libcurl's easy interface.
// send() runs the whole GET and keeps the body in one fixed store of the page buffer's
// size; read() then hands it out piece by piece. Nothing else in Linkweave includes
// a libcurl header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "web/HttpClient.h"
#include "web/PageBuffer.h"

class CurlHttpClient : public HttpClient {
public:
    // Bytes of one body the client keeps: as much as the page buffer can ever take.
    // A longer body is cut here and the rest is never downloaded.
    static constexpr size_t kBodyCapacity = kPageBufferSize;
    static constexpr long kMaxRedirects = 10;

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

    // Body bytes held after send(); never more than kBodyCapacity.
    size_t bodySize() const { return bodySize_; }
    // True when the body was longer than kBodyCapacity and the transfer was stopped.
    bool bodyWasCut() const { return bodyCut_; }
    // libcurl's own words for why the last send() failed or ended early; empty if it didn't.
    const char* lastError() const { return errorText_; }

private:
    // libcurl's callbacks, which fill in the answer while send() runs the transfer.
    friend struct CurlCallbacks;

    void resetAnswer();
    void resetBody();

    void* curl_ = nullptr;  // the CURL easy handle of the open session
    uint32_t receiveTimeoutMs_ = 0;

    char host_[kUrlPartCapacity] = {};
    int32_t port_ = 0;
    bool connected_ = false;
    char verb_[16] = {};
    char requestUrl_[4 * kUrlPartCapacity + 64] = {};  // host and a path escaped in full
    bool requestOpen_ = false;

    // The answer of the last send(): the final response after redirects.
    bool answered_ = false;
    int32_t statusCode_ = 0;
    char statusText_[kUrlPartCapacity] = {};
    bool headersComplete_ = false;
    bool redirectAnswer_ = false;  // the latest response carried a Location to follow
    bool connecting_ = false;      // no connection yet for the next request: the connect time-out rules
    int64_t lastActivityMs_ = 0;   // monotonic time the transfer last received anything
    bool receiveTimedOut_ = false;

    std::unique_ptr<char[]> body_;  // kBodyCapacity bytes, allocated once per client
    size_t bodySize_ = 0;
    size_t readPos_ = 0;
    bool bodyCut_ = false;
    char errorText_[256] = {};
};
