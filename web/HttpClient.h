// The HTTP client that a page fetch talks to: exactly the operations the fetch needs,
// in the order it uses them. One object serves one fetch at a time; open() begins a
// session and close() ends it with everything opened under it. A client may also ask
// for pages ahead, so that their answers travel while the program goes on and the fetch
// of such a page only takes what came. The real client is libcurl's
// (web/CurlHttpClient.h); tests wrap it to fail the steps no server can fail.
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

// Where the answer to a page asked ahead stands.
enum class Answer {
    Here,      // the fetch can run now: the answer came, or nothing was asked (the fetch asks itself)
    OnItsWay,  // asked, and not yet complete
    NoRoom,    // not asked: the client holds as many requests as it takes
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
    // True when send() failed in a way no later try can change: the server's
    // certificate was refused, or the address is none the client can ask. A client
    // that cannot tell says false, and the page is tried again.
    virtual bool failureIsFinal() const { return false; }
    // The status line's reason phrase, cut to fit `capacity` bytes.
    virtual bool queryStatusText(char* out, uint32_t capacity) = 0;
    virtual bool queryStatusCode(int32_t& code) = 0;
    // Reads up to `wanted` bytes of the body; delivered is 0 at the end of the body.
    virtual bool read(char* buffer, uint32_t wanted, uint32_t& delivered) = 0;
    // Ends the session, closing the connection and request opened under it.
    virtual void close() = 0;

    // Asking ahead. A client that can have requests on their way while the program goes
    // on starts the GET for url here, with the agent and time-outs that the fetch's own
    // steps set, and says where its answer stands; asked again, it moves its requests
    // along and says so again. The fetch of url then takes that answer at send(), as it
    // came, instead of asking once more. A client that cannot ask ahead says Here, and
    // the fetch asks and waits itself.
    virtual Answer ask(const char* /*url*/, const char* /*agent*/, uint32_t /*connectTimeoutMs*/,
                       uint32_t /*receiveTimeoutMs*/) {
        return Answer::Here;
    }
    // How long the answer that send() took was on its way before the fetch began: 0
    // when send() asked itself. Kept after close().
    virtual uint32_t onItsWayMs() const { return 0; }
    // Whether the client holds a request asked for url, on its way or answered.
    virtual bool holds(const char* /*url*/) const { return false; }
    // How many more pages it could ask for now.
    virtual int room() const { return 0; }
    // Drops what it still holds for url, once the fetch of url is over.
    virtual void forget(const char* /*url*/) {}
    // Moves the requests on their way along without waiting: once a frame.
    virtual void poll() {}
};
