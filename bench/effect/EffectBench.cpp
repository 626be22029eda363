// Effect compiler speed: a large synthetic effect (parameters, techniques, passes with render
// states, folded expressions, references and both kinds of shaders) and the program's own four
// effect files. Reported as bytes of source per second.
#include "effect/CompileEffect.h"
#include "effect/FileBytes.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

std::string SyntheticEffect() {
    std::string s;
    for (int i = 0; i < 150; ++i) {
        s += "texture tex" + std::to_string(i) + ";\n";
        s += "MATRIX mat" + std::to_string(i) + " = {1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1};\n";
    }
    for (int t = 0; t < 150; ++t) {
        s += "technique T" + std::to_string(t) + "\n{\n";
        for (int p = 0; p < 4; ++p) {
            s += "    pass P" + std::to_string(p) + "\n    {\n";
            s += "        VertexShaderConstant4[0] = <mat" + std::to_string(t) + ">;\n";
            s += "        VertexShader = decl { stream 0; float v0[3]; float v3[3]; d3dcolor v5; float v7[2]; }\n"
                 "        asm {\n            vs.1.1\n            def c8, 0.5, 0.25, 1.0, 0.0\n"
                 "            m4x4 oPos, v0, c0\n            dp3 r0.x, v3, c4\n"
                 "            max r0.x, r0.x, c8.w\n            mul oD0, v5, r0.x\n            mov oT0.xy, v7\n"
                 "        };\n";
            s += "        PixelShader = asm {\n            ps.1.1\n            tex t0\n"
                 "            mul_x2 r0, t0, v0\n        };\n";
            s += "        Texture[0] = <tex" + std::to_string(t) + ">;\n";
            for (int a = 0; a < 3; ++a) {
                s += "        ColorOp[" + std::to_string(a) + "] = Modulate;\n";
                s += "        ColorArg1[" + std::to_string(a) + "] = Texture | AlphaReplicate;\n";
                s += "        AddressU[" + std::to_string(a) + "] = Clamp;\n";
                s += "        MinFilter[" + std::to_string(a) + "] = Linear;\n";
            }
            s += "        ZEnable = True;\n        ZWriteEnable = False;\n        CullMode = CCW;\n";
            s += "        SrcBlend = SrcAlpha;\n        DestBlend = InvSrcAlpha;\n";
            s += "        ColorWriteEnable = Red | Green | Blue | Alpha;\n";
            s += "        TextureFactor = (1.0, 0.5, 0.25, 1.0);\n        FogStart = 10.5;\n";
            s += "    }\n";
        }
        s += "}\n";
    }
    return s;
}

void Compile(benchmark::State& state, const std::string& source) {
    for (auto _ : state) {
        DataBuffer* compiled = nullptr;
        HRESULT hr = CompileEffect(source.data(), static_cast<UINT>(source.size()), "bench.fx", &compiled, nullptr);
        if (FAILED(hr)) {
            state.SkipWithError("compile failed");
            break;
        }
        benchmark::DoNotOptimize(compiled->GetBufferPointer());
        compiled->Release();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(source.size()));
    state.counters["source_bytes"] = static_cast<double>(source.size());
}

void BM_CompileSyntheticEffect(benchmark::State& state) {
    static const std::string source = SyntheticEffect();
    Compile(state, source);
}
BENCHMARK(BM_CompileSyntheticEffect)->Unit(benchmark::kMillisecond);

void BM_CompileProgramEffects(benchmark::State& state) {
    static const char* const kFiles[] = {"Water.sha", "Particle.sha", "BaseTexEnvi.sha", "BlendEnvi.sha"};
    std::vector<std::string> sources;
    size_t total = 0;
    for (const char* name : kFiles) {
        std::vector<char> bytes;
        if (!ReadFileBytes((std::string(SG_MEDIA_EFX) + "/" + name).c_str(), &bytes) || bytes.empty()) {
            state.SkipWithError("effect file missing");
            return;
        }
        sources.emplace_back(bytes.begin(), bytes.end());
        total += bytes.size();
    }
    for (auto _ : state) {
        for (const std::string& source : sources) {
            DataBuffer* compiled = nullptr;
            if (FAILED(CompileEffect(source.data(), UINT(source.size()), "media.sha", &compiled, nullptr))) {
                state.SkipWithError("compile failed");
                return;
            }
            compiled->Release();
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(total));
}
BENCHMARK(BM_CompileProgramEffects)->Unit(benchmark::kMicrosecond);

}  // namespace
