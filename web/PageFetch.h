// One page's GET over an HttpClient, in the two steps the trace tells apart: the
// request up to the answer's status, then the body into pageBuffer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "web/HttpClient.h"

constexpr const char* kUserAgent = "netmole";
constexpr uint32_t kFetchTimeoutMs = 5000;  // ms, for connecting and for each receive

// The step of a request that failed, in the order they are taken, or Answered.
enum class RequestStep { Open, Timeouts, Split, Scheme, Connect, OpenRequest, Send, StatusText, StatusCode, Answered };

// The trace's words for a request that failed at `step`.
const char* requestFailureText(RequestStep step);

// A failure's text for the node: the trace's words, then the client's reason after
// them, if it gave one ("HttpSendRequest() failed: Couldn't connect to server"); cut
// at `capacity`.
void failureMessage(const char* text, const char* reason, char* out, size_t capacity);

// Opens a session on the client and asks for url with a GET: the time-outs, the split
// (into parts), the connection, the request, the answer's status line (statusText of
// kTextCapacity bytes) and code. Returns the step that failed, or Answered. A failed
// request closes the session again, unless it could not even be opened.
RequestStep requestPage(HttpClient& client, const char* url, UrlParts& parts, char* statusText, int32_t& statusCode);

// Asks the client for url's page ahead, with the agent and time-outs the fetch sets
// (see HttpClient::ask).
Answer askForPage(HttpClient& client, const char* url);

// How much of an answer's body was read.
enum class BodyRead {
    None,      // not even its first piece
    Whole,     // all of it, or as much as the page buffer takes
    CutShort,  // a read after the first failed (a reset, silence, the bound on a fetch): it ends there
};

// Reads the answer's body into pageBuffer, counting every byte received in `length`.
// The last byte received becomes 'x' (see PageFetch.cpp).
BodyRead readPageBody(HttpClient& client, int32_t& length);
