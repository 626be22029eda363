// Fuzz target: the .x text reader and the merge of its meshes (frames, splits, materials).
#include "mesh/XFile.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    XMeshData mesh;
    std::string error;
    if (ParseXFile(data, size, &mesh, &error) != S_OK) return 0;
    // A successful parse is consistent: every index and attribute points at something.
    for (uint32_t index : mesh.indices)
        if (index >= mesh.positions.size()) __builtin_trap();
    for (DWORD attribute : mesh.attributes)
        if (attribute >= mesh.materials.size()) __builtin_trap();
    if (mesh.indices.size() != mesh.attributes.size() * 3) __builtin_trap();
    if (!mesh.normals.empty() && mesh.normals.size() != mesh.positions.size()) __builtin_trap();
    if (!mesh.texCoords.empty() && mesh.texCoords.size() != 2 * mesh.positions.size()) __builtin_trap();
    return 0;
}
