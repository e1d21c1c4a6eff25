// The overlay's clickable targets, all worked with the left button through the viewer's
// software pointer: the run-state image (left half pauses the crawl, right half resumes
// it), the question-mark and D icons (HELP and DEBUG panels), and the open-page bar that
// hands the selected page to the web browser. Also the hover label naming the page under
// the pointer.
#pragma once

#include <cstdint>

#include "render/RenderDevice.h"
#include "render/Viewer.h"

class Webspace;

// "Page: " and the longest URL (255 characters), terminator included, so no label is cut.
constexpr int kPageLabelCapacity = 6 + 255 + 1;

// Sprite sheet rectangles (left, top, right, bottom).
constexpr Rect kRunStatePausedSprite{40, 48, 136, 56};
constexpr Rect kRunStateRunningSprite{40, 56, 136, 64};
constexpr Rect kHelpDebugIconsSprite{8, 64, 39, 79};
constexpr Rect kOpenPageBarSprite{56, 64, 127, 72};

// Hands a URL to the user's web browser without waiting for it.
class PageOpener {
public:
    virtual ~PageOpener() = default;
    virtual bool open(const char* url) = 0;
};

class Icons : public PointerControls {
public:
    // The webspace (its `paused` flag and the pages' URLs), the selection and the browser,
    // given once by the frame that holds the icons (shell/Frame.h).
    Icons(Webspace& space, const int32_t& selectedNode, PageOpener& opener)
        : space_(space), selectedNode_(selectedNode), opener_(opener) {}
    Icons(const Icons&) = delete;
    Icons& operator=(const Icons&) = delete;

    uint8_t helpVisible = 0;
    uint8_t debugVisible = 0;
    char pageLabel[kPageLabelCapacity] = {};

    // The clicks, then the label: the last step of the viewer's input.
    void handlePointer(Viewer& viewer, bool leftDown) override;
    // A target acts once per press, in the frame the button goes down over it: input is
    // polled, so an ordinary click holds the button for several frames, and a toggle that
    // acted on every one of them would end up wherever the count of frames left it.
    void handleClicks(const Vector3& pointer, bool leftDown, int32_t width, int32_t height);
    // "Page: <url>" of the hovered node, or empty.
    void updateLabel(int32_t hoveredNode);

private:
    Webspace& space_;
    const int32_t& selectedNode_;
    PageOpener& opener_;
    bool leftWasDown_ = false;  // the button in the previous frame
};
