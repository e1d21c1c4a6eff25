// The overlay drawn over each frame's scene: the banner, the NODE INFO panel about the
// selected page, the TRACE INFO panel about the page the crawl works on, the hover
// label, the icons, the optional HELP and DEBUG panels, the pointer and the two markers,
// in that order (later draws cover earlier ones). Nothing here keeps state: every frame
// is drawn anew from the values it is given.
#pragma once

#include <cstdint>

#include "overlay/Text.h"

class Webspace;
class Viewer;
class Icons;

constexpr const char* kBannerText = "Linkweave Beta - https://linkweave.example/";

// Sprite sheet rectangles (left, top, right, bottom).
constexpr Rect kPointerSprite{0, 88, 10, 98};
constexpr Rect kSelectionMarkerSprite{0, 128, 64, 192};
constexpr Rect kCrawlMarkerSprite{80, 143, 113, 177};
constexpr int32_t kProgressBarTop = 80, kProgressBarBottom = 84;

struct OverlayView {
    int32_t width = 0, height = 0;  // the display, in pixels
    const Webspace* space = nullptr;
    int32_t selectedNode = 0;
    const Viewer* viewer = nullptr;
    const Icons* icons = nullptr;   // help and debug flags, the hover label
    uint32_t framesPerSecond = 0;
    const char* note = nullptr;     // a passing message under the banner, or none
    const char* speed = nullptr;    // the crawl's speed ("Speed: x16"), or none
};

void drawOverlay(OverlayCanvas& canvas, const OverlayView& view);
