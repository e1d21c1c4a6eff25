// Node models: mesh triangles copied into the engine's lists, moved, turned, tinted and
// squared up to the viewer; and the node models the webspace's nodes get.
#include "render/NodeModel.h"

#include <cstring>

#include "render/Engine.h"
#include "render/Viewer.h"
#include "webspace/Webspace.h"

void NodeModel::buildFromMesh(int meshIndex) {
    count = 0;
    if (meshIndex >= 0 && meshIndex < kMeshCount) {
        const Mesh& mesh = engine_.meshes[meshIndex];
        for (int i = 0; i < mesh.count && i < kMeshTriangles; ++i) {
            const int group = mesh.triangles[i].group;
            if (group < 0 || group >= kTriangleListCount) continue;  // a list that does not exist
            Triangle* t = engine_.triangleLists[group].add(mesh.triangles[i].vertices);
            t->group = group;
            triangles[count++] = t;
        }
    }
    placedAt = Vector3(0, 0, 0);
}

void NodeModel::setPosition(float x, float y, float z) {
    position = Vector3(x, y, z);
    const float dx = x - placedAt.x, dy = y - placedAt.y, dz = z - placedAt.z;
    for (int i = 0; i < count; ++i) triangles[i]->translate(dx, dy, dz);
    placedAt = position;
}

void NodeModel::rotate(int axis, float angle) {
    const Vector3 kept = position;
    setPosition(0, 0, 0);
    for (int i = 0; i < count; ++i) triangles[i]->rotate(axis, angle);
    setPosition(kept.x, kept.y, kept.z);
}

void NodeModel::shiftTexture(float du, float dv) {
    for (int i = 0; i < count; ++i) {
        for (LitVertex& v : triangles[i]->vertices) {
            v.tu += du;
            v.tv += dv;
        }
    }
}

void NodeModel::faceViewer(float s) {
    // The square needs both of its triangles; a model with fewer is left alone.
    if (count < 2) return;
    const float px = position.x, py = position.y, pz = position.z;
    const Vector3 corners[6] = {
        {px + s, py - s, pz}, {px - s, py - s, pz}, {px - s, py + s, pz},
        {px + s, py - s, pz}, {px - s, py + s, pz}, {px + s, py + s, pz},
    };
    for (int t = 0; t < 2; ++t) {
        for (int v = 0; v < 3; ++v) {
            LitVertex& vertex = triangles[t]->vertices[v];
            vertex.x = corners[3 * t + v].x;
            vertex.y = corners[3 * t + v].y;
            vertex.z = corners[3 * t + v].z;
        }
    }
    // The vertices now stand at the position itself.
    placedAt = position;
    rotate(1, -viewer_.rotation.y);
    rotate(2, viewer_.rotation.x);
}

void NodeModel::setColour(uint32_t colour) {
    for (int i = 0; i < count; ++i)
        for (LitVertex& v : triangles[i]->vertices) v.colour = colour;
}

void EngineNodeModels::buildNodeModel(Webspace& space, int slot) {
    if (slot < 0 || slot >= kPageSlots) return;
    PageNode& page = space.pages[slot];
    auto* model = new NodeModel(engine_, viewer_);
    page.model = model;
    model->buildFromMesh(0);
    model->setPosition(page.position.x, page.position.y, page.position.z);
    model->faceViewer(0.2f);
    // Index pages show the second tile, pages without a level the third, both the fourth.
    if (std::strstr(page.path, "default") || std::strstr(page.path, "index")) model->shiftTexture(0.25f, 0);
    if (page.level == 0) model->shiftTexture(0.5f, 0);
}

void EngineNodeModels::showNodeModel(NodeModel& model, uint32_t colour, float halfSize) {
    model.setColour(colour);
    model.faceViewer(halfSize);
}
