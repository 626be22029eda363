// Lexer of the .x format: text tokens, or the binary form's tokens mapped onto the same kinds;
// bounded by the end pointer it is given. Private to mesh/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace meshimpl {

enum class Tok { Name, Number, String, Guid, LBrace, RBrace, Separator, Bracket, End, Bad };

struct Token {
    Tok type = Tok::End;
    std::string_view text;
    int line = 1;          // text form: line; binary form: byte offset of the token
    bool hasValue = false; // binary numbers carry their value instead of text
    double value = 0.0;
};

// Reads text tokens, or the binary form's tokens mapped onto the same kinds (names, strings,
// numbers one by one from integer and float lists, GUIDs, braces, separators).
class Lexer {
public:
    Lexer(const char* begin, const char* end, bool binary = false, bool doubles = false)
        : p(begin), end(end), start(begin), binary(binary), doubles(doubles) {
        if (binary) line = 0;
    }
    bool Binary() const { return binary; }

    Token Peek() {
        if (!hasPeeked) {
            peeked = Scan();
            hasPeeked = true;
        }
        return peeked;
    }
    Token Next() {
        Token t = Peek();
        hasPeeked = false;
        return t;
    }
    int Line() const { return line; }

private:
    static bool IsNameStart(char c);
    static bool IsNameChar(char c);
    static bool IsNumberChar(char c);

    bool Take(size_t bytes, const char** at);
    bool TakeDword(uint32_t* v);

    Token ScanBinary();
    Token Scan();

    const char* p;
    const char* end;
    const char* start;
    bool binary, doubles;
    uint32_t listLeft = 0;  // binary: numbers still to come from the current list
    bool listIsFloat = false;
    int line = 1;
    Token peeked;
    bool hasPeeked = false;
};

}  // namespace meshimpl
