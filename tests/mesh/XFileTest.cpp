// .x text reader: frames applied, polygons fanned, split normals, attributes and materials,
// and refusal of malformed files with a reason.
#include "mesh/XFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace {

const char* kTwoMaterialFile = R"(xof 0303txt 0032
// a declaration and an unknown object are skipped
template Custom {
 <11111111-2222-3333-4444-555555555555>
 DWORD value;
 array FLOAT f[value];
}
Custom extra { 3; 1.0, 2.0, 3.0;; }
Header { 1; 0; 1; }
Material Blue {
 0.0; 0.0; 1.0; 1.0;;
 8.0;
 0.25; 0.25; 0.25;;
 0.0; 0.0; 0.0;;
 TextureFilename { "blue.png"; }
}
Frame Outer {
 FrameTransformMatrix {
  2.0,0.0,0.0,0.0, 0.0,2.0,0.0,0.0, 0.0,0.0,2.0,0.0, 0.0,0.0,0.0,1.0;;
 }
 Frame Inner {
  FrameTransformMatrix {
   1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, 1.0,0.0,0.0,1.0;;
  }
  Mesh Shape {
   5;
   0.0;0.0;0.0;,
   1.0;0.0;0.0;,
   1.0;1.0;0.0;,
   0.0;1.0;0.0;,
   -1.0;1.0;0.0;;
   2;
   3;0,1,2;,
   4;0,2,3,4;;
   MeshNormals {
    2;
    0.0;0.0;1.0;,
    0.0;3.0;0.0;;
    2;
    3;0,0,0;,
    4;1,1,1,1;;
   }
   MeshTextureCoords { 5; 0.0;0.0;, 1.0;0.0;, 1.0;1.0;, 0.0;1.0;, 0.5;0.5;; }
   MeshMaterialList {
    2; 2; 0, 1;;
    Material Red { 1.0;0.0;0.0;1.0;; 5.0; 1.0;1.0;1.0;; 0.0;0.0;0.0;; }
    { Blue }
   }
   SomethingElse { 1; 2; { nested } }
  }
 }
}
)";

XMeshData Parse(const std::string& text, HRESULT* hr = nullptr, std::string* error = nullptr) {
    XMeshData mesh;
    HRESULT r = ParseXFile(text.data(), text.size(), &mesh, error);
    if (hr) *hr = r;
    return mesh;
}

}  // namespace

TEST(XFile, FramesSplitsAttributesAndMaterials) {
    std::string error;
    HRESULT hr;
    XMeshData mesh = Parse(kTwoMaterialFile, &hr, &error);
    ASSERT_EQ(hr, S_OK) << error;
    EXPECT_EQ(mesh.Fvf(), D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1);
    // Vertices 0 and 2 carry two normals each: two split copies after the five originals.
    ASSERT_EQ(mesh.positions.size(), 7u);
    ASSERT_EQ(mesh.attributes.size(), 3u);
    EXPECT_EQ(mesh.attributes, (std::vector<DWORD>{0, 1, 1}));
    EXPECT_EQ(mesh.indices, (std::vector<uint32_t>{0, 1, 2, 5, 6, 3, 5, 3, 4}));
    // Inner translation then outer scale: (x + 1) * 2.
    EXPECT_FLOAT_EQ(mesh.positions[0].x, 2.0f);
    EXPECT_FLOAT_EQ(mesh.positions[4].x, 0.0f);
    EXPECT_FLOAT_EQ(mesh.positions[4].y, 2.0f);
    EXPECT_FLOAT_EQ(mesh.positions[5].x, mesh.positions[0].x);
    EXPECT_FLOAT_EQ(mesh.positions[6].y, mesh.positions[2].y);
    // Normals are transformed as directions and renormalised.
    EXPECT_FLOAT_EQ(mesh.normals[0].z, 1.0f);
    EXPECT_FLOAT_EQ(mesh.normals[5].y, 1.0f);
    EXPECT_FLOAT_EQ(mesh.normals[3].y, 1.0f);
    EXPECT_FLOAT_EQ(mesh.texCoords[2 * 6], 1.0f);  // the copy keeps its position's coordinates
    EXPECT_FLOAT_EQ(mesh.texCoords[2 * 6 + 1], 1.0f);
    ASSERT_EQ(mesh.materials.size(), 2u);
    EXPECT_FLOAT_EQ(mesh.materials[0].material.Diffuse.r, 1.0f);
    EXPECT_FLOAT_EQ(mesh.materials[0].material.Power, 5.0f);
    EXPECT_EQ(mesh.materials[0].textureFilename, "");
    EXPECT_FLOAT_EQ(mesh.materials[1].material.Diffuse.b, 1.0f);
    EXPECT_FLOAT_EQ(mesh.materials[1].material.Specular.g, 0.25f);
    EXPECT_EQ(mesh.materials[1].textureFilename, "blue.png");
}

TEST(XFile, NoMaterialsGiveTheDefaultMaterialAndSeveralMeshesMerge) {
    const char* text = R"(xof 0302txt 0064
Mesh A { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; MeshVertexColors { 1; 2; 1.0;0.0;0.0;1.0;; } }
Mesh B { 4; 0;0;1;, 1;0;1;, 1;1;1;, 0;1;1;; 1; 4;0,1,2,3;; }
)";
    HRESULT hr;
    std::string error;
    XMeshData mesh = Parse(text, &hr, &error);
    ASSERT_EQ(hr, S_OK) << error;
    EXPECT_EQ(mesh.Fvf(), D3DFVF_XYZ | D3DFVF_DIFFUSE);
    EXPECT_EQ(mesh.positions.size(), 7u);
    EXPECT_EQ(mesh.indices, (std::vector<uint32_t>{0, 1, 2, 3, 4, 5, 3, 5, 6}));
    EXPECT_EQ(mesh.colours[2], 0xFFFF0000u);
    EXPECT_EQ(mesh.colours[0], 0xFFFFFFFFu);
    EXPECT_EQ(mesh.colours[4], 0xFFFFFFFFu);
    ASSERT_EQ(mesh.materials.size(), 1u);
    EXPECT_FLOAT_EQ(mesh.materials[0].material.Diffuse.r, 0.5f);
    EXPECT_FLOAT_EQ(mesh.materials[0].material.Diffuse.a, 0.0f);
    EXPECT_FLOAT_EQ(mesh.materials[0].material.Specular.g, 0.5f);
    EXPECT_FLOAT_EQ(mesh.materials[0].material.Ambient.r, 0.0f);
    EXPECT_FLOAT_EQ(mesh.materials[0].material.Power, 0.0f);
    EXPECT_EQ(mesh.attributes, (std::vector<DWORD>{0, 0, 0}));
}

TEST(XFile, MalformedFilesAreRefusedWithAReason) {
    struct Case {
        const char* text;
        HRESULT code;
        const char* words;
    };
    const Case cases[] = {
        {"xof 0302bin 0032\x01\x00\xFF\xFF\xFF\x7Fxx", XFILE_PARSEERROR, "byte 0"},
        {"xof 0302tzip0032xxxxxxxxxxxx", XFILE_NOTSUPPORTED, "compressed"},
        {"xof 0201txt 0032 Mesh{}", XFILE_BADFILEVERSION, "version"},
        {"PK\x03\x04 not an x file at all", XFILE_BADFILETYPE, "xof"},
        {"xof 0302txt 0032", XFILE_PARSEERROR, "no mesh"},
        {"xof 0302txt 0032 Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,3;; }", XFILE_PARSEERROR,
         "out of range"},
        {"xof 0302txt 0032 Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 2; 3;0,1,2;; }", XFILE_PARSEERROR,
         "expected a number"},
        {"xof 0302txt 0032 Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 2;0,1;; }", XFILE_PARSEERROR,
         "three"},
        {"xof 0302txt 0032 Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; MeshNormals { 1; 0;0;1;; "
         "1; 3;0,0,1;; } }",
         XFILE_PARSEERROR, "normal index"},
        {"xof 0302txt 0032 Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; MeshTextureCoords { 2; "
         "0;0;, 1;1;; } }",
         XFILE_PARSEERROR, "texture coordinate count"},
        {"xof 0302txt 0032 Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; MeshMaterialList { 2; "
         "1; 0;; { Nowhere } } }",
         XFILE_PARSEERROR, "unknown material"},
        {"xof 0302txt 0032 Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; MeshMaterialList { 1; "
         "1; 3;; } }",
         XFILE_PARSEERROR, "material index"},
        {"xof 0302txt 0032 Mesh { 4294967295; 0;0;0;; }", XFILE_PARSEERROR, "expected a number"},
        {"xof 0302txt 0032 Mesh { 1e400; }", XFILE_PARSEERROR, "malformed number"},
        {"xof 0302txt 0032 Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; \"open string", XFILE_PARSEERROR,
         "line 1"},
    };
    for (const Case& c : cases) {
        HRESULT hr;
        std::string error;
        XMeshData mesh = Parse(c.text, &hr, &error);
        EXPECT_EQ(hr, c.code) << c.text;
        EXPECT_NE(error.find(c.words), std::string::npos) << c.text << " -> " << error;
        EXPECT_TRUE(mesh.positions.empty());
        EXPECT_TRUE(mesh.indices.empty());
    }
    // Deep nesting is refused rather than recursed into without bound.
    std::string deep = "xof 0302txt 0032 ";
    for (int i = 0; i < 10000; ++i) deep += "Frame {";
    HRESULT hr;
    std::string error;
    Parse(deep, &hr, &error);
    EXPECT_EQ(hr, XFILE_PARSEERROR);
    EXPECT_NE(error.find("deeply"), std::string::npos) << error;
}

namespace {

// Writes the binary form's tokens.
struct Binary {
    std::string bytes = "xof 0302bin 0032";
    void Word(uint16_t v) { bytes.append(reinterpret_cast<const char*>(&v), 2); }
    void Dword(uint32_t v) { bytes.append(reinterpret_cast<const char*>(&v), 4); }
    Binary& Name(const std::string& s) { Word(1), Dword(static_cast<uint32_t>(s.size())), bytes += s; return *this; }
    Binary& Text(const std::string& s) { Word(2), Dword(static_cast<uint32_t>(s.size())), bytes += s, Dword(20); return *this; }
    Binary& Ints(std::initializer_list<uint32_t> v) {
        Word(6), Dword(static_cast<uint32_t>(v.size()));
        for (uint32_t x : v) Dword(x);
        return *this;
    }
    Binary& Floats(std::initializer_list<float> v) {
        Word(7), Dword(static_cast<uint32_t>(v.size()));
        for (float x : v) bytes.append(reinterpret_cast<const char*>(&x), 4);
        return *this;
    }
    Binary& Open() { Word(10); return *this; }
    Binary& Close() { Word(11); return *this; }
};

}  // namespace

TEST(XFile, BinaryFormReadsLikeText) {
    Binary b;
    b.Word(31), b.Name("Ignored").Open(), b.Word(5), b.bytes += std::string(16, '\0'), b.Word(41), b.Name("x"), b.Word(20);
    b.Close();
    b.Name("Frame").Name("F").Open().Name("FrameTransformMatrix").Open();
    b.Floats({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 3, 1}).Close();
    b.Name("Mesh").Open().Ints({4}).Floats({0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0}).Ints({1, 4, 0, 1, 2, 3});
    b.Name("MeshMaterialList").Open().Ints({1, 1, 0});
    b.Name("Material").Open().Floats({1, 0.5f, 0.25f, 1, 7, 0, 0, 0, 0, 0, 0});
    b.Name("TextureFilename").Open().Text("tex.png").Close().Close().Close().Close().Close();
    HRESULT hr;
    std::string error;
    XMeshData mesh = Parse(b.bytes, &hr, &error);
    ASSERT_EQ(hr, S_OK) << error;
    EXPECT_EQ(mesh.positions.size(), 4u);
    EXPECT_EQ(mesh.indices, (std::vector<uint32_t>{0, 1, 2, 0, 2, 3}));
    EXPECT_FLOAT_EQ(mesh.positions[2].z, 3.0f);
    ASSERT_EQ(mesh.materials.size(), 1u);
    EXPECT_FLOAT_EQ(mesh.materials[0].material.Diffuse.b, 0.25f);
    EXPECT_FLOAT_EQ(mesh.materials[0].material.Power, 7.0f);
    EXPECT_EQ(mesh.materials[0].textureFilename, "tex.png");
    // Every truncation of it is refused cleanly.
    for (size_t n = 16; n < b.bytes.size(); ++n) {
        std::string cut = b.bytes.substr(0, n);
        Parse(cut, &hr, &error);
        EXPECT_NE(hr, S_OK) << n;
    }
}

TEST(XFile, TheProgramsMeshFilesParse) {
    const char* source = std::getenv("SIMMERGLASS_SOURCE_DIR");
    if (!source) GTEST_SKIP() << "SIMMERGLASS_SOURCE_DIR not set";
    for (const char* name : {"media/mesh/Puodas.x", "media/mesh/Vanduo.x"}) {
        std::ifstream in(std::string(source) + "/" + name, std::ios::binary);
        if (!in) GTEST_SKIP() << name << " not present";
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        HRESULT hr;
        std::string error;
        XMeshData mesh = Parse(text, &hr, &error);
        ASSERT_EQ(hr, S_OK) << name << ": " << error;
        EXPECT_GT(mesh.attributes.size(), 0u);
        EXPECT_FALSE(mesh.normals.empty());
        EXPECT_GE(mesh.materials.size(), 1u);
    }
}
