// The HTTP client over libcurl's easy interface: one handle, the whole GET in send()
// with the redirects it follows on the site, the answer's status and body kept for the
// fetch to read.
#include "web/CurlHttpClient.h"

#include <curl/curl.h>
#include <strings.h>

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

}  // namespace

// The callbacks run inside curl_easy_perform, on the caller's thread.
struct CurlCallbacks {
    // One header line at a time, for every response of a request (1xx, the final one).
    // A status line starts a new response and forgets the one before.
    static size_t onHeader(char* data, size_t size, size_t count, void* self) {
        auto& client = *static_cast<CurlHttpClient*>(self);
        CurlHttpClient::Transfer& transfer = client.transfer_;
        const size_t length = size * count;
        transfer.lastActivityMs = monotonicMilliseconds();
        if (length >= 5 && std::memcmp(data, "HTTP/", 5) == 0) {
            client.forgetResponse();
            parseStatusLine(transfer, data, length);
        } else if (startsWithNoCase(data, length, "location:")) {
            keepLocation(transfer, data + 9, length - 9);
        } else if (length <= 2 && (length == 0 || data[0] == '\r' || data[0] == '\n')) {
            transfer.headersComplete = true;
        }
        return length;
    }

    // "HTTP/1.1 404 Not Found\r\n": the number, then the server's own reason phrase.
    // HTTP/2 sends no phrase, so its text is empty.
    static void parseStatusLine(CurlHttpClient::Transfer& transfer, const char* line, size_t length) {
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
    static void keepLocation(CurlHttpClient::Transfer& transfer, const char* value, size_t length) {
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
        auto& client = *static_cast<CurlHttpClient*>(self);
        CurlHttpClient::Transfer& transfer = client.transfer_;
        const size_t offered = size * count;
        transfer.lastActivityMs = monotonicMilliseconds();
        const size_t room = CurlHttpClient::kBodyCapacity - transfer.bodySize;
        const size_t taken = std::min(offered, room);
        std::memcpy(client.body_.get() + transfer.bodySize, data, taken);
        transfer.bodySize += taken;
        if (taken < offered) transfer.bodyCut = true;
        return taken;
    }

    // A connection was made (or reused) and the request is about to go out: from now
    // on, silence counts against the receive time-out.
    static int onConnected(void* self, char*, char*, int, int) {
        CurlHttpClient::Transfer& transfer = static_cast<CurlHttpClient*>(self)->transfer_;
        transfer.connecting = false;
        transfer.lastActivityMs = monotonicMilliseconds();
        return CURL_PREREQFUNC_OK;
    }

    // Called at least about once a second while a request waits: ends one that has
    // received nothing for the receive time-out, its body included.
    static int onProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
        auto& client = *static_cast<CurlHttpClient*>(self);
        CurlHttpClient::Transfer& transfer = client.transfer_;
        if (transfer.connecting || client.receiveTimeoutMs_ == 0) return 0;
        const uint32_t silentMs = monotonicMilliseconds() - transfer.lastActivityMs;
        if (silentMs < client.receiveTimeoutMs_) return 0;
        transfer.receiveTimedOut = true;
        return 1;
    }
};

CurlHttpClient::CurlHttpClient() : body_(new char[kBodyCapacity]) {}

CurlHttpClient::~CurlHttpClient() {
    close();
    if (curl_) curl_easy_cleanup(static_cast<CURL*>(curl_));
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
    transfer_.errorText[0] = '\0';
    if (!curl_ && !(curl_ = createHandle())) return false;
    open_ = curl_easy_setopt(curl_, CURLOPT_USERAGENT, agent ? agent : "") == CURLE_OK;
    return open_;
}

// The options every fetch shares, set once on the handle that serves them all.
void* CurlHttpClient::createHandle() {
    if (!initialiseCurlOnce()) return nullptr;
    CURL* curl = curl_easy_init();
    if (!curl) return nullptr;
    bool ok = curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, transfer_.errorText) == CURLE_OK;
    // One thread with blocking fetches: no signals for name-lookup time-outs.
    ok = ok && curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
    // Pages are crawled over the web's own protocols only.
    ok = ok && curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK;
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
    // A password is sent as Basic authentication, and only where perform() allows it.
    ok = ok && curl_easy_setopt(curl, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC)) == CURLE_OK;
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

bool CurlHttpClient::connect(UrlScheme scheme, const char* host, int32_t port) {
    connected_ = false;
    if (!open_ || (scheme != UrlScheme::Http && scheme != UrlScheme::Https)) return false;
    if (!host || host[0] == '\0' || port <= 0 || port > 65535) return false;
    if (!copyText(host_, sizeof host_, host)) return false;
    scheme_ = scheme;
    port_ = port;
    connected_ = true;
    return true;
}

bool CurlHttpClient::openRequest(const char* verb, const char* path) {
    requestOpen_ = false;
    if (!connected_ || !verb || verb[0] == '\0' || !path) return false;
    if (!copyText(verb_, sizeof verb_, verb)) return false;

    int written = std::snprintf(requestUrl_, sizeof requestUrl_, "%s://%s:%d%s",
                                scheme_ == UrlScheme::Https ? "https" : "http", host_, static_cast<int>(port_),
                                path[0] == '/' ? "" : "/");
    if (written < 0 || static_cast<size_t>(written) >= sizeof requestUrl_) return false;
    // Blanks, control bytes and bytes outside ASCII cannot stand on a request line as
    // they are; they go out percent-escaped, as a browser sends them.
    const size_t at = static_cast<size_t>(written);
    requestOpen_ = copyEscaped(requestUrl_ + at, sizeof requestUrl_ - at, path, true);
    return requestOpen_;
}

bool CurlHttpClient::send() {
    Transfer& transfer = transfer_;
    transfer = Transfer{};
    if (!open_ || !requestOpen_) return false;
    copyText(transfer.url, requestUrl_);
    copyText(transfer.host, host_);
    transfer.secure = scheme_ == UrlScheme::Https;
    transfer.startedMs = monotonicMilliseconds();

    int result = perform();
    char next[kRequestUrlCapacity];
    while (result == CURLE_OK && transfer.redirects < kMaxRedirects && nextAddress(next)) {
        ++transfer.redirects;
        copyText(transfer.url, next);
        result = perform();
    }
    return settle(result);
}

bool CurlHttpClient::onSite(const char* host) const {
    return sameHostName(host, siteHost_[0] != '\0' ? siteHost_ : host_);
}

int CurlHttpClient::perform() {
    Transfer& transfer = transfer_;
    forgetResponse();
    transfer.errorText[0] = '\0';
    CURL* curl = curl_;
    // The bound on one fetch holds for all its requests together.
    const uint32_t spentMs = monotonicMilliseconds() - transfer.startedMs;
    const long leftMs = spentMs < fetchLimitMs_ ? static_cast<long>(fetchLimitMs_ - spentMs) : 1L;
    bool ok = curl_easy_setopt(curl, CURLOPT_URL, transfer.url) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, leftMs) == CURLE_OK;
    if (caFile_[0] != '\0') ok = ok && curl_easy_setopt(curl, CURLOPT_CAINFO, caFile_) == CURLE_OK;
    if (std::strcmp(verb_, "GET") == 0) {
        ok = ok && curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L) == CURLE_OK;
        ok = ok && curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, nullptr) == CURLE_OK;
    } else {
        ok = ok && curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, verb_) == CURLE_OK;
    }
    // The user name and password go to the site's host name alone, and never in the
    // clear when the site was given on https.
    const bool credentials = (user_[0] != '\0' || password_[0] != '\0') && sameHostName(transfer.host, siteHost_) &&
                             (transfer.secure || !siteSecure_);
    ok = ok && curl_easy_setopt(curl, CURLOPT_USERNAME, credentials ? user_ : nullptr) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_PASSWORD, credentials ? password_ : nullptr) == CURLE_OK;
    if (!ok) return CURLE_FAILED_INIT;

    transfer.connecting = true;  // the connect time-out rules until a connection is made
    transfer.receiveTimedOut = false;
    transfer.lastActivityMs = monotonicMilliseconds();
    return curl_easy_perform(curl);
}

bool CurlHttpClient::nextAddress(char (&next)[kRequestUrlCapacity]) {
    Transfer& transfer = transfer_;
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
    if (!ok || !onSite(host) || !copyEscaped(next, sizeof next, landed, true)) return false;
    copyText(transfer.landed, landed);
    copyText(transfer.host, host);
    transfer.secure = std::strncmp(landed, "https:", 6) == 0;
    return true;
}

bool CurlHttpClient::settle(int code) {
    Transfer& transfer = transfer_;
    const auto result = static_cast<CURLcode>(code);
    // The server answered when the last request completed (a redirect that was not
    // followed is an answer too), or when what came was no readable status line. A
    // request that ended early after the whole head of its answer is an answer whose
    // body failed: reads hand out what came, then fail, as when the server closes or
    // falls silent in the middle of a page. Not so a redirect's, which never got to the
    // page. Anything else is a request that failed.
    const bool completed = result == CURLE_OK || (result == CURLE_WRITE_ERROR && transfer.bodyCut);
    const bool noStatusLine = !transfer.statusLineRead &&
                              (result == CURLE_UNSUPPORTED_PROTOCOL || result == CURLE_WEIRD_SERVER_REPLY);
    const bool redirect = isRedirect(transfer.statusCode) && transfer.location[0] != '\0';
    transfer.bodyFailed = !completed && transfer.headersComplete && transfer.statusLineRead && !redirect;
    transfer.answered = completed || noStatusLine || transfer.bodyFailed;
    if (transfer.receiveTimedOut) {
        copyText(transfer.errorText, "nothing received within the receive time-out");
    } else if (result == CURLE_WRITE_ERROR && transfer.bodyCut) {
        copyText(transfer.errorText, "body cut at the client's capacity");
    } else if (completed) {
        transfer.errorText[0] = '\0';
    } else {
        copyText(transfer.errorText, reasonFor(result, transfer.errorText));
    }
    return transfer.answered;
}

bool CurlHttpClient::queryStatusText(char* out, uint32_t capacity) {
    if (!transfer_.answered || !transfer_.statusLineRead || !out || capacity == 0) return false;
    copyText(out, capacity, transfer_.statusText);
    return true;
}

bool CurlHttpClient::queryStatusCode(int32_t& code) {
    if (!transfer_.answered || !transfer_.statusLineRead) return false;
    code = transfer_.statusCode;
    return true;
}

bool CurlHttpClient::read(char* buffer, uint32_t wanted, uint32_t& delivered) {
    Transfer& transfer = transfer_;
    delivered = 0;
    if (!transfer.answered || !buffer) return false;
    const size_t count = std::min<size_t>(wanted, transfer.bodySize - transfer.readPos);
    if (count == 0 && transfer.bodyFailed) return false;
    std::memcpy(buffer, body_.get() + transfer.readPos, count);
    transfer.readPos += count;
    delivered = static_cast<uint32_t>(count);
    return true;
}

// The handle stays for the next fetch (and may keep a connection the server left open);
// everything the fetch set or received is forgotten, but for why it failed, which the
// fetch reports after closing.
void CurlHttpClient::close() {
    open_ = false;
    receiveTimeoutMs_ = 0;
    scheme_ = UrlScheme::Unknown;
    host_[0] = '\0';
    port_ = 0;
    connected_ = false;
    verb_[0] = '\0';
    requestUrl_[0] = '\0';
    requestOpen_ = false;
    char reason[sizeof transfer_.errorText];
    copyText(reason, transfer_.errorText);
    transfer_ = Transfer{};
    copyText(transfer_.errorText, reason);
}

// A new status line: what the response before it brought is forgotten.
void CurlHttpClient::forgetResponse() {
    Transfer& transfer = transfer_;
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
