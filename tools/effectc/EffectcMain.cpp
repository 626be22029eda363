// effectc: the command-line front end of the effect compiler, the shader assembler and the
// vertex-declaration compiler. Exit codes: 0 success, 1 the input has errors, 2 bad usage, a
// file that cannot be read or written (standard output included) or too little memory.
#include "EffectDump.h"

#include "effect/DeclarationCompiler.h"
#include "effect/runtime/CreateEffect.h"
#include "effect/FileBytes.h"
#include "effect/ShaderAssembler.h"
#include "effect/runtime/EffectFile.h"
#include "platform/d3d/d3d8.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "usage: effectc compile FILE [-o OUT]\n"
    "       effectc asm FILE [-o OUT] [--constants OUT2] [--no-debug] [--validate]\n"
    "       effectc decl FILE [-o OUT]\n"
    "       effectc dump FILE\n"
    "       effectc check FILE [--device ref|hal]\n"
    "       effectc --help | --version\n"
    "compile: compiles an effect file; messages go to standard error; OUT receives the\n"
    "         compiled block.\n"
    "asm:     assembles a shader (debug comments on unless --no-debug, validation off unless\n"
    "         --validate); OUT receives the function tokens, OUT2 a vertex shader's constant\n"
    "         declaration tokens (little-endian 32-bit words).\n"
    "decl:    compiles a vertex declaration; OUT receives its tokens.\n"
    "dump:    lists a compiled effect (or compiles an effect file first).\n"
    "check:   creates the effect on a device (REF unless --device hal), headless, and lists each\n"
    "         technique with whether it validates; exit 0 when at least one does.\n"
    "input files are regular files of at most 64 MiB.\n"
    "exit status: 0 success, 1 errors in the input, 2 bad usage, a file that cannot be read or\n"
    "written (standard output included) or too little memory.\n";

int Usage(const char* problem) {
    std::fprintf(stderr, "effectc: %s (try effectc --help)\n", problem);
    return 2;
}

struct Options {
    std::string command, file, out, constants, device = "ref";
    bool noDebug = false, validate = false;
};

bool WriteFile(const std::string& path, const void* bytes, size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes, 1, size, f) == size;
    ok = std::fclose(f) == 0 && ok;
    return ok;
}

// Prints a message buffer (zero-terminated text) to standard error.
void PrintMessages(DataBuffer* messages) {
    if (!messages) return;
    const char* text = static_cast<const char*>(messages->GetBufferPointer());
    std::fputs(text, stderr);
    messages->Release();
}

int WriteOut(const std::string& path, DataBuffer* buffer) {
    if (path.empty() || !buffer) return 0;
    if (!WriteFile(path, buffer->GetBufferPointer(), buffer->GetBufferSize())) {
        std::fprintf(stderr, "effectc: cannot write '%s'\n", path.c_str());
        return 2;
    }
    return 0;
}

bool ReadInput(const std::string& path, std::vector<char>* bytes) {
    std::string reason;
    if (!ReadFileBytes(path.c_str(), bytes, &reason)) {
        std::fprintf(stderr, "effectc: cannot read '%s': %s\n", path.c_str(), reason.c_str());
        return false;
    }
    return true;
}

int Compile(const Options& o, std::vector<uint32_t>* words) {
    std::vector<char> bytes;
    if (!ReadInput(o.file, &bytes)) return 2;
    if (bytes.empty()) {
        // An empty text is a valid effect with nothing in it; the entry point wants bytes.
        bytes.push_back(' ');
    }
    DataBuffer* compiled = nullptr;
    DataBuffer* messages = nullptr;
    HRESULT hr = CompileEffect(bytes.data(), static_cast<UINT>(bytes.size()), o.file.c_str(), &compiled, &messages);
    PrintMessages(messages);
    if (FAILED(hr)) return 1;
    int rc = WriteOut(o.out, compiled);
    if (words) {
        words->resize(compiled->GetBufferSize() / 4);
        std::memcpy(words->data(), compiled->GetBufferPointer(), words->size() * 4);
    }
    compiled->Release();
    return rc;
}

int Assemble(const Options& o) {
    std::vector<char> bytes;
    if (!ReadInput(o.file, &bytes)) return 2;
    DataBuffer *constants = nullptr, *function = nullptr, *messages = nullptr;
    DWORD flags = (o.noDebug ? 0u : ASSEMBLE_DEBUG) | (o.validate ? 0u : ASSEMBLE_SKIPVALIDATION);
    HRESULT hr = AssembleShader(bytes.data(), static_cast<UINT>(bytes.size()), o.file.c_str(), 1, flags, &constants,
                                &function, &messages);
    if (bytes.empty()) std::fprintf(stderr, "%s(1) : (Assembly Error) shader version expected\n", o.file.c_str());
    PrintMessages(messages);
    int rc = FAILED(hr) ? 1 : 0;
    if (rc == 0) rc = WriteOut(o.out, function);
    if (rc == 0) rc = WriteOut(o.constants, constants);
    if (function) function->Release();
    if (constants) constants->Release();
    return rc;
}

int Declaration(const Options& o) {
    std::vector<char> bytes;
    if (!ReadInput(o.file, &bytes)) return 2;
    DataBuffer *tokens = nullptr, *messages = nullptr;
    static const char kEmpty[] = "";
    HRESULT hr = CompileDeclaration(bytes.empty() ? kEmpty : bytes.data(), static_cast<UINT>(bytes.size()),
                                    o.file.c_str(), 1, &tokens, &messages);
    PrintMessages(messages);
    int rc = FAILED(hr) ? 1 : WriteOut(o.out, tokens);
    if (tokens) tokens->Release();
    return rc;
}

int Dump(const Options& o) {
    std::vector<char> bytes;
    if (!ReadInput(o.file, &bytes)) return 2;
    std::vector<uint32_t> words;
    if (bytes.size() >= 4 && std::memcmp(bytes.data(), "FX81", 4) == 0) {
        words.resize(bytes.size() / 4);
        std::memcpy(words.data(), bytes.data(), words.size() * 4);
        if (bytes.size() % 4) std::fprintf(stderr, "effectc: '%s' is not a whole number of words\n", o.file.c_str());
    } else {
        int rc = Compile(o, &words);
        if (rc) return rc;
    }
    std::string listing;
    bool ok = DumpEffect(words, &listing);
    std::fputs(listing.c_str(), stdout);
    return ok ? 0 : 1;
}

// Creates the effect on a headless device of the chosen type and validates every technique.
int Check(const Options& o) {
    std::vector<char> bytes;
    if (!ReadInput(o.file, &bytes)) return 2;
    if (bytes.empty()) bytes.push_back(' ');
    d3dhost::SetHeadless(true);
    const D3DDEVTYPE type = o.device == "hal" ? D3DDEVTYPE_HAL : D3DDEVTYPE_REF;
    IDirect3D8* d3d = Direct3DCreate8(D3D_SDK_VERSION);
    if (!d3d) {
        std::fprintf(stderr, "effectc: no Direct3D object\n");
        return 2;
    }
    D3DPRESENT_PARAMETERS params = {};
    params.BackBufferWidth = 64;
    params.BackBufferHeight = 64;
    params.BackBufferFormat = D3DFMT_X8R8G8B8;
    params.SwapEffect = D3DSWAPEFFECT_DISCARD;
    params.Windowed = TRUE;
    IDirect3DDevice8* device = nullptr;
    HRESULT hr = d3d->CreateDevice(D3DADAPTER_DEFAULT, type, nullptr,
                                   D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, &device);
    if (FAILED(hr)) {
        std::fprintf(stderr, "effectc: cannot create the %s device (0x%08X)\n",
                     type == D3DDEVTYPE_HAL ? "HAL" : "REF", static_cast<unsigned>(hr));
        d3d->Release();
        return 2;
    }
    EffectFile* effect = nullptr;
    DataBuffer* messages = nullptr;
    hr = CreateEffect(device, bytes.data(), static_cast<UINT>(bytes.size()), o.file.c_str(), &effect,
                      &messages);
    PrintMessages(messages);
    int rc = 1;
    if (FAILED(hr)) {
        std::fprintf(stderr, "effectc: %s: the effect cannot be created (0x%08X)\n", o.file.c_str(),
                     static_cast<unsigned>(hr));
    } else {
        EffectDesc description = {};
        effect->GetDesc(&description);
        if (description.Techniques == 0) std::fprintf(stderr, "effectc: %s: the effect has no techniques\n", o.file.c_str());
        for (UINT t = 0; t < description.Techniques; ++t) {
            EffectTechniqueDesc technique = {};
            effect->GetTechniqueDesc(t, &technique);
            bool valid = SUCCEEDED(effect->SetTechnique(t)) && SUCCEEDED(effect->Validate());
            std::printf("technique %u \"%s\": %s\n", t, technique.Name ? technique.Name : "",
                        valid ? "valid" : "not valid");
            if (valid) rc = 0;
        }
        effect->Release();
    }
    device->Release();
    d3d->Release();
    return rc;
}

int Run(int argc, char** argv) {
    if (argc < 2) return Usage("no command");
    std::string first = argv[1];
    if (first == "--help" || first == "-h") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (first == "--version") {
        std::puts("effectc 0.1.0 (D3DX8 Shader Assembler Version 0.91)");
        return 0;
    }
    Options o;
    o.command = first;
    if (o.command != "compile" && o.command != "asm" && o.command != "decl" && o.command != "dump" &&
        o.command != "check")
        return Usage(("unknown command '" + o.command + "'").c_str());
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](std::string* into) {
            if (i + 1 >= argc) return false;
            *into = argv[++i];
            return true;
        };
        if (arg == "-o" && o.command != "dump") {
            if (!value(&o.out) || o.out.empty()) return Usage("-o needs a file name");
        } else if (arg == "--constants" && o.command == "asm") {
            if (!value(&o.constants) || o.constants.empty()) return Usage("--constants needs a file name");
        } else if (arg == "--no-debug" && o.command == "asm") {
            o.noDebug = true;
        } else if (arg == "--device" && o.command == "check") {
            if (!value(&o.device) || (o.device != "ref" && o.device != "hal"))
                return Usage("--device needs ref or hal");
        } else if (arg == "--validate" && o.command == "asm") {
            o.validate = true;
        } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
            return Usage(("unknown option '" + arg + "'").c_str());
        } else if (o.file.empty()) {
            o.file = arg;
        } else {
            return Usage("more than one input file");
        }
    }
    if (o.file.empty()) return Usage("no input file");
    if (o.command == "compile") return Compile(o, nullptr);
    if (o.command == "asm") return Assemble(o);
    if (o.command == "decl") return Declaration(o);
    if (o.command == "check") return Check(o);
    return Dump(o);
}

}  // namespace

int main(int argc, char** argv) {
    int status;
    try {
        status = Run(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "effectc: out of memory\n");
        status = 2;
    } catch (const std::length_error&) {  // a size beyond what a container can hold
        std::fprintf(stderr, "effectc: out of memory\n");
        status = 2;
    }
    // Output that never arrived (a full disk, a closed pipe) is a failure, not a success.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "effectc: cannot write to standard output\n");
        if (status == 0) status = 2;
    }
    return status;
}
