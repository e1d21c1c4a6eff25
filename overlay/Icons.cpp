// The icons' click rectangles and the hover label.
#include "overlay/Icons.h"

#include <cstdio>

#include "webspace/Webspace.h"

namespace {
// Strictly inside the open rectangle (left, top)-(right, bottom): edges belong to no target.
bool inside(const Vector3& p, float left, float top, float right, float bottom) {
    return left < p.x && p.x < right && top < p.y && p.y < bottom;
}
}  // namespace

void Icons::handlePointer(Viewer& viewer, bool leftDown) {
    handleClicks(viewer.pointer, leftDown, viewer.displayWidth(), viewer.displayHeight());
    updateLabel(viewer.hoveredNode);
}

void Icons::handleClicks(const Vector3& pointer, bool leftDown, int32_t width, int32_t height) {
    const bool pressed = leftDown && !leftWasDown_;
    leftWasDown_ = leftDown;
    if (!pressed) return;
    const float w = static_cast<float>(width), h = static_cast<float>(height);
    if (inside(pointer, 157, h - 80, 178, h - 70)) space_.paused = 1;
    if (inside(pointer, 179, h - 80, 197, h - 70)) space_.paused = 0;
    if (inside(pointer, 100, h - 180, 172, h - 170)) {
        const int32_t slot = selectedNode_;
        if (slot >= 0 && slot < kPageSlots) opener_.open(space_.pages[slot].url);
    }
    if (inside(pointer, w - 16, h - 16, w, h)) helpVisible = !helpVisible;
    if (inside(pointer, w - 32, h - 16, w - 16, h)) debugVisible = !debugVisible;
}

void Icons::updateLabel(int32_t hoveredNode) {
    if (hoveredNode < 0 || hoveredNode >= kPageSlots) {
        pageLabel[0] = '\0';
        return;
    }
    std::snprintf(pageLabel, sizeof pageLabel, "Page: %s", space_.pages[hoveredNode].url);
}
