// Vertex- and pixel-shader entry points of the device. Declarations become stream layouts; functions are
// validated and translated to GLSL stage functions (platform/d3d/shader) that replace the fixed-function
// vertex or pixel stage in the device's programs.
#include <cstring>

#include "platform/d3d/DeviceImpl.h"

namespace d3dimpl {

namespace {

// Declarations longer than this are treated as unterminated.
constexpr size_t kMaxDeclarationTokens = 4096;

const UINT kTypeBytes[8] = {4, 8, 12, 16, 4, 4, 4, 8};

// Parses a declaration through D3DVSD_END into a layout and constant loads. False for anything malformed or
// unsupported (tessellator tokens, registers or streams out of range, a register declared twice).
bool ParseDeclaration(const DWORD* tokens, VertexShaderObject* shader) {
    VertexLayout& layout = shader->layout;
    layout = VertexLayout{};
    int stream = -1;
    UINT offset = 0;
    bool regUsed[16] = {};
    for (size_t i = 0; i < kMaxDeclarationTokens; ++i) {
        DWORD t = tokens[i];
        if (t == D3DVSD_END()) {
            shader->declaration.assign(tokens, tokens + i + 1);
            return true;
        }
        DWORD kind = (t & D3DVSD_TOKENTYPEMASK) >> D3DVSD_TOKENTYPESHIFT;
        switch (kind) {
        case D3DVSD_TOKEN_NOP:
            break;
        case D3DVSD_TOKEN_STREAM:
            if (t & D3DVSD_STREAMTESSMASK) return false;
            stream = static_cast<int>(t & D3DVSD_STREAMNUMBERMASK);
            if (stream >= static_cast<int>(kMaxStreams)) return false;
            offset = 0;
            break;
        case D3DVSD_TOKEN_STREAMDATA: {
            if (stream < 0) return false;
            if (t & D3DVSD_DATALOADTYPEMASK) {
                offset += ((t & D3DVSD_SKIPCOUNTMASK) >> D3DVSD_SKIPCOUNTSHIFT) * 4;
                break;
            }
            DWORD type = (t & D3DVSD_DATATYPEMASK) >> D3DVSD_DATATYPESHIFT;
            DWORD reg = t & D3DVSD_VERTEXREGMASK;
            if (type > D3DVSDT_SHORT4 || reg >= 16 || regUsed[reg] || layout.count >= kMaxDeclElements) return false;
            regUsed[reg] = true;
            DeclElement& e = layout.elements[layout.count++];
            e.stream = static_cast<BYTE>(stream);
            e.reg = static_cast<BYTE>(reg);
            e.type = static_cast<BYTE>(type);
            e.offset = static_cast<WORD>(offset);
            offset += kTypeBytes[type];
            if (offset > 255) return false;
            break;
        }
        case D3DVSD_TOKEN_CONSTMEM: {
            DWORD count = (t & D3DVSD_CONSTCOUNTMASK) >> D3DVSD_CONSTCOUNTSHIFT;
            DWORD address = t & D3DVSD_CONSTADDRESSMASK;
            if (address + count > kVsConstCount) return false;
            std::vector<float> values(count * 4);
            for (DWORD k = 0; k < count * 4; ++k) {
                ++i;
                if (i >= kMaxDeclarationTokens) return false;
                std::memcpy(&values[k], &tokens[i], 4);
            }
            shader->constants.emplace_back(address, std::move(values));
            break;
        }
        case D3DVSD_TOKEN_EXT:
            i += (t & D3DVSD_EXTCOUNTMASK) >> D3DVSD_EXTCOUNTSHIFT;
            break;
        default:
            return false;  // tessellator and unknown tokens
        }
    }
    return false;
}

}  // namespace

HRESULT Device::CreateVertexShader(const DWORD* declaration, const DWORD* function, DWORD* handle, DWORD usage) {
    if (!declaration || !handle) return D3DERR_INVALIDCALL;
    if (usage & ~D3DUSAGE_SOFTWAREPROCESSING) return D3DERR_INVALIDCALL;
    auto shader = std::make_unique<VertexShaderObject>();
    if (!ParseDeclaration(declaration, shader.get())) return D3DERR_INVALIDCALL;
    if (function) {
        shader::VertexShaderBuild build;
        std::string error;
        if (FAILED(shader::BuildVertexShader(declaration, function, shader::ShaderCapsFrom(caps),
                                             shader::TranslateOptions{}, &build, &error)))
            return D3DERR_INVALIDCALL;
        shader->function = build.functionTokens;
        shader->stage = std::move(build.stage);
    }
    shader->usage = usage;
    shader->serial = nextShaderSerial++;
    DWORD h = (nextShaderHandle++ << 1) | 1;
    vertexShaders[h] = std::move(shader);
    *handle = h;
    return D3D_OK;
}

HRESULT Device::SetVertexShader(DWORD handle) {
    const VertexShaderObject* shader = nullptr;
    if (handle & 1) {
        auto it = vertexShaders.find(handle);
        if (it == vertexShaders.end()) return D3DERR_INVALIDCALL;
        shader = it->second.get();
    } else if (handle != 0) {
        VertexLayout layout;
        if (!LayoutFromFvf(handle, &layout)) return D3DERR_INVALIDCALL;
    }
    if (recording) {
        recording->mask.vertexShader = true;
        recording->values.vertexShader = handle;
        return D3D_OK;
    }
    state.vertexShader = handle;
    keyDirty = true;
    RefreshBoundShaders();
    // Constants in the declaration are loaded when the shader is set.
    if (shader) {
        for (const auto& [reg, values] : shader->constants)
            SetVertexShaderConstant(reg, values.data(), static_cast<DWORD>(values.size() / 4));
    }
    return D3D_OK;
}

HRESULT Device::GetVertexShader(DWORD* handle) {
    if (!handle) return D3DERR_INVALIDCALL;
    *handle = state.vertexShader;
    return D3D_OK;
}

void Device::EvictPrograms(UINT serial) {
    MakeCurrent();
    for (auto it = programs.begin(); it != programs.end();) {
        if (it->first.vertexShaderId != serial && it->first.pixelShaderId != serial) {
            ++it;
            continue;
        }
        if (it->second.get() == currentProgram) currentProgram = nullptr;
        glDeleteProgram(it->second->program);
        it = programs.erase(it);
    }
}

HRESULT Device::DeleteVertexShader(DWORD handle) {
    auto it = vertexShaders.find(handle);
    if (it == vertexShaders.end()) return D3DERR_INVALIDCALL;
    // Serials are never reused, so the programs built with this shader can never be asked for again.
    EvictPrograms(it->second->serial);
    vertexShaders.erase(it);
    if (state.vertexShader == handle) {
        state.vertexShader = 0;
        keyDirty = true;
    }
    RefreshBoundShaders();
    return D3D_OK;
}

HRESULT Device::SetVertexShaderConstant(DWORD registerIndex, const void* constantData, DWORD constantCount) {
    if (!constantData || registerIndex >= kVsConstCount || constantCount > kVsConstCount - registerIndex)
        return D3DERR_INVALIDCALL;
    const float* data = static_cast<const float*>(constantData);
    for (DWORD i = 0; i < constantCount; ++i) {
        if (recording) {
            recording->mask.vsConst.set(registerIndex + i);
            std::memcpy(recording->values.vsConst[registerIndex + i], data + 4 * i, sizeof(float) * 4);
        } else {
            std::memcpy(state.vsConst[registerIndex + i], data + 4 * i, sizeof(float) * 4);
        }
    }
    if (!recording) ++vsConstVersion;
    return D3D_OK;
}

HRESULT Device::GetVertexShaderConstant(DWORD registerIndex, void* constantData, DWORD constantCount) {
    if (!constantData || registerIndex >= kVsConstCount || constantCount > kVsConstCount - registerIndex)
        return D3DERR_INVALIDCALL;
    std::memcpy(constantData, state.vsConst[registerIndex], sizeof(float) * 4 * constantCount);
    return D3D_OK;
}

HRESULT Device::GetVertexShaderDeclaration(DWORD handle, void* data, DWORD* sizeOfData) {
    if (!sizeOfData) return D3DERR_INVALIDCALL;
    auto it = vertexShaders.find(handle);
    if (it == vertexShaders.end()) return D3DERR_INVALIDCALL;
    DWORD bytes = static_cast<DWORD>(it->second->declaration.size() * sizeof(DWORD));
    if (!data) {
        *sizeOfData = bytes;
        return D3D_OK;
    }
    if (*sizeOfData < bytes) {
        *sizeOfData = bytes;
        return D3DERR_MOREDATA;
    }
    std::memcpy(data, it->second->declaration.data(), bytes);
    *sizeOfData = bytes;
    return D3D_OK;
}

HRESULT Device::GetVertexShaderFunction(DWORD handle, void* data, DWORD* sizeOfData) {
    if (!sizeOfData) return D3DERR_INVALIDCALL;
    auto it = vertexShaders.find(handle);
    if (it == vertexShaders.end()) return D3DERR_INVALIDCALL;
    DWORD bytes = static_cast<DWORD>(it->second->function.size() * sizeof(DWORD));
    if (!data || bytes == 0) {
        *sizeOfData = bytes;
        return D3D_OK;
    }
    if (*sizeOfData < bytes) {
        *sizeOfData = bytes;
        return D3DERR_MOREDATA;
    }
    std::memcpy(data, it->second->function.data(), bytes);
    *sizeOfData = bytes;
    return D3D_OK;
}

HRESULT Device::CreatePixelShader(const DWORD* function, DWORD* handle) {
    if (!function || !handle) return D3DERR_INVALIDCALL;
    shader::PixelShaderBuild build;
    std::string error;
    if (FAILED(shader::BuildPixelShader(function, shader::ShaderCapsFrom(caps), shader::TranslateOptions{}, &build,
                                        &error)))
        return D3DERR_INVALIDCALL;
    auto object = std::make_unique<PixelShaderObject>();
    object->function = std::move(build.functionTokens);
    object->stage = std::move(build.stage);
    object->serial = nextShaderSerial++;
    DWORD h = (nextShaderHandle++ << 1) | 1;
    pixelShaders[h] = std::move(object);
    *handle = h;
    return D3D_OK;
}

void Device::RefreshBoundShaders() {
    auto vs = vertexShaders.find(state.vertexShader);
    boundVertexShader = (state.vertexShader & 1) && vs != vertexShaders.end() ? vs->second.get() : nullptr;
    auto ps = pixelShaders.find(state.pixelShader);
    boundPixelShader = state.pixelShader && ps != pixelShaders.end() ? ps->second.get() : nullptr;
}

HRESULT Device::SetPixelShader(DWORD handle) {
    if (handle != 0 && pixelShaders.find(handle) == pixelShaders.end()) return D3DERR_INVALIDCALL;
    if (recording) {
        recording->mask.pixelShader = true;
        recording->values.pixelShader = handle;
        return D3D_OK;
    }
    state.pixelShader = handle;
    keyDirty = true;
    RefreshBoundShaders();
    return D3D_OK;
}

HRESULT Device::GetPixelShader(DWORD* handle) {
    if (!handle) return D3DERR_INVALIDCALL;
    *handle = state.pixelShader;
    return D3D_OK;
}

HRESULT Device::DeletePixelShader(DWORD handle) {
    auto it = pixelShaders.find(handle);
    if (it == pixelShaders.end()) return D3DERR_INVALIDCALL;
    EvictPrograms(it->second->serial);
    pixelShaders.erase(it);
    if (state.pixelShader == handle) state.pixelShader = 0;
    keyDirty = true;
    RefreshBoundShaders();
    return D3D_OK;
}

HRESULT Device::SetPixelShaderConstant(DWORD registerIndex, const void* constantData, DWORD constantCount) {
    if (!constantData || registerIndex >= kPsConstCount || constantCount > kPsConstCount - registerIndex)
        return D3DERR_INVALIDCALL;
    const float* data = static_cast<const float*>(constantData);
    for (DWORD i = 0; i < constantCount; ++i) {
        if (recording) {
            recording->mask.psConst.set(registerIndex + i);
            std::memcpy(recording->values.psConst[registerIndex + i], data + 4 * i, sizeof(float) * 4);
        } else {
            std::memcpy(state.psConst[registerIndex + i], data + 4 * i, sizeof(float) * 4);
        }
    }
    if (!recording) ++psConstVersion;
    return D3D_OK;
}

HRESULT Device::GetPixelShaderConstant(DWORD registerIndex, void* constantData, DWORD constantCount) {
    if (!constantData || registerIndex >= kPsConstCount || constantCount > kPsConstCount - registerIndex)
        return D3DERR_INVALIDCALL;
    std::memcpy(constantData, state.psConst[registerIndex], sizeof(float) * 4 * constantCount);
    return D3D_OK;
}

HRESULT Device::GetPixelShaderFunction(DWORD handle, void* data, DWORD* sizeOfData) {
    if (!sizeOfData) return D3DERR_INVALIDCALL;
    auto it = pixelShaders.find(handle);
    if (it == pixelShaders.end()) return D3DERR_INVALIDCALL;
    DWORD bytes = static_cast<DWORD>(it->second->function.size() * sizeof(DWORD));
    if (!data) {
        *sizeOfData = bytes;
        return D3D_OK;
    }
    if (*sizeOfData < bytes) {
        *sizeOfData = bytes;
        return D3DERR_MOREDATA;
    }
    std::memcpy(data, it->second->function.data(), bytes);
    *sizeOfData = bytes;
    return D3D_OK;
}

}  // namespace d3dimpl
