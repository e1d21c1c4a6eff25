// Vertices, triangles and their transforms, and the circular triangle lists.
#include "render/TriangleList.h"

LitVertex& LitVertex::set(const Vector3& position, uint32_t diffuse, uint32_t spec, float u, float v) {
    x = position.x;
    y = position.y;
    z = position.z;
    reserved = 0;
    colour = diffuse;
    specular = spec;
    tu = u;
    tv = v;
    return *this;
}

LitVertex LitVertex::transformed(const Matrix4& m) const {
    // Sums in double, rounded once when stored, so a translation of a far vertex does
    // not drift by more than one float step.
    LitVertex out = *this;
    const double px = x, py = y, pz = z;
    out.x = static_cast<float>(px * m.at(0, 0) + py * m.at(1, 0) + pz * m.at(2, 0) + m.at(3, 0));
    out.y = static_cast<float>(px * m.at(0, 1) + py * m.at(1, 1) + pz * m.at(2, 1) + m.at(3, 1));
    out.z = static_cast<float>(px * m.at(0, 2) + py * m.at(1, 2) + pz * m.at(2, 2) + m.at(3, 2));
    return out;
}

void Triangle::setVertices(const LitVertex* three) {
    for (int i = 0; i < 3; ++i) vertices[i] = three[i];
}

void Triangle::apply(const Matrix4& m) {
    for (LitVertex& v : vertices) v = v.transformed(m);
}

void Triangle::rotate(int axis, float angle) {
    Matrix4 m;  // all zero: an unknown axis collapses the triangle onto the origin
    if (axis == 1) m.setRotationX(angle);
    else if (axis == 2) m.setRotationY(angle);
    else if (axis == 3) m.setRotationZ(angle);
    apply(m);
}

void Triangle::translate(float tx, float ty, float tz) {
    Matrix4 m;
    m.setTranslation(tx, ty, tz);
    apply(m);
}

TriangleList::TriangleList() : count(0) {
    sentinel.group = -1;
    sentinel.next = &sentinel;
    sentinel.prev = &sentinel;
}

TriangleList::~TriangleList() {
    Triangle* t = sentinel.next;
    while (t != &sentinel) {
        Triangle* following = t->next;
        delete t;
        t = following;
    }
}

Triangle* TriangleList::add(const LitVertex* three) {
    Triangle* t = new Triangle;
    t->setVertices(three);
    t->next = sentinel.next;
    t->prev = &sentinel;
    sentinel.next->prev = t;
    sentinel.next = t;
    ++count;
    return t;
}
