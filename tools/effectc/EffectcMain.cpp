// effectc: the command-line front end of the effect compiler, the shader assembler and the
// vertex-declaration compiler. Exit codes: 0 success, 1 the input has errors, 2 bad usage, a
// file that cannot be read or written (standard output included) or too little memory.
#include "EffectDump.h"

#include "effect/DeclarationCompiler.h"
#include "effect/EffectStates.h"
#include "effect/runtime/CreateEffect.h"
#include "effect/FileBytes.h"
#include "effect/ShaderAssembler.h"
#include "effect/runtime/EffectFile.h"
#include "effect/runtime/EffectValidation.h"
#include "platform/d3d/d3d8.h"

#include <algorithm>
#include <cctype>
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
    "       effectc list states|values|instructions\n"
    "       effectc --help | --version\n"
    "every command that reads a file takes --diagnostics gcc|classic: gcc (the default) prints\n"
    "         each message as FILE:LINE:COL: error: TEXT with the source line and a caret under\n"
    "         the column, and stops after 20 with a count of the rest; classic prints the\n"
    "         compiler's own message lines, FILE(LINE) : TEXT, unchanged.\n"
    "compile: compiles an effect file; messages go to standard error; OUT receives the\n"
    "         compiled block.\n"
    "asm:     assembles a shader (debug comments on unless --no-debug, validation off unless\n"
    "         --validate); OUT receives the function tokens, OUT2 a vertex shader's constant\n"
    "         declaration tokens (little-endian 32-bit words).\n"
    "decl:    compiles a vertex declaration; OUT receives its tokens.\n"
    "dump:    lists a compiled effect (or compiles an effect file first).\n"
    "check:   creates the effect on a device (REF unless --device hal), headless, and lists each\n"
    "         technique with whether it validates and, when it does not, the pass and the\n"
    "         first reason; exit 0 when at least one does.\n"
    "list:    prints the state names with their types and indexes, the value names of each\n"
    "         state, or the shader instructions the assembler reads, one per line.\n"
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
    bool classic = false;  // --diagnostics classic
};

// Messages shown before the rest are only counted.
constexpr size_t kMaxShownMessages = 20;

bool WriteFile(const std::string& path, const void* bytes, size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes, 1, size, f) == size;
    ok = std::fclose(f) == 0 && ok;
    return ok;
}

// Prints each diagnostic as FILE:LINE:COL: error: TEXT, with its source line and a caret
// under the column; after kMaxShownMessages only the count of the rest.
void PrintDiagnostics(std::FILE* out, const std::vector<fxc::Diagnostic>& diagnostics) {
    const size_t shown = std::min(diagnostics.size(), kMaxShownMessages);
    for (size_t i = 0; i < shown; ++i) {
        const fxc::Diagnostic& d = diagnostics[i];
        std::fprintf(out, "%s\n", fxc::DiagnosticLine(d).c_str());
        // No caret without a column, or past the part of a very long line that was kept.
        if (d.column <= 0 || size_t(d.column) > d.sourceLine.size() + 1) continue;
        std::fprintf(out, "%5d | %s\n      | ", d.line, d.sourceLine.c_str());
        // Tabs stay tabs, so the caret lines up however the terminal shows them.
        for (int c = 0; c + 1 < d.column; ++c)
            std::fputc(size_t(c) < d.sourceLine.size() && d.sourceLine[size_t(c)] == '\t' ? '\t' : ' ', out);
        std::fputs("^\n", out);
    }
    if (diagnostics.size() > shown)
        std::fprintf(out, "effectc: %zu more messages not shown\n", diagnostics.size() - shown);
}

// Prints a compile's messages to standard error: the message buffer's text as it stands
// (classic), or the diagnostics.
void PrintMessages(const Options& o, DataBuffer* messages, const std::vector<fxc::Diagnostic>& diagnostics) {
    if (o.classic) {
        if (messages) std::fputs(static_cast<const char*>(messages->GetBufferPointer()), stderr);
    } else {
        PrintDiagnostics(stderr, diagnostics);
    }
    if (messages) messages->Release();
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

// Compiles effect text and prints its messages. An empty text is a valid effect with nothing
// in it; the entry point wants bytes, so it gets one blank.
HRESULT CompileAndReport(const Options& o, std::vector<char>& bytes, DataBuffer** compiled) {
    if (bytes.empty()) bytes.push_back(' ');
    DataBuffer* messages = nullptr;
    std::vector<fxc::Diagnostic> diagnostics;
    HRESULT hr = CompileEffect(bytes.data(), static_cast<UINT>(bytes.size()), o.file.c_str(), compiled, &messages,
                               &diagnostics);
    PrintMessages(o, messages, diagnostics);
    return hr;
}

int Compile(const Options& o, std::vector<uint32_t>* words) {
    std::vector<char> bytes;
    if (!ReadInput(o.file, &bytes)) return 2;
    DataBuffer* compiled = nullptr;
    if (FAILED(CompileAndReport(o, bytes, &compiled))) return 1;
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
    std::vector<fxc::Diagnostic> diagnostics;
    HRESULT hr = AssembleShader(bytes.data(), static_cast<UINT>(bytes.size()), o.file.c_str(), 1, flags, &constants,
                                &function, &messages, &diagnostics);
    if (bytes.empty()) {
        if (o.classic)
            std::fprintf(stderr, "%s(1) : (Assembly Error) shader version expected\n", o.file.c_str());
        else
            diagnostics.push_back({o.file, 1, 1, "shader version expected", ""});
    }
    PrintMessages(o, messages, diagnostics);
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
    std::vector<fxc::Diagnostic> diagnostics;
    HRESULT hr = CompileDeclaration(bytes.empty() ? kEmpty : bytes.data(), static_cast<UINT>(bytes.size()),
                                    o.file.c_str(), 1, &tokens, &messages, &diagnostics);
    PrintMessages(o, messages, diagnostics);
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

// The line `line` (1-based) of `bytes`, without its line break; empty past the end.
std::string SourceLine(const std::vector<char>& bytes, UINT line) {
    size_t at = 0;
    for (UINT n = 1; n < line && at < bytes.size(); ++at)
        if (bytes[at] == '\n') ++n;
    size_t stop = at;
    while (stop < bytes.size() && bytes[stop] != '\n') ++stop;
    if (stop > at && bytes[stop - 1] == '\r') --stop;
    return line == 0 || at > bytes.size() ? std::string() : std::string(bytes.data() + at, stop - at);
}

// Where `word` stands as a whole word in `text`; npos when it does not.
size_t FindWord(const std::string& text, const std::string& word) {
    auto wordByte = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
    for (size_t at = text.find(word); !word.empty() && at != std::string::npos; at = text.find(word, at + 1)) {
        const size_t after = at + word.size();
        if ((at == 0 || !wordByte(text[at - 1])) && (after >= text.size() || !wordByte(text[after]))) return at;
    }
    return std::string::npos;
}

// A refused shader's message as a diagnostic at its instruction. The shader's debug comments
// give the line the assembler was on when the instruction was complete, which may be a later
// line than the instruction's own; the instruction is the nearest line at or above it that
// holds its mnemonic, and the column is where the mnemonic stands.
fxc::Diagnostic ShaderDiagnostic(const Options& o, const std::vector<char>& bytes, const TechniqueFault& fault) {
    fxc::Diagnostic d;
    d.file = fault.file.empty() ? o.file : fault.file;
    d.line = static_cast<int>(fault.line);
    d.text = fault.shaderMessage;
    if (fault.line == 0 || d.file != o.file) return d;
    constexpr UINT kLinesBack = 50;
    for (UINT line = fault.line; line >= 1 && line + kLinesBack > fault.line; --line) {
        const std::string text = SourceLine(bytes, line);
        const size_t at = FindWord(text, fault.mnemonic);
        if (at == std::string::npos) continue;
        d.line = static_cast<int>(line);
        d.sourceLine = text;
        d.column = static_cast<int>(at) + 1;
        break;
    }
    return d;
}

// Creates the effect on a headless device of the chosen type and validates every technique,
// saying why each invalid one fails.
int Check(const Options& o) {
    std::vector<char> bytes;
    if (!ReadInput(o.file, &bytes)) return 2;
    // Compiled first, so that its messages have their places; then made on the device.
    DataBuffer* compiled = nullptr;
    HRESULT hr = CompileAndReport(o, bytes, &compiled);
    if (FAILED(hr)) {
        std::fprintf(stderr, "effectc: %s: the effect cannot be created (0x%08X)\n", o.file.c_str(),
                     static_cast<unsigned>(hr));
        return 1;
    }
    d3dhost::SetHeadless(true);
    const D3DDEVTYPE type = o.device == "hal" ? D3DDEVTYPE_HAL : D3DDEVTYPE_REF;
    IDirect3D8* d3d = Direct3DCreate8(D3D_SDK_VERSION);
    if (!d3d) {
        compiled->Release();
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
    hr = d3d->CreateDevice(D3DADAPTER_DEFAULT, type, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, &device);
    if (FAILED(hr)) {
        std::fprintf(stderr, "effectc: cannot create the %s device (0x%08X)\n",
                     type == D3DDEVTYPE_HAL ? "HAL" : "REF", static_cast<unsigned>(hr));
        compiled->Release();
        d3d->Release();
        return 2;
    }
    EffectFile* effect = nullptr;
    hr = CreateEffect(device, compiled->GetBufferPointer(), compiled->GetBufferSize(), o.file.c_str(), &effect, nullptr);
    compiled->Release();
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
            TechniqueFault fault;
            const bool valid = SUCCEEDED(ExplainInvalidTechnique(effect, t, &fault));
            std::printf("technique %u \"%s\": %s", t, technique.Name ? technique.Name : "", valid ? "valid" : "not valid");
            if (!valid && fault.found) std::printf(": %s", DescribeFault(fault).c_str());
            std::printf("\n");
            if (!valid && !fault.shaderMessage.empty()) {
                // On standard output with the verdict, in the form editors read.
                std::fflush(stdout);
                PrintDiagnostics(stdout, {ShaderDiagnostic(o, bytes, fault)});
            }
            if (valid) rc = 0;
        }
        effect->Release();
    }
    device->Release();
    d3d->Release();
    return rc;
}

// The program's own tables as Markdown tables, so that the authoring guide quotes them.
int List(const std::string& what) {
    size_t count = 0;
    const EffectStateInfo* states = StateTable(&count);
    if (what == "states") {
        std::puts("| State | Type | Index |\n|---|---|---|");
        for (size_t i = 0; i < count; ++i) {
            const EffectStateInfo& s = states[i];
            std::string index = s.indexLimit == 1 ? "-" : s.indexLimit == kAnyIndex ? "any" : "0.." + std::to_string(s.indexLimit - 1);
            std::printf("| %s | %s | %s |\n", s.name, EffectTypeName(s.type), index.c_str());
        }
        return 0;
    }
    if (what == "values") {
        // States that share a value-name table share one row.
        std::puts("| States | Value names |\n|---|---|");
        for (size_t i = 0; i < count; ++i) {
            const EffectValueName* table = states[i].values;
            bool first = table != nullptr;
            for (size_t j = 0; first && j < i; ++j) first = states[j].values != table;
            if (!first) continue;
            std::string names, values;
            for (size_t j = i; j < count; ++j)
                if (states[j].values == table) names += std::string(names.empty() ? "" : ", ") + states[j].name;
            for (size_t v = 0; v < states[i].valueCount; ++v) {
                char item[80];
                std::snprintf(item, sizeof item, "%s%s = 0x%X", v ? ", " : "", table[v].name,
                              static_cast<unsigned>(table[v].value));
                values += item;
            }
            std::printf("| %s | %s |\n", names.c_str(), values.c_str());
        }
        return 0;
    }
    if (what == "instructions") {
        std::puts("| Instruction | Opcode | Operands | Vertex shaders | Pixel shaders 1.0-1.3 | Pixel shaders 1.4 |\n"
                  "|---|---|---|---|---|---|");
        for (const ShaderInstructionEntry& e : ShaderInstructionTable()) {
            if (std::strcmp(e.name, "def") == 0) continue;  // a statement of its own, not an instruction
            std::printf("| %s | %u | %d | %s | %s | %s |\n", e.name, static_cast<unsigned>(e.opcode), e.operands,
                        e.vertex ? "yes" : "-", e.pixel13 ? "yes" : "-", e.pixel14 ? "yes" : "-");
        }
        return 0;
    }
    return Usage("list needs states, values or instructions");
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
    if (first == "list") {
        if (argc != 3) return Usage("list needs one of states, values or instructions");
        return List(argv[2]);
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
        } else if (arg == "--diagnostics") {
            std::string style;
            if (!value(&style) || (style != "gcc" && style != "classic")) return Usage("--diagnostics needs gcc or classic");
            o.classic = style == "classic";
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
