// The page fetch's request and body steps, and the page buffer they fill.
#include "web/PageFetch.h"

#include <cstring>

#include "base/Text.h"
#include "web/PageBuffer.h"

char pageBuffer[kPageBufferSize];

namespace {

// Appends a chunk of the body to the text in pageBuffer, which ends at textEnd, and
// returns the new end. The body is text: a chunk is taken up to its first NUL byte,
// while the page's length counts every byte received. The end is carried along so
// that a long page costs no search for it per chunk.
size_t appendChunk(size_t textEnd, const char* chunk, uint32_t delivered) {
    const void* nul = std::memchr(chunk, '\0', delivered);
    size_t count = nul ? static_cast<size_t>(static_cast<const char*>(nul) - chunk) : delivered;
    if (count > kPageBufferSize - 1 - textEnd) count = kPageBufferSize - 1 - textEnd;
    std::memcpy(pageBuffer + textEnd, chunk, count);
    textEnd += count;
    pageBuffer[textEnd] = '\0';
    return textEnd;
}

// The steps after the session is open; the step that failed, or Answered.
RequestStep request(HttpClient& client, const char* url, UrlParts& parts, char* statusText, int32_t& statusCode) {
    if (!client.setConnectTimeout(kFetchTimeoutMs) || !client.setReceiveTimeout(kFetchTimeoutMs)) {
        return RequestStep::Timeouts;
    }
    if (!client.splitUrl(url, parts)) return RequestStep::Split;
    if (parts.scheme != UrlScheme::Http && parts.scheme != UrlScheme::Https) return RequestStep::Scheme;
    if (!client.connect(parts.scheme, parts.host, parts.port)) return RequestStep::Connect;
    if (!client.openRequest("GET", parts.path)) return RequestStep::OpenRequest;
    if (!client.send()) return RequestStep::Send;
    if (!client.queryStatusText(statusText, kTextCapacity)) return RequestStep::StatusText;
    if (!client.queryStatusCode(statusCode)) return RequestStep::StatusCode;
    return RequestStep::Answered;
}

}  // namespace

const char* requestFailureText(RequestStep step) {
    switch (step) {
        case RequestStep::Open: return "InternetOpen() failed";
        case RequestStep::Timeouts: return "InternetConnect() failed";
        case RequestStep::Split: return "InternetCrackURL() failed";
        case RequestStep::Scheme: return "USE HTTP-URL Local-File";
        case RequestStep::Connect: return "InternetConnect() failed";
        case RequestStep::OpenRequest: return "HttpOpenRequest() failed";
        case RequestStep::Send: return "HttpSendRequest() failed:";
        case RequestStep::StatusText: return "HttpQueryInfo() failed: ";
        case RequestStep::StatusCode: return "HttpQueryInfo() failed: Couldn't get statusCODE ";
        case RequestStep::Answered: break;
    }
    return "";
}

void failureMessage(const char* text, const char* reason, char* out, size_t capacity) {
    copyText(out, capacity, text);
    if (!reason || reason[0] == '\0') return;
    const size_t length = std::strlen(out);
    appendText(out, capacity, length > 0 && out[length - 1] == ':' ? " " : ": ");
    appendText(out, capacity, reason);
}

RequestStep requestPage(HttpClient& client, const char* url, UrlParts& parts, char* statusText, int32_t& statusCode) {
    if (!client.open(kUserAgent)) return RequestStep::Open;
    const RequestStep reached = request(client, url, parts, statusText, statusCode);
    if (reached != RequestStep::Answered) client.close();
    return reached;
}

Answer askForPage(HttpClient& client, const char* url) {
    return client.ask(url, kUserAgent, kFetchTimeoutMs, kFetchTimeoutMs);
}

BodyRead readPageBody(HttpClient& client, int32_t& length) {
    char chunk[kReadChunk];
    uint32_t delivered = 0;
    if (!client.read(chunk, kReadChunk, delivered)) return BodyRead::None;
    if (delivered > kReadChunk) delivered = kReadChunk;
    pageBuffer[0] = '\0';
    size_t textEnd = appendChunk(0, chunk, delivered);
    length += static_cast<int32_t>(delivered);

    // A failed read ends the body; what came before it is kept.
    BodyRead read = BodyRead::Whole;
    while (delivered > 0 && length <= kContinueLimit) {
        if (!client.read(chunk, kReadChunk, delivered)) {
            delivered = 0;
            read = BodyRead::CutShort;
        }
        if (delivered > kReadChunk) delivered = kReadChunk;
        textEnd = appendChunk(textEnd, chunk, delivered);
        length += static_cast<int32_t>(delivered);
    }

    // The scan reads up to `length`: past the end of the text (a NUL in a binary body) it
    // must find nothing, not what the page before left in the buffer.
    if (textEnd < static_cast<size_t>(length)) std::memset(pageBuffer + textEnd, 0, length - textEnd);

    // The last byte received is overwritten with 'x': the scan must never complete the
    // page's final tag, which may have been cut off by the size limit. An empty body
    // has no byte to mark and stays empty.
    if (length > 0 && length < kPageBufferSize) {
        pageBuffer[length - 1] = 'x';
        pageBuffer[length] = '\0';
    } else if (length == 0) {
        pageBuffer[0] = '\0';
    }
    return read;
}
