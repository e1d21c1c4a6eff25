// The frame's parts wired once, and the steps of a frame that use more than one of them.
#include "shell/Frame.h"

#include "overlay/Text.h"
#include "render/Engine.h"
#include "shell/SelectionKeys.h"
#include "web/HttpClient.h"
#include "webspace/Webspace.h"

Frame::Frame(Webspace& space, Engine& drawingEngine, PageOpener& opener)
    : webspace(space), engine(drawingEngine), icons(space, selectedNode, opener),
      viewer(keyboard, mouse, space, selectedNode, drawingEngine, icons), nodeModels(drawingEngine, viewer) {
    viewer.reset(webspace, selectedNode, engine.display.displayWidth, engine.display.displayHeight);
    webspace.nodeModels = &nodeModels;
}

int32_t Frame::crawl(uint32_t frameStartMs) {
    // Requests on their way move along every frame, the crawl paused or not.
    if (webspace.httpClient) webspace.httpClient->poll();
    return webspace.crawlSteps(crawlSpeed.stepsPerFrame(), frameStartMs + kCrawlBudgetMs);
}

void Frame::renderScene() {
    webspace.updateNodes(engine.screenProjection(), selectedNode);
    engine.renderFrame(webspace);
}

void Frame::applyKeys() {
    keyboard.read();
    applySelectionKeys(keyboard, webspace.nodeCount, selectedNode);
    crawlSpeed.applyKeys(keyboard);
}

OverlayView Frame::overlayView(uint32_t framesPerSecond, const char* note) const {
    return {engine.display.displayWidth, engine.display.displayHeight, &webspace, selectedNode, &viewer, &icons,
            framesPerSecond, note, crawlSpeed.label()};
}

void Frame::drawOverlay(uint32_t framesPerSecond, const char* note) {
    EngineCanvas canvas(engine);
    ::drawOverlay(canvas, overlayView(framesPerSecond, note));
}
