// Lexer of the .x format: text tokens (names, numbers, strings, GUIDs, braces, separators) and the
// binary form's tokens, every read checked against the end of the bytes.
#include "mesh/XFileLexer.h"

#include <cstring>

namespace meshimpl {

bool Lexer::IsNameStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool Lexer::IsNameChar(char c) {
    return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}
bool Lexer::IsNumberChar(char c) {
    return (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E';
}

bool Lexer::Take(size_t bytes, const char** at) {
    if (static_cast<size_t>(end - p) < bytes) return false;
    *at = p;
    p += bytes;
    return true;
}
bool Lexer::TakeDword(uint32_t* v) {
    const char* at;
    if (!Take(4, &at)) return false;
    std::memcpy(v, at, 4);
    return true;
}

Token Lexer::ScanBinary() {
    line = static_cast<int>(p - start);
    Token t{Tok::Bad, {}, line};
    if (listLeft > 0) {
        const char* at;
        size_t size = listIsFloat && doubles ? 8 : 4;
        if (!Take(size, &at)) return t;
        --listLeft;
        t.type = Tok::Number;
        t.hasValue = true;
        if (!listIsFloat) {
            uint32_t v;
            std::memcpy(&v, at, 4);
            t.value = v;
        } else if (doubles) {
            std::memcpy(&t.value, at, 8);
        } else {
            float f;
            std::memcpy(&f, at, 4);
            t.value = f;
        }
        return t;
    }
    if (p >= end) return Token{Tok::End, {}, line};
    const char* at;
    if (!Take(2, &at)) return t;
    uint16_t kind = static_cast<uint16_t>(static_cast<uint8_t>(at[0]) | (static_cast<uint8_t>(at[1]) << 8));
    uint32_t count = 0;
    switch (kind) {
        case 1:  // name
        case 2:  // string, then a terminating separator token
            if (!TakeDword(&count) || !Take(count, &at)) return t;
            t.type = kind == 1 ? Tok::Name : Tok::String;
            t.text = std::string_view(at, count);
            if (kind == 2) {
                uint32_t terminator;
                if (!TakeDword(&terminator)) return Token{Tok::Bad, {}, line};
            }
            return t;
        case 3:  // integer
            if (!TakeDword(&count)) return t;
            t.type = Tok::Number;
            t.hasValue = true;
            t.value = count;
            return t;
        case 5:  // GUID
            if (!Take(16, &at)) return t;
            t.type = Tok::Guid;
            return t;
        case 6:  // integer list
        case 7:  // float list
            if (!TakeDword(&count)) return t;
            listLeft = count;
            listIsFloat = kind == 7;
            return ScanBinary();
        case 10: t.type = Tok::LBrace; return t;
        case 11: t.type = Tok::RBrace; return t;
        case 19: case 20: t.type = Tok::Separator; return t;
        case 12: case 13: case 14: case 15: case 16: case 17: case 18: t.type = Tok::Bracket; return t;
        case 31:
            t.type = Tok::Name;
            t.text = "template";
            return t;
        default:
            if (kind >= 40 && kind <= 53) {  // type keywords inside template declarations
                t.type = Tok::Name;
                t.text = "keyword";
            }
            return t;
    }
}

Token Lexer::Scan() {
    if (binary) return ScanBinary();
    for (;;) {
        while (p < end && (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')) {
            if (*p == '\n') ++line;
            ++p;
        }
        if (p >= end) return Token{Tok::End, {}, line};
        if (*p == '#' || (*p == '/' && p + 1 < end && p[1] == '/')) {
            while (p < end && *p != '\n') ++p;
            continue;
        }
        break;
    }
    const char* start = p;
    char c = *p;
    auto make = [&](Tok type) { return Token{type, std::string_view(start, p - start), line}; };
    if (c == '{') return ++p, make(Tok::LBrace);
    if (c == '}') return ++p, make(Tok::RBrace);
    if (c == ',' || c == ';') return ++p, make(Tok::Separator);
    if (c == '[' || c == ']') return ++p, make(Tok::Bracket);
    if (c == '"') {
        ++p;
        while (p < end && *p != '"' && *p != '\n') ++p;
        if (p >= end || *p != '"') return make(Tok::Bad);
        Token t{Tok::String, std::string_view(start + 1, p - start - 1), line};
        ++p;
        return t;
    }
    if (c == '<') {
        while (p < end && *p != '>' && *p != '\n') ++p;
        if (p >= end || *p != '>') return make(Tok::Bad);
        ++p;
        return make(Tok::Guid);
    }
    if (IsNameStart(c)) {
        while (p < end && IsNameChar(*p)) ++p;
        return make(Tok::Name);
    }
    if ((c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.') {
        while (p < end && IsNumberChar(*p)) ++p;
        return make(Tok::Number);
    }
    ++p;
    return make(Tok::Bad);
}

}  // namespace meshimpl
