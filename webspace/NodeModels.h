// The seam between node display and the renderer's node models: once a node has its
// place the renderer gives it a model, and every frame it shows the model in the colour
// node display chose. Without a renderer (the crawl tool, the tests) nodes have none.
#pragma once

#include <cstdint>

class Webspace;
class NodeModel;  // the renderer's; the webspace only holds it, in the page's slot

class NodeModels {
public:
    virtual ~NodeModels() = default;
    // Creates the model of the node in `slot`, which placement has just positioned.
    virtual void buildNodeModel(Webspace& space, int slot) = 0;
    // Colours the model (ARGB) and rebuilds its square of the given half size facing the viewer.
    virtual void showNodeModel(NodeModel& model, uint32_t colour, float halfSize) = 0;
};
