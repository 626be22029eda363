// The seven vector and matrix operations against hand-computed results, their thresholds, and
// outputs that are also inputs.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "math/VectorMath.h"

namespace {

constexpr float kPi = 3.14159265f;

Matrix4 Rows(std::initializer_list<std::initializer_list<float>> rows) {
    Matrix4 m{};
    int r = 0;
    for (auto row : rows) {
        int c = 0;
        for (float x : row) m.m[r][c++] = x;
        ++r;
    }
    return m;
}

void ExpectMatrixNear(const Matrix4& a, const Matrix4& b, float tolerance) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(a.m[r][c], b.m[r][c], tolerance) << "element " << r + 1 << c + 1;
}

bool SameBits(const void* a, const void* b, size_t size) {
    return std::memcmp(a, b, size) == 0;
}

}  // namespace

TEST(Normalize, ScalesToUnitLength) {
    Vector3 v{3, 4, 0}, out{};
    EXPECT_EQ(D3DXVec3Normalize(&out, &v), &out);
    EXPECT_FLOAT_EQ(out.x, 0.6f);
    EXPECT_FLOAT_EQ(out.y, 0.8f);
    EXPECT_EQ(out.z, 0.0f);

    D3DXVec3Normalize(&v, &v);  // in place
    EXPECT_TRUE(SameBits(&v, &out, sizeof v));
}

TEST(Normalize, UnitLengthWithinToleranceIsCopiedBitForBit) {
    // Squared length 1 - 2^-23: on the threshold, so the input comes back untouched.
    const Vector3 onEdge{0.99999994f, 0, 0};
    Vector3 out{};
    D3DXVec3Normalize(&out, &onEdge);
    EXPECT_TRUE(SameBits(&out, &onEdge, sizeof out));

    // Squared length 1 - 2^-22: just outside, so it is rescaled (to exactly 1).
    const Vector3 outside{0.99999988f, 0, 0};
    D3DXVec3Normalize(&out, &outside);
    EXPECT_EQ(out.x, 1.0f);
}

TEST(Normalize, TinyAndZeroVectorsGiveZero) {
    const Vector3 cases[] = {{0, 0, 0}, {1e-20f, 0, 0}, {0, -1e-19f, 0}};
    for (const Vector3& v : cases) {
        Vector3 out{7, 7, 7};
        D3DXVec3Normalize(&out, &v);
        EXPECT_EQ(out.x, 0.0f);
        EXPECT_EQ(out.y, 0.0f);
        EXPECT_EQ(out.z, 0.0f);
    }
    // Squared length 4e-38 is above the smallest normal float: still normalised.
    const Vector3 small{0, 0, 2e-19f};
    Vector3 out{};
    D3DXVec3Normalize(&out, &small);
    EXPECT_FLOAT_EQ(out.z, 1.0f);
}

TEST(TransformCoord, TranslatesAndDividesByW) {
    Matrix4 m = Matrix4::Identity();
    m.m[3][0] = 10, m.m[3][1] = 20, m.m[3][2] = 30;
    Vector3 p{1, 2, 3};
    EXPECT_EQ(D3DXVec3TransformCoord(&p, &p, &m), &p);  // in place
    EXPECT_EQ(p.x, 11.0f);
    EXPECT_EQ(p.y, 22.0f);
    EXPECT_EQ(p.z, 33.0f);

    m.m[3][3] = 2;  // w = 2: every coordinate halves
    const Vector3 q{1, 2, 3};
    Vector3 out{};
    D3DXVec3TransformCoord(&out, &q, &m);
    EXPECT_EQ(out.x, 5.5f);
    EXPECT_EQ(out.y, 11.0f);
    EXPECT_EQ(out.z, 16.5f);
}

TEST(TransformCoord, WNearOneIsNotDivided) {
    Matrix4 m = Matrix4::Identity();
    const Vector3 p{3, 5, 7};
    Vector3 out{};
    m.m[3][3] = 1.00000012f;  // 1 + 2^-23: treated as 1
    D3DXVec3TransformCoord(&out, &p, &m);
    EXPECT_EQ(out.x, 3.0f);
    EXPECT_EQ(out.z, 7.0f);
    m.m[3][3] = 1.00000024f;  // 1 + 2^-22: divided
    D3DXVec3TransformCoord(&out, &p, &m);
    EXPECT_LT(out.z, 7.0f);
    EXPECT_FLOAT_EQ(out.z, 7.0f / 1.00000024f);
}

TEST(Multiply, HandComputedProductAndOrder) {
    const Matrix4 a = Rows({{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}, {13, 14, 15, 16}});
    const Matrix4 b = Rows({{1, 0, 0, 0}, {0, 2, 0, 0}, {0, 0, 3, 0}, {1, 1, 1, 1}});
    const Matrix4 expected =
        Rows({{5, 8, 13, 4}, {13, 20, 29, 8}, {21, 32, 45, 12}, {29, 44, 61, 16}});
    Matrix4 out{};
    EXPECT_EQ(D3DXMatrixMultiply(&out, &a, &b), &out);
    ExpectMatrixNear(out, expected, 0);

    // Into either operand: the same result as into a separate matrix.
    Matrix4 left = a, right = b;
    D3DXMatrixMultiply(&left, &left, &b);
    D3DXMatrixMultiply(&right, &a, &right);
    ExpectMatrixNear(left, expected, 0);
    ExpectMatrixNear(right, expected, 0);
    Matrix4 square = a, squareExpected{};
    D3DXMatrixMultiply(&squareExpected, &a, &a);
    D3DXMatrixMultiply(&square, &square, &square);
    ExpectMatrixNear(square, squareExpected, 0);

    // A * B applies A first: translate by +x, then turn a quarter about z.
    Matrix4 move = Matrix4::Identity(), turn{}, both{};
    move.m[3][0] = 1;
    D3DXMatrixRotationZ(&turn, kPi / 2);
    D3DXMatrixMultiply(&both, &move, &turn);
    Vector3 p{1, 0, 0};
    D3DXVec3TransformCoord(&p, &p, &both);
    EXPECT_NEAR(p.x, 0.0f, 1e-6f);
    EXPECT_NEAR(p.y, 2.0f, 1e-6f);
}

TEST(Inverse, HandComputedInverseAndDeterminant) {
    const Matrix4 m = Rows({{2, 0, 0, 0}, {0, 4, 0, 0}, {0, 0, 8, 0}, {1, 2, 3, 1}});
    Matrix4 out{};
    float det = 0;
    EXPECT_EQ(D3DXMatrixInverse(&out, &det, &m), &out);
    EXPECT_EQ(det, 64.0f);
    ExpectMatrixNear(
        out,
        Rows({{0.5f, 0, 0, 0}, {0, 0.25f, 0, 0}, {0, 0, 0.125f, 0}, {-0.5f, -0.5f, -0.375f, 1}}),
        1e-7f);

    // A general matrix: M * inverse(M) is the identity; in place needs no determinant.
    const Matrix4 g = Rows({{4, 7, 2, 3}, {0, 5, -1, 2}, {1, 0, 3, -2}, {2, 1, 0, 6}});
    Matrix4 inv = g, product{};
    EXPECT_EQ(D3DXMatrixInverse(&inv, nullptr, &inv), &inv);
    D3DXMatrixMultiply(&product, &g, &inv);
    ExpectMatrixNear(product, Matrix4::Identity(), 1e-5f);
    D3DXMatrixMultiply(&product, &inv, &g);
    ExpectMatrixNear(product, Matrix4::Identity(), 1e-5f);
}

TEST(Inverse, SingularLeavesOutputAndReportsDeterminant) {
    const Matrix4 singular = Rows({{1, 2, 3, 4}, {2, 4, 6, 8}, {0, 1, 0, 1}, {5, 0, 2, 1}});
    Matrix4 out = Rows({{9, 9, 9, 9}, {9, 9, 9, 9}, {9, 9, 9, 9}, {9, 9, 9, 9}});
    const Matrix4 before = out;
    float det = 123;
    EXPECT_EQ(D3DXMatrixInverse(&out, &det, &singular), nullptr);
    EXPECT_EQ(det, 0.0f);
    EXPECT_TRUE(SameBits(&out, &before, sizeof out));

    // A determinant of 1e-40 is not zero, but its reciprocal overflows: no inverse either.
    Matrix4 tiny{};
    for (int i = 0; i < 4; ++i) tiny.m[i][i] = 1e-10f;
    EXPECT_EQ(D3DXMatrixInverse(&out, &det, &tiny), nullptr);
    EXPECT_GT(det, 0.0f);
    EXPECT_TRUE(SameBits(&out, &before, sizeof out));
}

TEST(Rotation, QuarterTurnsFollowTheLeftHandedRowConvention) {
    Matrix4 r{};
    EXPECT_EQ(D3DXMatrixRotationY(&r, kPi / 2), &r);
    Vector3 p{1, 0, 0};
    D3DXVec3TransformCoord(&p, &p, &r);  // +x turns to -z about y
    EXPECT_NEAR(p.x, 0.0f, 1e-6f);
    EXPECT_NEAR(p.z, -1.0f, 1e-6f);
    EXPECT_EQ(r.m[1][1], 1.0f);
    EXPECT_EQ(r.m[3][3], 1.0f);

    EXPECT_EQ(D3DXMatrixRotationZ(&r, kPi / 2), &r);
    p = {1, 0, 0};
    D3DXVec3TransformCoord(&p, &p, &r);  // +x turns to +y about z
    EXPECT_NEAR(p.x, 0.0f, 1e-6f);
    EXPECT_NEAR(p.y, 1.0f, 1e-6f);

    const float a = 0.3f, c = std::cos(a), s = std::sin(a);
    D3DXMatrixRotationY(&r, a);
    ExpectMatrixNear(r, Rows({{c, 0, -s, 0}, {0, 1, 0, 0}, {s, 0, c, 0}, {0, 0, 0, 1}}), 0);
    D3DXMatrixRotationZ(&r, a);
    ExpectMatrixNear(r, Rows({{c, s, 0, 0}, {-s, c, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}), 0);
}

TEST(Perspective, MapsNearAndFarToZeroAndOne) {
    Matrix4 proj{};
    EXPECT_EQ(D3DXMatrixPerspectiveFovLH(&proj, kPi / 2, 2.0f, 1.0f, 101.0f), &proj);
    ExpectMatrixNear(
        proj, Rows({{0.5f, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1.01f, 1}, {0, 0, -1.01f, 0}}), 1e-6f);
    Vector3 nearPoint{0, 0, 1}, farPoint{0, 0, 101}, side{1, 1, 1};
    D3DXVec3TransformCoord(&nearPoint, &nearPoint, &proj);
    D3DXVec3TransformCoord(&farPoint, &farPoint, &proj);
    D3DXVec3TransformCoord(&side, &side, &proj);
    EXPECT_NEAR(nearPoint.z, 0.0f, 1e-6f);
    EXPECT_NEAR(farPoint.z, 1.0f, 1e-6f);
    EXPECT_NEAR(side.x, 0.5f, 1e-6f);  // 45 degrees up and right: the edge of the view
    EXPECT_NEAR(side.y, 1.0f, 1e-6f);
}
