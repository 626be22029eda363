// Pieces the three block compilers share: the message list with its "%s(%d) : %s" format,
// locale-independent number reading, and the line-start "#line" directive.
#pragma once

#include "effect/DataBuffer.h"

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fxc {

// Most bytes a token text, file name or formatted message keeps.
constexpr size_t kMaxText = 255;

// Where a message points: a byte of the text being compiled and the line it counts as there
// (after #line directives).
struct SourcePlace {
    const char* at = nullptr;  // null: no particular byte
    uint32_t line = 0;
};

// One message as an editor or build tool wants it: the place with its column, the message's
// own words and the source line to show under it. The classic message line says the same.
struct Diagnostic {
    std::string file;
    int line = 0;
    int column = 0;          // 1-based byte column in sourceLine; 0 when the message has none
    std::string text;        // without file, line or "(Assembly Error)"; a syntax error names tokens
    std::string sourceLine;  // the line of text the column lies in, without its line break
};

// Messages of one compile, in the order reported. Each message is "FILE(LINE) : PREFIXTEXT",
// where TEXT is first cut to 255 characters and then the whole line is cut again; a single
// trailing newline is dropped and an empty line is not kept.
//
// Beside each message the list keeps a Diagnostic. Places point into the text given to
// SetSource (a block compiler called from the effect compiler shares its list, so places in a
// block resolve to lines and columns of the effect file); columns are worked out at once.
class MessageList {
public:
    void SetSource(std::string_view whole) { source = whole; }
    // `line` is the line the classic message names; the diagnostic takes the place's line
    // when the place names a byte.
    void Report(std::string_view file, int line, SourcePlace place, const char* prefix, const char* format, ...)
        __attribute__((format(printf, 6, 7)));
    void ReportV(std::string_view file, int line, SourcePlace place, const char* prefix, const char* format,
                 va_list args) __attribute__((format(printf, 6, 0)));
    // A syntax error: the classic line says `classicText`, the diagnostic says `detail`.
    void ReportSyntax(std::string_view file, int line, SourcePlace place, const char* prefix,
                      const char* classicText, const std::string& detail);
    // Adds a text that another compiler already formatted (one entry, cut like the others);
    // its diagnostic is read back from the "FILE(LINE) : TEXT" form when it has it, else it
    // names `file` and `place`.
    void AddWhole(std::string_view text, std::string_view file = {}, SourcePlace place = {});
    bool Empty() const { return items.empty(); }
    const std::vector<std::string>& Items() const { return items; }
    const std::vector<Diagnostic>& Diagnostics() const { return diagnostics; }
    // Every message followed by "\n", then one zero byte.
    HRESULT MakeBuffer(DataBuffer** out) const;
    std::string Joined() const;

private:
    void Add(std::string whole, Diagnostic diagnostic);
    Diagnostic At(std::string_view file, int line, SourcePlace place, std::string text) const;

    std::vector<std::string> items;
    std::vector<Diagnostic> diagnostics;  // one per item
    std::string_view source;
};

// "FILE:LINE:COL: error: TEXT" (no ":COL" when the message has no column; "<input>" for a
// nameless text), the line editors and build tools jump from.
std::string DiagnosticLine(const Diagnostic& d);

// The words of a syntax error for people: "expected ']' before '='". `expected` holds the
// parser's names of the tokens it could take (bison's quoted names; repeats are dropped);
// `found` names the token it got. Too many choices give "unexpected '='" instead.
std::string ExpectedBefore(const std::vector<std::string>& expected, const std::string& found);
// How a syntax error names the token [at, end) it found: its text in quotes (first line, cut
// short), or "end of file" for an empty token at the end.
std::string FoundToken(const char* at, const char* end);

// Reads an optionally signed run of decimal digits as a 32-bit value, wrapping modulo 2^32
// the way the run-time library's scanners do; stops at the first byte that is no digit.
uint32_t ReadDecimal(std::string_view text);
// Reads hexadecimal digits as an unsigned 32-bit value (wrapping); stops at a non-digit.
uint32_t ReadHex(std::string_view text);
// Reads as much of `text` as forms a decimal number ("1.2.3" reads 1.2), "." as the decimal
// point whatever the process locale; overflow gives infinity and underflow 0.
float ReadFloat(std::string_view text);

// Applies a line-start directive `text` (from "#" to the end of its line, newline excluded).
// Returns false when it is no "#line" directive (the caller reports it). The line that follows
// gets the directive's number; a quoted, non-empty name becomes the file name.
bool ApplyLineDirective(std::string_view text, uint32_t& line, std::string& file);

// Appends `text` as zero-terminated bytes padded to whole words: (length / 4) + 1 words.
void AppendPadded(std::vector<uint32_t>& words, std::string_view text);

inline bool IsSpaceNotNewline(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r';
}
inline bool IsAsciiLetter(unsigned char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }
inline bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
inline bool IsHexDigit(unsigned char c) {
    return IsDigit(c) || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f');
}
// The reading position of the three lexers (effect, shader assembly, declaration), with what
// lies between tokens: spaces, newlines, comments and #line directives.
struct LexCursor {
    LexCursor(std::string_view text, uint32_t firstLine)
        : start(text.data()), end(text.data() + text.size()), cur(start), lineStart(start), line(firstLine) {}

    // What SkipGap stopped at.
    enum class Gap {
        Token,           // cur is at the next token
        End,             // the text is read
        BadDirective,    // a line-start "#" that is no #line directive (cur is past its line)
        UnendedComment,  // a block comment that runs to the end of the text (cur is at end)
    };
    // Moves past spaces, newlines, "//" comments (";" ones too with `semicolonComments`), block
    // comments and #line directives, counting lines. A fault stops it just after the faulty piece,
    // for the caller to report in its own words before it calls again.
    Gap SkipGap(bool semicolonComments = false);
    // SkipGap until a token, handing each fault to GapFault; false at the end of the text.
    bool SkipToToken(bool semicolonComments = false) {
        for (;;) {
            const Gap gap = SkipGap(semicolonComments);
            if (gap == Gap::Token) return true;
            if (gap == Gap::End) return false;
            GapFault(gap);
        }
    }
    // The word (letters, digits, '_') that starts at cur, which it moves past.
    std::string_view TakeWord() {
        const char* first = cur;
        while (cur < end && (IsAsciiLetter(static_cast<unsigned char>(*cur)) ||
                             IsDigit(static_cast<unsigned char>(*cur)) || *cur == '_'))
            ++cur;
        return std::string_view(first, size_t(cur - first));
    }
    // The value of the hexadecimal number whose "0x" starts at cur, which it moves past (only
    // the first kMaxText digits count).
    uint32_t TakeHexNumber() {
        cur += 2;
        const char* digits = cur;
        while (cur < end && IsHexDigit(static_cast<unsigned char>(*cur))) ++cur;
        return ReadHex(std::string_view(digits, size_t(cur - digits)).substr(0, kMaxText));
    }
    // Marks the token that starts at cur; messages about it point there.
    void StartToken() {
        tokenStart = cur;
        tokenLine = line;
    }
    SourcePlace TokenPlace() const { return {tokenStart, tokenLine}; }
    // The piece SkipGap last stopped at with a fault.
    SourcePlace GapPlace() const { return {gapStart, gapLine}; }
    // What a lexer returns at the end of the text: `endToken` once, then 0.
    int EndToken(int endToken) {
        if (endSent) return 0;
        endSent = true;
        return endToken;
    }
    // Reports a fault SkipGap met, in the lexer's own words.
    virtual void GapFault(Gap gap) = 0;
    // The effect and declaration compilers' words for a fault.
    static const char* GapFaultText(Gap gap) {
        return gap == Gap::BadDirective ? "preprocessor directives are not supported."
                                        : "comment extends past end-of-file";
    }
    virtual ~LexCursor() = default;

    const char* start;
    const char* end;
    const char* cur;
    const char* lineStart;
    uint32_t line;
    std::string file;  // as the last #line directive named it
    bool endSent = false;
    const char* tokenStart = nullptr;  // the last token's first byte (end: the end of the text)
    uint32_t tokenLine = 0;
    const char* gapStart = nullptr;  // the directive or comment SkipGap last found faulty
    uint32_t gapLine = 0;
};

bool EqualsNoCase(std::string_view a, std::string_view b);
// The same against a zero-terminated name (no length computed first).
bool EqualsNoCase(std::string_view a, const char* b);

// Four-character code as the bytes of `s` in memory order, padded with zero bytes.
constexpr uint32_t Tag(const char (&s)[5]) {
    return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 |
           uint32_t(uint8_t(s[3])) << 24;
}
constexpr uint32_t Tag(const char (&s)[4]) {
    return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16;
}
constexpr uint32_t Tag(const char (&s)[3]) {
    return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8;
}

}  // namespace fxc
