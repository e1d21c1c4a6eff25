// The HTTP client that a page fetch talks to: exactly the operations the fetch needs,
// in the order it uses them. One object serves one fetch at a time; open() begins a
// session and close() ends it with everything opened under it. The real client is
// libcurl's (web/CurlHttpClient.h); tests wrap it to fail the steps no server can fail.
#pragma once

#include <cstdint>

// URL schemes as the split reports them. Http and Https are fetched.
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

    // The site the crawl stays on, from its start URL, once before the first fetch.
    // Redirects are followed only while they stay on its host name (any port, http or
    // https), and a user name and password written in it are sent to that host alone.
    // Without a site, a fetch's redirects stay on the host it asked.
    virtual void setSite(const char* startUrl) = 0;
    // Starts a session under the given user-agent name.
    virtual bool open(const char* agent) = 0;
    // Time-outs in milliseconds for connecting, and for a receive that delivers nothing.
    virtual bool setConnectTimeout(uint32_t milliseconds) = 0;
    virtual bool setReceiveTimeout(uint32_t milliseconds) = 0;
    // Splits an absolute URL; texts longer than a part's capacity are cut.
    virtual bool splitUrl(const char* url, UrlParts& parts) = 0;
    // Prepares a connection to host:port for the HTTP service, in the clear or over TLS.
    virtual bool connect(UrlScheme scheme, const char* host, int32_t port) = 0;
    // Prepares a request with the given verb for the path (and query) on that host.
    virtual bool openRequest(const char* verb, const char* path) = 0;
    // Sends the request, follows the redirects that stay on the site (at most 10; the
    // answer of one that may not be followed is the answer), and waits for the status
    // line and headers of the last answer.
    virtual bool send() = 0;
    // The address whose answer send() got, after the redirects it followed; empty when
    // it followed none.
    virtual const char* landedUrl() const = 0;
    // The client's own words for why send() failed, or why the body ended early; empty
    // when it has none. Never holds a password.
    virtual const char* failureReason() const = 0;
    // The status line's reason phrase, cut to fit `capacity` bytes.
    virtual bool queryStatusText(char* out, uint32_t capacity) = 0;
    virtual bool queryStatusCode(int32_t& code) = 0;
    // Reads up to `wanted` bytes of the body; delivered is 0 at the end of the body.
    virtual bool read(char* buffer, uint32_t wanted, uint32_t& delivered) = 0;
    // Ends the session, closing the connection and request opened under it.
    virtual void close() = 0;
};
