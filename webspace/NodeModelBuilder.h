// The seam between placement and display: once a node has its place, the renderer
// gives it a model. Without a renderer (the crawl tool, the tests) nodes have none.
#pragma once

class Webspace;

class NodeModelBuilder {
public:
    virtual ~NodeModelBuilder() = default;
    // Creates the model of the node in `slot`, which placement has just positioned.
    virtual void buildNodeModel(Webspace& space, int slot) = 0;
};
