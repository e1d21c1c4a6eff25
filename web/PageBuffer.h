// The one buffer that holds the body of the page fetched last, for its scan.
#pragma once

constexpr int kPageBufferSize = 100000;   // bytes: 99,744 + 255 + 1, the longest body and its terminator
constexpr int kContinueLimit = 99744;     // bytes: reading goes on while the body is at most this long
constexpr int kReadChunk = 255;           // bytes asked for by each body read

extern char pageBuffer[kPageBufferSize];
