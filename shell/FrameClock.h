// The frame clock: counts frames and reports the rate once a second has passed.
#pragma once

#include <cstdint>

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
