// SceneMedia: the scene component that loads the data files (textures, effects, meshes) and
// owns what is made from them; the fluid component draws with these objects.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "effect/DataBuffer.h"
#include "effect/runtime/EffectFile.h"
#include "mesh/D3DXMesh.h"
#include "platform/d3d/d3d8.h"
#include "scene/SceneComponent.h"

// The effects, in the order they are loaded, lost and restored.
enum SceneEffect { EffectVelocityLines, EffectBubbles, EffectPot, EffectWater, EffectSteam, EffectFloorLight, SceneEffectCount };

class SceneMedia : public SceneComponent {
public:
    SceneMedia();
    ~SceneMedia() override;  // the device hooks release the device objects first

    HRESULT CreateResources(IDirect3DDevice8* newDevice) override;
    HRESULT LoseResources() override;
    HRESULT RestoreResources() override;
    HRESULT ReleaseResources() override;

    // The folder the data file names are resolved against ("" = the current directory).
    void SetMediaRoot(const std::string& root) { mediaRoot = root; }
    const std::string& MediaRoot() const { return mediaRoot; }

    // An effect exists and one of its techniques validated at the last restore.
    bool IsEffectUsable(SceneEffect which) const { return effects[which] && effectUsable[which]; }

    // [SECTION] The four load wrappers: each gives the new object or null. A failure writes
    // one warning line on standard error naming the file and the reason.
    IDirect3DTexture8* LoadTexture(IDirect3DDevice8* device, const char* fileName);
    EffectFile* LoadEffect(IDirect3DDevice8* device, const char* fileName);
    ID3DXMesh* LoadMesh(IDirect3DDevice8* device, const char* fileName, DWORD options,
                        D3DMATERIAL8* material);
    static HRESULT SelectFirstValidTechnique(EffectFile* effect);

    // [SECTION] Live reload of the effects and textures
    // Watches the folders the effects and textures are read from (efx/ and tex/), so that
    // ReloadChangedFiles finds what an editor saved. Without it only a forced reload (F5) reads
    // the files again. Folders that cannot be watched are passed over.
    void WatchMediaFolders();
    bool Watching() const { return !watches.empty(); }
    // Between frames: once a watched folder has changed and been quiet for kQuietSeconds (an
    // editor saves in pieces), reloads each effect and texture whose file changed; `all`
    // reloads every one at once (F5). A changed effect is compiled and made on the device and
    // replaces the old one; a file that fails leaves the last good version in use, says why
    // on standard error once and keeps the message in ReloadErrors until it loads again, when
    // one line says it was reloaded.
    void ReloadChangedFiles(bool all);
    // The messages of the files that fail to load now ("FILE:LINE:COL: error: TEXT"), in file
    // order; empty when every file loads.
    std::vector<std::string> ReloadErrors() const;
    static constexpr double kQuietSeconds = 0.1;

    // [SECTION] Members, in the order of the design
    IDirect3DTexture8* environmentTexture = nullptr;
    IDirect3DTexture8* potTexture = nullptr;
    IDirect3DTexture8* bubbleTexture = nullptr;
    IDirect3DTexture8* steamTexture = nullptr;
    EffectFile* effects[SceneEffectCount] = {};  // velocity lines, bubbles, pot, water, steam, floor light
    ID3DXMesh* potMesh = nullptr;
    ID3DXMesh* waterMesh = nullptr;      // system memory
    ID3DXMesh* waterRestCopy = nullptr;  // system memory, positions only
    ID3DXMesh* waterDrawCopy = nullptr;  // dynamic, write-only: positions and normals
    D3DMATERIAL8 potMaterial = {};
    D3DMATERIAL8 waterMaterial = {};

private:
    std::string PathOf(const char* fileName) const;
    void Warn(const char* fileName, const std::string& reason);
    bool CanRead(const char* fileName, size_t maxBytes);
    IDirect3DTexture8* MakeTexture(IDirect3DDevice8* device, const char* fileName, std::string* reason);
    // Validates an effect, selects its first valid technique and binds its textures.
    void BindEffect(int which);

    // A file's identity on disk: it changed when any of these did.
    struct FileStamp {
        bool exists = false;
        uint64_t written = 0, changed = 0, size = 0;
        bool operator==(const FileStamp&) const = default;
    };
    FileStamp StampOf(const char* fileName) const;
    // One reloadable file: a texture member or an effect slot.
    struct ReloadSlot {
        const char* fileName;
        IDirect3DTexture8* SceneMedia::*texture;  // null for an effect
        int effect;                               // -1 for a texture
        FileStamp stamp;                          // of the version in use
        std::string error;                        // why the file does not load now; "" when it does
    };
    enum class ReloadResult { Loaded, Failed, StillWriting };
    ReloadResult Reload(ReloadSlot& slot);
    ReloadResult ReloadEffect(int which, const char* fileName, std::string* error);
    void Remember(ReloadSlot& slot);  // the loaded version: its stamp, and an effect's compiled block

    std::string mediaRoot;
    bool effectUsable[SceneEffectCount] = {};
    bool effectWarned[SceneEffectCount] = {};  // "no valid technique" is said once per effect
    std::vector<ReloadSlot> reloadSlots;        // the textures, then the effects
    // The compiled block of each effect in use, so that a device made anew keeps a reloaded
    // effect even while its file is broken.
    DataBuffer* effectsInUse[SceneEffectCount] = {};
    std::vector<HANDLE> watches;  // change notifications on efx/ and tex/
    bool changePending = false;   // a watched folder changed; reload once it is quiet
    double lastChange = 0.0;      // when, in seconds
};

// The data file names, relative to the media root.
extern const char* const kSceneEffectFiles[SceneEffectCount];

// [SECTION] Where the data files are

// The folders searched for the data files, in order: "" (the current directory), media/ beside
// the executable (the build folder), ../share/simmerglass from the executable (an installed
// program), then simmerglass/ under each absolute folder of `xdgDataDirs` (colon-separated;
// null or empty means /usr/local/share:/usr/share). `executableFolder` null leaves out the two
// folders that depend on it; "" is the root folder. No folder is named twice.
std::vector<std::string> MediaSearchPath(const char* executableFolder, const char* xdgDataDirs);

// The first of `folders` that holds efx/, mesh/ and tex/; nothing when none does (the loads
// then warn file by file, after MediaNotFoundWarning).
std::optional<std::string> FindMediaRoot(const std::vector<std::string>& folders);

// The warning line (ending in a newline) for data files found in none of `folders`.
std::string MediaNotFoundWarning(const std::vector<std::string>& folders);
