// mediagen: writes the scene's meshes and textures under a media folder (mesh/, tex/).
// Usage: mediagen MEDIA_DIR. The output is the same on every run; the effects (efx/) are
// written by hand and not touched here. mediagen --icon PNG SIZE writes the program's icon,
// mediagen --icon-source CPP SIZE the same picture as a C++ source for the window's icon.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fluid/SurfaceGrid.h"
#include "tools/mediagen/Icon.h"
#include "tools/mediagen/Images.h"
#include "tools/mediagen/Shapes.h"

using namespace mediagen;

namespace {

bool Report(bool ok, const std::string& path) {
    if (!ok) std::fprintf(stderr, "mediagen: cannot write %s\n", path.c_str());
    return ok;
}

// The icon as kProgramIconSide and kProgramIconPixels (0xAARRGGBB words, rows top-down).
bool WriteIconSource(const std::string& path, const Image& icon) {
    FILE* f = std::fopen(path.c_str(), "w");
    if (!f) return false;
    std::fprintf(f, "// Written by mediagen --icon-source: the program's icon, as installed with its menu entry.\n"
                    "#include \"scene/ProgramIcon.h\"\n\nconst int kProgramIconSide = %d;\n"
                    "const unsigned int kProgramIconPixels[] = {",
                 icon.width);
    for (size_t i = 0; i < icon.pixels.size(); i += 4) {
        const uint8_t* p = &icon.pixels[i];
        std::fprintf(f, "%s0x%02X%02X%02X%02Xu,", i % 32 == 0 ? "\n    " : " ", p[3], p[0], p[1], p[2]);
    }
    std::fprintf(f, "\n};\n");
    return std::fclose(f) == 0;
}

int RunIcon(const std::string& path, const std::string& sizeText, bool source) {
    char* end = nullptr;
    long size = std::strtol(sizeText.c_str(), &end, 10);
    if (sizeText.empty() || *end != '\0' || size < 16 || size > 1024) {
        std::fprintf(stderr, "mediagen: icon size must be a whole number from 16 to 1024, not \"%s\"\n",
                     sizeText.c_str());
        return 2;
    }
    const Image icon = PaintIcon(static_cast<int>(size));
    return Report(source ? WriteIconSource(path, icon) : WritePng(path, icon), path) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    // mediagen --icon PNG SIZE: the program's icon alone (the build makes it for installing).
    if (argc == 4 && std::string(argv[1]) == "--icon") return RunIcon(argv[2], argv[3], false);
    if (argc == 4 && std::string(argv[1]) == "--icon-source") return RunIcon(argv[2], argv[3], true);
    if (argc != 2) {
        std::fprintf(stderr, "usage: mediagen MEDIA_DIR   (writes MEDIA_DIR/mesh and MEDIA_DIR/tex)\n");
        return 2;
    }
    const std::string dir = argv[1];
    bool ok = true;

    MeshMaterial metal;
    metal.name = "PotMetal";
    metal.diffuse[0] = 0.76; metal.diffuse[1] = 0.78; metal.diffuse[2] = 0.82; metal.diffuse[3] = 1.0;
    metal.power = 40.0;
    metal.specular[0] = metal.specular[1] = metal.specular[2] = 0.85;
    metal.textureFile = "Puodas.jpg";
    std::string path = dir + "/mesh/Puodas.x";
    ok &= Report(BuildPot().WriteX(path, "Puodas", "PuodasMesh", metal), path);

    MeshMaterial water;
    water.name = "Water";
    water.diffuse[0] = 0.06; water.diffuse[1] = 0.13; water.diffuse[2] = 0.17; water.diffuse[3] = 0.35;
    water.power = 60.0;
    water.specular[0] = water.specular[1] = water.specular[2] = 1.0;
    path = dir + "/mesh/Vanduo.x";
    // Radius just inside the pot's wall. The vertices sit on the points of the fluid's
    // surface grid, which bends each vertex's normal by its nearest point: one grid point per
    // vertex lets the normals differ from vertex to vertex and interpolate across each cell.
    const double gridOrigin = -85.0;
    ok &= Report(BuildWater(84.5, 70.0, gridOrigin, SurfaceGrid::kPitch, 128)
                     .WriteX(path, "Vanduo", "VanduoMesh", water),
                 path);

    path = dir + "/tex/Puodas.jpg";
    ok &= Report(WriteJpeg(path, PaintPotTexture(), 90), path);
    path = dir + "/tex/Environment.png";
    ok &= Report(WritePng(path, PaintEnvironment()), path);
    path = dir + "/tex/WaterPoint.png";
    ok &= Report(WritePng(path, PaintBubble()), path);
    path = dir + "/tex/Steam.png";
    ok &= Report(WritePng(path, PaintSteam()), path);
    return ok ? 0 : 1;
}
