// The viewer's per-frame rules with the designed numbers: zoom limits, the drag's spin
// with its step limit, clamp and decay, the wrap of the turn and the tilt clamps, the
// both-buttons hold, the pointer limits, the strict pick box and the glide.
#include <gtest/gtest.h>

#include <memory>

#include "input/Input.h"
#include "render/Engine.h"
#include "render/Viewer.h"
#include "webspace/Webspace.h"

namespace {

// An 800 x 600 viewer on devices that were never acquired, so they keep whatever state
// the test writes into them.
struct ViewerRig {
    std::unique_ptr<Webspace> space{new Webspace};
    Keyboard keyboard;
    Mouse mouse;
    int32_t selected = 0;
    Viewer viewer;

    ViewerRig() {
        viewer.reset(*space, 0, 800, 600);
        viewer.keyboard = &keyboard;
        viewer.mouse = &mouse;
        viewer.space = space.get();
        viewer.selectedNode = &selected;
    }
    void move(int32_t dx, int32_t dy, bool left = false, bool right = false, int frames = 1) {
        mouse.lX = dx;
        mouse.lY = dy;
        mouse.rgbButtons[0] = left ? 0x80 : 0;
        mouse.rgbButtons[1] = right ? 0x80 : 0;
        for (int i = 0; i < frames; ++i) viewer.handleInput();
    }
};

constexpr float kAny = -1e9f;  // a value the case leaves as reset, or does not check

// Frames of keys and mouse from a given state, and the state they leave. The display is
// 800 x 600, so the pointer starts at (400, 300); the tilt starts at 3.14.
struct Frames {
    const char* what;
    float spinX = 0, spinY = 0, turn = kAny, distance = kAny;
    bool up = false, down = false, left = false, right = false;
    int32_t dx = 0, dy = 0, frames = 1;
    float wantSpinX = kAny, wantSpinY = kAny, wantTurn = kAny, wantTilt = kAny, wantX = kAny, wantY = kAny;
    float wantDistance = kAny, tolerance = 1e-5f;
};

TEST(ViewerInput, ZoomSpinTurnTiltHoldAndPointerFollowTheirLimits) {
    const Frames cases[] = {
        // Zoom limits are tested before each step, not clamped after: the distance ends at
        // most one 0.2 step past them. Both keys cancel.
        {.what = "zoom in", .up = true, .frames = 200, .wantDistance = 0.9f, .tolerance = 0.1f},
        {.what = "zoom out", .down = true, .frames = 3000, .wantDistance = 500.1f, .tolerance = 0.1f},
        {.what = "both zoom keys", .up = true, .down = true, .frames = 5, .wantDistance = 10.0f},
        // A drag adds 1/3000 per pixel, at most 0.02 a frame upwards; the clamp is 0.08.
        {.what = "step limited", .right = true, .dx = 300, .wantSpinX = 0.02f},
        {.what = "under the step limit", .right = true, .dx = 30, .wantSpinX = 0.01f},
        {.what = "negative steps only clamped", .right = true, .dx = -300, .wantSpinX = -0.08f},
        {.what = "clamped from above", .spinX = 0.07f, .right = true, .dx = 300, .wantSpinX = 0.08f},
        {.what = "no button keeps the spin", .spinX = 0.05f, .dx = 300, .wantSpinX = 0.05f},
        {.what = "vertical step limited", .right = true, .dy = 300, .wantSpinY = 0.02f},
        {.what = "vertical clamp", .right = true, .dy = -300, .wantSpinY = -0.08f},
        // Still frames take 0.003 off the spin, which stops once under 0.004.
        {.what = "decay, 25 frames", .spinX = 0.08f, .spinY = -0.08f, .frames = 25, .wantSpinX = 0.005f, .wantSpinY = -0.005f},
        {.what = "decay, 26 frames", .spinX = 0.08f, .spinY = -0.08f, .frames = 26, .wantSpinX = 0, .wantSpinY = 0},
        // A move keeps the spin, so exactly the spin is added to the turn, which wraps.
        {.what = "turn wraps up", .spinX = 0.08f, .turn = 6.25f, .dx = 1, .wantTurn = 0.04681469f},
        {.what = "turn wraps down", .spinX = -0.08f, .turn = 0.05f, .dx = 1, .wantTurn = 6.25318530718f},
        {.what = "tilt clamped above", .spinY = 0.08f, .dy = 1, .frames = 40, .wantTilt = 4.5f},
        {.what = "tilt clamped below", .spinY = -0.08f, .dy = 1, .frames = 60, .wantTilt = 2.0f},
        // Both buttons freeze pointer and rotation, keep the spin, clamp the distance on a vertical move.
        {.what = "hold", .spinX = 0.05f, .turn = 1.0f, .distance = 0.9f, .left = true, .right = true, .dx = 40,
         .wantSpinX = 0.05f, .wantTurn = 1.0f, .wantX = 400, .wantDistance = 0.9f},
        {.what = "hold, vertical move", .spinY = 0.05f, .distance = 0.9f, .left = true, .right = true, .dy = 7,
         .wantSpinY = 0.05f, .wantTilt = 3.14f, .wantY = 300, .wantDistance = 1.0f},
        // The pointer stays inside the display less its own size.
        {.what = "pointer top left", .dx = -5000, .dy = -5000, .wantX = 0, .wantY = 0},
        {.what = "pointer bottom right", .dx = 5000, .dy = 5000, .wantX = 788, .wantY = 588},
        {.what = "pointer left edge", .dx = -399, .wantX = 1, .wantY = 300},
        {.what = "pointer last pixel", .dx = 387, .dy = 287, .wantX = 787, .wantY = 587},
    };
    for (const Frames& c : cases) {
        SCOPED_TRACE(c.what);
        ViewerRig rig;
        rig.viewer.spin = Vector3(c.spinX, c.spinY, 0);
        if (c.turn != kAny) rig.viewer.rotation.x = c.turn;
        if (c.distance != kAny) rig.viewer.distance = c.distance;
        rig.keyboard.keys[DIK_UP] = c.up ? 0x80 : 0;
        rig.keyboard.keys[DIK_DOWN] = c.down ? 0x80 : 0;
        rig.move(c.dx, c.dy, c.left, c.right, c.frames);
        const Viewer& v = rig.viewer;
        for (const auto& [got, want] : {std::pair{v.spin.x, c.wantSpinX}, {v.spin.y, c.wantSpinY}, {v.rotation.x, c.wantTurn},
                                        {v.rotation.y, c.wantTilt}, {v.pointer.x, c.wantX}, {v.pointer.y, c.wantY},
                                        {v.distance, c.wantDistance}}) {
            if (want != kAny) { EXPECT_NEAR(got, want, c.tolerance); }
        }
    }
}

TEST(ViewerInput, PickBoxIsStrictTheLowestIndexWinsAndOnlyAClickSelects) {
    struct Case { float sx, sy; bool hit; };
    for (const Case& c : {Case{400, 300, true}, {404.9f, 295.1f, true}, {405, 300, false}, {395, 300, false},
                          {400, 305, false}, {400, 295, false}}) {
        ViewerRig rig;  // the pointer at (400, 300) over node 0 at (sx, sy) and node 1 right under it
        rig.space->nodeCount = 2;
        rig.space->pages[0].screen = Vector3(c.sx, c.sy, 0);
        rig.space->pages[1].screen = Vector3(400, 300, 0);
        rig.selected = 7;
        rig.move(0, 0);
        EXPECT_EQ(std::make_pair(rig.viewer.hoveredNode, rig.selected), std::make_pair(c.hit ? 0 : 1, 7)) << c.sx;
        rig.move(0, 0, true);
        rig.move(200, 0, true);  // a click on empty space keeps the selection
        EXPECT_EQ(std::make_pair(rig.viewer.hoveredNode, rig.selected), std::make_pair(-1, c.hit ? 0 : 1)) << c.sx;
    }
}

TEST(ViewerInput, EyeOrbitsTheTargetAndTheTargetGlidesToTheSelection) {
    ViewerRig rig;
    rig.viewer.target = Vector3(25, 1, 25);
    rig.move(0, 0);
    EXPECT_NEAR(rig.viewer.eye.x, 25.0f, 1e-4);
    EXPECT_NEAR(rig.viewer.eye.y, 0.98407f, 1e-4);
    EXPECT_NEAR(rig.viewer.eye.z, 34.99999f, 1e-4);

    // A node far along x: the target moves 0.1 per frame along the dominant axis, the
    // others in proportion, and every axis stops within 0.2 of the node.
    char url[kInitialUrlCapacity] = {};
    int32_t maxPages = 300;
    Engine engine(nullptr, url, &maxPages);  // no device: the view matrix is only kept
    rig.viewer.engine = &engine;
    rig.space->pages[3].position = Vector3(30, 1, 26);
    rig.selected = 3;
    rig.viewer.update();
    EXPECT_NEAR(rig.viewer.target.x, 25.1f, 1e-5);
    EXPECT_NEAR(rig.viewer.target.z, 25.02f, 1e-5);
    EXPECT_FLOAT_EQ(rig.viewer.target.y, 1.0f);  // already within its band
    for (int frame = 0; frame < 100; ++frame) rig.viewer.update();
    EXPECT_NEAR(rig.viewer.target.x, 30.0f, 0.2f);
    EXPECT_NEAR(rig.viewer.target.z, 26.0f, 0.2f);
    EXPECT_NEAR(rig.viewer.eye.z - rig.viewer.target.z, 9.99999f, 1e-3);  // the eye follows
}

}  // namespace
