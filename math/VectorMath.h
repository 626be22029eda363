// Vector and matrix operations: the seven D3DX8 operations the program calls, single precision.
// Row vectors (v' = v * M), matrices stored row by row, left-handed coordinates; one plain
// C++ implementation for every processor.
#pragma once

// Three 32-bit floats: a point or a direction.
struct Vector3 {
    float x, y, z;
};

// A 4 x 4 single-precision matrix, stored row by row. m[r][c] is the element the platform
// calls _(r+1)(c+1): m[3][0..2] (_41, _42, _43) hold a translation, because points are row
// vectors multiplied on the left (v' = v * M) and A * B applies A first, then B.
struct Matrix4 {
    float m[4][4];

    static constexpr Matrix4 Identity() {
        return Matrix4{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
    }
};

// Every operation writes its first argument and returns it; the output may be the same
// object as any input. Angles are in radians.

// out = v / |v|. A vector whose squared length is within 2^-23 of 1 is copied unchanged
// (bit for bit); one whose squared length is not above the smallest normal float
// (1.1754944e-38) gives the zero vector.
Vector3* D3DXVec3Normalize(Vector3* out, const Vector3* v);

// out = (v, 1) * M with the perspective divide: x', y', z' are divided by w unless w is
// within 2^-23 of 1, in which case they are returned as computed.
Vector3* D3DXVec3TransformCoord(Vector3* out, const Vector3* v, const Matrix4* m);

// out = a * b (a applied first, then b).
Matrix4* D3DXMatrixMultiply(Matrix4* out, const Matrix4* a, const Matrix4* b);

// out = inverse of m by cofactors. The determinant goes to *determinant when that is not null,
// also for a singular matrix. If 1 / determinant is not finite the result is null and out is
// left untouched.
Matrix4* D3DXMatrixInverse(Matrix4* out, float* determinant, const Matrix4* m);

// Rotation about y: rows (c, 0, -s, 0), (0, 1, 0, 0), (s, 0, c, 0), (0, 0, 0, 1).
Matrix4* D3DXMatrixRotationY(Matrix4* out, float angle);

// Rotation about z: rows (c, s, 0, 0), (-s, c, 0, 0), (0, 0, 1, 0), (0, 0, 0, 1).
Matrix4* D3DXMatrixRotationZ(Matrix4* out, float angle);

// Left-handed perspective projection: view-space +z goes into the screen, depth zn -> 0 and
// zf -> 1. fovy is the full vertical field of view, aspect = width / height.
Matrix4* D3DXMatrixPerspectiveFovLH(Matrix4* out, float fovy, float aspect, float zn, float zf);
