// A mesh: a fixed template of textured, pre-lit triangles that node models copy.
#pragma once

#include <cstdint>

#include "render/TriangleList.h"

constexpr int kMeshCount = 100;
constexpr int kMeshTriangles = 400;  // triangles a mesh (and so a node model) can hold

struct Mesh {
    int32_t count = 0;  // triangles in use, from the start of the array
    Triangle triangles[kMeshTriangles];
};
