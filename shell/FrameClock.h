// The frame clock: counts frames and reports the rate once a second has passed.
#pragma once

#include <time.h>

#include <cstdint>

// Milliseconds since the system started, wrapping at 32 bits: the frame clock's and the
// crawl's one clock. Counted from long before the first frame, so the first frame's
// delta passes a second and the rate reads 1, not 0, during the first second.
inline uint32_t monotonicMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u);
}

struct FrameClock {
    uint32_t lastTime = 0;         // ms
    uint32_t frameDelta = 0;       // ms
    uint32_t accumulated = 0;      // ms since the rate was last reported
    uint32_t framesCounted = 0;
    uint32_t framesPerSecond = 0;

    // One frame at time now (ms, wrapping). The remainder above a second is dropped.
    void tick(uint32_t now) {
        frameDelta = now - lastTime;
        lastTime = now;
        accumulated += frameDelta;
        framesCounted += 1;
        if (accumulated > 1000) {
            framesPerSecond = framesCounted;
            framesCounted = 0;
            accumulated = 0;
        }
    }
};
