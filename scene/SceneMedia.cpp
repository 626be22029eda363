// SceneMedia: loads, binds, loses and restores the scene's textures, effects and meshes.
// A load that fails leaves its slot empty and says why on standard error; drawing goes on
// with whatever exists.
#include "scene/SceneMedia.h"

#include <cstdio>
#include <cstring>

#include "effect/DataBuffer.h"
#include "effect/FileBytes.h"
#include "effect/runtime/CreateEffect.h"
#include "mesh/XFile.h"
#include "platform/win/WinFile.h"
#include "texture/D3DXTexture.h"

const char* const kSceneEffectFiles[SceneEffectCount] = {
    "efx/Water.sha", "efx/Particle.sha", "efx/BaseTexEnvi.sha", "efx/BlendEnvi.sha", "efx/Steam.sha"};

namespace {

bool IsDirectory(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The most a texture file may hold: the image readers' pixel budget limits what is decoded.
constexpr size_t kAnyFileSize = ~size_t(0);

bool HoldsMedia(const std::string& root) {
    std::string base = root.empty() ? std::string(".") : root;
    return IsDirectory(base + "/efx") && IsDirectory(base + "/mesh") && IsDirectory(base + "/tex");
}

struct Reason {
    HRESULT code;
    const char* text;
};

// What a load's result code means, in words for the warning line.
const Reason kReasons[] = {
    {D3DXERR_INVALIDDATA, "not a valid file of its kind"},
    {XFILE_BADFILETYPE, "not an .x file"},
    {XFILE_BADFILEVERSION, "an .x file version that is not read"},
    {XFILE_BADFILEFLOATSIZE, "an .x file float size that is not read"},
    {XFILE_PARSEERROR, "malformed .x file"},
    {E_OUTOFMEMORY, "too large to load into memory"},
    {D3DERR_INVALIDCALL, "the device refused it"},
    {D3DERR_NOTAVAILABLE, "the device does not support it"},
    {E_NOTIMPL, "not supported"},
    {E_FAIL, "it has errors"},
};

std::string ReasonOf(HRESULT code) {
    const char* text = "failed";
    for (const Reason& reason : kReasons)
        if (reason.code == code) {
            text = reason.text;
            break;
        }
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "%s (0x%08X)", text, static_cast<unsigned>(code));
    return buffer;
}

}  // namespace

// [SECTION] Where the data files are

std::vector<std::string> MediaSearchPath(const char* executableFolder, const char* xdgDataDirs) {
    std::vector<std::string> folders = {""};
    auto add = [&folders](const std::string& folder) {
        for (const std::string& known : folders)
            if (known == folder) return;
        folders.push_back(folder);
    };
    if (executableFolder) {
        std::string folder = executableFolder;
        add(folder + "/media");
        size_t slash = folder.rfind('/');
        std::string parent = slash == std::string::npos ? std::string() : folder.substr(0, slash);
        add(parent + "/share/simmerglass");
    }
    std::string dirs = xdgDataDirs && *xdgDataDirs ? xdgDataDirs : "/usr/local/share:/usr/share";
    for (size_t start = 0; start <= dirs.size();) {
        size_t colon = dirs.find(':', start);
        if (colon == std::string::npos) colon = dirs.size();
        std::string dir = dirs.substr(start, colon - start);
        // Relative entries are not valid there and are passed over, as are empty ones.
        if (!dir.empty() && dir[0] == '/') {
            while (!dir.empty() && dir.back() == '/') dir.pop_back();  // "/" becomes ""
            add(dir + "/simmerglass");
        }
        start = colon + 1;
    }
    return folders;
}

std::optional<std::string> FindMediaRoot(const std::vector<std::string>& folders) {
    for (const std::string& folder : folders)
        if (HoldsMedia(folder)) return folder;
    return std::nullopt;
}

std::string MediaNotFoundWarning(const std::vector<std::string>& folders) {
    std::string line = "warning: no folder holds the data files (efx/, mesh/ and tex/); looked in";
    const char* separator = " ";
    for (const std::string& folder : folders) {
        line += separator;
        line += folder.empty() ? std::string("the current directory") : folder;
        separator = ", ";
    }
    return line + "\n";
}

std::string SceneMedia::PathOf(const char* fileName) const {
    return mediaRoot.empty() ? std::string(fileName) : mediaRoot + "/" + fileName;
}

void SceneMedia::Warn(const char* fileName, const std::string& reason) {
    std::fprintf(stderr, "warning: %s: %s\n", PathOf(fileName).c_str(), reason.c_str());
}

// Whether a data file may be given to its loader: a regular file (a pipe or a device would make
// the start wait or read without end) of at most maxBytes. Warns when not.
bool SceneMedia::CanRead(const char* fileName, size_t maxBytes) {
    std::string reason;
    if (CheckFileToRead(PathOf(fileName).c_str(), maxBytes, &reason)) return true;
    Warn(fileName, reason);
    return false;
}

// [SECTION] Load wrappers

IDirect3DTexture8* SceneMedia::LoadTexture(IDirect3DDevice8* dev, const char* fileName) {
    std::string path = PathOf(fileName);
    if (!CanRead(fileName, kAnyFileSize)) return nullptr;
    IDirect3DTexture8* texture = nullptr;
    HRESULT hr = D3DXCreateTextureFromFileExA(dev, path.c_str(), D3DX_DEFAULT, D3DX_DEFAULT,
                                              D3DX_DEFAULT, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED,
                                              D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr,
                                              &texture);
    if (FAILED(hr)) {
        Warn(fileName, ReasonOf(hr));
        return nullptr;
    }
    return texture;
}

EffectFile* SceneMedia::LoadEffect(IDirect3DDevice8* dev, const char* fileName) {
    std::string path = PathOf(fileName);
    if (!CanRead(fileName, kMaxSourceFileBytes)) return nullptr;
    EffectFile* effect = nullptr;
    DataBuffer* messages = nullptr;
    HRESULT hr = CreateEffectFromFile(dev, path.c_str(), &effect, &messages);
    if (FAILED(hr)) {
        std::string reason = ReasonOf(hr);
        // The compiler's first message says more than the code does.
        if (messages && messages->GetBufferSize() > 1) {
            const char* text = static_cast<const char*>(messages->GetBufferPointer());
            size_t length = strnlen(text, messages->GetBufferSize());
            const char* newline = static_cast<const char*>(std::memchr(text, '\n', length));
            if (newline) length = static_cast<size_t>(newline - text);
            if (length > 0) reason = std::string(text, length);
        }
        Warn(fileName, reason);
        effect = nullptr;
    }
    if (messages) messages->Release();
    return effect;
}

ID3DXMesh* SceneMedia::LoadMesh(IDirect3DDevice8* dev, const char* fileName, DWORD options,
                                D3DMATERIAL8* material) {
    std::string path = PathOf(fileName);
    if (!CanRead(fileName, kMaxXFileBytes)) return nullptr;
    ID3DXBuffer* adjacency = nullptr;
    ID3DXBuffer* materials = nullptr;
    DWORD materialCount = 0;
    ID3DXMesh* mesh = nullptr;
    HRESULT hr = D3DXLoadMeshFromX(path.c_str(), options, dev, &adjacency, &materials,
                                   &materialCount, &mesh);
    if (FAILED(hr)) {
        Warn(fileName, ReasonOf(hr));
        return nullptr;
    }
    if (adjacency) adjacency->Release();
    if (!materials) return mesh;
    if (materialCount > 0 && material) {
        const D3DXMATERIAL* first = static_cast<const D3DXMATERIAL*>(materials->GetBufferPointer());
        *material = first->MatD3D;
        material->Ambient = {1.0f, 1.0f, 1.0f, 1.0f};
    }
    materials->Release();
    return mesh;
}

HRESULT SceneMedia::SelectFirstValidTechnique(EffectFile* effect) {
    EffectTechniqueDesc description = {};
    effect->FindNextValidTechnique(nullptr, &description);
    return effect->SetTechnique(description.Index);
}

// [SECTION] Device hooks

HRESULT SceneMedia::CreateResources(IDirect3DDevice8* newDevice) {
    SceneComponent::CreateResources(newDevice);
    environmentTexture = LoadTexture(device, "tex/Environment.png");
    bubbleTexture = LoadTexture(device, "tex/WaterPoint.png");
    potTexture = LoadTexture(device, "tex/Puodas.jpg");
    steamTexture = LoadTexture(device, "tex/Steam.png");
    for (int i = 0; i < SceneEffectCount; ++i) effects[i] = LoadEffect(device, kSceneEffectFiles[i]);
    potMesh = LoadMesh(device, "mesh/Puodas.x", D3DXMESH_MANAGED, &potMaterial);
    waterMesh = LoadMesh(device, "mesh/Vanduo.x", D3DXMESH_SYSTEMMEM, &waterMaterial);
    if (waterMesh) waterMesh->CloneMeshFVF(D3DXMESH_SYSTEMMEM, D3DFVF_XYZ, device, &waterRestCopy);
    return S_OK;
}

HRESULT SceneMedia::RestoreResources() {
    struct Binding {
        const char* parameter;
        IDirect3DTexture8* texture;
    };
    const Binding bindings[SceneEffectCount][2] = {
        {{"texParticle", bubbleTexture}, {nullptr, nullptr}},
        {{"texBase", bubbleTexture}, {nullptr, nullptr}},
        {{"texBase", potTexture}, {"texEnvi", environmentTexture}},
        {{"texEnvi", environmentTexture}, {nullptr, nullptr}},
        {{"texSteam", steamTexture}, {nullptr, nullptr}},
    };
    for (int i = 0; i < SceneEffectCount; ++i) {
        EffectFile* effect = effects[i];
        if (!effect) continue;
        effect->OnResetDevice();
        EffectTechniqueDesc description = {};
        effectUsable[i] = SUCCEEDED(effect->FindNextValidTechnique(nullptr, &description));
        SelectFirstValidTechnique(effect);
        if (!effectUsable[i] && !effectWarned[i]) {
            Warn(kSceneEffectFiles[i], "no technique validates on this device; not drawn");
            effectWarned[i] = true;
        }
        for (const Binding& binding : bindings[i])
            if (binding.parameter) effect->SetTexture(binding.parameter, binding.texture);
    }
    if (waterMesh)
        waterMesh->CloneMeshFVF(D3DXMESH_WRITEONLY | D3DXMESH_DYNAMIC, D3DFVF_XYZ | D3DFVF_NORMAL,
                                device, &waterDrawCopy);
    return S_OK;
}

HRESULT SceneMedia::LoseResources() {
    for (EffectFile* effect : effects)
        if (effect) effect->OnLostDevice();
    if (waterDrawCopy) {
        waterDrawCopy->Release();
        waterDrawCopy = nullptr;
    }
    return S_OK;
}

HRESULT SceneMedia::ReleaseResources() {
    auto release = [](auto*& object) {
        if (object) {
            object->Release();
            object = nullptr;
        }
    };
    release(environmentTexture);
    release(bubbleTexture);
    release(potTexture);
    release(steamTexture);
    for (EffectFile*& effect : effects) release(effect);
    release(potMesh);
    release(waterMesh);
    release(waterRestCopy);
    return S_OK;
}
