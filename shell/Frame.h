// The parts of one Linkweave frame and the one place where they are connected: the
// webspace and the engine that draws it, the input devices, the icons, the viewer, the
// node models and the selection. Every part is held by reference or by value, so none
// can be missing, and the constructor wires them to each other once; the steps of a
// frame below are the main loop's, for the program and for whatever renders like it.
#pragma once

#include <cstdint>

#include "input/Input.h"
#include "overlay/Icons.h"
#include "render/NodeModel.h"
#include "render/Viewer.h"
#include "shell/CrawlSpeed.h"
#include "shell/Panels.h"

class Engine;
class Webspace;

struct Frame {
    // Connects the parts; the viewer starts at slot 0 with the engine's display size.
    Frame(Webspace& webspace, Engine& engine, PageOpener& opener);
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;

    Webspace& webspace;
    Engine& engine;
    int32_t selectedNode = 0;
    Keyboard keyboard;  // not created: reads nothing until the program creates it
    Mouse mouse;
    Icons icons;
    Viewer viewer;
    EngineNodeModels nodeModels;
    CrawlSpeed crawlSpeed;

    // Moves the requests on their way along, then runs the frame's crawl steps at the
    // chosen speed, within the budget of a frame that started at frameStartMs; returns
    // how many ran.
    int32_t crawl(uint32_t frameStartMs);
    // Projects, colours and turns the nodes, then uploads and draws the scene.
    void renderScene();
    // Reads the keyboard again and applies the selection and speed keys.
    void applyKeys();
    // What the overlay shows this frame; note is a passing message under the banner, or null.
    OverlayView overlayView(uint32_t framesPerSecond, const char* note) const;
    // Draws the overlay onto the engine's back buffer.
    void drawOverlay(uint32_t framesPerSecond, const char* note);
};
