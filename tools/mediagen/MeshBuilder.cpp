// Mesh building and the .x text writer ("xof 0303txt 0032": text, 32-bit floats).
// Numbers are printed with six decimals so that the files are the same on every run.
#include "tools/mediagen/MeshBuilder.h"

#include <cmath>

namespace mediagen {

namespace {

Vec3 Sub(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 Cross(const Vec3& a, const Vec3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double Dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// Six decimals, and never "-0.000000", so that a value's text does not depend on rounding noise.
std::string Num(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6f", v);
    if (std::string(text) == "-0.000000") return "0.000000";
    return text;
}

}  // namespace

int MeshBuilder::AddVertex(const MeshVertex& v) {
    vertices.push_back(v);
    return static_cast<int>(vertices.size()) - 1;
}

void MeshBuilder::AddTriangle(int a, int b, int c) {
    const Vec3& pa = vertices[a].position;
    const Vec3& pb = vertices[b].position;
    const Vec3& pc = vertices[c].position;
    Vec3 face = Cross(Sub(pb, pa), Sub(pc, pa));
    double area2 = std::sqrt(Dot(face, face));
    if (area2 < 1e-9) return;
    Vec3 n = vertices[a].normal;
    n.x += vertices[b].normal.x + vertices[c].normal.x;
    n.y += vertices[b].normal.y + vertices[c].normal.y;
    n.z += vertices[b].normal.z + vertices[c].normal.z;
    // With the numeric cross product, a triangle that is clockwise on screen has
    // (b - a) x (c - a) pointing at the viewer, in the left-handed world as in view space.
    if (Dot(face, n) < 0) std::swap(b, c);
    indices.push_back(a);
    indices.push_back(b);
    indices.push_back(c);
}

void MeshBuilder::AddQuad(int a, int b, int c, int d) {
    AddTriangle(a, b, c);
    AddTriangle(a, c, d);
}

bool MeshBuilder::WriteX(const std::string& path, const std::string& frameName,
                         const std::string& meshName, const MeshMaterial& m) const {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const size_t nv = vertices.size();
    const size_t nf = indices.size() / 3;
    auto list_end = [](size_t i, size_t n) { return i + 1 == n ? ";" : ","; };

    std::fprintf(f, "xof 0303txt 0032\n\n");
    std::fprintf(f, "Header {\n 1;\n 0;\n 1;\n}\n\n");
    std::fprintf(f, "Frame %s {\n\n", frameName.c_str());
    std::fprintf(f, " FrameTransformMatrix {\n");
    std::fprintf(f, "  1.000000,0.000000,0.000000,0.000000,\n");
    std::fprintf(f, "  0.000000,1.000000,0.000000,0.000000,\n");
    std::fprintf(f, "  0.000000,0.000000,1.000000,0.000000,\n");
    std::fprintf(f, "  0.000000,0.000000,0.000000,1.000000;;\n");
    std::fprintf(f, " }\n\n");

    std::fprintf(f, " Mesh %s {\n  %zu;\n", meshName.c_str(), nv);
    for (size_t i = 0; i < nv; ++i) {
        const Vec3& p = vertices[i].position;
        std::fprintf(f, "  %s;%s;%s;%s\n", Num(p.x).c_str(), Num(p.y).c_str(), Num(p.z).c_str(),
                     list_end(i, nv));
    }
    std::fprintf(f, "  %zu;\n", nf);
    for (size_t i = 0; i < nf; ++i) {
        std::fprintf(f, "  3;%d,%d,%d;%s\n", indices[3 * i], indices[3 * i + 1],
                     indices[3 * i + 2], list_end(i, nf));
    }

    std::fprintf(f, "\n  MeshNormals {\n   %zu;\n", nv);
    for (size_t i = 0; i < nv; ++i) {
        const Vec3& n = vertices[i].normal;
        std::fprintf(f, "   %s;%s;%s;%s\n", Num(n.x).c_str(), Num(n.y).c_str(), Num(n.z).c_str(),
                     list_end(i, nv));
    }
    // Each face uses the normals of its own vertices.
    std::fprintf(f, "   %zu;\n", nf);
    for (size_t i = 0; i < nf; ++i) {
        std::fprintf(f, "   3;%d,%d,%d;%s\n", indices[3 * i], indices[3 * i + 1],
                     indices[3 * i + 2], list_end(i, nf));
    }
    std::fprintf(f, "  }\n");

    std::fprintf(f, "\n  MeshTextureCoords {\n   %zu;\n", nv);
    for (size_t i = 0; i < nv; ++i) {
        std::fprintf(f, "   %s;%s;%s\n", Num(vertices[i].u).c_str(), Num(vertices[i].v).c_str(),
                     list_end(i, nv));
    }
    std::fprintf(f, "  }\n");

    std::fprintf(f, "\n  MeshMaterialList {\n   1;\n   %zu;\n", nf);
    for (size_t i = 0; i < nf; ++i) std::fprintf(f, "   0%s\n", list_end(i, nf));
    std::fprintf(f, "\n   Material %s {\n", m.name.c_str());
    std::fprintf(f, "    %s;%s;%s;%s;;\n", Num(m.diffuse[0]).c_str(), Num(m.diffuse[1]).c_str(),
                 Num(m.diffuse[2]).c_str(), Num(m.diffuse[3]).c_str());
    std::fprintf(f, "    %s;\n", Num(m.power).c_str());
    std::fprintf(f, "    %s;%s;%s;;\n", Num(m.specular[0]).c_str(), Num(m.specular[1]).c_str(),
                 Num(m.specular[2]).c_str());
    std::fprintf(f, "    %s;%s;%s;;\n", Num(m.emissive[0]).c_str(), Num(m.emissive[1]).c_str(),
                 Num(m.emissive[2]).c_str());
    if (!m.textureFile.empty()) {
        std::fprintf(f, "\n    TextureFilename {\n     \"%s\";\n    }\n", m.textureFile.c_str());
    }
    std::fprintf(f, "   }\n  }\n }\n}\n");
    bool ok = std::ferror(f) == 0;
    ok = std::fclose(f) == 0 && ok;
    return ok;
}

}  // namespace mediagen
