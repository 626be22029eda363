// The vector and matrix operations in plain single precision. Each computes into locals and
// writes the output last, so an output that is also an input is read before it is written.
#include "math/VectorMath.h"

#include <cmath>

namespace {

// 2^-23: how close to 1 a squared length or a w must be to count as exactly 1.
constexpr float kOneTolerance = 1.1920929e-7f;
// The smallest normal float: squared lengths at or below it normalise to zero.
constexpr float kSmallestNormal = 1.1754944e-38f;

}  // namespace

Vector3* D3DXVec3Normalize(Vector3* out, const Vector3* v) {
    const float x = v->x, y = v->y, z = v->z;
    const float s = x * x + y * y + z * z;
    if (std::fabs(s - 1.0f) <= kOneTolerance) {
        *out = Vector3{x, y, z};
    } else if (!(s > kSmallestNormal)) {
        *out = Vector3{0.0f, 0.0f, 0.0f};
    } else {
        const float r = 1.0f / std::sqrt(s);
        *out = Vector3{x * r, y * r, z * r};
    }
    return out;
}

Vector3* D3DXVec3TransformCoord(Vector3* out, const Vector3* v, const Matrix4* m) {
    const float x = v->x, y = v->y, z = v->z;
    const float(&a)[4][4] = m->m;
    float rx = x * a[0][0] + y * a[1][0] + z * a[2][0] + a[3][0];
    float ry = x * a[0][1] + y * a[1][1] + z * a[2][1] + a[3][1];
    float rz = x * a[0][2] + y * a[1][2] + z * a[2][2] + a[3][2];
    const float w = x * a[0][3] + y * a[1][3] + z * a[2][3] + a[3][3];
    if (!(std::fabs(w - 1.0f) <= kOneTolerance)) {
        const float r = 1.0f / w;
        rx *= r;
        ry *= r;
        rz *= r;
    }
    *out = Vector3{rx, ry, rz};
    return out;
}

Matrix4* D3DXMatrixMultiply(Matrix4* out, const Matrix4* a, const Matrix4* b) {
    Matrix4 r;
    for (int row = 0; row < 4; ++row) {
        for (int col = 0; col < 4; ++col) {
            r.m[row][col] = a->m[row][0] * b->m[0][col] + a->m[row][1] * b->m[1][col] +
                            a->m[row][2] * b->m[2][col] + a->m[row][3] * b->m[3][col];
        }
    }
    *out = r;
    return out;
}

Matrix4* D3DXMatrixInverse(Matrix4* out, float* determinant, const Matrix4* m) {
    const float(&a)[4][4] = m->m;
    // 2 x 2 minors of the upper two rows (s) and of the lower two rows (c).
    const float s0 = a[0][0] * a[1][1] - a[1][0] * a[0][1];
    const float s1 = a[0][0] * a[1][2] - a[1][0] * a[0][2];
    const float s2 = a[0][0] * a[1][3] - a[1][0] * a[0][3];
    const float s3 = a[0][1] * a[1][2] - a[1][1] * a[0][2];
    const float s4 = a[0][1] * a[1][3] - a[1][1] * a[0][3];
    const float s5 = a[0][2] * a[1][3] - a[1][2] * a[0][3];
    const float c0 = a[2][0] * a[3][1] - a[3][0] * a[2][1];
    const float c1 = a[2][0] * a[3][2] - a[3][0] * a[2][2];
    const float c2 = a[2][0] * a[3][3] - a[3][0] * a[2][3];
    const float c3 = a[2][1] * a[3][2] - a[3][1] * a[2][2];
    const float c4 = a[2][1] * a[3][3] - a[3][1] * a[2][3];
    const float c5 = a[2][2] * a[3][3] - a[3][2] * a[2][3];

    const float det = s0 * c5 - s1 * c4 + s2 * c3 + s3 * c2 - s4 * c1 + s5 * c0;
    if (determinant) *determinant = det;
    const float invDet = 1.0f / det;
    if (!std::isfinite(invDet)) return nullptr;

    // Adjugate (transposed cofactors), scaled by 1 / det.
    Matrix4 r;
    r.m[0][0] = (a[1][1] * c5 - a[1][2] * c4 + a[1][3] * c3) * invDet;
    r.m[0][1] = (-a[0][1] * c5 + a[0][2] * c4 - a[0][3] * c3) * invDet;
    r.m[0][2] = (a[3][1] * s5 - a[3][2] * s4 + a[3][3] * s3) * invDet;
    r.m[0][3] = (-a[2][1] * s5 + a[2][2] * s4 - a[2][3] * s3) * invDet;
    r.m[1][0] = (-a[1][0] * c5 + a[1][2] * c2 - a[1][3] * c1) * invDet;
    r.m[1][1] = (a[0][0] * c5 - a[0][2] * c2 + a[0][3] * c1) * invDet;
    r.m[1][2] = (-a[3][0] * s5 + a[3][2] * s2 - a[3][3] * s1) * invDet;
    r.m[1][3] = (a[2][0] * s5 - a[2][2] * s2 + a[2][3] * s1) * invDet;
    r.m[2][0] = (a[1][0] * c4 - a[1][1] * c2 + a[1][3] * c0) * invDet;
    r.m[2][1] = (-a[0][0] * c4 + a[0][1] * c2 - a[0][3] * c0) * invDet;
    r.m[2][2] = (a[3][0] * s4 - a[3][1] * s2 + a[3][3] * s0) * invDet;
    r.m[2][3] = (-a[2][0] * s4 + a[2][1] * s2 - a[2][3] * s0) * invDet;
    r.m[3][0] = (-a[1][0] * c3 + a[1][1] * c1 - a[1][2] * c0) * invDet;
    r.m[3][1] = (a[0][0] * c3 - a[0][1] * c1 + a[0][2] * c0) * invDet;
    r.m[3][2] = (-a[3][0] * s3 + a[3][1] * s1 - a[3][2] * s0) * invDet;
    r.m[3][3] = (a[2][0] * s3 - a[2][1] * s1 + a[2][2] * s0) * invDet;
    *out = r;
    return out;
}

Matrix4* D3DXMatrixRotationY(Matrix4* out, float angle) {
    const float c = std::cos(angle), s = std::sin(angle);
    *out = Matrix4{{{c, 0, -s, 0}, {0, 1, 0, 0}, {s, 0, c, 0}, {0, 0, 0, 1}}};
    return out;
}

Matrix4* D3DXMatrixRotationZ(Matrix4* out, float angle) {
    const float c = std::cos(angle), s = std::sin(angle);
    *out = Matrix4{{{c, s, 0, 0}, {-s, c, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
    return out;
}

Matrix4* D3DXMatrixPerspectiveFovLH(Matrix4* out, float fovy, float aspect, float zn, float zf) {
    const float half = fovy * 0.5f;
    const float h = std::cos(half) / std::sin(half);
    const float w = h / aspect;
    const float q = zf / (zf - zn);
    *out = Matrix4{{{w, 0, 0, 0}, {0, h, 0, 0}, {0, 0, q, 1}, {0, 0, -zn * q, 0}}};
    return out;
}
