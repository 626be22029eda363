// The committed media: the .x meshes are well formed (counts add up, indices in range, unit
// normals, front faces outward) and have the scene's shape; the images decode at their sizes.
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "fluid/SurfaceGrid.h"

namespace {

std::string MediaPath(const std::string& relative) {
    const char* top = std::getenv("SIMMERGLASS_SOURCE_DIR");
    return std::string(top ? top : SG_SOURCE_DIR) + "/media/" + relative;
}

// [SECTION] A structural reader for the .x text files the generator writes

struct XMesh {
    std::vector<float> positions, normals, uvs;   // 3, 3 and 2 floats per vertex
    std::vector<int> faces, normalFaces;          // 3 indices per face
    std::vector<int> materialOfFace;
    int materialCount = 0;
    std::vector<float> material;                  // diffuse 4, power, specular 3, emissive 3
    std::string textureFile;
    std::vector<float> frameMatrix;
};

// Splits into words, braces and quoted strings; ',' and ';' only separate.
std::vector<std::string> Tokens(const std::string& text) {
    std::vector<std::string> out;
    std::string word;
    auto flush = [&] {
        if (!word.empty()) out.push_back(word);
        word.clear();
    };
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '"') {
            flush();
            size_t end = text.find('"', i + 1);
            out.push_back(text.substr(i, end - i + 1));
            i = end;
        } else if (c == '{' || c == '}') {
            flush();
            out.push_back(std::string(1, c));
        } else if (c == ',' || c == ';' || std::isspace(static_cast<unsigned char>(c))) {
            flush();
        } else {
            word += c;
        }
    }
    flush();
    return out;
}

class Reader {
public:
    explicit Reader(std::vector<std::string> t) : tokens(std::move(t)) {}
    bool Expect(const std::string& s) {
        if (at < tokens.size() && tokens[at] == s) {
            ++at;
            return true;
        }
        ADD_FAILURE() << "expected '" << s << "' at token " << at << ", found '"
                      << (at < tokens.size() ? tokens[at] : "<end>") << "'";
        ok = false;
        return false;
    }
    std::string Word() { return at < tokens.size() ? tokens[at++] : std::string(); }
    float Float() { return std::strtof(Word().c_str(), nullptr); }
    int Int() { return std::atoi(Word().c_str()); }
    bool Peek(const std::string& s) const { return at < tokens.size() && tokens[at] == s; }
    bool AtEnd() const { return at == tokens.size(); }
    bool ok = true;

private:
    std::vector<std::string> tokens;
    size_t at = 0;
};

bool ReadX(const std::string& path, XMesh* mesh) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        ADD_FAILURE() << "cannot open " << path;
        return false;
    }
    std::stringstream buffer;
    buffer << file.rdbuf();
    std::string text = buffer.str();
    if (text.rfind("xof 0303txt 0032", 0) != 0) {
        ADD_FAILURE() << path << ": not a text .x file with 32-bit floats";
        return false;
    }
    Reader r(Tokens(text.substr(16)));
    r.Expect("Header"), r.Expect("{");
    EXPECT_EQ(r.Int(), 1);
    r.Int(), r.Int();
    r.Expect("}");
    r.Expect("Frame"), r.Word(), r.Expect("{");
    r.Expect("FrameTransformMatrix"), r.Expect("{");
    for (int i = 0; i < 16; ++i) mesh->frameMatrix.push_back(r.Float());
    r.Expect("}");
    r.Expect("Mesh"), r.Word(), r.Expect("{");
    int nv = r.Int();
    for (int i = 0; i < 3 * nv; ++i) mesh->positions.push_back(r.Float());
    int nf = r.Int();
    for (int i = 0; i < nf; ++i) {
        EXPECT_EQ(r.Int(), 3) << "face " << i;
        for (int k = 0; k < 3; ++k) mesh->faces.push_back(r.Int());
    }
    r.Expect("MeshNormals"), r.Expect("{");
    int nn = r.Int();
    for (int i = 0; i < 3 * nn; ++i) mesh->normals.push_back(r.Float());
    EXPECT_EQ(r.Int(), nf) << "normal faces";
    for (int i = 0; i < nf; ++i) {
        EXPECT_EQ(r.Int(), 3);
        for (int k = 0; k < 3; ++k) mesh->normalFaces.push_back(r.Int());
    }
    r.Expect("}");
    r.Expect("MeshTextureCoords"), r.Expect("{");
    EXPECT_EQ(r.Int(), nv) << "texture coordinates";
    for (int i = 0; i < 2 * nv; ++i) mesh->uvs.push_back(r.Float());
    r.Expect("}");
    r.Expect("MeshMaterialList"), r.Expect("{");
    mesh->materialCount = r.Int();
    EXPECT_EQ(r.Int(), nf) << "material faces";
    for (int i = 0; i < nf; ++i) mesh->materialOfFace.push_back(r.Int());
    r.Expect("Material"), r.Word(), r.Expect("{");
    for (int i = 0; i < 11; ++i) mesh->material.push_back(r.Float());
    if (r.Peek("TextureFilename")) {
        r.Expect("TextureFilename"), r.Expect("{");
        mesh->textureFile = r.Word();
        r.Expect("}");
    }
    r.Expect("}"), r.Expect("}"), r.Expect("}"), r.Expect("}");
    EXPECT_TRUE(r.AtEnd()) << path << ": text after the frame";
    EXPECT_EQ(static_cast<int>(mesh->normals.size()), 3 * nv);
    return r.ok;
}

void CheckStructure(const XMesh& m) {
    const int nv = static_cast<int>(m.positions.size() / 3);
    for (int i : m.faces) ASSERT_TRUE(i >= 0 && i < nv);
    EXPECT_EQ(m.normalFaces, m.faces);
    for (int i = 0; i < nv; ++i) {
        float l = std::hypot(m.normals[3 * i], m.normals[3 * i + 1], m.normals[3 * i + 2]);
        EXPECT_NEAR(l, 1.0f, 1e-4f) << "normal " << i;
    }
    EXPECT_EQ(m.materialCount, 1);
    for (int a : m.materialOfFace) EXPECT_EQ(a, 0);
    EXPECT_EQ(m.material.size(), 11u);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(m.frameMatrix[i], i % 5 == 0 ? 1.0f : 0.0f);
    // Each face is clockwise seen from the side its normals point to (the platform's front
    // face): the numeric cross product (b - a) x (c - a) points along them.
    int backwards = 0;
    for (size_t f = 0; f < m.faces.size(); f += 3) {
        const float* a = &m.positions[3 * m.faces[f]];
        const float* b = &m.positions[3 * m.faces[f + 1]];
        const float* c = &m.positions[3 * m.faces[f + 2]];
        float e1[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
        float e2[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
        float n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                      e1[0] * e2[1] - e1[1] * e2[0]};
        float dot = 0.0f;
        for (int k = 0; k < 3; ++k) {
            const float* vn = &m.normals[3 * m.faces[f + k]];
            dot += n[0] * vn[0] + n[1] * vn[1] + n[2] * vn[2];
        }
        if (!(dot > 0.0f)) ++backwards;
    }
    EXPECT_EQ(backwards, 0);
}

// [SECTION] Image decoding

struct Decoded {
    int width = 0, height = 0, channels = 0;
    std::vector<unsigned char> pixels;
};

bool DecodePng(const std::string& path, Decoded* out) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    out->channels = (image.format & PNG_FORMAT_FLAG_ALPHA) ? 4 : 3;
    image.format = out->channels == 4 ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    out->width = image.width;
    out->height = image.height;
    out->pixels.resize(PNG_IMAGE_SIZE(image));
    return png_image_finish_read(&image, nullptr, out->pixels.data(), 0, nullptr) != 0;
}

struct JpegError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

bool DecodeJpeg(const std::string& path, Decoded* out) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    jpeg_decompress_struct info;
    JpegError error;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = [](j_common_ptr c) { std::longjmp(reinterpret_cast<JpegError*>(c->err)->jump, 1); };
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        std::fclose(f);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, f);
    jpeg_read_header(&info, TRUE);
    jpeg_start_decompress(&info);
    out->width = info.output_width;
    out->height = info.output_height;
    out->channels = info.output_components;
    out->pixels.resize(static_cast<size_t>(out->width) * out->height * out->channels);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = &out->pixels[static_cast<size_t>(info.output_scanline) * out->width * out->channels];
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    std::fclose(f);
    return true;
}

}  // namespace

TEST(Media, PotMeshIsAWellFormedPotOfTheWorldsSize) {
    XMesh pot;
    ASSERT_TRUE(ReadX(MediaPath("mesh/Puodas.x"), &pot));
    CheckStructure(pot);
    EXPECT_EQ(pot.textureFile, "\"Puodas.jpg\"");
    float minZ = 1e9f, maxZ = -1e9f, maxR = 0.0f;
    int innerWall = 0;
    const size_t nv = pot.positions.size() / 3;
    for (size_t i = 0; i < nv; ++i) {
        const float* p = &pot.positions[3 * i];
        const float* n = &pot.normals[3 * i];
        minZ = std::min(minZ, p[2]);
        maxZ = std::max(maxZ, p[2]);
        float r = std::hypot(p[0], p[1]);
        maxR = std::max(maxR, r);
        // Nothing of the pot may stand inside the water's cylinder above the floor.
        if (p[2] > 6.01f && p[2] < 100.0f) {
            EXPECT_GE(r, 84.99f) << i;
        }
        // The inside wall faces the axis.
        if (std::fabs(r - 85.0f) < 1e-3f && p[2] > 10.0f && p[2] < 100.0f) {
            ++innerWall;
            EXPECT_NEAR(n[0] * p[0] + n[1] * p[1], -85.0f, 1e-2f);
        }
        for (int k = 0; k < 2; ++k) EXPECT_TRUE(pot.uvs[2 * i + k] >= 0.0f && pot.uvs[2 * i + k] <= 1.0f);
    }
    EXPECT_GT(innerWall, 100);
    EXPECT_NEAR(minZ, -3.0f, 0.01f);
    EXPECT_NEAR(maxZ, 110.5f, 0.05f);   // the rim bead at about 110
    EXPECT_GT(maxR, 100.0f);   // the handles stand out of the wall
    EXPECT_LT(maxR, 110.0f);
}

TEST(Media, WaterMeshVerticesSitOnTheSurfaceGridsPoints) {
    XMesh water;
    ASSERT_TRUE(ReadX(MediaPath("mesh/Vanduo.x"), &water));
    CheckStructure(water);
    EXPECT_LT(water.material[3], 1.0f);   // translucent
    // The surface grid bends each vertex's normal by the grid point nearest to it: a vertex
    // inside the disc must be a grid point of its own, or whole cells share one normal.
    constexpr float kRim = 84.5f, kPitch = SurfaceGrid::kPitch;
    const size_t nv = water.positions.size() / 3;
    std::set<std::pair<int, int>> points;
    std::vector<double> rimAngles;
    for (size_t i = 0; i < nv; ++i) {
        const float x = water.positions[3 * i], y = water.positions[3 * i + 1];
        EXPECT_EQ(water.positions[3 * i + 2], 70.0f);
        EXPECT_EQ(water.normals[3 * i + 2], 1.0f);
        const float r = std::hypot(x, y);
        if (std::fabs(r - kRim) < 1e-3f) {
            rimAngles.push_back(std::atan2(y, x));
            continue;
        }
        EXPECT_LT(r, kRim - 0.3f * kPitch) << "vertex " << i << " crowds the rim ring";
        const int column = static_cast<int>(std::lround((x + 85.0f) / kPitch));
        const int row = static_cast<int>(std::lround((y + 85.0f) / kPitch));
        EXPECT_NEAR(x, -85.0f + column * kPitch, 1e-3f) << "vertex " << i;
        EXPECT_NEAR(y, -85.0f + row * kPitch, 1e-3f) << "vertex " << i;
        EXPECT_TRUE(column >= 0 && column < SurfaceGrid::kSide && row >= 0 && row < SurfaceGrid::kSide);
        EXPECT_TRUE(points.insert({column, row}).second) << "grid point " << column << ", " << row << " twice";
    }
    // Every grid point well inside the disc is there, and the ring is even and fine.
    for (int row = 0; row < SurfaceGrid::kSide; ++row)
        for (int column = 0; column < SurfaceGrid::kSide; ++column)
            if (std::hypot(-85.0f + column * kPitch, -85.0f + row * kPitch) < kRim - 1.5f * kPitch) {
                EXPECT_EQ(points.count({column, row}), 1u) << "grid point " << column << ", " << row << " missing";
            }
    ASSERT_GE(rimAngles.size(), 96u);
    std::sort(rimAngles.begin(), rimAngles.end());
    rimAngles.push_back(rimAngles.front() + 2.0 * M_PI);
    for (size_t k = 1; k < rimAngles.size(); ++k)
        EXPECT_NEAR(rimAngles[k] - rimAngles[k - 1], 2.0 * M_PI / (rimAngles.size() - 1), 1e-4);
    // The triangles cover the ring's polygon once: no holes, no overlaps (all face up, so
    // overlapping ones would add to the sum).
    double area = 0.0;
    for (size_t f = 0; f < water.faces.size(); f += 3) {
        const float* a = &water.positions[3 * water.faces[f]];
        const float* b = &water.positions[3 * water.faces[f + 1]];
        const float* c = &water.positions[3 * water.faces[f + 2]];
        area += 0.5 * std::fabs((b[0] - a[0]) * (c[1] - a[1]) - (c[0] - a[0]) * (b[1] - a[1]));
    }
    const double n = static_cast<double>(rimAngles.size() - 1);
    EXPECT_NEAR(area, 0.5 * n * kRim * kRim * std::sin(2.0 * M_PI / n), 0.5);
}

TEST(Media, ImagesDecodeAtTheirSizes) {
    Decoded environment, bubble, pot;
    ASSERT_TRUE(DecodePng(MediaPath("tex/Environment.png"), &environment));
    EXPECT_EQ(environment.width, 512);
    EXPECT_EQ(environment.height, 512);
    ASSERT_EQ(environment.channels, 4);
    // Every direction seen from above: the ceiling in the centre is lit, the floor at the
    // edge is dark; alpha marks the lamp (up and towards -x) and nothing on the floor.
    auto environmentPixel = [&](int x, int y) { return &environment.pixels[(y * 512 + x) * 4]; };
    auto luminance = [&](int x, int y) {
        const unsigned char* p = environmentPixel(x, y);
        return p[0] + p[1] + p[2];
    };
    EXPECT_GT(luminance(256, 256), 3 * luminance(256, 6));
    EXPECT_GT(environmentPixel(183, 256)[3], 200);
    EXPECT_EQ(environmentPixel(256, 6)[3], 0);
    EXPECT_EQ(environmentPixel(256, 256)[3], 0);

    ASSERT_TRUE(DecodePng(MediaPath("tex/WaterPoint.png"), &bubble));
    EXPECT_EQ(bubble.width, 32);
    EXPECT_EQ(bubble.height, 32);
    ASSERT_EQ(bubble.channels, 4);
    auto alpha = [&](int x, int y) { return bubble.pixels[(y * 32 + x) * 4 + 3]; };
    EXPECT_LT(alpha(16, 18), 60);    // clear centre
    EXPECT_GT(alpha(16, 3), 150);    // bright rim
    EXPECT_GT(alpha(11, 11), 200);   // the highlight, up and to the left
    for (int c : {0, 31}) {          // nothing in the corners, so no square shows
        EXPECT_EQ(alpha(c, 0), 0);
        EXPECT_EQ(alpha(c, 31), 0);
    }

    ASSERT_TRUE(DecodeJpeg(MediaPath("tex/Puodas.jpg"), &pot));
    EXPECT_EQ(pot.width, 256);
    EXPECT_EQ(pot.height, 256);
    EXPECT_EQ(pot.channels, 3);
    // Stainless steel is a cool grey: on average blue at least as strong as red, never brown.
    long red = 0, blue = 0;
    for (size_t i = 0; i + 2 < pot.pixels.size(); i += 3) {
        red += pot.pixels[i];
        blue += pot.pixels[i + 2];
    }
    EXPECT_GE(blue, red);

    // The steam's wisp: opaque nowhere, densest in the middle, nothing at the edges.
    Decoded steam;
    ASSERT_TRUE(DecodePng(MediaPath("tex/Steam.png"), &steam));
    ASSERT_EQ(steam.channels, 4);
    const int side = steam.width;
    ASSERT_EQ(steam.height, side);
    auto steamAlpha = [&](int x, int y) { return steam.pixels[(y * side + x) * 4 + 3]; };
    EXPECT_GT(steamAlpha(side / 2, side / 2), 100);
    for (int i = 0; i < side; ++i) {
        EXPECT_EQ(steamAlpha(i, 0), 0);
        EXPECT_EQ(steamAlpha(0, i), 0);
        EXPECT_EQ(steamAlpha(i, side - 1), 0);
        EXPECT_EQ(steamAlpha(side - 1, i), 0);
    }
}

TEST(Media, EffectsDeclareWhatTheSceneBinds) {
    struct Effect {
        const char* file;
        std::vector<const char*> parameters;
    };
    const Effect effects[] = {
        {"efx/Water.sha", {"texture texParticle;"}},
        {"efx/Particle.sha", {"texture texBase;"}},
        {"efx/BaseTexEnvi.sha", {"texture texBase;", "texture texEnvi;"}},
        {"efx/BlendEnvi.sha", {"texture texEnvi;"}},
        {"efx/Steam.sha", {"texture texSteam;"}},
        {"efx/Caustics.sha", {"texture texCaustics;"}},
    };
    for (const Effect& e : effects) {
        std::ifstream file(MediaPath(e.file));
        ASSERT_TRUE(file) << e.file;
        std::stringstream text;
        text << file.rdbuf();
        std::string s = text.str();
        for (const char* p : e.parameters) EXPECT_NE(s.find(p), std::string::npos) << e.file << ": " << p;
        // A shader technique first, a fixed-function one after it.
        size_t shaders = s.find("technique Shaders");
        size_t fixed = s.find("technique FixedFunction");
        ASSERT_NE(shaders, std::string::npos) << e.file;
        ASSERT_NE(fixed, std::string::npos) << e.file;
        EXPECT_LT(shaders, fixed);
        EXPECT_NE(s.find("vs.1.1", shaders), std::string::npos);
        EXPECT_LT(s.find("ps.1.1", shaders), fixed);
    }
    // The line effect's file name says nothing of lines: its first comment does.
    std::ifstream lines(MediaPath("efx/Water.sha"));
    std::string first;
    std::getline(lines, first);
    EXPECT_EQ(first.rfind("// Draws the velocity lines", 0), 0u) << first;
}
