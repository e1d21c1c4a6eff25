// The user's camera and the software mouse pointer. Once per frame the viewer reads the
// keyboard and mouse, zooms with the arrow keys, turns and tilts the webspace with a
// right-button drag that keeps spinning and slows down afterwards, moves and clamps the
// pointer, picks the node under it, lets the overlay react to clicks, glides its target
// towards the selected node and hands the device a new view matrix. The eye always lies
// on a sphere of radius `distance` around the target. All motion is counted per frame.
#pragma once

#include <cstdint>

#include "base/Math3D.h"

class Engine;
class Webspace;
class Keyboard;
class Mouse;
class Viewer;

// What the overlay does with the pointer once it has been moved, clamped and the node
// under it picked: the icon clicks and the hover label.
class PointerControls {
public:
    virtual ~PointerControls() = default;
    virtual void handlePointer(Viewer& viewer, bool leftDown) = 0;
};

constexpr float kZoomStep = 0.2f;          // units per frame while an arrow key is held
constexpr float kMinDistance = 1.0f;       // units
constexpr float kMaxDistance = 500.0f;     // units
constexpr float kSpinPerPixel = 1.0f / 3000.0f;  // radians per frame per pixel of drag
constexpr float kMaxSpinStep = 0.02f;      // radians per frame: most one read adds
constexpr float kSpinDecay = 0.003f;       // radians per frame, per frame without movement
constexpr float kSpinSnap = 0.004f;        // below this the spin stops
constexpr float kFullTurn = 6.28318530718f;  // radians
constexpr float kMinTilt = 2.0f, kMaxTilt = 4.5f;  // radians: never straight above or below
constexpr int32_t kPointerSize = 12;       // pixels kept free at the right and bottom
constexpr float kPickHalfBox = 5.0f;       // pixels: a node is hit strictly within +-5

class Viewer {
public:
    Vector3 eye;
    Vector3 rotation;  // x: turn (radians, 0..2 pi); y: tilt (radians, 2.0..4.5)
    Vector3 spin;      // radians per frame
    Vector3 up;
    Vector3 target;
    Vector3 pointer;   // pixels from the top left of the display
    int32_t hoveredNode;
    float distance;
    float maxSpin;     // radians per frame

    // The parts a frame's input goes through, given once by the frame that holds the
    // viewer (shell/Frame.h): the devices it reads, the webspace it picks nodes of, the
    // selection it sets and follows, the engine it gives the view matrix, the overlay's
    // controls.
    Viewer(Keyboard& keyboard, Mouse& mouse, const Webspace& space, int32_t& selectedNode, Engine& engine,
           PointerControls& controls)
        : keyboard_(keyboard), mouse_(mouse), space_(space), selectedNode_(selectedNode), engine_(engine),
          controls_(controls) {}
    Viewer(const Viewer&) = delete;
    Viewer& operator=(const Viewer&) = delete;

    // Initial state: the target starts below and behind the selected slot's position.
    void reset(const Webspace& space, int32_t selectedNode, int32_t displayWidth, int32_t displayHeight);
    // One frame: input, then the glide and the view matrix.
    void update();
    // Keys, mouse, zoom, spin and rotation, eye, pointer, hover and pick, overlay clicks.
    void handleInput();
    // Places the eye on its sphere around the current target.
    void placeEye();
    // Glides the target towards the selected node and hands the engine a new view matrix.
    void followSelection(const Webspace& space, int32_t selectedNode, Engine& engine);

    int32_t displayWidth() const { return displayWidth_; }
    int32_t displayHeight() const { return displayHeight_; }

private:
    // The node under the pointer, first in slot order; a left button down selects it.
    void pick(bool leftDown);

    Keyboard& keyboard_;
    Mouse& mouse_;
    const Webspace& space_;
    int32_t& selectedNode_;
    Engine& engine_;
    PointerControls& controls_;
    int32_t displayWidth_ = 0, displayHeight_ = 0;
};
