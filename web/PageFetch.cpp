#include <cstring>

#include "base/DebugLog.h"
#include "web/HttpClient.h"
#include "web/PageBuffer.h"
#include "webspace/Webspace.h"

char pageBuffer[kPageBufferSize];

namespace {

constexpr const char* kAgent = "netmole";
constexpr uint32_t kTimeoutMs = 5000;  // ms, for connecting and for each receive

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

}  // namespace

void PageNode::setMessage(const char* text) {
    copyText(message, text);
    logMessage(text, kOk);
}

void PageNode::computeDir() {
    copyText(dir, url);
    // The first character is never looked at, so a URL without any other '/' keeps it all.
    for (int i = static_cast<int>(std::strlen(dir)) - 1; i >= 1; --i) {
        if (dir[i] == '/') {
            dir[i + 1] = '\0';
            return;
        }
    }
}

void PageNode::assignLevel(Webspace& space) {
    for (int i = 0; i < space.maxPages; ++i) {
        const PageNode& other = space.pages[i];
        if (other.state != PageState::Empty && other.level > 0 && std::strcmp(other.dir, dir) == 0) {
            level = other.level;
            return;
        }
    }
    // A new directory: levels 1 to 49 are handed out once each, every later one gets 50.
    level = space.nextLevel;
    if (space.nextLevel < kLevelCap) ++space.nextLevel;
}

int PageNode::fetch(Webspace& space, HttpClient* client) {
    logMessage("------------------------------", kOk);
    logMessage("getting page", kOk);
    logMessage(url, kOk);
    copyText(pageBuffer, "not found");

    if (!client || !client->open(kAgent)) {
        setMessage("InternetOpen() failed");
        return 0;
    }
    // Every failure from here on closes the session before returning.
    auto fail = [&](const char* text, int result) {
        setMessage(text);
        client->close();
        return result;
    };

    if (!client->setConnectTimeout(kTimeoutMs) || !client->setReceiveTimeout(kTimeoutMs)) {
        return fail("InternetConnect() failed", 0);
    }
    if (!client->splitUrl(url, urlParts)) return fail("InternetCrackURL() failed", 0);
    // Host and path are shown even for a URL that is not fetched.
    copyText(path, urlParts.path);
    copyText(host, urlParts.host);
    if (urlParts.scheme != UrlScheme::Http) return fail("USE HTTP-URL Local-File", 0);
    if (!client->connect(urlParts.host, urlParts.port)) return fail("InternetConnect() failed", 0);
    if (!client->openRequest("GET", urlParts.path)) return fail("HttpOpenRequest() failed", 0);
    if (!client->send()) return fail("HttpSendRequest() failed:", 0);
    if (!client->queryStatusText(statusText, kTextCapacity)) return fail("HttpQueryInfo() failed: ", 0);
    if (!client->queryStatusCode(statusCode)) {
        return fail("HttpQueryInfo() failed: Couldn't get statusCODE ", 0);
    }
    // Any answer but 200 counts as answered: the node is placed, red, with no body.
    if (statusCode != 200) return fail("File Not Found", 1);

    computeDir();
    assignLevel(space);

    char chunk[kReadChunk];
    uint32_t delivered = 0;
    if (!client->read(chunk, kReadChunk, delivered)) {
        return fail("InternetReadFile() failed: didn't get page", 0);
    }
    if (delivered > kReadChunk) delivered = kReadChunk;
    pageBuffer[0] = '\0';
    size_t textEnd = appendChunk(0, chunk, delivered);
    length += static_cast<int32_t>(delivered);

    // A failed read simply ends the body.
    while (delivered > 0 && length <= kContinueLimit) {
        if (!client->read(chunk, kReadChunk, delivered)) delivered = 0;
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

    client->close();
    logMessage("got page", kOk);
    logMessage(message, kOk);
    logMessage("finding links", kOk);
    return 1;
}
