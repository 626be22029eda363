// Messages with their places: each compiler's diagnostic (file, line, column, source line and
// words) beside the message buffer's classic line, which stays as it was.
#include "effect/CompileEffect.h"
#include "effect/DeclarationCompiler.h"
#include "effect/ShaderAssembler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Compiled {
    HRESULT result;
    std::string classic;  // the message buffer's text
    std::vector<fxc::Diagnostic> diagnostics;
};

std::string TextOf(DataBuffer* buffer) {
    if (!buffer) return "<none>";
    std::string text(static_cast<const char*>(buffer->GetBufferPointer()));
    buffer->Release();
    return text;
}

Compiled Effect(const std::string& source, const char* file = "e.sha") {
    Compiled c;
    DataBuffer* messages = nullptr;
    c.result = CompileEffect(source.data(), UINT(source.size()), file, nullptr, &messages, &c.diagnostics);
    c.classic = TextOf(messages);
    return c;
}

struct Case {
    const char* name;
    std::string source;
    std::string classic;  // the whole message buffer
    std::string line;     // the first diagnostic as FILE:LINE:COL: error: TEXT
    std::string sourceLine;
};

// Broken effects: where each first message points and what it says, next to the classic text.
TEST(Diagnostics, EffectMessagesPointAtTheirToken) {
    const Case cases[] = {
        {"missing bracket", "technique t\n{\n    pass p\n    {\n        ColorOp[1 = 2;\n    }\n}\n",
         "e.sha(5) : syntax error\n", "e.sha:5:19: error: expected ']' before '='", "        ColorOp[1 = 2;"},
        {"end of file", "technique t { pass p {", "e.sha(1) : syntax error\n",
         "e.sha:1:23: error: expected identifier or '}' before end of file", "technique t { pass p {"},
        // The parser has read the next line when it meets the state; the classic line is that
        // line, the diagnostic the state's own.
        {"unknown state", "technique t { pass p {\n  Bogus\n  = 1; } }\n", "e.sha(3) : unknown state 'Bogus'\n",
         "e.sha:2:3: error: unknown state 'Bogus'", "  Bogus"},
        {"unknown type", "DWORD a;\n  Colour c;\n", "e.sha(2) : unknown type in parameter declaration: 'Colour'\n",
         "e.sha:2:3: error: unknown type in parameter declaration: 'Colour'", "  Colour c;"},
        {"duplicate pass", "technique t { pass p { } pass p { } }\n", "e.sha(1) : duplicate pass: 'p'\n",
         "e.sha:1:31: error: duplicate pass: 'p'", "technique t { pass p { } pass p { } }"},
        {"unknown value", "technique t { pass { ZEnable = TRUE | Maybe; } }\n",
         "e.sha(1) : unknown value in DWORD expression: 'Maybe'\n",
         "e.sha:1:39: error: unknown value in DWORD expression: 'Maybe'", "technique t { pass { ZEnable = TRUE | Maybe; } }"},
        {"undeclared parameter", "technique t { pass { Texture[0] = <tex>; } }\n",
         "e.sha(1) : undeclared parameter: 'tex'\n", "e.sha:1:36: error: undeclared parameter: 'tex'",
         "technique t { pass { Texture[0] = <tex>; } }"},
        // #line renames the file and renumbers the lines; the column is the text's own.
        {"line directive", "#line 20 \"x.fx\"\n  BOGUS a;\n",
         "x.fx(20) : unknown type in parameter declaration: 'BOGUS'\n",
         "x.fx:20:3: error: unknown type in parameter declaration: 'BOGUS'", "  BOGUS a;"},
        // An unclosed comment points at its start; the classic line is where the text ended.
        {"unclosed comment", "DWORD a;\n /* one\ntwo\n", "e.sha(4) : comment extends past end-of-file\n",
         "e.sha:2:2: error: comment extends past end-of-file", " /* one"},
        {"string", "STRING s = \"abc\n;\n", "e.sha(1) : newline in string constant\n",
         "e.sha:1:12: error: newline in string constant", "STRING s = \"abc"},
        // Inside an asm block: the block's first line continues the effect's line, later lines
        // start at column 1 of their own.
        {"asm block first line", "technique t { pass { PixelShader = asm { ps.1.1 mov r0, q0 }; } }\n",
         "e.sha(1) : (Assembly Error) invalid register 'q0'\n", "e.sha:1:57: error: invalid register 'q0'",
         "technique t { pass { PixelShader = asm { ps.1.1 mov r0, q0 }; } }"},
        {"asm block later line", "technique t { pass { PixelShader = asm {\n ps.1.1\n\tmov r0.zx, v0\n}; } }\n",
         "e.sha(3) : (Assembly Error) invalid mask 'zx'\n", "e.sha:3:9: error: invalid mask 'zx'", "\tmov r0.zx, v0"},
        {"asm statement", "technique t { pass { PixelShader = asm {\n ps.1.1\n mov r0 v0\n}; } }\n",
         "e.sha(3) : (Assembly Error) statement incomplete\n",
         "e.sha:3:9: error: statement incomplete: expected ',' before 'v0'", " mov r0 v0"},
        {"decl block", "technique t { pass { VertexShader = decl {\n  stream 0;\n  float v0[5];\n}; } }\n",
         "e.sha(3) : Invalid dimension\n", "e.sha:3:9: error: Invalid dimension", "  float v0[5];"},
        {"decl syntax", "technique t { pass { VertexShader = decl { float v0[3] stream 1; }; } }\n",
         "e.sha(1) : syntax error\n", "e.sha:1:56: error: expected ';' before 'stream'",
         "technique t { pass { VertexShader = decl { float v0[3] stream 1; }; } }"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Compiled out = Effect(c.source);
        EXPECT_TRUE(FAILED(out.result));
        EXPECT_EQ(c.classic, out.classic);
        ASSERT_FALSE(out.diagnostics.empty());
        EXPECT_EQ(c.line, fxc::DiagnosticLine(out.diagnostics[0]));
        EXPECT_EQ(c.sourceLine, out.diagnostics[0].sourceLine);
    }
}

TEST(Diagnostics, OneDiagnosticPerMessageLine) {
    // Lexical messages go on after one another; each has its diagnostic, in the same order.
    Compiled out = Effect("#pragma a\n#pragma b\n\"x\n");
    ASSERT_EQ(4u, out.diagnostics.size());
    EXPECT_EQ("e.sha(1) : preprocessor directives are not supported.\n"
              "e.sha(2) : preprocessor directives are not supported.\n"
              "e.sha(3) : newline in string constant\n"
              "e.sha(3) : syntax error\n",
              out.classic);
    EXPECT_EQ(2, out.diagnostics[1].line);
    EXPECT_EQ(1, out.diagnostics[1].column);
    // A successful compile has none, and a CRLF file shows its lines without the CR.
    EXPECT_TRUE(Effect("DWORD a = 1;\r\n").diagnostics.empty());
    Compiled crlf = Effect("DWORD a;\r\nDWORD a;\r\n");
    ASSERT_EQ(1u, crlf.diagnostics.size());
    EXPECT_EQ("DWORD a;", crlf.diagnostics[0].sourceLine);
    EXPECT_EQ(7, crlf.diagnostics[0].column);
}

TEST(Diagnostics, SyntaxErrorsNameTheTokens) {
    struct {
        const char* source;
        const char* text;
    } cases[] = {
        {"DWORD a = 1 1;", "expected ';' before '1'"},
        {"technique { pass { ZEnable = ; } }", "unexpected ';'"},
        // Five numbers may yet become a matrix's sixteen.
        {"VECTOR v = {1, 2, 3, 4, 5};", "expected ',' before '}'"},
        {"technique t { pass p { ZEnable = TRUE } }", "expected ';' before '}'"},
        // A found token is cut to its first line and 40 bytes.
        {"DWORD a = 1 \"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\";",
         "expected ';' before '\"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        Compiled out = Effect(c.source);
        ASSERT_EQ(1u, out.diagnostics.size());
        EXPECT_EQ(c.text, out.diagnostics[0].text);
        EXPECT_EQ("e.sha(1) : syntax error\n", out.classic);
    }
}

TEST(Diagnostics, AssemblerAndDeclarationCompilerOnTheirOwn) {
    const char shader[] = "vs.1.1\n  mov oPos, v0\n  add r0, r1, c[a0.x + a0.x]\n";
    std::vector<fxc::Diagnostic> diagnostics;
    DataBuffer* messages = nullptr;
    EXPECT_TRUE(FAILED(AssembleShader(shader, sizeof shader - 1, "s.vsh", 1, 0, nullptr, nullptr, &messages,
                                      &diagnostics)));
    EXPECT_EQ("s.vsh(3) : (Assembly Error) a0.x can only appear once in an index expression\n", TextOf(messages));
    ASSERT_EQ(1u, diagnostics.size());
    EXPECT_EQ("a0.x can only appear once in an index expression", diagnostics[0].text);
    EXPECT_EQ(3, diagnostics[0].line);
    EXPECT_GT(diagnostics[0].column, 0);

    // The validator's own lines keep their text; the diagnostic points at the statement of the
    // instruction it names, counting a pixel shader's definitions first.
    const char unwritten[] = "ps.1.1\ndef c0, 1, 1, 1, 1\n  tex t0\n  mov r0, t0\n  add r0, r0, r1\n";
    messages = nullptr;
    EXPECT_TRUE(FAILED(AssembleShader(unwritten, sizeof unwritten - 1, "u.psh", 1, 0, nullptr, nullptr, &messages,
                                      &diagnostics)));
    const std::string classic = TextOf(messages);
    ASSERT_EQ(1u, diagnostics.size());
    EXPECT_EQ(classic, diagnostics[0].text + "\n");
    EXPECT_NE(std::string::npos, classic.find("instruction 4 (add)")) << classic;
    EXPECT_EQ("u.psh", diagnostics[0].file);
    EXPECT_EQ(5, diagnostics[0].line);
    EXPECT_EQ(3, diagnostics[0].column);
    EXPECT_EQ(4, ValidatorInstructionNumber(classic));
    EXPECT_EQ(0, ValidatorInstructionNumber("vs.1.1: oPos is never written"));
    EXPECT_EQ(0, ValidatorInstructionNumber("ps.1.1 instruction x"));

    const char declaration[] = "float v0[3];\nfloat V1;\n";
    messages = nullptr;
    EXPECT_EQ(E_FAIL, CompileDeclaration(declaration, sizeof declaration - 1, "d.decl", 10, nullptr, &messages,
                                         &diagnostics));
    EXPECT_EQ("d.decl(11) : Vertex register expected (v#)\n", TextOf(messages));
    ASSERT_EQ(1u, diagnostics.size());
    EXPECT_EQ("d.decl:11:7: error: Vertex register expected (v#)", fxc::DiagnosticLine(diagnostics[0]));
}

}  // namespace
