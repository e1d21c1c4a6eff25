// The matrix builders and the product, with trigonometry and sums in double precision.
#include "base/Math3D.h"

#include <cmath>

float Vector3::length() const { return std::sqrt(lengthSquared()); }

Matrix4& Matrix4::setZero() {
    for (float& e : m) e = 0.0f;
    return *this;
}

Matrix4& Matrix4::setIdentity() {
    setZero();
    m[0] = m[5] = m[10] = m[15] = 1.0f;
    return *this;
}

Matrix4& Matrix4::setTranslation(float tx, float ty, float tz) {
    setIdentity();
    at(3, 0) = tx;
    at(3, 1) = ty;
    at(3, 2) = tz;
    return *this;
}

Matrix4& Matrix4::setScale(float sx, float sy, float sz) {
    setIdentity();
    at(0, 0) = sx;
    at(1, 1) = sy;
    at(2, 2) = sz;
    return *this;
}

// The rotations are left-handed for row vectors; sine and cosine are taken in double
// precision and stored as floats.
Matrix4& Matrix4::setRotationX(double angle) {
    const float c = static_cast<float>(std::cos(angle));
    const float s = static_cast<float>(std::sin(angle));
    setIdentity();
    at(1, 1) = c;
    at(1, 2) = s;
    at(2, 1) = -s;
    at(2, 2) = c;
    return *this;
}

Matrix4& Matrix4::setRotationY(double angle) {
    const float c = static_cast<float>(std::cos(angle));
    const float s = static_cast<float>(std::sin(angle));
    setIdentity();
    at(0, 0) = c;
    at(0, 2) = -s;
    at(2, 0) = s;
    at(2, 2) = c;
    return *this;
}

Matrix4& Matrix4::setRotationZ(double angle) {
    const float c = static_cast<float>(std::cos(angle));
    const float s = static_cast<float>(std::sin(angle));
    setIdentity();
    at(0, 0) = c;
    at(0, 1) = s;
    at(1, 0) = -s;
    at(1, 1) = c;
    return *this;
}

Matrix4& Matrix4::setLookAt(Vector3 eye, Vector3 target, Vector3 up) {
    const Vector3 zAxis = (target - eye).normalised();
    Vector3 xAxis = Vector3::cross(up, zAxis);
    // yAxis comes from the not yet normalised xAxis; both are normalised afterwards.
    Vector3 yAxis = Vector3::cross(zAxis, xAxis);
    xAxis = xAxis.normalised();
    yAxis = yAxis.normalised();

    setIdentity();
    at(0, 0) = xAxis.x; at(1, 0) = xAxis.y; at(2, 0) = xAxis.z;
    at(0, 1) = yAxis.x; at(1, 1) = yAxis.y; at(2, 1) = yAxis.z;
    at(0, 2) = zAxis.x; at(1, 2) = zAxis.y; at(2, 2) = zAxis.z;
    at(3, 0) = -Vector3::dot(xAxis, eye);
    at(3, 1) = -Vector3::dot(yAxis, eye);
    at(3, 2) = -Vector3::dot(zAxis, eye);
    return *this;
}

Matrix4& Matrix4::setPerspective(float nearPlane, float farPlane, float fieldOfView) {
    constexpr float kAspectFactor = 0.75f;  // fixed 3:4, whatever the display's shape
    setZero();
    const double half = fieldOfView / 2.0;
    const float cot = static_cast<float>(std::cos(half) / std::sin(half));
    const float q = farPlane / (farPlane - nearPlane);
    at(0, 0) = cot * kAspectFactor;
    at(1, 1) = cot;
    at(2, 2) = q;
    at(3, 2) = -q * nearPlane;
    at(2, 3) = 1.0f;
    return *this;
}

Matrix4 Matrix4::product(const Matrix4& a, const Matrix4& b) {
    Matrix4 out;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            double sum = 0;
            for (int k = 0; k < 4; ++k) sum += static_cast<double>(a.at(r, k)) * b.at(k, c);
            out.at(r, c) = static_cast<float>(sum);
        }
    }
    return out;
}
