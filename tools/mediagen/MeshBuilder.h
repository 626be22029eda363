// Triangle meshes for the media generator and their writer in the DirectX .x text format.
// Triangles are oriented from the normals given, so a shape only has to say which way is out.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace mediagen {

struct Vec3 {
    double x = 0, y = 0, z = 0;
};

struct MeshVertex {
    Vec3 position;
    Vec3 normal;    // unit length, pointing away from the solid
    double u = 0, v = 0;
};

// One material as the .x "Material" template holds it.
struct MeshMaterial {
    std::string name;
    double diffuse[4] = {0.5, 0.5, 0.5, 1.0};
    double power = 0;
    double specular[3] = {0, 0, 0};
    double emissive[3] = {0, 0, 0};
    std::string textureFile;   // empty: no TextureFilename
};

class MeshBuilder {
public:
    int AddVertex(const MeshVertex& v);

    // Adds the triangle so that it faces the side its vertex normals point to (seen from
    // there it is clockwise, the platform's front face). Triangles without area are dropped.
    void AddTriangle(int a, int b, int c);

    // Two triangles over the quad a-b-c-d (in order around its edge).
    void AddQuad(int a, int b, int c, int d);

    const std::vector<MeshVertex>& Vertices() const { return vertices; }
    const std::vector<int>& Indices() const { return indices; }

    // Writes the mesh inside one frame with an identity transform; false on a write error.
    bool WriteX(const std::string& path, const std::string& frameName,
                const std::string& meshName, const MeshMaterial& material) const;

private:
    std::vector<MeshVertex> vertices;
    std::vector<int> indices;
};

}  // namespace mediagen
