// A page slot's own work: its reset, its fetch with the level it is given, the scan of
// its HTML one tag per step, and the resolution of the links found on it.
#include "webspace/PageNode.h"

#include <cstring>

#include "base/DebugLog.h"
#include "web/HtmlScan.h"
#include "web/PageBuffer.h"
#include "web/PageFetch.h"
#include "web/UrlResolve.h"
#include "webspace/Webspace.h"

void PageNode::reset() {
    std::memset(static_cast<void*>(this), 0, sizeof(PageNode));
    state = PageState::Empty;
    copyText(title, "No Title");
    copyText(message, "No Errors");
    copyText(statusText, "No Status");
    copyText(host, "empty");
    copyText(url, "empty");
    copyText(path, "empty");
    copyText(currentLink, "No Links");
    position = Vector3(25.0f, 0.0f, 25.0f);
    screen = Vector3(-10.0f, 0.0f, 0.0f);
}

void PageNode::setMessage(const char* text) {
    copyText(message, text);
    logMessage(text, kOk);
}

void PageNode::failWith(const char* text, const char* reason) {
    char withReason[kTextCapacity];
    failureMessage(text, reason, withReason, sizeof withReason);
    setMessage(withReason);
}

void PageNode::computeDir() {
    copyText(dir, baseUrl());
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

    const RequestStep reached = client ? requestPage(*client, url, urlParts, statusText, statusCode) : RequestStep::Open;
    // Host and path are shown even for a URL that is not fetched.
    if (reached > RequestStep::Split) {
        copyText(path, urlParts.path);
        copyText(host, urlParts.host);
    }
    if (reached != RequestStep::Answered) {
        failWith(requestFailureText(reached), reached == RequestStep::Send ? client->failureReason() : "");
        return 0;
    }
    // A page that moved answers from where its redirects landed: its links resolve
    // there, and its directory is taken from there. The node keeps the address asked for.
    copyText(landedUrl, client->landedUrl()[0] != '\0' ? client->landedUrl() : url);
    if (std::strcmp(landedUrl, url) != 0) {
        logMessage("landed at", kOk);
        logMessage(landedUrl, kOk);
    }
    // Any answer but 200 counts as answered: the node is placed, red, with no body.
    if (statusCode != 200) {
        setMessage("File Not Found");
        client->close();
        return 1;
    }

    // The level is given before the body is read, so a page whose body fails keeps it
    // for its next try.
    computeDir();
    assignLevel(space);
    if (!readPageBody(*client, length)) {
        failWith("InternetReadFile() failed: didn't get page", client->failureReason());
        client->close();
        return 0;
    }
    client->close();
    logMessage("got page", kOk);
    logMessage(message, kOk);
    logMessage("finding links", kOk);
    return 1;
}

bool PageNode::scanStep(const Webspace& space) {
    // The title is taken once, on the first step, and cut at the field's capacity.
    if (scanPos == 0) findTitle(pageBuffer, title, sizeof title);
    char tag[kTagCollectLimit + 1];
    bool tagEnded = false;
    const int32_t end = length < kPageBufferSize ? length : kPageBufferSize;
    if (!scanToNextTag(pageBuffer, end, scanPos, tag, tagEnded)) return true;
    if (tagEnded) {
        copyText(currentTag, tag);
        scanTag(space, tag);
    }
    return false;
}

void PageNode::scanTag(const Webspace& space, const char* tag) {
    // Only links of an HREF are written to the trace; a frame's source is kept quietly.
    if (hrefOfTag(tag, currentLink, sizeof currentLink) && resolveLink(space, currentLink) && linkCount < kMaxLinks) {
        logMessage(currentLink, kOk);
        copyText(links[linkCount].url, currentLink);
        ++linkCount;
    }
    if (frameSourceOfTag(tag, currentLink, sizeof currentLink) && resolveLink(space, currentLink) &&
        linkCount < kMaxLinks) {
        copyText(links[linkCount].url, currentLink);
        ++linkCount;
    }
}

bool PageNode::resolveLink(const Webspace& space, char* link) const {
    return ::resolveLink(LinkSource{baseUrl(), level}, space.siteHost, link);
}
