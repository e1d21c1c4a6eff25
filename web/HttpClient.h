// The HTTP client that a page fetch talks to: exactly the operations the fetch needs,
// in the order it uses them. One object serves one fetch at a time; open() begins a
// session and close() ends it with everything opened under it. The real client is
// libcurl's (web/CurlHttpClient.h); tests wrap it to fail the steps no server can fail.
#pragma once

#include <cstdint>

// URL schemes as the split reports them. Only Http is fetched.
enum class UrlScheme : int32_t {
    Unknown = -1,
    Ftp = 1,
    Gopher = 2,
    Http = 3,
    Https = 4,
    File = 5,
};

constexpr int kUrlPartCapacity = 256;  // bytes of each text part of a split URL

// A URL split into the parts the fetch uses (scheme, host, port, path with its query).
struct UrlParts {
    UrlScheme scheme = UrlScheme::Unknown;
    char schemeName[kUrlPartCapacity] = {};
    char host[kUrlPartCapacity] = {};
    int32_t port = 0;
    char path[kUrlPartCapacity] = {};
};

class HttpClient {
public:
    virtual ~HttpClient() = default;

    // Starts a session under the given user-agent name.
    virtual bool open(const char* agent) = 0;
    // Time-outs in milliseconds for connecting, and for a receive that delivers nothing.
    virtual bool setConnectTimeout(uint32_t milliseconds) = 0;
    virtual bool setReceiveTimeout(uint32_t milliseconds) = 0;
    // Splits an absolute URL; texts longer than a part's capacity are cut.
    virtual bool splitUrl(const char* url, UrlParts& parts) = 0;
    // Prepares a connection to host:port for the HTTP service.
    virtual bool connect(const char* host, int32_t port) = 0;
    // Prepares a request with the given verb for the path (and query) on that host.
    virtual bool openRequest(const char* verb, const char* path) = 0;
    // Sends the request and waits for the answer's status line and headers.
    virtual bool send() = 0;
    // The status line's reason phrase, cut to fit `capacity` bytes.
    virtual bool queryStatusText(char* out, uint32_t capacity) = 0;
    virtual bool queryStatusCode(int32_t& code) = 0;
    // Reads up to `wanted` bytes of the body; delivered is 0 at the end of the body.
    virtual bool read(char* buffer, uint32_t wanted, uint32_t& delivered) = 0;
    // Ends the session, closing the connection and request opened under it.
    virtual void close() = 0;
};
