#include <gtest/gtest.h>


#include "render/Math3D.h"

namespace {

void expectMatrix(const Matrix4& actual, const float (&expected)[16]) {
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(actual.m[i], expected[i], 1e-6f) << "element (" << i / 4 << ", " << i % 4 << ")";
}

void expectPoint(const Vector3& actual, float x, float y, float z) {
    EXPECT_NEAR(actual.x, x, 1e-5f);
    EXPECT_NEAR(actual.y, y, 1e-5f);
    EXPECT_NEAR(actual.z, z, 1e-5f);
}

constexpr float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
constexpr double kQuarterTurn = 1.5707963267948966;

TEST(Matrix4, DefaultIsZeroAndBuildersOverwriteEverything) {
    Matrix4 m;
    for (float e : m.m) EXPECT_EQ(e, 0.0f);
    m.setScale(2, 3, 4).setRotationX(0);
    expectMatrix(m, kIdentity);
    expectMatrix(Matrix4().setRotationY(0), kIdentity);
    expectMatrix(Matrix4().setRotationZ(0), kIdentity);
}

TEST(Matrix4, PointsTransformAsRowVectorsWithoutDivision) {
    expectPoint(Matrix4().setTranslation(10, 20, 30).transformPoint({1, 2, 3}), 11, 22, 33);
    expectPoint(Matrix4().setScale(2, 3, 4).transformPoint({1, 1, 1}), 2, 3, 4);
    // Left-handed quarter turns.
    expectPoint(Matrix4().setRotationZ(kQuarterTurn).transformPoint({1, 0, 0}), 0, 1, 0);
    expectPoint(Matrix4().setRotationX(kQuarterTurn).transformPoint({0, 1, 0}), 0, 0, 1);
    expectPoint(Matrix4().setRotationY(kQuarterTurn).transformPoint({0, 0, 1}), 1, 0, 0);
    // The perspective matrix's w column is never applied.
    expectPoint(Matrix4().setPerspective(0.1f, 300, 1.0471976f).transformPoint({0, 0, 10}), 0, 0,
                10 * 1.0003334f - 0.10003334f);
}

TEST(Matrix4, LookAt) {
    const float expected[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 10, 1};
    expectMatrix(Matrix4().setLookAt({0, 0, -10}, {0, 0, 0}, {0, 1, 0}), expected);

    // Only the direction of up matters.
    const Matrix4 a = Matrix4().setLookAt({3, 4, -5}, {25, 1, 25}, {0, 0.35f, 0});
    const Matrix4 b = Matrix4().setLookAt({3, 4, -5}, {25, 1, 25}, {0, 1, 0});
    expectMatrix(a, b.m);
    // The target lies straight ahead, at its distance from the eye.
    const Vector3 seen = a.transformPoint({25, 1, 25});
    expectPoint(seen, 0, 0, (Vector3(25, 1, 25) - Vector3(3, 4, -5)).length());
}

TEST(Matrix4, Perspective) {
    const Matrix4 p = Matrix4().setPerspective(0.1f, 300.0f, 1.0471976f);
    const float expected[16] = {1.2990381f, 0, 0, 0, 0, 1.7320508f, 0, 0, 0, 0, 1.0003334f, 1, 0, 0, -0.10003334f, 0};
    expectMatrix(p, expected);
}

}  // namespace
