// Node display on plain values: where the nodes are projected to on the screen, the
// colour each node shows, and the link lines between the pages.
#pragma once

#include <cstdint>

#include "base/Math3D.h"

constexpr uint32_t kAnsweredNodeColour = 0xC8C8C800;  // yellow: the page answered 200
constexpr uint32_t kMissingNodeColour = 0xC8FF0000;   // red: any other answer
constexpr uint32_t kSelectedNodeColour = 0xC8FFFFFF;  // white, whatever the answer
constexpr float kNodeHalfSize = 0.1f;                 // world units: half the side of a drawn square

constexpr uint32_t kLinkSourceColour = 0x990000FF;  // blue at the page holding the link
constexpr uint32_t kLinkTargetColour = 0x99FF0000;  // red at the page it leads to

// How positions reach the screen this frame: world, view and projection combined, and
// the viewport.
struct ScreenProjection {
    Matrix4 transform;
    uint32_t x, y, width, height;  // pixels
};

// One end of a link line: where it stands and its colour (ARGB).
struct LinkLineEnd {
    Vector3 position;
    uint32_t colour;
};
