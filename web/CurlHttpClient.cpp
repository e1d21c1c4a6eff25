// The HTTP client over libcurl's multi interface: a handle per request, asked ahead or
// by send(), run by the multi handle whenever the program polls, the redirects that stay
// on the site followed one request at a time, the answer's status and body kept for the
// fetch to read.
#include "web/CurlHttpClient.h"

#include <curl/curl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/Clock.h"
#include "base/Text.h"
#include "web/WebAddress.h"

namespace {

// libcurl's process-wide set-up, done once by whichever client opens first. It is
// never undone: clients live until the process ends.
bool initialiseCurlOnce() {
    static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return initialised;
}

UrlScheme schemeFromName(const char* name) {
    struct Known {
        const char* name;
        UrlScheme scheme;
    };
    static constexpr Known kKnown[] = {
        {"http", UrlScheme::Http}, {"https", UrlScheme::Https}, {"ftp", UrlScheme::Ftp},
        {"gopher", UrlScheme::Gopher}, {"file", UrlScheme::File},
    };
    for (const Known& known : kKnown) {
        if (std::strcmp(known.name, name) == 0) return known.scheme;
    }
    return UrlScheme::Unknown;
}

// Reads one part of a parsed URL into a field of `capacity` bytes; a part that is
// missing leaves the field empty.
void copyUrlPart(CURLU* url, CURLUPart part, unsigned flags, char* out, size_t capacity) {
    out[0] = '\0';
    char* text = nullptr;
    if (curl_url_get(url, part, &text, flags) == CURLUE_OK && text) copyText(out, capacity, text);
    curl_free(text);
}

constexpr char kHex[] = "0123456789ABCDEF";

// Copies text into out (`capacity` bytes), percent-escaping the bytes that may not stand
// in a URL as they are: `blanks` too on a request line, only control bytes and DEL
// where the URL is split (a blank in a hand-written link is common, and escaped later).
bool copyEscaped(char* out, size_t capacity, const char* text, bool blanks) {
    size_t at = 0;
    for (const char* c = text; *c != '\0'; ++c) {
        const auto byte = static_cast<unsigned char>(*c);
        const bool escape = byte < 0x20 || byte == 0x7F || (blanks && (byte == 0x20 || byte > 0x7F));
        if (at + (escape ? 3 : 1) >= capacity) return false;
        if (escape) {
            out[at++] = '%';
            out[at++] = kHex[byte >> 4];
            out[at++] = kHex[byte & 0x0F];
        } else {
            out[at++] = *c;
        }
    }
    out[at] = '\0';
    return true;
}

bool isRedirect(int32_t code) { return code >= 300 && code < 400 && code != 304; }

bool sameHostName(const char* a, const char* b) { return a[0] != '\0' && strcasecmp(a, b) == 0; }

// The value of an environment variable, or none when it is unset or empty.
const char* environmentText(const char* name) {
    const char* value = std::getenv(name);
    return value && value[0] != '\0' ? value : nullptr;
}

// Why a request failed, in words that stay the same from one try of a page to the
// next: libcurl's error buffer, except where it adds times and ports that change with
// every try.
const char* reasonFor(CURLcode result, const char* errorBuffer) {
    switch (result) {
        case CURLE_COULDNT_RESOLVE_PROXY:
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_CONNECT:
        case CURLE_OPERATION_TIMEDOUT:
            return curl_easy_strerror(result);
        default:
            return errorBuffer[0] != '\0' ? errorBuffer : curl_easy_strerror(result);
    }
}

// Failures that the same request would meet again on any later try: a certificate
// that verification refused, an address libcurl cannot ask at all.
bool isFinal(CURLcode result) {
    switch (result) {
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_URL_MALFORMAT:
        case CURLE_UNSUPPORTED_PROTOCOL:
            return true;
        default:
            return false;
    }
}

// The port of a socket's own address (peer false) or of its peer's; -1 when unknown.
int portOf(int fd, bool peer) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    auto* any = reinterpret_cast<sockaddr*>(&address);
    if ((peer ? ::getpeername(fd, any, &length) : ::getsockname(fd, any, &length)) != 0) return -1;
    if (address.ss_family == AF_INET) return ntohs(reinterpret_cast<sockaddr_in*>(any)->sin_port);
    if (address.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(any)->sin6_port);
    return -1;
}

}  // namespace


// The callbacks run inside curl_easy_perform, on the caller's thread. Those of a
// request get its transfer; those of a socket, which may outlive the transfer that
// opened it, get the client.
struct CurlCallbacks {
    using Transfer = CurlHttpClient::Transfer;

    // One header line at a time, for every response of a request (1xx, the final one).
    // A status line starts a new response and forgets the one before.
    static size_t onHeader(char* data, size_t size, size_t count, void* self) {
        Transfer& transfer = *static_cast<Transfer*>(self);
        const size_t length = size * count;
        transfer.lastActivityMs = monotonicMilliseconds();
        if (length >= 5 && std::memcmp(data, "HTTP/", 5) == 0) {
            forgetResponse(transfer);
            parseStatusLine(transfer, data, length);
        } else if (startsWithNoCase(data, length, "location:")) {
            keepLocation(transfer, data + 9, length - 9);
        } else if (length <= 2 && (length == 0 || data[0] == '\r' || data[0] == '\n')) {
            // The head of an interim answer ("100 Continue") is no answer: the final one
            // is still to come, and silence after it is a request that got none.
            transfer.headersComplete = !transfer.statusLineRead || transfer.statusCode >= 200;
        }
        return length;
    }

    // "HTTP/1.1 404 Not Found\r\n": the number, then the server's own reason phrase.
    // HTTP/2 sends no phrase, so its text is empty.
    static void parseStatusLine(Transfer& transfer, const char* line, size_t length) {
        size_t end = length;
        while (end > 0 && (line[end - 1] == '\r' || line[end - 1] == '\n')) --end;
        size_t pos = 0;
        while (pos < end && line[pos] != ' ') ++pos;  // past the version
        while (pos < end && line[pos] == ' ') ++pos;
        int32_t code = 0;
        int digits = 0;
        while (pos < end && digits < 3 && line[pos] >= '0' && line[pos] <= '9') {
            code = code * 10 + (line[pos] - '0');
            ++pos;
            ++digits;
        }
        transfer.statusLineRead = digits == 3;
        if (pos < end && line[pos] == ' ') ++pos;
        transfer.statusCode = transfer.statusLineRead ? code : 0;
        const size_t phraseLength = std::min(end - pos, sizeof transfer.statusText - 1);
        std::memcpy(transfer.statusText, line + pos, phraseLength);
        transfer.statusText[phraseLength] = '\0';
    }

    // The Location's value without the blanks around it; one too long to keep whole is
    // marked, never followed cut.
    static void keepLocation(Transfer& transfer, const char* value, size_t length) {
        while (length > 0 && (value[0] == ' ' || value[0] == '\t')) ++value, --length;
        while (length > 0 && (value[length - 1] == '\r' || value[length - 1] == '\n' || value[length - 1] == ' ' ||
                              value[length - 1] == '\t')) {
            --length;
        }
        transfer.locationCut = length >= sizeof transfer.location;
        const size_t kept = transfer.locationCut ? 0 : length;
        std::memcpy(transfer.location, value, kept);
        transfer.location[kept] = '\0';
    }

    // Keeps body bytes up to the store's capacity. Taking fewer bytes than offered makes
    // libcurl stop the transfer, so a page of any size never costs more than the store.
    static size_t onBody(char* data, size_t size, size_t count, void* self) {
        Transfer& transfer = *static_cast<Transfer*>(self);
        const size_t offered = size * count;
        transfer.lastActivityMs = monotonicMilliseconds();
        const size_t room = CurlHttpClient::kBodyCapacity - transfer.bodySize;
        const size_t taken = std::min(offered, room);
        std::memcpy(transfer.body + transfer.bodySize, data, taken);
        transfer.bodySize += taken;
        if (taken < offered) transfer.bodyCut = true;
        return taken;
    }

    // A connection was made (or reused) and the request is about to go out: from now
    // on, silence counts against the receive time-out, and the connection's socket is
    // the one whose bytes show that something arrives.
    static int onConnected(void* self, char*, char*, int remotePort, int localPort) {
        Transfer& transfer = *static_cast<Transfer*>(self);
        transfer.connecting = false;
        transfer.socket = transfer.client->findSocket(localPort, remotePort);
        transfer.lastActivityMs = monotonicMilliseconds();
        return CURL_PREREQFUNC_OK;
    }

    // Called at least about once a second while a request waits: ends one that has
    // received nothing for the receive time-out, its body included, or that is no
    // longer wanted.
    static int onProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
        return mustEnd(*static_cast<Transfer*>(self)) ? 1 : 0;
    }

    // True, with the reason marked, for a request that Ctrl-C ended or that has received
    // nothing for the receive time-out. Asked by libcurl's progress calls, and at every
    // poll, since libcurl calls a request that nothing happens to only now and then.
    static bool mustEnd(Transfer& transfer) {
        const std::atomic<bool>* cancel = transfer.client->cancel_;
        if (cancel && cancel->load()) {
            transfer.cancelled = true;
            return true;
        }
        const uint32_t receiveTimeoutMs = transfer.request.receiveTimeoutMs;
        if (transfer.connecting || receiveTimeoutMs == 0) return false;
        const uint32_t now = monotonicMilliseconds();
        noteArrivals(transfer, now);
        if (now - transfer.lastActivityMs < receiveTimeoutMs) return false;
        transfer.receiveTimedOut = true;
        return true;
    }

    // libcurl hands a head to the header callback one whole line at a time, so a head
    // trickled in slower than a line per time-out would look silent there. The kernel
    // knows when the connection last received any byte, of a head, a body or TLS.
    static void noteArrivals(Transfer& transfer, uint32_t now) {
        if (transfer.socket < 0) return;
        tcp_info info{};
        socklen_t length = sizeof info;
        if (::getsockopt(transfer.socket, IPPROTO_TCP, TCP_INFO, &info, &length) != 0) return;
        if (info.tcpi_last_data_recv < now - transfer.lastActivityMs) transfer.lastActivityMs = now - info.tcpi_last_data_recv;
    }

    // Every socket libcurl opens, and closes, for the client's connections.
    static int onSocketOpened(void* self, curl_socket_t fd, curlsocktype) {
        static_cast<CurlHttpClient*>(self)->watchSocket(fd);
        return CURL_SOCKOPT_OK;
    }
    static int onSocketClosing(void* self, curl_socket_t fd) {
        static_cast<CurlHttpClient*>(self)->forgetSocket(fd);
        return ::close(fd);
    }

    // A new status line: what the response before it brought is forgotten.
    static void forgetResponse(Transfer& transfer) {
        transfer.statusLineRead = false;
        transfer.statusCode = 0;
        transfer.statusText[0] = '\0';
        transfer.headersComplete = false;
        transfer.location[0] = '\0';
        transfer.locationCut = false;
        transfer.bodySize = 0;
        transfer.readPos = 0;
        transfer.bodyCut = false;
    }
};


CurlHttpClient::CurlHttpClient() : bodies_(new char[kTransfers * kBodyCapacity]) {
    for (int& fd : sockets_) fd = -1;
    for (int i = 0; i < kTransfers; ++i) {
        transfers_[i].socket = -1;
        transfers_[i].body = bodies_.get() + i * kBodyCapacity;
    }
}

CurlHttpClient::~CurlHttpClient() {
    close();
    for (Transfer& transfer : transfers_) release(transfer);
    // Closes the connections kept for later requests, through onSocketClosing.
    if (multi_) curl_multi_cleanup(static_cast<CURLM*>(multi_));
    if (share_) curl_share_cleanup(static_cast<CURLSH*>(share_));
    explicit_bzero(password_, sizeof password_);
}

void CurlHttpClient::setSite(const char* startUrl) {
    siteHost_[0] = user_[0] = '\0';
    explicit_bzero(password_, sizeof password_);
    siteSecure_ = false;
    WebAddress site;
    if (!startUrl || !splitWebAddress(startUrl, site)) return;
    hostNameOf(startUrl, siteHost_, sizeof siteHost_);
    siteSecure_ = site.secure;
    credentialsOf(site, user_, sizeof user_, password_, sizeof password_);
}

bool CurlHttpClient::open(const char* agent) {
    close();
    session_ = Session{};
    open_ = setUp() && copyText(session_.request.agent, agent ? agent : "");
    return open_;
}

bool CurlHttpClient::setUp() {
    if (!initialiseCurlOnce()) return false;
    if (!multi_) {
        // Every request runs on the one multi handle, which keeps the connections a
        // server leaves open for the requests after: at most kTransfers of them, to any
        // one host and in all.
        CURLM* multi = curl_multi_init();
        if (!multi || curl_multi_setopt(multi, CURLMOPT_MAX_HOST_CONNECTIONS, static_cast<long>(kTransfers)) != CURLM_OK ||
            curl_multi_setopt(multi, CURLMOPT_MAX_TOTAL_CONNECTIONS, static_cast<long>(kTransfers)) != CURLM_OK ||
            curl_multi_setopt(multi, CURLMOPT_MAXCONNECTS, static_cast<long>(kTransfers)) != CURLM_OK) {
            if (multi) curl_multi_cleanup(multi);
            return false;
        }
        multi_ = multi;
    }
    if (!share_) {
        // Name look-ups and TLS sessions are kept for the requests after too.
        CURLSH* share = curl_share_init();
        if (share && (curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS) != CURLSHE_OK ||
                      curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION) != CURLSHE_OK)) {
            curl_share_cleanup(share);
            share = nullptr;
        }
        share_ = share;  // without one, every request looks its name up and shakes hands afresh
    }
    return true;
}

// The options every request shares, set on each transfer's new handle.
void* CurlHttpClient::createHandle(Transfer& transfer) {
    CURL* curl = curl_easy_init();
    if (!curl) return nullptr;
    transfer.client = this;
    bool ok = curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, transfer.errorText) == CURLE_OK;
    if (share_) ok = ok && curl_easy_setopt(curl, CURLOPT_SHARE, share_) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_USERAGENT, transfer.request.agent) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(transfer.request.connectTimeoutMs)) ==
                   CURLE_OK;
    // One thread: no signals for name-lookup time-outs.
    ok = ok && curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
    // Pages are crawled over the web's own protocols only.
    ok = ok && curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK;
    // Compressed bodies are welcome: libcurl offers what it can decode and decodes it,
    // so the body kept, its length and its cut at the store's size are the page's text.
    ok = ok && curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "") == CURLE_OK;
    // Redirects are followed here, one request each, so that every address is checked
    // against the site before anything is sent to it.
    ok = ok && curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L) == CURLE_OK;
    // TLS is always verified: the peer's certificate and that it names the host.
    ok = ok && curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK;
    // A certificate store named in the environment, as OpenSSL and the curl tool read
    // it, stands in for the system's: a private CA is trusted without ever switching
    // verification off.
    const char* caFile = environmentText("CURL_CA_BUNDLE");
    if (!caFile) caFile = environmentText("SSL_CERT_FILE");
    if (caFile) ok = ok && curl_easy_setopt(curl, CURLOPT_CAINFO, caFile) == CURLE_OK;
    if (const char* caDirectory = environmentText("SSL_CERT_DIR")) {
        ok = ok && curl_easy_setopt(curl, CURLOPT_CAPATH, caDirectory) == CURLE_OK;
    }
    if (caFile_[0] != '\0') ok = ok && curl_easy_setopt(curl, CURLOPT_CAINFO, caFile_) == CURLE_OK;
    // A password is sent as Basic authentication, and only where startRequest() allows it.
    ok = ok && curl_easy_setopt(curl, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC)) == CURLE_OK;
    // A proxy's CONNECT answer is not the page's answer.
    ok = ok && curl_easy_setopt(curl, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L) == CURLE_OK;
    // The path goes out exactly as the URL was split; dot segments are the server's business.
    ok = ok && curl_easy_setopt(curl, CURLOPT_PATH_AS_IS, 1L) == CURLE_OK;
    // A server that answers without a status line still answered; the fetch says so.
    ok = ok && curl_easy_setopt(curl, CURLOPT_HTTP09_ALLOWED, 1L) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &CurlCallbacks::onHeader) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &CurlCallbacks::onBody) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_PREREQFUNCTION, &CurlCallbacks::onConnected) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_PREREQDATA, &transfer) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &CurlCallbacks::onProgress) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L) == CURLE_OK;
    // A connection keeps the socket callbacks of the handle that opened it, so they
    // are handed the client, which outlives every connection.
    ok = ok && curl_easy_setopt(curl, CURLOPT_SOCKOPTFUNCTION, &CurlCallbacks::onSocketOpened) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_SOCKOPTDATA, this) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_CLOSESOCKETFUNCTION, &CurlCallbacks::onSocketClosing) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_CLOSESOCKETDATA, this) == CURLE_OK;
    // Proxy settings are left as libcurl reads them from the environment.
    if (!ok) {
        curl_easy_cleanup(curl);
        return nullptr;
    }
    return curl;
}

bool CurlHttpClient::setConnectTimeout(uint32_t milliseconds) {
    if (!open_) return false;
    session_.request.connectTimeoutMs = milliseconds;
    return true;
}

bool CurlHttpClient::setReceiveTimeout(uint32_t milliseconds) {
    if (!open_) return false;
    session_.request.receiveTimeoutMs = milliseconds;
    return true;
}

bool CurlHttpClient::splitUrl(const char* url, UrlParts& parts) {
    if (!url || !initialiseCurlOnce()) return false;
    CURLU* handle = curl_url();
    if (!handle) return false;
    // Schemes libcurl cannot fetch still split, so the caller can say what it refuses.
    // Spaces are common in hand-written links; they are escaped when the request goes out.
    const unsigned setFlags = CURLU_NON_SUPPORT_SCHEME | CURLU_ALLOW_SPACE | CURLU_PATH_AS_IS;
    char escaped[3 * 4 * kUrlPartCapacity];
    bool ok = copyEscaped(escaped, sizeof escaped, url, false) &&
              curl_url_set(handle, CURLUPART_URL, escaped, setFlags) == CURLUE_OK;
    if (ok) {
        UrlParts split;
        copyUrlPart(handle, CURLUPART_SCHEME, 0, split.schemeName, sizeof split.schemeName);
        split.scheme = schemeFromName(split.schemeName);
        copyUrlPart(handle, CURLUPART_HOST, 0, split.host, sizeof split.host);

        char number[16];
        copyUrlPart(handle, CURLUPART_PORT, CURLU_DEFAULT_PORT, number, sizeof number);
        split.port = static_cast<int32_t>(std::strtol(number, nullptr, 10));

        // The object requested is the path with its query; the fragment stays in the browser.
        char query[kUrlPartCapacity];
        copyUrlPart(handle, CURLUPART_PATH, 0, split.path, sizeof split.path);
        copyUrlPart(handle, CURLUPART_QUERY, 0, query, sizeof query);
        if (query[0] != '\0') {
            appendText(split.path, kUrlPartCapacity, "?");
            appendText(split.path, kUrlPartCapacity, query);
        }
        parts = split;
    }
    curl_url_cleanup(handle);
    return ok;
}

bool CurlHttpClient::connect(UrlScheme scheme, const char* host, int32_t port) {
    Request& request = session_.request;
    request.connected = false;
    if (!open_ || (scheme != UrlScheme::Http && scheme != UrlScheme::Https)) return false;
    if (!host || host[0] == '\0' || port <= 0 || port > 65535) return false;
    if (!copyText(request.host, host)) return false;
    request.scheme = scheme;
    request.port = port;
    request.connected = true;
    return true;
}

bool CurlHttpClient::openRequest(const char* verb, const char* path) { return openRequestOn(session_.request, verb, path); }

bool CurlHttpClient::openRequestOn(Request& request, const char* verb, const char* path) {
    request.open = false;
    if (!request.connected || !verb || verb[0] == '\0' || !path) return false;
    if (!copyText(request.verb, verb)) return false;

    int written = std::snprintf(request.url, sizeof request.url, "%s://%s:%d%s",
                                request.scheme == UrlScheme::Https ? "https" : "http", request.host,
                                static_cast<int>(request.port), path[0] == '/' ? "" : "/");
    if (written < 0 || static_cast<size_t>(written) >= sizeof request.url) return false;
    // Blanks, control bytes and bytes outside ASCII cannot stand on a request line as
    // they are; they go out percent-escaped, as a browser sends them.
    const size_t at = static_cast<size_t>(written);
    request.open = copyEscaped(request.url + at, sizeof request.url - at, path, true);
    return request.open;
}

bool CurlHttpClient::send() {
    if (!open_ || !session_.request.open) return false;
    const Request& request = session_.request;
    const uint32_t sentMs = monotonicMilliseconds();
    // The answer to the same request asked ahead is this one's, as it came; one that is
    // here before one still on its way.
    Transfer* transfer = nullptr;
    for (Transfer& held : transfers_) {
        if (held.stage != Stage::Free && !held.taken && std::strcmp(held.request.url, request.url) == 0 &&
            std::strcmp(held.request.verb, request.verb) == 0 && (!transfer || held.stage == Stage::Answered)) {
            transfer = &held;
        }
    }
    const bool askedBefore = transfer != nullptr;
    if (!transfer) transfer = start(request, "");
    if (!transfer) {
        copyText(session_.reason, "no room for another request");
        return false;
    }
    transfer->taken = true;
    session_.transfer = transfer;
    while (transfer->stage == Stage::OnItsWay) waitForNetwork(100);
    copyText(session_.reason, transfer->reason);
    session_.finalFailure = transfer->finalFailure;
    // What it spent on its way before this send(), which the fetch does not see itself.
    const uint32_t beforeMs = static_cast<int32_t>(transfer->answeredMs - sentMs) < 0 ? transfer->answeredMs : sentMs;
    session_.onItsWayMs = askedBefore ? beforeMs - transfer->startedMs : 0;
    return transfer->answered;
}

CurlHttpClient::Transfer* CurlHttpClient::freeTransfer() {
    for (Transfer& transfer : transfers_) {
        if (transfer.stage == Stage::Free) return &transfer;
    }
    return nullptr;
}

CurlHttpClient::Transfer* CurlHttpClient::start(const Request& request, const char* pageUrl) {
    Transfer* transfer = freeTransfer();
    if (!transfer || !multi_) return nullptr;
    char* const body = transfer->body;
    *transfer = Transfer{};
    transfer->body = body;
    transfer->socket = -1;
    transfer->request = request;
    copyText(transfer->pageUrl, pageUrl);
    copyText(transfer->url, request.url);
    copyText(transfer->host, request.host);
    transfer->secure = request.scheme == UrlScheme::Https;
    transfer->startedMs = monotonicMilliseconds();
    transfer->stage = Stage::OnItsWay;
    transfer->easy = createHandle(*transfer);
    if (!transfer->easy || !startRequest(*transfer)) {
        // Failed before anything went out: answered at once, with the reason.
        settle(*transfer, CURLE_FAILED_INIT);
        if (transfer->easy) curl_easy_cleanup(static_cast<CURL*>(transfer->easy));
        transfer->easy = nullptr;
        transfer->stage = Stage::Answered;
        transfer->answeredMs = transfer->startedMs;
    }
    return transfer;
}

bool CurlHttpClient::onSite(const Transfer& transfer, const char* host) const {
    return sameHostName(host, siteHost_[0] != '\0' ? siteHost_ : transfer.request.host);
}

bool CurlHttpClient::startRequest(Transfer& transfer) {
    CurlCallbacks::forgetResponse(transfer);
    transfer.errorText[0] = '\0';
    CURL* curl = transfer.easy;
    // The bound on one fetch holds for all its requests together.
    const uint32_t spentMs = monotonicMilliseconds() - transfer.startedMs;
    const long leftMs = spentMs < fetchLimitMs_ ? static_cast<long>(fetchLimitMs_ - spentMs) : 1L;
    bool ok = curl_easy_setopt(curl, CURLOPT_URL, transfer.url) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, leftMs) == CURLE_OK;
    if (std::strcmp(transfer.request.verb, "GET") == 0) {
        ok = ok && curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L) == CURLE_OK;
        ok = ok && curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, nullptr) == CURLE_OK;
    } else {
        ok = ok && curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, transfer.request.verb) == CURLE_OK;
    }
    // The user name and password go to the site's host name alone, and never in the
    // clear when the site was given on https.
    const bool credentials = (user_[0] != '\0' || password_[0] != '\0') && sameHostName(transfer.host, siteHost_) &&
                             (transfer.secure || !siteSecure_);
    ok = ok && curl_easy_setopt(curl, CURLOPT_USERNAME, credentials ? user_ : nullptr) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_PASSWORD, credentials ? password_ : nullptr) == CURLE_OK;
    if (!ok) return false;

    transfer.connecting = true;  // the connect time-out rules until a connection is made
    transfer.socket = -1;
    transfer.receiveTimedOut = false;
    transfer.lastActivityMs = monotonicMilliseconds();
    return curl_multi_add_handle(static_cast<CURLM*>(multi_), curl) == CURLM_OK;
}

void CurlHttpClient::requestDone(Transfer& transfer, int result) {
    curl_multi_remove_handle(static_cast<CURLM*>(multi_), transfer.easy);
    char next[kRequestUrlCapacity];
    if (result == CURLE_OK && transfer.redirects < kMaxRedirects && nextAddress(transfer, next)) {
        ++transfer.redirects;
        copyText(transfer.url, next);
        if (startRequest(transfer)) return;
        result = CURLE_FAILED_INIT;
    }
    settle(transfer, result);
    // The connection goes back to the multi handle's cache for the requests after.
    curl_easy_cleanup(static_cast<CURL*>(transfer.easy));
    transfer.easy = nullptr;
    transfer.stage = Stage::Answered;
    transfer.answeredMs = monotonicMilliseconds();
}

void CurlHttpClient::endEarly(Transfer& transfer) { requestDone(transfer, CURLE_ABORTED_BY_CALLBACK); }

void CurlHttpClient::drive() {
    if (!multi_ || !anyOnItsWay()) return;
    auto* multi = static_cast<CURLM*>(multi_);
    int running = 0;
    curl_multi_perform(multi, &running);
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
        if (message->msg != CURLMSG_DONE) continue;
        for (Transfer& transfer : transfers_) {
            if (transfer.stage == Stage::OnItsWay && transfer.easy == message->easy_handle) {
                requestDone(transfer, message->data.result);
                break;
            }
        }
    }
    for (Transfer& transfer : transfers_) {
        if (transfer.stage == Stage::OnItsWay && CurlCallbacks::mustEnd(transfer)) endEarly(transfer);
    }
}

bool CurlHttpClient::anyOnItsWay() const {
    for (const Transfer& transfer : transfers_) {
        if (transfer.stage == Stage::OnItsWay) return true;
    }
    return false;
}

void CurlHttpClient::poll() { drive(); }

void CurlHttpClient::waitForNetwork(uint32_t milliseconds) {
    if (multi_ && anyOnItsWay()) {
        curl_multi_poll(static_cast<CURLM*>(multi_), nullptr, 0, static_cast<int>(milliseconds), nullptr);
    } else {
        ::usleep(milliseconds * 1000);
    }
    drive();
}

bool CurlHttpClient::waitForAnswers(uint32_t milliseconds) {
    const uint32_t startMs = monotonicMilliseconds();
    while (anyOnItsWay()) {
        const uint32_t spentMs = monotonicMilliseconds() - startMs;
        if (spentMs >= milliseconds) return false;
        waitForNetwork(std::min<uint32_t>(50, milliseconds - spentMs));
    }
    return true;
}

Answer CurlHttpClient::ask(const char* url, const char* agent, uint32_t connectTimeoutMs, uint32_t receiveTimeoutMs) {
    if (!url) return Answer::Here;
    for (const Transfer& transfer : transfers_) {
        if (transfer.stage != Stage::Free && !transfer.taken && std::strcmp(transfer.pageUrl, url) == 0) {
            drive();
            return transfer.stage == Stage::OnItsWay ? Answer::OnItsWay : Answer::Here;
        }
    }
    // The request the fetch's own steps would set up; one they would refuse is not
    // asked, and the fetch then refuses it in its own words.
    Request request{};
    UrlParts parts;
    request.connectTimeoutMs = connectTimeoutMs;
    request.receiveTimeoutMs = receiveTimeoutMs;
    if (!copyText(request.agent, agent ? agent : "") || !splitUrl(url, parts) ||
        (parts.scheme != UrlScheme::Http && parts.scheme != UrlScheme::Https) || parts.host[0] == '\0' ||
        parts.port <= 0 || parts.port > 65535 || !copyText(request.host, parts.host)) {
        return Answer::Here;
    }
    request.scheme = parts.scheme;
    request.port = parts.port;
    request.connected = true;
    if (!openRequestOn(request, "GET", parts.path)) return Answer::Here;
    if (!freeTransfer()) return Answer::NoRoom;
    Transfer* transfer = setUp() ? start(request, url) : nullptr;
    if (!transfer) return Answer::Here;  // the fetch's own send() meets what failed here
    drive();  // the connection is begun now, not at the next poll
    return transfer->stage == Stage::OnItsWay ? Answer::OnItsWay : Answer::Here;
}

bool CurlHttpClient::holds(const char* url) const {
    if (!url) return false;
    for (const Transfer& transfer : transfers_) {
        if (transfer.stage != Stage::Free && !transfer.taken && std::strcmp(transfer.pageUrl, url) == 0) return true;
    }
    return false;
}

int CurlHttpClient::room() const {
    int free = 0;
    for (const Transfer& transfer : transfers_) free += transfer.stage == Stage::Free;
    return free;
}

void CurlHttpClient::forget(const char* url) {
    if (!url) return;
    for (Transfer& transfer : transfers_) {
        if (transfer.stage != Stage::Free && !transfer.taken && std::strcmp(transfer.pageUrl, url) == 0) release(transfer);
    }
}

bool CurlHttpClient::nextAddress(Transfer& transfer, char (&next)[kRequestUrlCapacity]) {
    if (!transfer.headersComplete || !transfer.statusLineRead || !isRedirect(transfer.statusCode) ||
        transfer.location[0] == '\0' || transfer.locationCut) {
        return false;
    }
    CURLU* url = curl_url();
    if (!url) return false;
    // The Location resolves against the address that answered with it, as a browser
    // resolves it; schemes that are not the web's still parse, to be refused below.
    bool ok = curl_url_set(url, CURLUPART_URL, transfer.url, CURLU_PATH_AS_IS) == CURLUE_OK &&
              curl_url_set(url, CURLUPART_URL, transfer.location, CURLU_ALLOW_SPACE | CURLU_NON_SUPPORT_SCHEME) ==
                  CURLUE_OK &&
              curl_url_set(url, CURLUPART_FRAGMENT, nullptr, 0) == CURLUE_OK;
    char* text = nullptr;
    ok = ok && curl_url_get(url, CURLUPART_URL, &text, 0) == CURLUE_OK && text;
    // Where it leads as the crawl writes addresses: no user name or password (the site's
    // own go with each request that may have them), scheme and host in lower case.
    char landed[kRequestUrlCapacity];
    ok = ok && canonicalWebAddress(text, landed, sizeof landed) && std::strlen(landed) < sizeof transfer.landed;
    curl_free(text);
    curl_url_cleanup(url);
    // A redirect to another host, or to anything but http and https, is not followed.
    char host[kUrlPartCapacity];
    if (ok) hostNameOf(landed, host, sizeof host);
    if (!ok || !onSite(transfer, host) || !copyEscaped(next, sizeof next, landed, true)) return false;
    copyText(transfer.landed, landed);
    copyText(transfer.host, host);
    transfer.secure = std::strncmp(landed, "https:", 6) == 0;
    return true;
}

void CurlHttpClient::settle(Transfer& transfer, int code) {
    const auto result = static_cast<CURLcode>(code);
    // The server answered when the last request completed with a final answer (a
    // redirect that was not followed is an answer too; an interim "100 Continue" is
    // not), or when what came was no readable status line. A request that ended early
    // after the whole head of its answer is an answer whose body failed: reads hand out
    // what came, then fail, as when the server closes or falls silent in the middle of
    // a page. Not so a redirect's, which never got to the page. Anything else is a
    // request that failed.
    const bool interimOnly = transfer.statusLineRead && !transfer.headersComplete;
    const bool completed = (result == CURLE_OK || (result == CURLE_WRITE_ERROR && transfer.bodyCut)) && !interimOnly;
    const bool noStatusLine = !transfer.statusLineRead &&
                              (result == CURLE_UNSUPPORTED_PROTOCOL || result == CURLE_WEIRD_SERVER_REPLY);
    const bool redirect = isRedirect(transfer.statusCode) && transfer.location[0] != '\0';
    transfer.bodyFailed = !completed && transfer.headersComplete && transfer.statusLineRead && !redirect;
    transfer.answered = completed || noStatusLine || transfer.bodyFailed;
    transfer.finalFailure = !transfer.answered && isFinal(result);
    if (transfer.cancelled) {
        copyText(transfer.reason, "interrupted");
    } else if (transfer.receiveTimedOut) {
        copyText(transfer.reason, "nothing received within the receive time-out");
    } else if (result == CURLE_WRITE_ERROR && transfer.bodyCut) {
        copyText(transfer.reason, "body cut at the client's capacity");
    } else if (result == CURLE_OPERATION_TIMEDOUT && !transfer.connecting) {
        std::snprintf(transfer.reason, sizeof transfer.reason, "the fetch took longer than %g s", fetchLimitMs_ / 1000.0);
    } else if (result == CURLE_OK && interimOnly) {
        copyText(transfer.reason, "no answer after the interim one");
    } else if (completed) {
        transfer.reason[0] = '\0';
    } else {
        copyText(transfer.reason, reasonFor(result, transfer.errorText));
    }
}

bool CurlHttpClient::queryStatusText(char* out, uint32_t capacity) {
    const Transfer* transfer = session_.transfer;
    if (!transfer || !transfer->answered || !transfer->statusLineRead || !out || capacity == 0) return false;
    copyText(out, capacity, transfer->statusText);
    return true;
}

bool CurlHttpClient::queryStatusCode(int32_t& code) {
    const Transfer* transfer = session_.transfer;
    if (!transfer || !transfer->answered || !transfer->statusLineRead) return false;
    code = transfer->statusCode;
    return true;
}

bool CurlHttpClient::read(char* buffer, uint32_t wanted, uint32_t& delivered) {
    delivered = 0;
    Transfer* transfer = session_.transfer;
    if (!transfer || !transfer->answered || !buffer) return false;
    const size_t count = std::min<size_t>(wanted, transfer->bodySize - transfer->readPos);
    if (count == 0 && transfer->bodyFailed) return false;
    std::memcpy(buffer, transfer->body + transfer->readPos, count);
    transfer->readPos += count;
    delivered = static_cast<uint32_t>(count);
    return true;
}

// The session's transfer goes, its store free for the next request; how it ended stays
// for the fetch to report.
void CurlHttpClient::close() {
    open_ = false;
    if (session_.transfer) release(*session_.transfer);
    session_.transfer = nullptr;
}

void CurlHttpClient::release(Transfer& transfer) {
    if (transfer.easy) {
        curl_multi_remove_handle(static_cast<CURLM*>(multi_), transfer.easy);
        curl_easy_cleanup(static_cast<CURL*>(transfer.easy));
    }
    char* const body = transfer.body;
    transfer = Transfer{};
    transfer.body = body;
    transfer.socket = -1;
}

void CurlHttpClient::watchSocket(int fd) {
    for (int& slot : sockets_) {
        if (slot < 0) {
            slot = fd;
            return;
        }
    }
    // More connections than slots: this one's silence is judged by whole header lines
    // and body pieces alone, as libcurl hands them over.
}

void CurlHttpClient::forgetSocket(int fd) {
    for (int& slot : sockets_) {
        if (slot == fd) slot = -1;
    }
}

int CurlHttpClient::findSocket(int localPort, int remotePort) const {
    for (const int fd : sockets_) {
        if (fd >= 0 && portOf(fd, false) == localPort && portOf(fd, true) == remotePort) return fd;
    }
    return -1;
}
