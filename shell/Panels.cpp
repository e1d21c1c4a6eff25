// The overlay's panels and markers, drawn anew each frame from the values they are given.
#include "shell/Panels.h"

#include <cstdarg>
#include <cstdio>

#include "overlay/Icons.h"
#include "render/Viewer.h"
#include "webspace/Webspace.h"

namespace {

// A label of up to 25 characters plus the largest field (a 511-character tag).
constexpr int kLineCapacity = 600;

const char* const kRule = "_____________________________________________________________________________________________________________________________________________";  // 141: cut at the screen's edge
const char* const kShortRule = "___________________";

void textf(OverlayCanvas& canvas, int32_t x, int32_t y, const char* format, ...) {
    char line[kLineCapacity];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    canvas.text(x, y, line);
}

// Whole pixels, truncated toward zero; a node far off screen (or behind the eye) can
// project anywhere, so the value is bounded first rather than converted out of range.
int32_t pixel(float v) {
    if (!(v > -1.0e6f)) return -1000000;
    if (v > 1.0e6f) return 1000000;
    return static_cast<int32_t>(v);
}

// Slots outside the table are shown as slot 0 rather than read past it.
const PageNode& slot(const Webspace& space, int32_t index) {
    return space.pages[(index >= 0 && index < kPageSlots) ? index : 0];
}

void nodeInfo(OverlayCanvas& canvas, const OverlayView& v, int32_t b) {
    const PageNode& s = slot(*v.space, v.selectedNode);
    canvas.text(10, b + 28, kRule);
    canvas.text(10, b + 40, "NODE INFO");
    canvas.text(10, b + 46, kRule);
    canvas.sprite(kOpenPageBarSprite, 100, b + 40);
    textf(canvas, 10, b + 60, "  Selected Node: %d", v.selectedNode);
    textf(canvas, 10, b + 70, "       Node URL: %s", s.url);
    textf(canvas, 10, b + 80, "     Node Title: %s", s.title);
    textf(canvas, 10, b + 90, "    Node Length: %d", s.length);
    textf(canvas, 10, b + 100, "    Status Code: %d", s.statusCode);
    textf(canvas, 178, b + 100, " : %s", s.message);
    textf(canvas, 10, b + 110, "Number of Links: %d", s.linkCount);
}

void traceInfo(OverlayCanvas& canvas, const OverlayView& v, int32_t b) {
    const Webspace& space = *v.space;
    const PageNode& c = slot(space, space.cursor);
    canvas.text(10, b + 128, kRule);
    canvas.text(10, b + 140, "TRACE INFO");
    canvas.text(10, b + 146, kRule);
    textf(canvas, 10, b + 160, "          Total Nodes: %d", space.nodeCount);
    textf(canvas, 10, b + 170, "  Current Mother Node: %d", space.cursor);
    textf(canvas, 225, b + 170, "%s", c.url);
    textf(canvas, 10, b + 180, "       Stripping Tags: %s", c.currentTag);
    canvas.text(10, b + 190, "             Progress: ");
    // What is left of the page to scan, one pixel per hundred bytes.
    const int32_t left = c.length / 100 - c.scanPos / 100;
    if (left > 0) canvas.sprite(Rect{0, kProgressBarTop, left, kProgressBarBottom}, 185, b + 193);
    textf(canvas, 10, b + 200, "Number of Links Found: %d", c.linkCount);
    if (space.finished) canvas.text(202, b + 140, "  Finished Tracing");
    // While the answer for C is on its way, as the trace will say once it is here.
    if (space.gettingPage && !space.paused && !space.finished) canvas.text(202, b + 140, "  getting page");
    if (v.speed) canvas.text(370, b + 140, v.speed);  // right of where "Finished Tracing" ends
    canvas.sprite(space.paused ? kRunStatePausedSprite : kRunStateRunningSprite, 100, b + 140);
}

void helpPanel(OverlayCanvas& canvas) {
    canvas.text(10, 30, "HELP");
    canvas.text(10, 37, kShortRule);
    canvas.text(10, 50, "   Rotate: Click and drag the right mouse button to rotate the webspace");
    canvas.text(10, 60, "     Zoom: Use up/down arrow keys to zoom");
    canvas.text(10, 70, "   Select: Use the left mouse button to select a page node");
    canvas.text(10, 80, "Run Trace: Click on `Paused` or `Running` icons to start and stop Linkweave");
    canvas.text(10, 90, "     Help: Click on the Question Mark icon to toggle this Help panel");
    canvas.text(10, 100, "    Debug: Click on the D icon to toggle Debug information");
    canvas.text(10, 110, "    Speed: Press + or - to crawl faster or slower");
    canvas.text(10, 120, "     Quit: Press Escape to quit Linkweave");
}

void debugPanel(OverlayCanvas& canvas, const OverlayView& v) {
    const Viewer& viewer = *v.viewer;
    canvas.text(10, 150, "DEBUG");
    canvas.text(10, 157, kShortRule);
    textf(canvas, 10, 170, "FPS: %d", static_cast<int>(v.framesPerSecond));
    textf(canvas, 10, 180, "Mouse x:%f", viewer.pointer.x);
    textf(canvas, 10, 190, "Mouse y:%f", viewer.pointer.y);
    textf(canvas, 10, 200, "Viewer x:%f", viewer.eye.x);
    textf(canvas, 10, 210, "Viewer y:%f", viewer.eye.y);
    textf(canvas, 10, 220, "Viewer z:%f", viewer.eye.z);
    textf(canvas, 10, 230, "Target x:%f", viewer.target.x);
    textf(canvas, 10, 240, "Target y:%f", viewer.target.y);
    textf(canvas, 10, 250, "Target z:%f", viewer.target.z);
    // The tilt is the angle about the x axis, hence the names.
    textf(canvas, 10, 260, "Rotate x:%f", viewer.rotation.y);
    textf(canvas, 10, 270, "Rotate y:%f", viewer.rotation.z);
    textf(canvas, 10, 280, "Distance:%f", viewer.distance);
}

}  // namespace

void drawOverlay(OverlayCanvas& canvas, const OverlayView& v) {
    if (!v.space || !v.viewer) return;
    const int32_t b = v.height - 220;  // top of the two lower panels
    canvas.text(10, 4, kBannerText);
    if (v.note) canvas.text(10, 16, v.note);
    nodeInfo(canvas, v, b);
    traceInfo(canvas, v, b);

    const Viewer& viewer = *v.viewer;
    // The sum before the truncation, as the pointer sprite is placed.
    if (v.icons && v.icons->pageLabel[0])
        canvas.text(pixel(viewer.pointer.x + 10), pixel(viewer.pointer.y), v.icons->pageLabel);
    canvas.sprite(kHelpDebugIconsSprite, v.width - 34, v.height - 20);
    if (v.icons && v.icons->helpVisible) helpPanel(canvas);
    if (v.icons && v.icons->debugVisible) debugPanel(canvas, v);

    canvas.sprite(kPointerSprite, pixel(viewer.pointer.x), pixel(viewer.pointer.y));
    const PageNode& s = slot(*v.space, v.selectedNode);
    canvas.sprite(kSelectionMarkerSprite, pixel(s.screen.x - 31), pixel(s.screen.y - 31));
    const PageNode& c = slot(*v.space, v.space->cursor);
    canvas.sprite(kCrawlMarkerSprite, pixel(c.screen.x - 16), pixel(c.screen.y - 17));
}
