// The viewer's frame: input, zoom, spin, pointer, pick, the glide and the view matrix.
#include "render/Viewer.h"

#include <cmath>

#include "input/Input.h"
#include "render/Engine.h"
#include "webspace/Webspace.h"

namespace {
constexpr float kGlideBand = 0.2f;  // an axis stops gliding within this of the node
constexpr float kGlideStep = 10.0f; // the dominant axis moves 1/10 unit per frame

// One axis of the drag: a still mouse lets the spin run down; a moving one adds to it
// only while the right button is held, so plain pointer moves keep the spin as it is.
void steerSpin(float& spin, int32_t delta, bool rightDown, float maxSpin) {
    if (delta == 0) {
        if (spin > 0) spin -= kSpinDecay;
        if (spin < 0) spin += kSpinDecay;
        if (spin > -kSpinSnap && spin < kSpinSnap) spin = 0;
        return;
    }
    float step = static_cast<float>(delta) * kSpinPerPixel;
    // Only the positive step is limited; a fast pull the other way is left to the clamp.
    if (step > kMaxSpinStep) step = kMaxSpinStep;
    if (rightDown) spin += step;
    if (spin > maxSpin) spin = maxSpin;
    if (spin < -maxSpin) spin = -maxSpin;
}
}  // namespace

void Viewer::reset(const Webspace& space, int32_t selectedNode, int32_t displayWidth, int32_t displayHeight) {
    eye = Vector3(25, 2, 20);
    rotation = Vector3(0, 3.14f, 0);
    spin = Vector3(0, 0, 0);
    up = Vector3(0, 1, 0);
    const Vector3& p = space.pages[selectedNode].position;
    target = Vector3(p.x, p.y - 10.0f, p.z + 9.0f);
    pointer = Vector3(static_cast<float>(displayWidth / 2), static_cast<float>(displayHeight / 2), 0);
    hoveredNode = -1;
    distance = 10.0f;
    maxSpin = 0.08f;
    displayWidth_ = displayWidth;
    displayHeight_ = displayHeight;
}

void Viewer::update() {
    handleInput();
    followSelection(space_, selectedNode_, engine_);
}

void Viewer::handleInput() {
    keyboard_.read();
    mouse_.read();
    const bool zoomIn = keyboard_.down(DIK_UP);
    const bool zoomOut = keyboard_.down(DIK_DOWN);
    const int32_t dx = mouse_.lX;
    const int32_t dy = mouse_.lY;
    const bool leftDown = mouse_.rgbButtons[0] != 0;
    const bool rightDown = mouse_.rgbButtons[1] != 0;

    // Both keys held cancel; the limits are tested before each step, not clamped after.
    if (zoomIn && distance > kMinDistance) distance -= kZoomStep;
    if (zoomOut && distance < kMaxDistance) distance += kZoomStep;

    if (leftDown && rightDown) {
        // The hold: pointer and rotation freeze, the spin waits for the release.
        if (dy != 0) {
            if (distance < kMinDistance) distance = kMinDistance;
            if (distance > kMaxDistance) distance = kMaxDistance;
        }
    } else {
        pointer.x += static_cast<float>(dx);
        steerSpin(spin.x, dx, rightDown, maxSpin);
        rotation.x += spin.x;
        if (rotation.x > kFullTurn) rotation.x -= kFullTurn;
        if (rotation.x < 0) rotation.x += kFullTurn;

        pointer.y += static_cast<float>(dy);
        steerSpin(spin.y, dy, rightDown, maxSpin);
        rotation.y += spin.y;
        if (rotation.y > kMaxTilt) rotation.y = kMaxTilt;
        if (rotation.y < kMinTilt) rotation.y = kMinTilt;
    }

    placeEye();

    if (pointer.x < 0) pointer.x = 0;
    if (pointer.y < 0) pointer.y = 0;
    if (pointer.x > static_cast<float>(displayWidth_ - kPointerSize)) pointer.x = static_cast<float>(displayWidth_ - kPointerSize);
    if (pointer.y > static_cast<float>(displayHeight_ - kPointerSize)) pointer.y = static_cast<float>(displayHeight_ - kPointerSize);

    pick(leftDown);
    controls_.handlePointer(*this, leftDown);
}

void Viewer::pick(bool leftDown) {
    // The first node in slot order inside the box wins, whatever lies in front on screen.
    hoveredNode = -1;
    for (int32_t i = 0; i < space_.nodeCount && i < kPageSlots; ++i) {
        const Vector3& s = space_.pages[i].screen;
        if (pointer.x - kPickHalfBox < s.x && s.x < pointer.x + kPickHalfBox && pointer.y - kPickHalfBox < s.y &&
            s.y < pointer.y + kPickHalfBox) {
            if (leftDown) selectedNode_ = i;
            hoveredNode = i;
            return;
        }
    }
}

void Viewer::placeEye() {
    const double t = rotation.x, p = rotation.y, d = distance;
    eye.x = static_cast<float>(target.x - std::sin(t) * std::cos(p) * d);
    eye.z = static_cast<float>(target.z - std::cos(t) * std::cos(p) * d);
    eye.y = static_cast<float>(target.y - std::sin(p) * d);
}

void Viewer::followSelection(const Webspace& space, int32_t selectedNode, Engine& engine) {
    up = Vector3(0, 0.35f, 0);
    const Vector3& node = space.pages[selectedNode].position;
    const Vector3 d = node - target;
    const float a = std::fabs(d.x), b = std::fabs(d.y), c = std::fabs(d.z);
    // Ties go to z, then y: the divisor is x's only when x alone is largest.
    const float m = (a > b && a > c) ? a : ((b > a && b > c) ? b : c);
    if (m != 0.0f) {
        const Vector3 u = d / m;
        if (target.x > node.x + kGlideBand || target.x < node.x - kGlideBand) target.x += u.x / kGlideStep;
        if (target.z > node.z + kGlideBand || target.z < node.z - kGlideBand) target.z += u.z / kGlideStep;
        if (target.y > node.y + kGlideBand || target.y < node.y - kGlideBand) target.y += u.y / kGlideStep;
    }
    engine.view.setLookAt(eye, target, up);
    if (engine.haveDevice) engine.device->setTransform(TransformState::View, engine.view);
}
