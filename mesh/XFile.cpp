// .x text reader: over the tokens of XFileLexer, a recursive reader for the standard
// templates (unknown objects and template declarations skipped by brace matching), then a merge
// of every mesh instance of the frame hierarchy into one triangle list.
//
// [SECTION] Parsed file
// [SECTION] Reader
// [SECTION] Merge
#include "mesh/XFile.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <string_view>

#include "mesh/XFileLexer.h"

DWORD XMeshData::Fvf() const {
    DWORD fvf = D3DFVF_XYZ;
    if (!normals.empty()) fvf |= D3DFVF_NORMAL;
    if (!colours.empty()) fvf |= D3DFVF_DIFFUSE;
    if (!texCoords.empty()) fvf |= D3DFVF_TEX1;
    return fvf;
}

namespace {

using meshimpl::Lexer;
using meshimpl::Tok;
using meshimpl::Token;

// [SECTION] Parsed file

struct RawMesh {
    std::vector<D3DVECTOR> positions;
    std::vector<uint32_t> faceSizes;     // corners per polygon
    std::vector<uint32_t> faceCorners;   // vertex index per corner, polygons back to back
    bool hasNormals = false;
    std::vector<D3DVECTOR> normals;
    std::vector<uint32_t> normalCorners; // normal index per corner, same layout as faceCorners
    bool hasTexCoords = false;
    std::vector<float> texCoords;        // u, v per vertex
    bool hasColours = false;
    std::vector<D3DCOLOR> colours;       // per vertex; white where the file gives none
    bool hasMaterialList = false;
    std::vector<uint32_t> faceMaterials; // per polygon (possibly fewer: the last repeats)
    std::vector<XMaterial> materials;
};

struct FrameNode {
    D3DMATRIX local;
    std::vector<size_t> meshes;  // indices into ParsedFile::meshes
    std::vector<std::unique_ptr<FrameNode>> children;
    FrameNode() {
        std::memset(&local, 0, sizeof(local));
        local._11 = local._22 = local._33 = local._44 = 1.0f;
    }
};

struct ParsedFile {
    std::vector<std::unique_ptr<RawMesh>> meshes;
    std::vector<bool> referenced;                 // per mesh: instanced by a frame reference
    std::map<std::string, size_t, std::less<>> meshByName;
    std::map<std::string, XMaterial, std::less<>> materialByName;
    // Top level in file order: a frame tree or a mesh given outside any frame.
    struct Item {
        std::unique_ptr<FrameNode> frame;
        size_t mesh = 0;
    };
    std::vector<Item> items;
};

// [SECTION] Reader

constexpr int kMaxDepth = 64;

class Reader {
public:
    Reader(const char* begin, const char* end, bool binary, bool doubles, ParsedFile& file)
        : lex(begin, end, binary, doubles), file(file) {}

    bool ReadFile() {
        for (;;) {
            Token t = lex.Peek();
            if (t.type == Tok::End) return true;
            if (t.type == Tok::Separator) {
                lex.Next();
                continue;
            }
            if (t.type != Tok::Name) return Fail(t.line, "expected a template name");
            if (!ReadTopLevelObject()) return false;
        }
    }

    std::string error;

private:
    bool Fail(int line, const std::string& message) {
        if (error.empty()) error = (lex.Binary() ? "byte " : "line ") + std::to_string(line) + ": " + message;
        return false;
    }

    void SkipSeparators() {
        while (lex.Peek().type == Tok::Separator) lex.Next();
    }

    bool ReadNumber(double* value) {
        SkipSeparators();
        Token t = lex.Next();
        if (t.type != Tok::Number) return Fail(t.line, "expected a number");
        if (t.hasValue) {
            *value = t.value;
            if (!std::isfinite(*value)) return Fail(t.line, "number out of range");
            return true;
        }
        std::string_view text = t.text;
        if (!text.empty() && text[0] == '+') text.remove_prefix(1);
        const char* last = text.data() + text.size();
        auto [ptr, ec] = std::from_chars(text.data(), last, *value);
        if (ec != std::errc() || ptr != last || !std::isfinite(*value))
            return Fail(t.line, "malformed number '" + std::string(t.text) + "'");
        return true;
    }
    bool ReadFloat(float* value) {
        double d;
        if (!ReadNumber(&d)) return false;
        if (std::fabs(d) > 3.0e38) return Fail(lex.Line(), "number out of range");
        *value = static_cast<float>(d);
        return true;
    }
    bool ReadCount(uint32_t* value) {
        double d;
        if (!ReadNumber(&d)) return false;
        if (d < 0 || d > 4294967295.0 || d != std::floor(d))
            return Fail(lex.Line(), "expected a non-negative whole number");
        *value = static_cast<uint32_t>(d);
        return true;
    }
    bool ReadString(std::string* value) {
        SkipSeparators();
        Token t = lex.Next();
        if (t.type != Tok::String) return Fail(t.line, "expected a string");
        *value = std::string(t.text);
        return true;
    }
    bool ReadVector(D3DVECTOR* v) { return ReadFloat(&v->x) && ReadFloat(&v->y) && ReadFloat(&v->z); }

    // After the template name: an optional object name, '{' and an optional GUID.
    bool OpenObject(std::string* name) {
        Token t = lex.Next();
        if (t.type == Tok::Name) {
            if (name) *name = std::string(t.text);
            t = lex.Next();
        }
        if (t.type != Tok::LBrace) return Fail(t.line, "expected '{'");
        if (lex.Peek().type == Tok::Guid) lex.Next();
        return true;
    }

    // Skips the rest of an object whose '{' was read, nested braces included.
    bool SkipBody() {
        int depth = 1;
        for (;;) {
            Token t = lex.Next();
            switch (t.type) {
                case Tok::LBrace:
                    ++depth;
                    break;
                case Tok::RBrace:
                    if (--depth == 0) return true;
                    break;
                case Tok::End:
                    return Fail(t.line, "unexpected end of file inside an object");
                case Tok::Bad:
                    return Fail(t.line, "unexpected character");
                default:
                    break;
            }
        }
    }
    bool SkipObject() { return OpenObject(nullptr) && SkipBody(); }

    // A reference `{ name }` or `{ <guid> }` or `{ name <guid> }`; the '{' is next.
    bool ReadReference(std::string* name) {
        lex.Next();
        Token t = lex.Next();
        name->clear();
        if (t.type == Tok::Name) {
            *name = std::string(t.text);
            t = lex.Next();
        }
        if (t.type == Tok::Guid) t = lex.Next();
        if (t.type != Tok::RBrace) return Fail(t.line, "malformed reference");
        return true;
    }

    // Reads the children of an object until its '}'. `onChild` gets the template name of each
    // nested object (and reads it); `onReference` the name of each reference.
    template <typename ChildFn, typename RefFn>
    bool ReadChildren(ChildFn onChild, RefFn onReference) {
        for (;;) {
            SkipSeparators();
            Token t = lex.Peek();
            if (t.type == Tok::RBrace) {
                lex.Next();
                return true;
            }
            if (t.type == Tok::LBrace) {
                std::string name;
                if (!ReadReference(&name) || !onReference(name, t.line)) return false;
                continue;
            }
            if (t.type != Tok::Name) {
                return Fail(t.line, t.type == Tok::End ? "unexpected end of file"
                                                       : "unexpected data in an object");
            }
            lex.Next();
            if (!onChild(t.text)) return false;
        }
    }
    bool SkipChildren() {
        return ReadChildren([&](std::string_view) { return Enter() && SkipObject() && Leave(); },
                            [](const std::string&, int) { return true; });
    }

    bool Enter() {
        if (++depth > kMaxDepth) return Fail(lex.Line(), "objects nested too deeply");
        return true;
    }
    bool Leave() {
        --depth;
        return true;
    }

    bool ReadTopLevelObject() {
        Token t = lex.Next();
        if (t.text == "xof") return Fail(t.line, "second header inside the file");
        if (t.text == "template") return SkipObject();
        if (!Enter()) return false;
        bool ok;
        if (t.text == "Frame") {
            ParsedFile::Item item;
            item.frame = std::make_unique<FrameNode>();
            ok = ReadFrame(item.frame.get());
            if (ok) file.items.push_back(std::move(item));
        } else if (t.text == "Mesh") {
            size_t index;
            ok = ReadMesh(&index);
            if (ok) {
                ParsedFile::Item item;
                item.mesh = index;
                file.items.push_back(std::move(item));
            }
        } else if (t.text == "Material") {
            std::string name;
            XMaterial material;
            ok = OpenObject(&name) && ReadMaterialBody(&material);
            if (ok && !name.empty()) file.materialByName[name] = material;
        } else if (t.text == "Header") {
            uint32_t major, minor, flags;
            ok = OpenObject(nullptr) && ReadCount(&major) && ReadCount(&minor) &&
                 ReadCount(&flags) && SkipChildren();
        } else {
            ok = SkipObject();
        }
        return ok && Leave();
    }

    bool ReadFrame(FrameNode* frame) {
        if (!OpenObject(nullptr)) return false;
        return ReadChildren(
            [&](std::string_view name) {
                if (!Enter()) return false;
                bool ok;
                if (name == "FrameTransformMatrix") {
                    ok = OpenObject(nullptr);
                    for (int i = 0; ok && i < 16; ++i) ok = ReadFloat(&frame->local.m[i / 4][i % 4]);
                    ok = ok && SkipChildren();
                } else if (name == "Frame") {
                    frame->children.push_back(std::make_unique<FrameNode>());
                    ok = ReadFrame(frame->children.back().get());
                } else if (name == "Mesh") {
                    size_t index;
                    ok = ReadMesh(&index);
                    if (ok) frame->meshes.push_back(index);
                } else {
                    ok = SkipObject();
                }
                return ok && Leave();
            },
            [&](const std::string& name, int) {
                // A reference to a mesh defined earlier places it in this frame; references to
                // anything else (frames, animation targets) do not add geometry.
                auto it = file.meshByName.find(name);
                if (it != file.meshByName.end()) {
                    frame->meshes.push_back(it->second);
                    file.referenced[it->second] = true;
                }
                return true;
            });
    }

    bool ReadMesh(size_t* index) {
        auto mesh = std::make_unique<RawMesh>();
        std::string name;
        if (!OpenObject(&name)) return false;
        uint32_t vertexCount, faceCount;
        if (!ReadCount(&vertexCount)) return false;
        for (uint32_t i = 0; i < vertexCount; ++i) {
            D3DVECTOR v;
            if (!ReadVector(&v)) return false;
            mesh->positions.push_back(v);
        }
        if (!ReadCount(&faceCount)) return false;
        for (uint32_t f = 0; f < faceCount; ++f) {
            uint32_t corners;
            if (!ReadCount(&corners)) return false;
            if (corners < 3) return Fail(lex.Line(), "a face needs at least three vertices");
            mesh->faceSizes.push_back(corners);
            for (uint32_t k = 0; k < corners; ++k) {
                uint32_t v;
                if (!ReadCount(&v)) return false;
                if (v >= vertexCount) return Fail(lex.Line(), "face vertex index out of range");
                mesh->faceCorners.push_back(v);
            }
        }
        bool ok = ReadChildren(
            [&](std::string_view child) {
                if (!Enter()) return false;
                bool r;
                if (child == "MeshNormals") r = ReadNormals(*mesh);
                else if (child == "MeshTextureCoords") r = ReadTexCoords(*mesh);
                else if (child == "MeshVertexColors") r = ReadColours(*mesh);
                else if (child == "MeshMaterialList") r = ReadMaterialList(*mesh);
                else r = SkipObject();
                return r && Leave();
            },
            [](const std::string&, int) { return true; });
        if (!ok) return false;
        *index = file.meshes.size();
        if (!name.empty()) file.meshByName[name] = *index;
        file.meshes.push_back(std::move(mesh));
        file.referenced.push_back(false);
        return true;
    }

    bool ReadNormals(RawMesh& mesh) {
        if (!OpenObject(nullptr)) return false;
        if (mesh.hasNormals) return Fail(lex.Line(), "a mesh has two normal lists");
        uint32_t normalCount, faceCount;
        if (!ReadCount(&normalCount)) return false;
        for (uint32_t i = 0; i < normalCount; ++i) {
            D3DVECTOR n;
            if (!ReadVector(&n)) return false;
            mesh.normals.push_back(n);
        }
        if (!ReadCount(&faceCount)) return false;
        if (faceCount != mesh.faceSizes.size())
            return Fail(lex.Line(), "normal faces do not match the mesh's faces");
        for (uint32_t f = 0; f < faceCount; ++f) {
            uint32_t corners;
            if (!ReadCount(&corners)) return false;
            if (corners != mesh.faceSizes[f])
                return Fail(lex.Line(), "a normal face has another vertex count than its face");
            for (uint32_t k = 0; k < corners; ++k) {
                uint32_t n;
                if (!ReadCount(&n)) return false;
                if (n >= normalCount) return Fail(lex.Line(), "normal index out of range");
                mesh.normalCorners.push_back(n);
            }
        }
        mesh.hasNormals = true;
        return SkipChildren();
    }

    bool ReadTexCoords(RawMesh& mesh) {
        if (!OpenObject(nullptr)) return false;
        uint32_t count;
        if (!ReadCount(&count)) return false;
        if (count != mesh.positions.size())
            return Fail(lex.Line(), "texture coordinate count differs from the vertex count");
        mesh.texCoords.clear();
        for (uint32_t i = 0; i < 2 * count; ++i) {
            float t = 0.0f;
            if (!ReadFloat(&t)) return false;
            mesh.texCoords.push_back(t);
        }
        mesh.hasTexCoords = true;
        return SkipChildren();
    }

    static DWORD ColourByte(float v) {
        v = v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
        return static_cast<DWORD>(v * 255.0f + 0.5f);
    }

    bool ReadColours(RawMesh& mesh) {
        if (!OpenObject(nullptr)) return false;
        uint32_t count;
        if (!ReadCount(&count)) return false;
        mesh.colours.assign(mesh.positions.size(), 0xFFFFFFFFu);
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t v;
            float r = 0, g = 0, b = 0, a = 0;
            if (!ReadCount(&v) || !ReadFloat(&r) || !ReadFloat(&g) || !ReadFloat(&b) ||
                !ReadFloat(&a))
                return false;
            if (v >= mesh.positions.size()) return Fail(lex.Line(), "colour index out of range");
            mesh.colours[v] = D3DCOLOR_ARGB(ColourByte(a), ColourByte(r), ColourByte(g), ColourByte(b));
        }
        mesh.hasColours = true;
        return SkipChildren();
    }

    bool ReadMaterialBody(XMaterial* out) {
        XMaterial m{};
        D3DMATERIAL8& d = m.material;
        if (!ReadFloat(&d.Diffuse.r) || !ReadFloat(&d.Diffuse.g) || !ReadFloat(&d.Diffuse.b) ||
            !ReadFloat(&d.Diffuse.a) || !ReadFloat(&d.Power) || !ReadFloat(&d.Specular.r) ||
            !ReadFloat(&d.Specular.g) || !ReadFloat(&d.Specular.b) || !ReadFloat(&d.Emissive.r) ||
            !ReadFloat(&d.Emissive.g) || !ReadFloat(&d.Emissive.b))
            return false;
        d.Specular.a = 1.0f;
        d.Emissive.a = 1.0f;
        bool ok = ReadChildren(
            [&](std::string_view child) {
                if (!Enter()) return false;
                bool r;
                if (child == "TextureFilename" || child == "TextureFileName") {
                    r = OpenObject(nullptr) && ReadString(&m.textureFilename) && SkipChildren();
                } else {
                    r = SkipObject();
                }
                return r && Leave();
            },
            [](const std::string&, int) { return true; });
        if (ok) *out = m;
        return ok;
    }

    bool ReadMaterialList(RawMesh& mesh) {
        if (!OpenObject(nullptr)) return false;
        if (mesh.hasMaterialList) return Fail(lex.Line(), "a mesh has two material lists");
        uint32_t materialCount, indexCount;
        if (!ReadCount(&materialCount) || !ReadCount(&indexCount)) return false;
        if (indexCount > mesh.faceSizes.size())
            return Fail(lex.Line(), "more material indices than faces");
        for (uint32_t i = 0; i < indexCount; ++i) {
            uint32_t m;
            if (!ReadCount(&m)) return false;
            if (m >= materialCount) return Fail(lex.Line(), "material index out of range");
            mesh.faceMaterials.push_back(m);
        }
        bool ok = ReadChildren(
            [&](std::string_view child) {
                if (!Enter()) return false;
                bool r;
                if (child == "Material") {
                    std::string name;
                    XMaterial m;
                    r = OpenObject(&name) && ReadMaterialBody(&m);
                    if (r) {
                        mesh.materials.push_back(m);
                        if (!name.empty()) file.materialByName[name] = m;
                    }
                } else {
                    r = SkipObject();
                }
                return r && Leave();
            },
            [&](const std::string& name, int line) {
                auto it = file.materialByName.find(name);
                if (it == file.materialByName.end())
                    return Fail(line, "reference to an unknown material '" + name + "'");
                mesh.materials.push_back(it->second);
                return true;
            });
        if (!ok) return false;
        if (mesh.materials.size() != materialCount)
            return Fail(lex.Line(), "material count differs from the materials given");
        mesh.hasMaterialList = true;
        return true;
    }

    Lexer lex;
    ParsedFile& file;
    int depth = 0;
};

// [SECTION] Merge

D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            float s = 0.0f;
            for (int k = 0; k < 4; ++k) s += a.m[i][k] * b.m[k][j];
            r.m[i][j] = s;
        }
    return r;
}

D3DVECTOR TransformPoint(const D3DVECTOR& v, const D3DMATRIX& m) {
    float x = v.x * m._11 + v.y * m._21 + v.z * m._31 + m._41;
    float y = v.x * m._12 + v.y * m._22 + v.z * m._32 + m._42;
    float z = v.x * m._13 + v.y * m._23 + v.z * m._33 + m._43;
    float w = v.x * m._14 + v.y * m._24 + v.z * m._34 + m._44;
    if (w != 0.0f && w != 1.0f) x /= w, y /= w, z /= w;
    return {x, y, z};
}

D3DVECTOR TransformNormal(const D3DVECTOR& v, const D3DMATRIX& m) {
    D3DVECTOR r{v.x * m._11 + v.y * m._21 + v.z * m._31, v.x * m._12 + v.y * m._22 + v.z * m._32,
                v.x * m._13 + v.y * m._23 + v.z * m._33};
    float length = std::sqrt(r.x * r.x + r.y * r.y + r.z * r.z);
    if (length > 0.0f && std::isfinite(length)) r.x /= length, r.y /= length, r.z /= length;
    return r;
}

struct Instance {
    const RawMesh* mesh;
    D3DMATRIX world;
};

void CollectFrame(const FrameNode& frame, const D3DMATRIX& parent, const ParsedFile& file,
                  std::vector<Instance>& out) {
    D3DMATRIX world = Multiply(frame.local, parent);
    for (size_t m : frame.meshes) out.push_back({file.meshes[m].get(), world});
    for (const auto& child : frame.children) CollectFrame(*child, world, file, out);
}

XMaterial DefaultMaterial() {
    XMaterial m{};
    m.material.Diffuse = {0.5f, 0.5f, 0.5f, 0.0f};
    m.material.Specular = {0.5f, 0.5f, 0.5f, 0.0f};
    return m;
}

constexpr size_t kMaxVertices = size_t(1) << 24;
constexpr size_t kMaxTriangles = size_t(1) << 24;

bool Merge(const ParsedFile& file, XMeshData& out, std::string& error) {
    D3DMATRIX identity = FrameNode().local;
    std::vector<Instance> instances;
    for (const auto& item : file.items) {
        if (item.frame) CollectFrame(*item.frame, identity, file, instances);
        else if (!file.referenced[item.mesh]) instances.push_back({file.meshes[item.mesh].get(), identity});
    }
    if (instances.empty()) {
        error = "the file holds no mesh";
        return false;
    }
    bool anyNormals = false, anyTex = false, anyColours = false, anyMaterials = false;
    for (const Instance& in : instances) {
        anyNormals |= in.mesh->hasNormals;
        anyTex |= in.mesh->hasTexCoords;
        anyColours |= in.mesh->hasColours;
        anyMaterials |= in.mesh->hasMaterialList;
    }
    long defaultMaterial = -1;  // shared by every mesh without a material list
    for (const Instance& in : instances) {
        const RawMesh& mesh = *in.mesh;
        size_t base = out.positions.size();
        size_t count = mesh.positions.size();
        if (base + count > kMaxVertices) {
            error = "too many vertices";
            return false;
        }
        for (size_t i = 0; i < count; ++i) {
            out.positions.push_back(TransformPoint(mesh.positions[i], in.world));
            if (anyTex) {
                out.texCoords.push_back(mesh.hasTexCoords ? mesh.texCoords[2 * i] : 0.0f);
                out.texCoords.push_back(mesh.hasTexCoords ? mesh.texCoords[2 * i + 1] : 0.0f);
            }
            if (anyColours) out.colours.push_back(mesh.hasColours ? mesh.colours[i] : 0xFFFFFFFFu);
        }
        // Each corner's vertex: the position's own vertex for its first normal, a split copy
        // (appended after this mesh's vertices) for every other normal.
        std::vector<D3DVECTOR> transformedNormals;
        if (anyNormals) {
            out.normals.resize(base + count, D3DVECTOR{0.0f, 0.0f, 0.0f});
            for (const D3DVECTOR& n : mesh.normals) transformedNormals.push_back(TransformNormal(n, in.world));
        }
        std::vector<char> hasNormal(count, 0);
        std::map<std::pair<uint32_t, uint32_t>, uint32_t> splits;
        std::vector<uint32_t> cornerVertex(mesh.faceCorners.size());
        for (size_t c = 0; c < mesh.faceCorners.size(); ++c) {
            uint32_t v = mesh.faceCorners[c];
            uint32_t vertex = static_cast<uint32_t>(base + v);
            if (mesh.hasNormals) {
                uint32_t n = mesh.normalCorners[c];
                const D3DVECTOR& normal = transformedNormals[n];
                if (!hasNormal[v]) {
                    hasNormal[v] = 1;
                    out.normals[vertex] = normal;
                } else if (std::memcmp(&out.normals[vertex], &normal, sizeof(normal)) != 0) {
                    auto key = std::make_pair(v, n);
                    auto it = splits.find(key);
                    if (it == splits.end()) {
                        if (out.positions.size() >= kMaxVertices) {
                            error = "too many vertices";
                            return false;
                        }
                        uint32_t copy = static_cast<uint32_t>(out.positions.size());
                        out.positions.push_back(out.positions[vertex]);
                        out.normals.push_back(normal);
                        if (anyTex) {
                            out.texCoords.push_back(out.texCoords[2 * vertex]);
                            out.texCoords.push_back(out.texCoords[2 * vertex + 1]);
                        }
                        if (anyColours) out.colours.push_back(out.colours[vertex]);
                        it = splits.emplace(key, copy).first;
                    }
                    vertex = it->second;
                }
            }
            cornerVertex[c] = vertex;
        }
        // Materials of this mesh follow those of the meshes before it.
        DWORD materialBase;
        if (mesh.hasMaterialList) {
            materialBase = static_cast<DWORD>(out.materials.size());
            out.materials.insert(out.materials.end(), mesh.materials.begin(), mesh.materials.end());
        } else {
            if (defaultMaterial < 0) {
                defaultMaterial = static_cast<long>(out.materials.size());
                out.materials.push_back(DefaultMaterial());
            }
            materialBase = static_cast<DWORD>(defaultMaterial);
        }
        // Polygons become fans around their first corner.
        size_t corner = 0;
        for (size_t f = 0; f < mesh.faceSizes.size(); ++f) {
            uint32_t size = mesh.faceSizes[f];
            DWORD attribute = materialBase;
            if (mesh.hasMaterialList && !mesh.faceMaterials.empty())
                attribute += mesh.faceMaterials[std::min(f, mesh.faceMaterials.size() - 1)];
            if (out.attributes.size() + size - 2 > kMaxTriangles) {
                error = "too many faces";
                return false;
            }
            for (uint32_t k = 1; k + 1 < size; ++k) {
                out.indices.push_back(cornerVertex[corner]);
                out.indices.push_back(cornerVertex[corner + k]);
                out.indices.push_back(cornerVertex[corner + k + 1]);
                out.attributes.push_back(attribute);
            }
            corner += size;
        }
    }
    (void)anyMaterials;
    if (out.attributes.empty()) {
        error = "the file's meshes have no faces";
        return false;
    }
    return true;
}

}  // namespace

HRESULT ParseXFile(const void* data, size_t size, XMeshData* out, std::string* error) {
    std::string scratch;
    std::string& message = error ? *error : scratch;
    message.clear();
    if (!out) {
        message = "no place for the mesh";
        return E_POINTER;
    }
    *out = XMeshData{};
    const char* bytes = static_cast<const char*>(data);
    // Header: "xof " major minor (2 digits each), format ("txt ", "bin ", "tzip", "bzip"),
    // float size ("0032" or "0064").
    if (!bytes || size < 16 || std::memcmp(bytes, "xof ", 4) != 0) {
        message = "not a DirectX .x file (no \"xof \" header)";
        return XFILE_BADFILETYPE;
    }
    std::string_view version(bytes + 4, 4), format(bytes + 8, 4), floats(bytes + 12, 4);
    if (version != "0302" && version != "0303") {
        message = "unsupported .x version " + std::string(version);
        return XFILE_BADFILEVERSION;
    }
    if (format == "tzip" || format == "bzip") {
        message = "compressed .x files are not supported; save the file as text or binary";
        return XFILE_NOTSUPPORTED;
    }
    if (format != "txt " && format != "bin ") {
        message = "unknown .x format '" + std::string(format) + "'";
        return XFILE_BADFILETYPE;
    }
    if (floats != "0032" && floats != "0064") {
        message = "unsupported float size " + std::string(floats);
        return XFILE_BADFILEFLOATSIZE;
    }
    ParsedFile file;
    Reader reader(bytes + 16, bytes + size, format == "bin ", floats == "0064", file);
    if (!reader.ReadFile()) {
        message = reader.error;
        return XFILE_PARSEERROR;
    }
    if (!Merge(file, *out, message)) {
        *out = XMeshData{};
        return XFILE_PARSEERROR;
    }
    return S_OK;
}
