// The HTTP client over libcurl's easy interface: one handle, the whole GET in send(),
// the answer's status and body kept for the fetch to read.
#include "web/CurlHttpClient.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/Clock.h"
#include "base/Text.h"

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

bool startsWithNoCase(const char* text, size_t length, const char* prefix) {
    const size_t prefixLength = std::strlen(prefix);
    if (length < prefixLength) return false;
    for (size_t i = 0; i < prefixLength; ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
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

}  // namespace

// The callbacks run inside curl_easy_perform, on the caller's thread.
struct CurlCallbacks {
    // One header line at a time, for every response on the way (1xx, redirects, the
    // final one). A status line starts a new response and forgets the one before.
    static size_t onHeader(char* data, size_t size, size_t count, void* self) {
        auto& client = *static_cast<CurlHttpClient*>(self);
        const size_t length = size * count;
        client.lastActivityMs_ = monotonicMilliseconds();
        if (length >= 5 && std::memcmp(data, "HTTP/", 5) == 0) {
            client.resetAnswer();
            client.resetBody();
            parseStatusLine(client, data, length);
        } else if (startsWithNoCase(data, length, "location:")) {
            // curl follows a Location on any 3xx but 304; the next request is the real answer.
            const int32_t code = client.statusCode_;
            client.redirectAnswer_ = code >= 300 && code < 400 && code != 304;
        } else if (length <= 2 && (length == 0 || data[0] == '\r' || data[0] == '\n')) {
            client.headersComplete_ = true;
        }
        return length;
    }

    // "HTTP/1.1 404 Not Found\r\n": the number, then the server's own reason phrase.
    // HTTP/2 sends no phrase, so its text is empty.
    static void parseStatusLine(CurlHttpClient& client, const char* line, size_t length) {
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
        client.statusLineRead_ = digits == 3;
        if (pos < end && line[pos] == ' ') ++pos;
        client.statusCode_ = client.statusLineRead_ ? code : 0;
        const size_t phraseLength = std::min(end - pos, sizeof client.statusText_ - 1);
        std::memcpy(client.statusText_, line + pos, phraseLength);
        client.statusText_[phraseLength] = '\0';
    }

    // Keeps body bytes up to the store's capacity. Taking fewer bytes than offered makes
    // libcurl stop the transfer, so a page of any size never costs more than the store.
    static size_t onBody(char* data, size_t size, size_t count, void* self) {
        auto& client = *static_cast<CurlHttpClient*>(self);
        const size_t offered = size * count;
        client.lastActivityMs_ = monotonicMilliseconds();
        // A body after a redirect's head, with no status line of its own: an HTTP/0.9 answer.
        if (client.redirectAnswer_) {
            client.resetAnswer();
            client.headersComplete_ = true;
        }
        const size_t room = CurlHttpClient::kBodyCapacity - client.bodySize_;
        const size_t taken = std::min(offered, room);
        std::memcpy(client.body_.get() + client.bodySize_, data, taken);
        client.bodySize_ += taken;
        if (taken < offered) client.bodyCut_ = true;
        return taken;
    }

    // A connection was made (or reused) and a request is about to go out: from the first
    // one on, silence counts against the receive time-out, redirects included.
    static int onConnected(void* self, char*, char*, int, int) {
        auto& client = *static_cast<CurlHttpClient*>(self);
        client.connecting_ = false;
        client.lastActivityMs_ = monotonicMilliseconds();
        return CURL_PREREQFUNC_OK;
    }

    // Called at least about once a second while the transfer waits: ends a transfer that
    // has received nothing for the receive time-out, redirects and their bodies included.
    static int onProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
        auto& client = *static_cast<CurlHttpClient*>(self);
        if (client.connecting_ || client.receiveTimeoutMs_ == 0) return 0;
        const uint32_t silentMs = monotonicMilliseconds() - client.lastActivityMs_;
        if (silentMs < client.receiveTimeoutMs_) return 0;
        client.receiveTimedOut_ = true;
        return 1;
    }
};

CurlHttpClient::CurlHttpClient() : body_(new char[kBodyCapacity]) {}

CurlHttpClient::~CurlHttpClient() {
    close();
    if (curl_) curl_easy_cleanup(static_cast<CURL*>(curl_));
}

bool CurlHttpClient::open(const char* agent) {
    close();
    if (!curl_ && !(curl_ = createHandle())) return false;
    open_ = curl_easy_setopt(curl_, CURLOPT_USERAGENT, agent ? agent : "") == CURLE_OK;
    return open_;
}

// The options every fetch shares, set once on the handle that serves them all.
void* CurlHttpClient::createHandle() {
    if (!initialiseCurlOnce()) return nullptr;
    CURL* curl = curl_easy_init();
    if (!curl) return nullptr;
    bool ok = curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText_) == CURLE_OK;
    // One thread with blocking fetches: no signals for name-lookup time-outs.
    ok = ok && curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
    // Pages are crawled over the web's own protocols only, redirects included: a page
    // may move from http to https, never to a file or another service.
    ok = ok && curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMaxRedirects) == CURLE_OK;
    // A proxy's CONNECT answer is not the page's answer.
    ok = ok && curl_easy_setopt(curl, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L) == CURLE_OK;
    // The path goes out exactly as the URL was split; dot segments are the server's business.
    ok = ok && curl_easy_setopt(curl, CURLOPT_PATH_AS_IS, 1L) == CURLE_OK;
    // A server that answers without a status line still answered; the fetch says so.
    ok = ok && curl_easy_setopt(curl, CURLOPT_HTTP09_ALLOWED, 1L) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &CurlCallbacks::onHeader) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_HEADERDATA, this) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &CurlCallbacks::onBody) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_WRITEDATA, this) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_PREREQFUNCTION, &CurlCallbacks::onConnected) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_PREREQDATA, this) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &CurlCallbacks::onProgress) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_XFERINFODATA, this) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L) == CURLE_OK;
    // Proxy settings are left as libcurl reads them from the environment.
    if (!ok) {
        curl_easy_cleanup(curl);
        return nullptr;
    }
    return curl;
}

bool CurlHttpClient::setConnectTimeout(uint32_t milliseconds) {
    if (!open_) return false;
    return curl_easy_setopt(curl_, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(milliseconds)) ==
           CURLE_OK;
}

bool CurlHttpClient::setReceiveTimeout(uint32_t milliseconds) {
    if (!open_) return false;
    receiveTimeoutMs_ = milliseconds;
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

bool CurlHttpClient::connect(const char* host, int32_t port) {
    connected_ = false;
    if (!open_ || !host || host[0] == '\0' || port <= 0 || port > 65535) return false;
    if (!copyText(host_, sizeof host_, host)) return false;
    port_ = port;
    connected_ = true;
    return true;
}

bool CurlHttpClient::openRequest(const char* verb, const char* path) {
    requestOpen_ = false;
    if (!connected_ || !verb || verb[0] == '\0' || !path) return false;
    if (!copyText(verb_, sizeof verb_, verb)) return false;

    int written = std::snprintf(requestUrl_, sizeof requestUrl_, "http://%s:%d%s", host_,
                                static_cast<int>(port_), path[0] == '/' ? "" : "/");
    if (written < 0 || static_cast<size_t>(written) >= sizeof requestUrl_) return false;
    // Blanks, control bytes and bytes outside ASCII cannot stand on a request line as
    // they are; they go out percent-escaped, as a browser sends them.
    const size_t at = static_cast<size_t>(written);
    requestOpen_ = copyEscaped(requestUrl_ + at, sizeof requestUrl_ - at, path, true);
    return requestOpen_;
}

bool CurlHttpClient::send() {
    resetAnswer();
    resetBody();
    errorText_[0] = '\0';
    if (!open_ || !requestOpen_) return false;

    CURL* curl = curl_;
    bool ok = curl_easy_setopt(curl, CURLOPT_URL, requestUrl_) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(fetchLimitMs_)) == CURLE_OK;
    if (caFile_[0] != '\0') ok = ok && curl_easy_setopt(curl, CURLOPT_CAINFO, caFile_) == CURLE_OK;
    if (std::strcmp(verb_, "GET") == 0) {
        ok = ok && curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L) == CURLE_OK;
        ok = ok && curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, nullptr) == CURLE_OK;
    } else {
        ok = ok && curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, verb_) == CURLE_OK;
    }
    if (!ok) return false;

    connecting_ = true;  // the connect time-out rules until the first connection is made
    receiveTimedOut_ = false;
    lastActivityMs_ = monotonicMilliseconds();
    const CURLcode result = curl_easy_perform(curl);
    if (receiveTimedOut_) {
        copyText(errorText_, sizeof errorText_, "nothing received within the receive time-out");
    }

    // How the transfer ended decides what the fetch is told. The server answered when
    // the transfer completed, when a redirect could not be followed (a loop, too many,
    // a scheme or address that is not the web's: the 3xx is the answer), or when what
    // came was no readable status line. A transfer that ended early after the head of
    // the last answer is an answer whose body failed: reads hand out what came, then
    // fail, as when the server closes or falls silent in the middle of a page. Anything
    // else, a redirect that broke off on its way too, is a request that failed.
    const bool completed = result == CURLE_OK || (result == CURLE_WRITE_ERROR && bodyCut_);
    const bool redirectRefused = redirectAnswer_ && headersComplete_ &&
                                 (result == CURLE_TOO_MANY_REDIRECTS || result == CURLE_UNSUPPORTED_PROTOCOL ||
                                  result == CURLE_URL_MALFORMAT);
    const bool noStatusLine = !statusLineRead_ && (result == CURLE_UNSUPPORTED_PROTOCOL || result == CURLE_WEIRD_SERVER_REPLY);
    transferFailed_ = !completed && !redirectRefused && headersComplete_ && statusLineRead_ && !redirectAnswer_;
    answered_ = completed || redirectRefused || noStatusLine || transferFailed_;
    if (result == CURLE_WRITE_ERROR && bodyCut_) {
        copyText(errorText_, sizeof errorText_, "body cut at the client's capacity");
    }
    return answered_;
}

bool CurlHttpClient::queryStatusText(char* out, uint32_t capacity) {
    if (!answered_ || !statusLineRead_ || !out || capacity == 0) return false;
    copyText(out, capacity, statusText_);
    return true;
}

bool CurlHttpClient::queryStatusCode(int32_t& code) {
    if (!answered_ || !statusLineRead_) return false;
    code = statusCode_;
    return true;
}

bool CurlHttpClient::read(char* buffer, uint32_t wanted, uint32_t& delivered) {
    delivered = 0;
    if (!answered_ || !buffer) return false;
    const size_t count = std::min<size_t>(wanted, bodySize_ - readPos_);
    if (count == 0 && transferFailed_) return false;
    std::memcpy(buffer, body_.get() + readPos_, count);
    readPos_ += count;
    delivered = static_cast<uint32_t>(count);
    return true;
}

// The handle stays for the next fetch (and may keep a connection the server left open);
// everything the fetch set or received is forgotten.
void CurlHttpClient::close() {
    open_ = false;
    connecting_ = false;
    receiveTimeoutMs_ = 0;
    host_[0] = '\0';
    port_ = 0;
    connected_ = false;
    verb_[0] = '\0';
    requestUrl_[0] = '\0';
    requestOpen_ = false;
    resetAnswer();
    resetBody();
}

void CurlHttpClient::resetAnswer() {
    answered_ = false;
    statusLineRead_ = false;
    transferFailed_ = false;
    statusCode_ = 0;
    statusText_[0] = '\0';
    headersComplete_ = false;
    redirectAnswer_ = false;
}

void CurlHttpClient::resetBody() {
    bodySize_ = 0;
    readPos_ = 0;
    bodyCut_ = false;
}
