// Node display: screen projection, node colours and facing, and the link lines.
#include "webspace/NodeDisplay.h"

#include "webspace/NodeModels.h"
#include "webspace/Webspace.h"

namespace {

// Selection over status.
uint32_t nodeColour(const PageNode& page, bool selected) {
    if (selected) return kSelectedNodeColour;
    return page.statusCode != 200 ? kMissingNodeColour : kAnsweredNodeColour;
}

}  // namespace

void Webspace::projectNodes(const ScreenProjection& projection) {
    // One combined matrix per frame; each node then costs one point transform.
    const Matrix4& m = projection.transform;
    for (int i = 0; i < nodeCount && i < kPageSlots; ++i) {
        const Vector3& p = pages[i].position;
        const double xc = m.transformedComponent(p, 0);
        const double yc = m.transformedComponent(p, 1);
        const double wc = m.transformedComponent(p, 3);
        pages[i].screen.x = static_cast<float>(projection.x + projection.width * (1.0 + xc / wc) / 2.0);
        pages[i].screen.y = static_cast<float>(projection.y + projection.height * (1.0 - yc / wc) / 2.0);
    }
}

void Webspace::updateNodes(const ScreenProjection& projection, int32_t selectedNode) {
    projectNodes(projection);
    if (!nodeModels) return;
    for (int i = 0; i < nodeCount && i < kPageSlots; ++i) {
        NodeModel* model = pages[i].model;
        if (model) nodeModels->showNodeModel(*model, nodeColour(pages[i], i == selectedNode), kNodeHalfSize);
    }
}

int Webspace::collectLinkLines(LinkLineEnd* out, int capacity) const {
    int written = 0;
    for (int i = 0; i < maxPages && i < kPageSlots; ++i) {
        const PageNode& page = pages[i];
        if (page.state != PageState::Linking && page.state != PageState::Done) continue;
        for (int j = 0; j < page.linkCount && j < kMaxLinks; ++j) {
            const int t = page.links[j].node;
            // A link not yet looked up still names slot 0, the root: its line runs there.
            if (t < 0 || t >= kPageSlots || pages[t].state == PageState::Empty) continue;
            if (written + 2 > capacity) return written;
            out[written++] = {page.position, kLinkSourceColour};
            out[written++] = {pages[t].position, kLinkTargetColour};
        }
    }
    return written;
}
