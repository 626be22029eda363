// Reloading the effects and textures while the demo runs: forced (F5) and from the watched
// folders, a broken file keeping the last good version with its message, files saved in
// pieces, and a lost or re-created device keeping what was reloaded.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "effect/runtime/EffectFile.h"
#include "platform/d3d/d3d8.h"
#include "scene/SceneMedia.h"
#include "tests/support/RefDeviceTest.h"
#include "tests/texture/ImageFiles.h"

namespace fs = std::filesystem;

namespace {

// A bubble effect of one technique by the given name, which the REF device validates.
std::string BubbleEffect(const std::string& technique) {
    return "texture texBase;\ntechnique " + technique +
           " { pass P0 {\n  VertexShader = XYZ | TEX1;\n  Texture[0] = <texBase>;\n"
           "  ColorOp[0] = SelectArg1;\n  ColorArg1[0] = Texture;\n} }\n";
}

void Write(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

// Editors save by writing a new file and renaming it over the old one.
void SaveByRename(const fs::path& path, const std::string& text) {
    const fs::path temporary = path.parent_path() / (".#" + path.filename().string());
    Write(temporary, text);
    fs::rename(temporary, path);
}

std::string TechniqueOf(EffectFile* effect) {
    const char* name = nullptr;
    return effect && SUCCEEDED(effect->GetTechnique(&name)) && name ? name : "<none>";
}

class MediaReload : public RefDeviceTest {
protected:
    MediaReload() { params = Params(D3DFMT_X8R8G8B8, D3DFMT_D16); }

    void SetUp() override {
        RefDeviceTest::SetUp();
        const char* top = std::getenv("SIMMERGLASS_SOURCE_DIR");
        root = fs::path(testing::TempDir()) / ("sg_reload_" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(root);
        fs::copy(fs::path(top ? top : SG_SOURCE_DIR) / "media", root, fs::copy_options::recursive);
        media.SetMediaRoot(root.string());
        testing::internal::CaptureStderr();
        media.CreateResources(device);
        media.RestoreResources();
        EXPECT_EQ("", testing::internal::GetCapturedStderr());
        particle = root / "efx/Particle.sha";
    }
    void TearDown() override {
        media.LoseResources();
        media.ReleaseResources();
        fs::remove_all(root);
        RefDeviceTest::TearDown();
    }
    // A forced reload (F5); what it wrote on standard error.
    std::string ForceReload() {
        testing::internal::CaptureStderr();
        media.ReloadChangedFiles(true);
        return testing::internal::GetCapturedStderr();
    }

    fs::path root, particle;
    SceneMedia media;
};

TEST_F(MediaReload, ForcedReloadTakesAChangedEffectAndKeepsTheLastGoodOneOnABrokenFile) {
    EffectFile* original = media.effects[EffectBubbles];
    EXPECT_EQ("", ForceReload());  // nothing changed: reloaded quietly
    EXPECT_TRUE(media.ReloadErrors().empty());

    Write(particle, BubbleEffect("Edited"));
    EXPECT_EQ(particle.string() + ": reloaded\n", ForceReload());
    EXPECT_NE(original, media.effects[EffectBubbles]);
    EXPECT_EQ("Edited", TechniqueOf(media.effects[EffectBubbles]));
    EXPECT_TRUE(media.IsEffectUsable(EffectBubbles));
    // The reloaded effect has its texture bound like the first one.
    IDirect3DBaseTexture8* bound = nullptr;
    ASSERT_EQ(S_OK, media.effects[EffectBubbles]->GetTexture("texBase", &bound));
    EXPECT_EQ(static_cast<IDirect3DBaseTexture8*>(media.bubbleTexture), bound);
    if (bound) bound->Release();

    // Broken: the message once, the last good effect still in use.
    EffectFile* good = media.effects[EffectBubbles];
    Write(particle, "technique t\n{\n    pass p { ColorOp[1 = 2; }\n}\n");
    const std::string message = particle.string() + ":3:24: error: expected ']' before '='";
    EXPECT_EQ(message + "\n", ForceReload());
    EXPECT_EQ(good, media.effects[EffectBubbles]);
    ASSERT_EQ(1u, media.ReloadErrors().size());
    EXPECT_EQ(message, media.ReloadErrors()[0]);
    EXPECT_EQ("", ForceReload());  // said once
    EXPECT_EQ(1u, media.ReloadErrors().size());

    // Mended: one line, no message left.
    Write(particle, BubbleEffect("Mended"));
    EXPECT_EQ(particle.string() + ": reloaded\n", ForceReload());
    EXPECT_EQ("Mended", TechniqueOf(media.effects[EffectBubbles]));
    EXPECT_TRUE(media.ReloadErrors().empty());
}

// What a half-saved file looks like never replaces the effect: empty, no techniques, nothing
// that validates, a file gone for a moment.
TEST_F(MediaReload, HalfSavedFilesKeepTheEffectInUse) {
    EffectFile* original = media.effects[EffectBubbles];
    const std::pair<std::string, std::string> cases[] = {
        {"", "the file is empty"},
        {"texture texBase;\n", "the effect has no techniques"},
        {"technique Shaders { pass P0 { PixelShader = asm { ps.1.1 mov r0, r1 }; } }\n",
         "no technique validates; the first: pass 0 \"P0\": PIXELSHADER: the shader validator refused it: "},
    };
    for (const auto& [text, reason] : cases) {
        SCOPED_TRACE(reason);
        Write(particle, text);
        ForceReload();
        EXPECT_EQ(original, media.effects[EffectBubbles]);
        ASSERT_EQ(1u, media.ReloadErrors().size());
        EXPECT_EQ(0u, media.ReloadErrors()[0].find(particle.string() + ": error: " + reason)) << media.ReloadErrors()[0];
    }
    fs::remove(particle);
    ForceReload();
    EXPECT_EQ(original, media.effects[EffectBubbles]);
    ASSERT_EQ(1u, media.ReloadErrors().size());
    EXPECT_EQ(particle.string() + ": error: no such file", media.ReloadErrors()[0]);
}

TEST_F(MediaReload, ALostOrNewDeviceKeepsTheReloadedEffect) {
    Write(particle, BubbleEffect("Reloaded"));
    ForceReload();
    EffectFile* reloaded = media.effects[EffectBubbles];
    media.LoseResources();
    media.RestoreResources();
    EXPECT_EQ(reloaded, media.effects[EffectBubbles]);
    EXPECT_TRUE(media.IsEffectUsable(EffectBubbles));

    // The device made anew while the file is broken: the version in use comes back, and the
    // file's message with it.
    Write(particle, "technique {");
    media.LoseResources();
    media.ReleaseResources();
    testing::internal::CaptureStderr();
    media.CreateResources(device);
    media.RestoreResources();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, err.find("warning: " + particle.string() + ": ")) << err;
    ASSERT_TRUE(media.effects[EffectBubbles]);
    EXPECT_EQ("Reloaded", TechniqueOf(media.effects[EffectBubbles]));
    EXPECT_TRUE(media.IsEffectUsable(EffectBubbles));
}

TEST_F(MediaReload, ATextureIsReloadedAndBoundAgain) {
    IDirect3DTexture8* original = media.bubbleTexture;
    const fs::path file = root / "tex/WaterPoint.png";
    const testimg::Bytes png = testimg::Png(8, 8, std::vector<uint8_t>(8 * 8 * 4, 200), 4);
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    EXPECT_EQ(file.string() + ": reloaded\n", ForceReload());
    ASSERT_NE(original, media.bubbleTexture);
    D3DSURFACE_DESC level{};
    ASSERT_EQ(S_OK, media.bubbleTexture->GetLevelDesc(0, &level));
    EXPECT_EQ(8u, level.Width);
    for (SceneEffect which : {EffectVelocityLines, EffectBubbles}) {
        IDirect3DBaseTexture8* bound = nullptr;
        ASSERT_EQ(S_OK, media.effects[which]->GetTexture(which == EffectBubbles ? "texBase" : "texParticle", &bound));
        EXPECT_EQ(static_cast<IDirect3DBaseTexture8*>(media.bubbleTexture), bound);
        if (bound) bound->Release();
    }
    IDirect3DTexture8* good = media.bubbleTexture;
    Write(file, "not a picture");
    ForceReload();
    EXPECT_EQ(good, media.bubbleTexture);
    ASSERT_EQ(1u, media.ReloadErrors().size());
    EXPECT_EQ(0u, media.ReloadErrors()[0].find(file.string() + ": error: not a valid file of its kind"));
}

// The watched folders: nothing happens without a change; a save by rename, and a file
// truncated and then written, are taken once the folder is quiet, at their final content.
TEST_F(MediaReload, WatchedFoldersReloadWhatAnEditorSaved) {
    media.WatchMediaFolders();
    ASSERT_TRUE(media.Watching());
    EffectFile* original = media.effects[EffectBubbles];
    media.ReloadChangedFiles(false);
    EXPECT_EQ(original, media.effects[EffectBubbles]);

    auto waitFor = [&](const std::string& technique) {
        for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
             std::chrono::steady_clock::now() < end;) {
            media.ReloadChangedFiles(false);
            if (TechniqueOf(media.effects[EffectBubbles]) == technique && media.ReloadErrors().empty()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    };
    testing::internal::CaptureStderr();
    SaveByRename(particle, BubbleEffect("Renamed"));
    EXPECT_TRUE(waitFor("Renamed"));
    {
        std::ofstream truncated(particle, std::ios::trunc);  // empty for a moment
    }
    media.ReloadChangedFiles(false);
    Write(particle, BubbleEffect("Rewritten"));
    EXPECT_TRUE(waitFor("Rewritten"));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, err.find(particle.string() + ": reloaded\n")) << err;
    // A file the demo does not load changes nothing.
    Write(root / "efx/Notes.txt", "x");
    EffectFile* current = media.effects[EffectBubbles];
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    media.ReloadChangedFiles(false);
    EXPECT_EQ(current, media.effects[EffectBubbles]);
}

}  // namespace
