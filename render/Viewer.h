// The user's camera: it orbits its target at `distance`, placed by the two angles of
// `rotation`, and glides its target towards the selected node. Input (zoom, drag,
// pointer, picking) is added by the input layer; this holds the camera state and the
// view matrix the renderer needs.
#pragma once

#include <cstdint>

#include "render/Math3D.h"

class Engine;
class Webspace;

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

    // Initial state: the target starts below and behind the selected slot's position.
    void reset(const Webspace& space, int32_t selectedNode, int32_t displayWidth, int32_t displayHeight);
    // Places the eye on its sphere around the current target.
    void placeEye();
    // Glides the target towards the selected node and hands the engine a new view matrix.
    void followSelection(const Webspace& space, int32_t selectedNode, Engine& engine);
};
