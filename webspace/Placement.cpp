// Node placement: the first free cell next to the parent, on the node's own layer.
#include "webspace/Webspace.h"

namespace {

constexpr float kDirectoryShift = 5.0f;  // world units a new directory stands aside from its parent

// Sideways shift of a node whose directory level differs from its parent's: successive
// levels cycle through +x, -x, +z, -z so that directories fan out around the root.
Vector3 directoryShift(int level) {
    if (level < 2 || level > 49) return {0.0f, 0.0f, 0.0f};
    switch (level % 4) {
        case 2: return {kDirectoryShift, 0.0f, 0.0f};
        case 3: return {-kDirectoryShift, 0.0f, 0.0f};
        case 0: return {0.0f, 0.0f, kDirectoryShift};
        default: return {0.0f, 0.0f, -kDirectoryShift};
    }
}

}  // namespace

void Webspace::placeNode(int slot, int parent) {
    PageNode& node = pages[slot];
    const int level = node.level;
    node.position = Vector3(25.0f, static_cast<float>(level), 25.0f);

    if (parent != -1) {
        const PageNode& parentNode = pages[parent];
        const Vector3 base = parentNode.position;
        node.position = base;
        const Vector3 shift = level != parentNode.level ? directoryShift(level) : Vector3(0.0f, 0.0f, 0.0f);

        // The first free cell among the candidates wins. Every candidate stands on the
        // node's own layer, while the base keeps the parent's height. A candidate whose
        // cell lies outside the grid counts as taken.
        for (const Vector3& offset : placementOffsets) {
            Vector3 candidate = base;
            candidate += offset;
            candidate += shift;
            candidate.y = static_cast<float>(level);
            const int cell = PlacementGrid::cellIndex(candidate);
            if (cell >= 0 && grid.cells[cell] == -1) {
                node.position = candidate;
                break;
            }
        }
        // With every candidate taken the node stands on its parent, and takes its cell.
    }

    const int cell = PlacementGrid::cellIndex(node.position);
    if (cell >= 0) grid.cells[cell] = slot;  // no cell is recorded for a position outside the grid

    buildNodeModel(slot);
}
