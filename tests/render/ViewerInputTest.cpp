// The viewer's per-frame rules with the designed numbers: zoom limits, the drag's spin
// with its step limit, clamp and decay, the wrap of the turn and the tilt clamps, the
// both-buttons hold, the pointer limits, the strict pick box and the glide.
#include <gtest/gtest.h>

#include <memory>

#include <cmath>

#include "input/Input.h"
#include "render/Engine.h"
#include "tests/render/FakeDevice.h"
#include "render/Viewer.h"
#include "webspace/Webspace.h"

namespace {

// Devices that were never acquired keep whatever state the test writes into them.
struct ViewerRig {
    std::unique_ptr<Webspace> space{new Webspace};
    Keyboard keyboard;
    Mouse mouse;
    int32_t selected = 0;
    Viewer viewer;

    ViewerRig(int32_t width = 800, int32_t height = 600) {
        viewer.reset(*space, 0, width, height);
        viewer.keyboard = &keyboard;
        viewer.mouse = &mouse;
        viewer.space = space.get();
        viewer.selectedNode = &selected;
    }
    void move(int32_t dx, int32_t dy, bool left = false, bool right = false) {
        mouse.lX = dx;
        mouse.lY = dy;
        mouse.rgbButtons[0] = left ? 0x80 : 0;
        mouse.rgbButtons[1] = right ? 0x80 : 0;
        viewer.handleInput();
    }
    int framesUntil(bool (*done)(const Viewer&), int limit = 10000) {
        for (int n = 1; n <= limit; ++n) {
            viewer.handleInput();
            if (done(viewer)) return n;
        }
        return -1;
    }
};

TEST(ViewerInput, ZoomKeysStopJustPastTheirLimitsAndCancelTogether) {
    ViewerRig rig;
    rig.keyboard.keys[DIK_UP] = 0x80;
    // 10 - 45 x 0.2 reaches 1.0 (or just under) and the step test then stops it.
    for (int i = 0; i < 200; ++i) rig.viewer.handleInput();
    EXPECT_LE(rig.viewer.distance, 1.0f);
    EXPECT_GT(rig.viewer.distance, 0.8f);

    rig.keyboard.keys[DIK_UP] = 0;
    rig.keyboard.keys[DIK_DOWN] = 0x80;
    for (int i = 0; i < 3000; ++i) rig.viewer.handleInput();
    EXPECT_GE(rig.viewer.distance, 500.0f);
    EXPECT_LT(rig.viewer.distance, 500.2f);

    rig.viewer.distance = 10.0f;
    rig.keyboard.keys[DIK_UP] = 0x80;
    for (int i = 0; i < 5; ++i) rig.viewer.handleInput();
    EXPECT_FLOAT_EQ(rig.viewer.distance, 10.0f);
}

TEST(ViewerInput, DragStepsAreLimitedPositiveOnlyThenClamped) {
    struct Case { int32_t dx; bool right; float spinBefore, spinAfter; };
    const Case cases[] = {
        {300, true, 0.0f, 0.02f},       // 0.1 limited to 0.02
        {30, true, 0.0f, 0.01f},        // under the limit: as is
        {-300, true, 0.0f, -0.08f},     // -0.1 is not limited, the clamp takes it
        {300, true, 0.07f, 0.08f},      // the clamp from above
        {300, false, 0.05f, 0.05f},     // moving without the button keeps the spin
        {-5, false, -0.03f, -0.03f},
    };
    for (const Case& c : cases) {
        ViewerRig rig;
        rig.viewer.spin.x = c.spinBefore;
        rig.move(c.dx, 0, false, c.right);
        EXPECT_NEAR(rig.viewer.spin.x, c.spinAfter, 1e-6) << c.dx << " right " << c.right;
        // The same rules on the vertical axis.
        ViewerRig vertical;
        vertical.viewer.spin.y = c.spinBefore;
        vertical.move(0, c.dx, false, c.right);
        EXPECT_NEAR(vertical.viewer.spin.y, c.spinAfter, 1e-6) << "dy " << c.dx;
    }
}

TEST(ViewerInput, SpinDecaysToZeroAfterTwentySixStillFrames) {
    for (const float start : {0.08f, -0.08f}) {
        ViewerRig rig;
        rig.viewer.spin = Vector3(start, start, 0);
        int frames = 0;
        while (rig.viewer.spin.x != 0.0f && frames < 100) {
            rig.move(0, 0);
            ++frames;
        }
        EXPECT_EQ(frames, 26) << start;
        EXPECT_EQ(rig.viewer.spin.y, 0.0f);
    }
}

TEST(ViewerInput, TurnWrapsAroundAndTiltIsClamped) {
    struct Case { float turn, spinX, expectedTurn; };
    for (const Case& c : {Case{6.25f, 0.08f, 0.04681469f}, Case{0.05f, -0.08f, 6.25318530718f}}) {
        ViewerRig rig;
        rig.viewer.rotation.x = c.turn;
        rig.viewer.spin.x = c.spinX;
        rig.viewer.maxSpin = 0.08f;
        rig.move(1, 0);  // a move keeps the spin, so exactly spinX is added
        EXPECT_NEAR(rig.viewer.rotation.x, c.expectedTurn, 1e-5);
    }
    ViewerRig rig;
    rig.viewer.spin.y = 0.08f;
    for (int i = 0; i < 40; ++i) rig.move(0, 1);
    EXPECT_FLOAT_EQ(rig.viewer.rotation.y, 4.5f);
    rig.viewer.spin.y = -0.08f;
    for (int i = 0; i < 60; ++i) rig.move(0, 1);
    EXPECT_FLOAT_EQ(rig.viewer.rotation.y, 2.0f);
}

TEST(ViewerInput, BothButtonsFreezePointerAndRotationAndClampTheDistance) {
    ViewerRig rig;
    rig.viewer.spin = Vector3(0.05f, 0.05f, 0);
    const Vector3 pointer = rig.viewer.pointer, rotation = rig.viewer.rotation;
    rig.viewer.distance = 0.9f;
    rig.move(40, 0, true, true);
    EXPECT_EQ(rig.viewer.pointer.x, pointer.x);
    EXPECT_EQ(rig.viewer.rotation.x, rotation.x);
    EXPECT_EQ(rig.viewer.spin.x, 0.05f);
    EXPECT_EQ(rig.viewer.distance, 0.9f);  // no vertical movement: no clamp
    rig.move(0, 7, true, true);
    EXPECT_EQ(rig.viewer.pointer.y, pointer.y);
    EXPECT_EQ(rig.viewer.rotation.y, rotation.y);
    EXPECT_EQ(rig.viewer.distance, 1.0f);
    // Released, the spin carries on.
    rig.move(0, 0);
    EXPECT_NEAR(rig.viewer.rotation.x, rotation.x + 0.047f, 1e-6);
}

TEST(ViewerInput, PointerStaysInsideTheDisplayLessItsSize) {
    struct Case { int32_t dx, dy; float x, y; };
    const Case cases[] = {{-5000, -5000, 0, 0}, {5000, 5000, 788, 588}, {-399, 0, 1, 300}, {387, 287, 787, 587}};
    for (const Case& c : cases) {
        ViewerRig rig;
        EXPECT_EQ(rig.viewer.pointer.x, 400.0f);
        rig.move(c.dx, c.dy);
        EXPECT_EQ(rig.viewer.pointer.x, c.x);
        EXPECT_EQ(rig.viewer.pointer.y, c.y);
    }
}

TEST(ViewerInput, PickBoxIsStrictAndTheLowestIndexWins) {
    struct Case { float sx, sy; bool hit; };
    const Case cases[] = {
        {400, 300, true}, {404.9f, 295.1f, true}, {405, 300, false}, {395, 300, false},
        {400, 305, false}, {400, 295, false}, {-10, 0, false},
    };
    for (const Case& c : cases) {
        ViewerRig rig;
        rig.space->nodeCount = 1;
        rig.space->pages[0].screen = Vector3(c.sx, c.sy, 0);
        rig.move(0, 0, true);
        EXPECT_EQ(rig.viewer.hoveredNode, c.hit ? 0 : -1) << c.sx << "," << c.sy;
    }
    ViewerRig rig;
    rig.space->nodeCount = 4;
    for (int i = 0; i < 4; ++i) rig.space->pages[i].screen = Vector3(-10, 0, 0);
    rig.space->pages[1].screen = Vector3(401, 301, 0);
    rig.space->pages[3].screen = Vector3(400, 300, 0);
    rig.space->pages[5].screen = Vector3(400, 300, 0);  // beyond nodeCount: never picked
    rig.move(0, 0);
    EXPECT_EQ(rig.viewer.hoveredNode, 1);
    EXPECT_EQ(rig.selected, 0);  // hovering alone selects nothing
    rig.move(0, 0, true);
    EXPECT_EQ(rig.selected, 1);
    // A click on empty space keeps the selection.
    rig.move(200, 0, true);
    EXPECT_EQ(rig.viewer.hoveredNode, -1);
    EXPECT_EQ(rig.selected, 1);
}

TEST(ViewerInput, EyeOrbitsTheTargetAndTheTargetGlidesToTheSelection) {
    ViewerRig rig;
    rig.viewer.target = Vector3(25, 1, 25);
    rig.move(0, 0);
    EXPECT_NEAR(rig.viewer.eye.x, 25.0f, 1e-4);
    EXPECT_NEAR(rig.viewer.eye.y, 0.98407f, 1e-4);
    EXPECT_NEAR(rig.viewer.eye.z, 34.99999f, 1e-4);

    // Selecting a node far along x: the target moves 0.1 per frame along the dominant
    // axis, the others in proportion, and every axis stops within 0.2 of the node.
    FakeDevice device;
    char url[kInitialUrlCapacity] = {};
    int32_t maxPages = 300;
    Engine engine(&device, url, &maxPages);
    rig.viewer.engine = &engine;
    rig.space->pages[3].position = Vector3(30, 1, 26);
    rig.selected = 3;
    rig.viewer.update();
    EXPECT_NEAR(rig.viewer.target.x, 25.1f, 1e-5);
    EXPECT_NEAR(rig.viewer.target.z, 25.02f, 1e-5);
    EXPECT_FLOAT_EQ(rig.viewer.target.y, 1.0f);  // already within its band
    int frames = 1;
    Vector3 last = rig.viewer.target;
    for (; frames < 200; ++frames) {
        rig.viewer.update();
        if (rig.viewer.target.x == last.x && rig.viewer.target.z == last.z) break;
        last = rig.viewer.target;
    }
    EXPECT_NEAR(rig.viewer.target.x, 30.0f, 0.2f);
    EXPECT_NEAR(rig.viewer.target.z, 26.0f, 0.2f);
    EXPECT_GE(frames, 47);
    EXPECT_LE(frames, 50);
    // The eye keeps its angles and distance relative to the moving target.
    EXPECT_NEAR(rig.viewer.eye.z - rig.viewer.target.z, 9.99999f, 1e-3);
}

}  // namespace
