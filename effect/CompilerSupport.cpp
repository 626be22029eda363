// Shared compiler helpers: message formatting, locale-free number reading, "#line".
#include "effect/CompilerSupport.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>

namespace fxc {

namespace {

std::string Cut(std::string s) {
    if (s.size() > kMaxText) s.resize(kMaxText);
    return s;
}

}  // namespace

void MessageList::Report(std::string_view file, int line, const char* prefix, const char* format,
                         ...) {
    va_list args;
    va_start(args, format);
    ReportV(file, line, prefix, format, args);
    va_end(args);
}

void MessageList::ReportV(std::string_view file, int line, const char* prefix, const char* format,
                          va_list args) {
    char text[kMaxText + 1];
    std::vsnprintf(text, sizeof text, format, args);
    std::string whole(file);
    whole += "(" + std::to_string(line) + ") : ";
    whole += prefix;
    whole += text;
    AddWhole(whole);
}

void MessageList::AddWhole(std::string_view text) {
    std::string s = Cut(std::string(text));
    if (!s.empty() && s.back() == '\n') s.pop_back();
    if (s.empty()) return;
    items.push_back(std::move(s));
}

std::string MessageList::Joined() const {
    std::string all;
    for (const std::string& m : items) {
        all += m;
        all += '\n';
    }
    return all;
}

HRESULT MessageList::MakeBuffer(DataBuffer** out) const {
    std::string all = Joined();
    return DataBuffer::CreateCopy(all.c_str(), static_cast<DWORD>(all.size() + 1), out);
}

uint32_t ReadDecimal(std::string_view text) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    uint32_t value = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) value = value * 10u + uint32_t(text[i] - '0');
    return negative ? 0u - value : value;
}

uint32_t ReadHex(std::string_view text) {
    uint32_t value = 0;
    for (char ch : text) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (!IsHexDigit(c)) break;
        uint32_t d = IsDigit(c) ? uint32_t(c - '0') : uint32_t((c | 0x20) - 'a' + 10);
        value = value * 16u + d;
    }
    return value;
}

float ReadFloat(std::string_view text) {
    size_t start = 0;
    bool negative = false;
    if (start < text.size() && (text[start] == '-' || text[start] == '+'))
        negative = text[start++] == '-';
    double d = 0.0;
    const char* first = text.data() + start;
    const char* last = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(first, last, d, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        // Decide between overflow and underflow by the exponent's sign.
        std::string_view rest(first, size_t(last - first));
        size_t e = rest.find_first_of("eE");
        bool small = e != std::string_view::npos && e + 1 < rest.size() && rest[e + 1] == '-';
        d = small ? 0.0 : std::numeric_limits<double>::infinity();
    } else if (ec != std::errc()) {
        d = 0.0;
    }
    float f;
    if (d > FLT_MAX)
        f = std::numeric_limits<float>::infinity();
    else
        f = static_cast<float>(d);
    return negative ? -f : f;
}

bool ApplyLineDirective(std::string_view text, uint32_t& line, std::string& file) {
    if (text.size() <= 5 || text.substr(0, 5) != "#line") return false;
    size_t i = 0;
    auto space = [&](size_t k) { return IsSpaceNotNewline(static_cast<unsigned char>(text[k])); };
    while (i < text.size() && !space(i)) ++i;  // the directive's own word
    while (i < text.size() && space(i)) ++i;
    size_t wordStart = i;
    while (i < text.size() && !space(i)) ++i;
    line = ReadDecimal(text.substr(wordStart, i - wordStart)) - 1u;
    size_t quote = text.find('"', i);
    if (quote == std::string_view::npos) return true;
    std::string name;
    for (size_t k = quote + 1; k < text.size() && text[k] != '"'; ++k) {
        if (text[k] == '\\' && k + 1 < text.size() && text[k + 1] == '\\') ++k;
        name += text[k];
    }
    if (!name.empty()) file = Cut(std::move(name));
    return true;
}

void AppendPadded(std::vector<uint32_t>& words, std::string_view text) {
    size_t count = text.size() / 4 + 1;
    size_t at = words.size();
    words.resize(at + count, 0u);
    std::memcpy(words.data() + at, text.data(), text.size());
}

LexCursor::Gap LexCursor::SkipGap(bool semicolonComments) {
    while (cur < end) {
        unsigned char ch = static_cast<unsigned char>(*cur);
        if (ch == '\n') {
            ++line;
            lineStart = ++cur;
        } else if (IsSpaceNotNewline(ch)) {
            ++cur;
        } else if (ch == '#' && cur == lineStart) {
            const char* p = cur;
            while (p < end && *p != '\n') ++p;
            std::string_view directive(cur, size_t(p - cur));
            cur = p;  // the newline is counted on the next round
            if (!ApplyLineDirective(directive, line, file)) return Gap::BadDirective;
        } else if ((semicolonComments && ch == ';') || (ch == '/' && cur + 1 < end && cur[1] == '/')) {
            while (cur < end && *cur != '\n') ++cur;
        } else if (ch == '/' && cur + 1 < end && cur[1] == '*') {
            for (cur += 2;; ++cur) {
                if (cur >= end) return Gap::UnendedComment;
                if (*cur == '*' && cur + 1 < end && cur[1] == '/') {
                    cur += 2;
                    break;
                }
                if (*cur == '\n') {
                    ++line;
                    lineStart = cur + 1;
                }
            }
        } else {
            return Gap::Token;
        }
    }
    return Gap::End;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

bool EqualsNoCase(std::string_view a, const char* b) {
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (y == 0) return false;
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
        if (x != y) return false;
    }
    return b[a.size()] == 0;
}

}  // namespace fxc
