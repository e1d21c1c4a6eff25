// Pre-lit vertices, triangles and the triangle lists that the renderer uploads every
// frame. A list is circular and doubly linked through a sentinel, so adding is constant
// time and the newest triangle always comes first.
#pragma once

#include <cstdint>

#include "base/Math3D.h"

// One pre-lit vertex, 32 bytes, laid out exactly as the vertex buffers hold it, so an
// upload is a plain copy.
struct LitVertex {
    float x, y, z;
    uint32_t reserved;
    uint32_t colour;    // diffuse, ARGB
    uint32_t specular;  // ARGB
    float tu, tv;

    // Leaves every field undefined, as plain data.
    LitVertex() = default;

    // Writes all eight fields; the reserved word becomes 0.
    LitVertex& set(const Vector3& position, uint32_t colour, uint32_t specular, float tu, float tv);
    // A copy whose position is the old one times m; the reserved word is left unset.
    LitVertex transformed(const Matrix4& m) const;
};
static_assert(sizeof(LitVertex) == 32, "vertex buffers hold 32-byte vertices");

struct Triangle {
    int32_t group;  // index of the triangle list that holds it (or receives its copies)
    LitVertex vertices[3];
    Triangle* next;  // towards older triangles; the sentinel after the last
    Triangle* prev;

    // Copies three consecutive vertices unchanged.
    void setVertices(const LitVertex* three);
    // Rotates about the origin: axis 1 = x, 2 = y, 3 = z; any other axis collapses it.
    void rotate(int axis, float angle);
    void translate(float tx, float ty, float tz);

private:
    void apply(const Matrix4& m);
};

constexpr int kTriangleListCount = 25;  // one per vertex buffer slot

class TriangleList {
public:
    Triangle sentinel;
    int32_t count;

    TriangleList();
    ~TriangleList();
    TriangleList(const TriangleList&) = delete;
    TriangleList& operator=(const TriangleList&) = delete;

    // Allocates a triangle holding a copy of the three vertices and links it first.
    // The caller sets its group.
    Triangle* add(const LitVertex* three);
    Triangle* first() { return sentinel.next; }
    Triangle* end() { return &sentinel; }
    const Triangle* first() const { return sentinel.next; }
    const Triangle* end() const { return &sentinel; }
};
