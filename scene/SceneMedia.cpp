// SceneMedia: loads, binds, loses and restores the scene's textures, effects and meshes.
// A load that fails leaves its slot empty and says why on standard error; drawing goes on
// with whatever exists.
#include "scene/SceneMedia.h"

#include <cstdio>
#include <cstring>

#include "effect/CompileEffect.h"
#include "effect/DataBuffer.h"
#include "effect/FileBytes.h"
#include "effect/runtime/CreateEffect.h"
#include "effect/runtime/EffectValidation.h"
#include "mesh/XFile.h"
#include "platform/win/WinChange.h"
#include "platform/win/WinFile.h"
#include "platform/win/WinTime.h"
#include "texture/D3DXTexture.h"

const char* const kSceneEffectFiles[SceneEffectCount] = {
    "efx/Water.sha", "efx/Particle.sha", "efx/BaseTexEnvi.sha", "efx/BlendEnvi.sha", "efx/Steam.sha",
    "efx/Caustics.sha"};

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

// [SECTION] Construction

SceneMedia::SceneMedia() {
    reloadSlots = {
        {"tex/Environment.png", &SceneMedia::environmentTexture, -1, {}, {}},
        {"tex/WaterPoint.png", &SceneMedia::bubbleTexture, -1, {}, {}},
        {"tex/Puodas.jpg", &SceneMedia::potTexture, -1, {}, {}},
        {"tex/Steam.png", &SceneMedia::steamTexture, -1, {}, {}},
    };
    for (int i = 0; i < SceneEffectCount; ++i) reloadSlots.push_back({kSceneEffectFiles[i], nullptr, i, {}, {}});
}

SceneMedia::~SceneMedia() {
    for (HANDLE watch : watches) FindCloseChangeNotification(watch);
    for (DataBuffer*& compiled : effectsInUse)
        if (compiled) compiled->Release();
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

IDirect3DTexture8* SceneMedia::MakeTexture(IDirect3DDevice8* dev, const char* fileName, std::string* reason) {
    std::string path = PathOf(fileName);
    if (!CheckFileToRead(path.c_str(), kAnyFileSize, reason)) return nullptr;
    IDirect3DTexture8* texture = nullptr;
    HRESULT hr = D3DXCreateTextureFromFileExA(dev, path.c_str(), D3DX_DEFAULT, D3DX_DEFAULT,
                                              D3DX_DEFAULT, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED,
                                              D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr,
                                              &texture);
    if (FAILED(hr)) {
        *reason = ReasonOf(hr);
        return nullptr;
    }
    return texture;
}

IDirect3DTexture8* SceneMedia::LoadTexture(IDirect3DDevice8* dev, const char* fileName) {
    std::string reason;
    IDirect3DTexture8* texture = MakeTexture(dev, fileName, &reason);
    if (!texture) Warn(fileName, reason);
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
    for (ReloadSlot& slot : reloadSlots) {
        const FileStamp stamp = StampOf(slot.fileName);
        if (slot.texture) {
            this->*slot.texture = LoadTexture(device, slot.fileName);
            if (this->*slot.texture) slot.stamp = stamp;
            continue;
        }
        EffectFile*& effect = effects[slot.effect];
        effect = LoadEffect(device, slot.fileName);
        if (effect) {
            slot.stamp = stamp;
            Remember(slot);
        } else if (DataBuffer* inUse = effectsInUse[slot.effect]) {
            // A device made anew while the file is broken keeps the version that was in use.
            if (FAILED(CreateEffect(device, inUse->GetBufferPointer(), inUse->GetBufferSize(),
                                    PathOf(slot.fileName).c_str(), &effect, nullptr)))
                effect = nullptr;
        }
    }
    potMesh = LoadMesh(device, "mesh/Puodas.x", D3DXMESH_MANAGED, &potMaterial);
    waterMesh = LoadMesh(device, "mesh/Vanduo.x", D3DXMESH_SYSTEMMEM, &waterMaterial);
    if (waterMesh) waterMesh->CloneMeshFVF(D3DXMESH_SYSTEMMEM, D3DFVF_XYZ, device, &waterRestCopy);
    return S_OK;
}

void SceneMedia::BindEffect(int which) {
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
        {{nullptr, nullptr}, {nullptr, nullptr}},  // texCaustics is the fluid's own, set per frame
    };
    EffectFile* effect = effects[which];
    if (!effect) return;
    EffectTechniqueDesc description = {};
    effectUsable[which] = SUCCEEDED(effect->FindNextValidTechnique(nullptr, &description));
    SelectFirstValidTechnique(effect);
    if (!effectUsable[which] && !effectWarned[which]) {
        Warn(kSceneEffectFiles[which], "no technique validates on this device; not drawn");
        effectWarned[which] = true;
    }
    for (const Binding& binding : bindings[which])
        if (binding.parameter) effect->SetTexture(binding.parameter, binding.texture);
}

HRESULT SceneMedia::RestoreResources() {
    for (int i = 0; i < SceneEffectCount; ++i) {
        if (!effects[i]) continue;
        effects[i]->OnResetDevice();
        BindEffect(i);
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

// [SECTION] Live reload

SceneMedia::FileStamp SceneMedia::StampOf(const char* fileName) const {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    FileStamp stamp;
    if (!GetFileAttributesExA(PathOf(fileName).c_str(), GetFileExInfoStandard, &data)) return stamp;
    auto ticks = [](const FILETIME& t) { return uint64_t(t.dwHighDateTime) << 32 | t.dwLowDateTime; };
    stamp.exists = true;
    stamp.written = ticks(data.ftLastWriteTime);
    stamp.changed = ticks(data.ftCreationTime);
    stamp.size = uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
    return stamp;
}

void SceneMedia::Remember(ReloadSlot& slot) {
    if (slot.effect < 0) return;
    DataBuffer*& inUse = effectsInUse[slot.effect];
    if (inUse) inUse->Release();
    inUse = nullptr;
    if (effects[slot.effect]) effects[slot.effect]->GetCompiledEffect(&inUse);
}

void SceneMedia::WatchMediaFolders() {
    if (!watches.empty()) return;
    for (const char* folder : {"efx", "tex"}) {
        HANDLE watch = FindFirstChangeNotificationA(
            PathOf(folder).c_str(), FALSE,
            FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE);
        if (watch != INVALID_HANDLE_VALUE) watches.push_back(watch);
    }
}

namespace {
double Seconds() {
    LARGE_INTEGER frequency{}, count{};
    if (!QueryPerformanceFrequency(&frequency) || frequency.QuadPart <= 0) return 0.0;
    QueryPerformanceCounter(&count);
    return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}
}  // namespace

void SceneMedia::ReloadChangedFiles(bool all) {
    if (!device) return;
    const double now = Seconds();
    for (HANDLE watch : watches) {
        if (WaitForSingleObject(watch, 0) != WAIT_OBJECT_0) continue;
        // Re-armed before the files are looked at, so a change made meanwhile signals again.
        FindNextChangeNotification(watch);
        changePending = true;
        lastChange = now;
    }
    if (!all && (!changePending || now - lastChange < kQuietSeconds)) return;
    changePending = false;
    bool texturesChanged = false;
    for (ReloadSlot& slot : reloadSlots) {
        if (!all && StampOf(slot.fileName) == slot.stamp) continue;
        const ReloadResult result = Reload(slot);
        if (result == ReloadResult::StillWriting) {
            changePending = true;  // tried again once the writing has stopped
            lastChange = now;
        }
        texturesChanged = texturesChanged || (result == ReloadResult::Loaded && slot.texture);
    }
    if (texturesChanged)
        for (int i = 0; i < SceneEffectCount; ++i) BindEffect(i);
}

SceneMedia::ReloadResult SceneMedia::Reload(ReloadSlot& slot) {
    const std::string path = PathOf(slot.fileName);
    const FileStamp before = StampOf(slot.fileName);
    ReloadResult result = ReloadResult::Loaded;
    std::string error;
    if (slot.texture) {
        std::string reason;
        IDirect3DTexture8* texture = MakeTexture(device, slot.fileName, &reason);
        if (texture && !(StampOf(slot.fileName) == before)) {
            texture->Release();  // read while it was being written: not to be trusted
            return ReloadResult::StillWriting;
        }
        if (texture) {
            IDirect3DTexture8*& current = this->*slot.texture;
            if (current) current->Release();
            current = texture;
        } else {
            fxc::Diagnostic d;
            d.file = path;
            d.text = reason;
            error = fxc::DiagnosticLine(d);
            result = ReloadResult::Failed;
        }
    } else {
        result = ReloadEffect(slot.effect, slot.fileName, &error);
        if (result == ReloadResult::StillWriting) return result;
    }
    if (result == ReloadResult::Loaded) {
        // One line for a file that changed or loads again; an unchanged one reloads quietly.
        if (!(before == slot.stamp) || !slot.error.empty()) std::fprintf(stderr, "%s: reloaded\n", path.c_str());
        slot.stamp = before;
        slot.error.clear();
        Remember(slot);
        return result;
    }
    // Said once on standard error (again only when it changes); the heads-up text shows it
    // until the file loads.
    if (error != slot.error) std::fprintf(stderr, "%s\n", error.c_str());
    slot.error = error;
    return result;
}

// Reads, compiles and makes the effect, then checks that one of its techniques validates;
// only then does it replace the one in use. On failure *error says why.
SceneMedia::ReloadResult SceneMedia::ReloadEffect(int which, const char* fileName, std::string* error) {
    const std::string path = PathOf(fileName);
    const FileStamp before = StampOf(fileName);
    fxc::Diagnostic failure;
    failure.file = path;
    std::vector<char> bytes;
    std::string reason;
    if (!ReadFileBytes(path.c_str(), &bytes, &reason, kMaxSourceFileBytes)) {
        failure.text = reason;
        *error = fxc::DiagnosticLine(failure);
        return ReloadResult::Failed;
    }
    if (!(StampOf(fileName) == before)) return ReloadResult::StillWriting;
    if (bytes.empty()) {
        // Editors that truncate before they write leave this for a moment: not a new effect.
        failure.text = "the file is empty";
        *error = fxc::DiagnosticLine(failure);
        return ReloadResult::Failed;
    }
    DataBuffer* compiled = nullptr;
    std::vector<fxc::Diagnostic> diagnostics;
    HRESULT hr = CompileEffect(bytes.data(), static_cast<UINT>(bytes.size()), path.c_str(), &compiled, nullptr,
                               &diagnostics);
    if (FAILED(hr)) {
        if (!diagnostics.empty()) failure = diagnostics.front();
        else failure.text = ReasonOf(hr);
        *error = fxc::DiagnosticLine(failure);
        return ReloadResult::Failed;
    }
    EffectFile* effect = nullptr;
    hr = CreateEffect(device, compiled->GetBufferPointer(), compiled->GetBufferSize(), path.c_str(), &effect, nullptr);
    compiled->Release();
    if (FAILED(hr)) {
        failure.text = "the device cannot make the effect: " + ReasonOf(hr);
        *error = fxc::DiagnosticLine(failure);
        return ReloadResult::Failed;
    }
    EffectTechniqueDesc description = {};
    if (FAILED(effect->FindNextValidTechnique(nullptr, &description))) {
        TechniqueFault fault;
        ExplainInvalidTechnique(effect, 0u, &fault);
        EffectDesc desc = {};
        effect->GetDesc(&desc);
        failure.text = desc.Techniques == 0 ? std::string("the effect has no techniques")
                                            : "no technique validates; the first: " + DescribeFault(fault);
        *error = fxc::DiagnosticLine(failure);
        effect->Release();
        return ReloadResult::Failed;
    }
    EffectFile*& current = effects[which];
    if (current) current->Release();
    current = effect;
    effectWarned[which] = false;
    BindEffect(which);
    return ReloadResult::Loaded;
}

std::vector<std::string> SceneMedia::ReloadErrors() const {
    std::vector<std::string> lines;
    for (const ReloadSlot& slot : reloadSlots)
        if (!slot.error.empty()) lines.push_back(slot.error);
    return lines;
}
