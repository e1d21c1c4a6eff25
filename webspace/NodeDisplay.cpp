// Node display: screen projection, node colours and facing, and the link lines.
#include <cstring>

#include "render/Engine.h"
#include "render/NodeModel.h"
#include "render/TriangleList.h"
#include "webspace/Webspace.h"

namespace {

constexpr uint32_t kLinkSourceColour = 0x990000FF;  // blue at the page holding the link
constexpr uint32_t kLinkTargetColour = 0x99FF0000;  // red at the page it leads to

}  // namespace

void Webspace::projectNodes() {
    if (!engine) return;
    // One combined matrix per frame; each node then costs one point transform.
    const Matrix4 m = Matrix4::product(Matrix4::product(engine->world, engine->view), engine->projection);
    const Viewport& vp = engine->viewport;
    for (int i = 0; i < nodeCount && i < kPageSlots; ++i) {
        const Vector3& p = pages[i].position;
        const double xc = p.x * m.at(0, 0) + p.y * m.at(1, 0) + p.z * m.at(2, 0) + m.at(3, 0);
        const double yc = p.x * m.at(0, 1) + p.y * m.at(1, 1) + p.z * m.at(2, 1) + m.at(3, 1);
        const double wc = p.x * m.at(0, 3) + p.y * m.at(1, 3) + p.z * m.at(2, 3) + m.at(3, 3);
        pages[i].screen.x = static_cast<float>(vp.x + vp.width * (1.0 + xc / wc) / 2.0);
        pages[i].screen.y = static_cast<float>(vp.y + vp.height * (1.0 - yc / wc) / 2.0);
    }
}

void Webspace::updateNodes() {
    projectNodes();
    const int32_t selected = selectedNode ? *selectedNode : -1;
    for (int i = 0; i < nodeCount && i < kPageSlots; ++i) {
        NodeModel* model = pages[i].model;
        if (!model) continue;
        // The last colour set wins: selection over status.
        model->setColour(200, 200, 0, 200);
        if (pages[i].statusCode != 200) model->setColour(255, 0, 0, 200);
        if (i == selected) model->setColour(255, 255, 255, 200);
        model->faceViewer(0.1f);
    }
}

int Webspace::collectLinkLines(LitVertex* out, int capacity) const {
    int written = 0;
    for (int i = 0; i < maxPages && i < kPageSlots; ++i) {
        const PageNode& page = pages[i];
        if (page.state != PageState::Linking && page.state != PageState::Done) continue;
        for (int j = 0; j < page.linkCount && j < kMaxLinks; ++j) {
            const int t = page.links[j].node;
            // A link not yet looked up still names slot 0, the root: its line runs there.
            if (t < 0 || t >= kPageSlots || pages[t].state == PageState::Empty) continue;
            if (written + 2 > capacity) return written;
            out[written++].set(page.position, kLinkSourceColour, 0, 0, 0);
            out[written++].set(pages[t].position, kLinkTargetColour, 0, 0, 0);
        }
    }
    return written;
}
