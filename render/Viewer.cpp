#include "render/Viewer.h"

#include <cmath>

#include "render/Engine.h"
#include "webspace/Webspace.h"

namespace {
constexpr float kGlideBand = 0.2f;  // an axis stops gliding within this of the node
constexpr float kGlideStep = 10.0f; // the dominant axis moves 1/10 unit per frame
}  // namespace

void Viewer::reset(const Webspace& space, int32_t selectedNode, int32_t displayWidth, int32_t displayHeight) {
    eye = Vector3(25, 2, 20);
    rotation = Vector3(0, 3.14f, 0);
    spin = Vector3(0, 0, 0);
    up = Vector3(0, 1, 0);
    const Vector3& p = space.pages[selectedNode].position;
    target = Vector3(p.x, p.y - 10.0f, p.z + 9.0f);
    pointer = Vector3(static_cast<float>(displayWidth / 2), static_cast<float>(displayHeight / 2), 0);
    hoveredNode = -1;
    distance = 10.0f;
    maxSpin = 0.08f;
}

void Viewer::placeEye() {
    const double t = rotation.x, p = rotation.y, d = distance;
    eye.x = static_cast<float>(target.x - std::sin(t) * std::cos(p) * d);
    eye.z = static_cast<float>(target.z - std::cos(t) * std::cos(p) * d);
    eye.y = static_cast<float>(target.y - std::sin(p) * d);
}

void Viewer::followSelection(const Webspace& space, int32_t selectedNode, Engine& engine) {
    up = Vector3(0, 0.35f, 0);
    const Vector3& node = space.pages[selectedNode].position;
    const Vector3 d = node - target;
    const float a = std::fabs(d.x), b = std::fabs(d.y), c = std::fabs(d.z);
    const float m = (a > b && a > c) ? a : ((b > a && b > c) ? b : c);
    if (m != 0.0f) {
        const Vector3 u = d / m;
        if (target.x > node.x + kGlideBand || target.x < node.x - kGlideBand) target.x += u.x / kGlideStep;
        if (target.z > node.z + kGlideBand || target.z < node.z - kGlideBand) target.z += u.z / kGlideStep;
        if (target.y > node.y + kGlideBand || target.y < node.y - kGlideBand) target.y += u.y / kGlideStep;
    }
    engine.view.setLookAt(eye, target, up);
    if (engine.haveDevice) engine.device->setTransform(TransformState::View, engine.view);
}
