// The two meshes of the scene: the cooking pot (a lathed profile with a rolled rim and two
// loop handles) and the water surface (a disc from a square grid, mapped without gaps).
// World units are those of the fluid: inner radius 85 around the z axis, floor at z = 0.
#include "tools/mediagen/Shapes.h"

#include <algorithm>
#include <cmath>

namespace mediagen {

namespace {

constexpr double kPi = 3.14159265358979323846;

// One point of the pot's profile in the (radius, height) half-plane, with its normal there.
struct ProfilePoint {
    double r, z;     // position
    double nr, nz;   // unit normal, pointing away from the metal
};

void AddLine(std::vector<ProfilePoint>& out, double r0, double z0, double r1, double z1,
             double nr, double nz, int steps) {
    for (int i = 0; i <= steps; ++i) {
        double t = static_cast<double>(i) / steps;
        out.push_back({r0 + (r1 - r0) * t, z0 + (z1 - z0) * t, nr, nz});
    }
}

// Arc around (cr, cz) from angle a0 to a1 (radians); outward: the normal points away from
// the centre (a convex bulge of metal) rather than towards it (a concave fillet).
void AddArc(std::vector<ProfilePoint>& out, double cr, double cz, double radius, double a0,
            double a1, bool outward, int steps) {
    for (int i = 0; i <= steps; ++i) {
        double a = a0 + (a1 - a0) * static_cast<double>(i) / steps;
        double c = std::cos(a), s = std::sin(a);
        double sign = outward ? 1.0 : -1.0;
        out.push_back({cr + radius * c, cz + radius * s, sign * c, sign * s});
    }
}

// The pot's cross-section, from the centre of the inside floor over the rim to the centre
// of the outside bottom. Wall 3.5 thick, floor 3 thick, rim bead on top at about z = 110.
// The curves get the steps; the straight pieces only as many as the vertex lighting and
// the reflection lookups need to follow the view across them.
std::vector<ProfilePoint> PotProfile() {
    std::vector<ProfilePoint> p;
    AddLine(p, 0.0, 0.0, 79.0, 0.0, 0.0, 1.0, 5);                   // inside floor
    AddArc(p, 79.0, 6.0, 6.0, -kPi / 2, 0.0, false, 4);              // inside fillet
    AddLine(p, 85.0, 6.0, 85.0, 107.0, -1.0, 0.0, 10);               // inside wall
    AddArc(p, 88.5, 107.0, 3.5, kPi, -kPi / 2, true, 20);            // rolled rim
    AddLine(p, 88.5, 103.5, 88.5, 5.0, 1.0, 0.0, 10);                // outside wall
    AddArc(p, 80.5, 5.0, 8.0, 0.0, -kPi / 2, true, 6);               // outside fillet
    AddLine(p, 80.5, -3.0, 0.0, -3.0, 0.0, -1.0, 2);                 // outside bottom
    // Joints between pieces repeat a point: drop the repeat where the normal agrees, keep
    // it (a sharp edge) where it does not.
    std::vector<ProfilePoint> merged;
    for (const ProfilePoint& q : p) {
        if (!merged.empty()) {
            const ProfilePoint& last = merged.back();
            bool same_place = std::fabs(last.r - q.r) < 1e-9 && std::fabs(last.z - q.z) < 1e-9;
            bool same_normal = std::fabs(last.nr - q.nr) < 1e-6 && std::fabs(last.nz - q.nz) < 1e-6;
            if (same_place && same_normal) continue;
        }
        merged.push_back(q);
    }
    return merged;
}

void AddLathe(MeshBuilder& mesh, const std::vector<ProfilePoint>& profile, int slices) {
    std::vector<double> length(profile.size(), 0.0);
    for (size_t i = 1; i < profile.size(); ++i) {
        length[i] = length[i - 1] + std::hypot(profile[i].r - profile[i - 1].r,
                                               profile[i].z - profile[i - 1].z);
    }
    const double total = length.back();
    std::vector<std::vector<int>> rings(profile.size());
    for (size_t i = 0; i < profile.size(); ++i) {
        const ProfilePoint& q = profile[i];
        for (int s = 0; s <= slices; ++s) {
            double a = 2.0 * kPi * s / slices;
            double c = std::cos(a), sn = std::sin(a);
            MeshVertex v;
            v.position = {q.r * c, q.r * sn, q.z};
            v.normal = {q.nr * c, q.nr * sn, q.nz};
            v.u = static_cast<double>(s) / slices;
            v.v = length[i] / total;
            rings[i].push_back(mesh.AddVertex(v));
        }
    }
    for (size_t i = 0; i + 1 < profile.size(); ++i) {
        bool same_place = std::fabs(profile[i].r - profile[i + 1].r) < 1e-9 &&
                          std::fabs(profile[i].z - profile[i + 1].z) < 1e-9;
        if (same_place) continue;   // a sharp edge: the two rings coincide
        for (int s = 0; s < slices; ++s) {
            // AddTriangle drops the slivers of a ring of radius 0 at the axis.
            mesh.AddQuad(rings[i][s], rings[i][s + 1], rings[i + 1][s + 1], rings[i + 1][s]);
        }
    }
}

// A loop handle standing out of the wall at angle phi: a tube along a half ellipse in the
// vertical plane through the axis, its ends buried in the wall.
void AddHandle(MeshBuilder& mesh, double phi) {
    constexpr int kAlong = 28, kAround = 14;
    constexpr double kBase = 88.0, kReach = 17.0, kCentreZ = 90.0, kHalfHeight = 11.0;
    constexpr double kTube = 2.6;
    const double c = std::cos(phi), s = std::sin(phi);
    std::vector<std::vector<int>> rows(kAlong + 1);
    for (int i = 0; i <= kAlong; ++i) {
        double a = -kPi / 2 + kPi * i / kAlong;
        // Path point and its in-plane normal, in (radial, z).
        double pr = kBase + kReach * std::cos(a), pz = kCentreZ + kHalfHeight * std::sin(a);
        double tr = -kReach * std::sin(a), tz = kHalfHeight * std::cos(a);
        double tl = std::hypot(tr, tz);
        double nr = tz / tl, nz = -tr / tl;   // points away from the ellipse's centre
        for (int j = 0; j <= kAround; ++j) {
            double b = 2.0 * kPi * j / kAround;
            double cb = std::cos(b), sb = std::sin(b);
            // Normal in (radial, sideways, z); sideways is perpendicular to the path's plane.
            double wr = nr * cb, wy = sb, wz = nz * cb;
            MeshVertex v;
            double rr = pr + kTube * wr, side = kTube * wy;
            v.position = {rr * c - side * s, rr * s + side * c, pz + kTube * wz};
            v.normal = {wr * c - wy * s, wr * s + wy * c, wz};
            v.u = static_cast<double>(i) / kAlong;
            v.v = static_cast<double>(j) / kAround;
            rows[i].push_back(mesh.AddVertex(v));
        }
    }
    for (int i = 0; i < kAlong; ++i) {
        for (int j = 0; j < kAround; ++j) {
            mesh.AddQuad(rows[i][j], rows[i][j + 1], rows[i + 1][j + 1], rows[i + 1][j]);
        }
    }
}

}  // namespace

MeshBuilder BuildPot() {
    MeshBuilder mesh;
    AddLathe(mesh, PotProfile(), 96);
    // Across the start view (the camera starts on the +x side), so both show in profile.
    AddHandle(mesh, kPi / 2);
    AddHandle(mesh, 3 * kPi / 2);
    return mesh;
}

MeshBuilder BuildWater(double radius, double height, double origin, double pitch,
                       int rimVertices) {
    MeshBuilder mesh;
    // The grid points whose squares lie wholly inside the disc less a margin, so that no
    // grid point comes closer to the rim ring than about a third of a step.
    const double inner = radius - 0.35 * pitch;
    const int side = static_cast<int>(std::floor(-2.0 * origin / pitch)) + 1;
    auto coordinate = [&](int k) { return origin + k * pitch; };
    auto inside = [&](int i, int j) {
        return std::hypot(coordinate(i), coordinate(j)) <= inner;
    };
    auto squareInside = [&](int i, int j) {
        return i >= 0 && j >= 0 && i + 1 < side && j + 1 < side && inside(i, j) &&
               inside(i + 1, j) && inside(i, j + 1) && inside(i + 1, j + 1);
    };
    auto addVertex = [&](double x, double y) {
        MeshVertex v;
        v.position = {x, y, height};
        v.normal = {0.0, 0.0, 1.0};
        v.u = (x - origin) / (-2.0 * origin);
        v.v = (-origin - y) / (-2.0 * origin);
        return mesh.AddVertex(v);
    };
    // Grid vertices, row by row, for every corner of a kept square.
    std::vector<int> index(static_cast<size_t>(side) * side, -1);
    struct Boundary {
        double angle;
        int vertex;
    };
    std::vector<Boundary> boundary;
    for (int j = 0; j < side; ++j) {
        for (int i = 0; i < side; ++i) {
            int kept = 0;
            for (int dj = -1; dj <= 0; ++dj)
                for (int di = -1; di <= 0; ++di) kept += squareInside(i + di, j + dj) ? 1 : 0;
            if (kept == 0) continue;
            const double x = coordinate(i), y = coordinate(j);
            index[static_cast<size_t>(j) * side + i] = addVertex(x, y);
            // A corner of kept and dropped squares lies on the edge of the kept region.
            if (kept < 4) boundary.push_back({std::atan2(y, x), index[static_cast<size_t>(j) * side + i]});
        }
    }
    for (int j = 0; j + 1 < side; ++j) {
        for (int i = 0; i + 1 < side; ++i) {
            if (!squareInside(i, j)) continue;
            auto at = [&](int di, int dj) { return index[static_cast<size_t>(j + dj) * side + i + di]; };
            // One diagonal direction everywhere: alternating them draws diamonds into the
            // ripples' light, which reads as a pattern on the water.
            mesh.AddQuad(at(0, 0), at(1, 0), at(1, 1), at(0, 1));
        }
    }
    // The rim ring, and the band between it and the kept region's edge. The kept region is
    // a staircase that every ray from the centre leaves once, so its edge, sorted by angle,
    // is a closed loop; the band is stitched by walking both loops in angle order.
    std::vector<Boundary> ring;
    for (int k = 0; k < rimVertices; ++k) {
        double a = -kPi + 2.0 * kPi * (k + 0.5) / rimVertices;
        ring.push_back({a, addVertex(radius * std::cos(a), radius * std::sin(a))});
    }
    std::sort(boundary.begin(), boundary.end(),
              [](const Boundary& a, const Boundary& b) { return a.angle < b.angle; });
    const size_t nb = boundary.size(), nr = ring.size();
    // Angle of the k-th entry of a loop, counting on past a full turn.
    auto angleOf = [](const std::vector<Boundary>& loop, size_t k) {
        return loop[k % loop.size()].angle + 2.0 * kPi * static_cast<double>(k / loop.size());
    };
    size_t b = 0, r = 0;
    while (b < nb || r < nr) {
        const int vb = boundary[b % nb].vertex, vr = ring[r % nr].vertex;
        bool advanceRing = b == nb || (r < nr && angleOf(ring, r + 1) < angleOf(boundary, b + 1));
        if (advanceRing) {
            mesh.AddTriangle(vb, vr, ring[(r + 1) % nr].vertex);
            ++r;
        } else {
            mesh.AddTriangle(vb, vr, boundary[(b + 1) % nb].vertex);
            ++b;
        }
    }
    return mesh;
}

}  // namespace mediagen
