// Vector and matrix math in Direct3D's conventions, for the renderer and the webspace:
// row vectors multiplied on the left, a left-handed system, row-major 4 x 4 matrices
// with the translation in row 3. Angles are in radians. Every matrix is made by a
// builder or as the product of two (world, view and projection combined); no inverse.
#pragma once

struct Vector3 {
    float x, y, z;

    // Leaves the components undefined, as plain data.
    Vector3() = default;
    Vector3(float x, float y, float z) : x(x), y(y), z(z) {}

    float& operator[](int i) { return i == 0 ? x : (i == 1 ? y : z); }
    float operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }

    Vector3& operator+=(const Vector3& b) { x += b.x; y += b.y; z += b.z; return *this; }
    Vector3 operator-(const Vector3& b) const { return {x - b.x, y - b.y, z - b.z}; }
    Vector3 operator/(float s) const { return {x / s, y / s, z / s}; }

    float lengthSquared() const { return x * x + y * y + z * z; }
    float length() const;
    // The vector divided by its length; a zero vector gives non-finite components.
    Vector3 normalised() const { return *this / length(); }

    static float dot(const Vector3& a, const Vector3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
    static Vector3 cross(const Vector3& a, const Vector3& b) {
        return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
    }
};

struct Matrix4 {
    float m[16] = {};  // element (r, c) is m[4 * r + c]

    float& at(int row, int column) { return m[4 * row + column]; }
    float at(int row, int column) const { return m[4 * row + column]; }

    Matrix4& setZero();
    Matrix4& setIdentity();
    Matrix4& setTranslation(float tx, float ty, float tz);
    Matrix4& setScale(float sx, float sy, float sz);
    Matrix4& setRotationX(double angle);
    Matrix4& setRotationY(double angle);
    Matrix4& setRotationZ(double angle);
    // View matrix of an eye looking at target; only the direction of up matters.
    Matrix4& setLookAt(Vector3 eye, Vector3 target, Vector3 up);
    // Projection with a fixed 3:4 horizontal factor, depth mapped to [0, 1].
    Matrix4& setPerspective(float nearPlane, float farPlane, float fieldOfView);

    // a times b: the transform that applies a first, then b. Sums are taken in double.
    static Matrix4 product(const Matrix4& a, const Matrix4& b);

    // Component `column` of the point p as the row vector (x, y, z, 1) times this matrix,
    // summed in single precision; no division by w.
    float transformedComponent(const Vector3& p, int column) const {
        return p.x * at(0, column) + p.y * at(1, column) + p.z * at(2, column) + at(3, column);
    }
};
