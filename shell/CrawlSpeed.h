// How many crawl steps a frame runs. One step a frame lets the user watch a small site
// grow tag by tag; a large one would take hours at that pace, so + and - (on the main
// keyboard or the keypad) step through faster paces, up to as many steps as fit in a
// share of the frame that keeps the window smooth.
#pragma once

#include <cstdint>

#include "input/Input.h"

constexpr int kCrawlSpeedCount = 6;
// Steps a frame at each speed; the last runs steps until the frame's budget is spent.
constexpr int32_t kStepsPerFrame[kCrawlSpeedCount] = {1, 4, 16, 64, 256, INT32_MAX};
constexpr const char* kCrawlSpeedLabels[kCrawlSpeedCount] = {"Speed: x1",  "Speed: x4",   "Speed: x16",
                                                             "Speed: x64", "Speed: x256", "Speed: max"};
constexpr uint32_t kCrawlBudgetMs = 8;  // ms of a frame that steps may take, counted from its start

class CrawlSpeed {
public:
    // One speed up or down for each press of + or - (held keys act once); both at once
    // cancel. Called once a frame with the frame's key state.
    void applyKeys(const Keyboard& keyboard) {
        const bool faster = keyboard.down(DIK_EQUALS) || keyboard.down(DIK_ADD);
        const bool slower = keyboard.down(DIK_MINUS) || keyboard.down(DIK_SUBTRACT);
        const bool fasterPressed = faster && !fasterHeld_, slowerPressed = slower && !slowerHeld_;
        fasterHeld_ = faster;
        slowerHeld_ = slower;
        if (fasterPressed && !slowerPressed && level_ < kCrawlSpeedCount - 1) ++level_;
        if (slowerPressed && !fasterPressed && level_ > 0) --level_;
    }
    int32_t stepsPerFrame() const { return kStepsPerFrame[level_]; }
    const char* label() const { return kCrawlSpeedLabels[level_]; }

private:
    int level_ = 0;  // Linkweave's own pace, one step a frame
    bool fasterHeld_ = false, slowerHeld_ = false;
};
