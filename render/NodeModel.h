// The geometry of one page node: triangles copied from a mesh into the engine's shared
// triangle lists, kept in world coordinates, recoloured and turned to face the viewer
// every frame. The lists own the triangles; the model only refers to them.
#pragma once

#include <cstdint>

#include "base/Math3D.h"
#include "render/Mesh.h"
#include "webspace/NodeModels.h"

class Engine;
class Viewer;

class NodeModel {
public:
    Triangle* triangles[kMeshTriangles];
    int32_t count = 0;
    Vector3 position;
    Vector3 placedAt;  // where the vertices currently stand relative to the mesh

    NodeModel(Engine& engine, const Viewer& viewer) : engine_(engine), viewer_(viewer) {}

    // Copies mesh meshIndex into the shared lists; the model stands at the origin.
    void buildFromMesh(int meshIndex);
    void setPosition(float x, float y, float z);
    // Rotates about the model's own position; rotations accumulate.
    void rotate(int axis, float angle);
    void shiftTexture(float du, float dv);
    // Rebuilds the square of side 2 halfSize around the position, facing the viewer.
    void faceViewer(float halfSize);
    // Every vertex takes the colour (ARGB).
    void setColour(uint32_t colour);

private:
    Engine& engine_;
    const Viewer& viewer_;
};

// The node models of the engine's lists: each placed node's square, on the tile its page
// asks for, shown every frame as node display says.
class EngineNodeModels : public NodeModels {
public:
    EngineNodeModels(Engine& engine, const Viewer& viewer) : engine_(engine), viewer_(viewer) {}
    void buildNodeModel(Webspace& space, int slot) override;
    void showNodeModel(NodeModel& model, uint32_t colour, float halfSize) override;

private:
    Engine& engine_;
    const Viewer& viewer_;
};
