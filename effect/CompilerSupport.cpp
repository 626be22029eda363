// Shared compiler helpers: message formatting, locale-free number reading, "#line".
#include "effect/CompilerSupport.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <limits>

namespace fxc {

namespace {

std::string Cut(std::string s) {
    if (s.size() > kMaxText) s.resize(kMaxText);
    return s;
}

}  // namespace

void MessageList::Report(std::string_view file, int line, SourcePlace place, const char* prefix,
                         const char* format, ...) {
    va_list args;
    va_start(args, format);
    ReportV(file, line, place, prefix, format, args);
    va_end(args);
}

void MessageList::ReportV(std::string_view file, int line, SourcePlace place, const char* prefix,
                          const char* format, va_list args) {
    char text[kMaxText + 1];
    std::vsnprintf(text, sizeof text, format, args);
    ReportSyntax(file, line, place, prefix, text, text);
}

void MessageList::ReportSyntax(std::string_view file, int line, SourcePlace place, const char* prefix,
                               const char* classicText, const std::string& detail) {
    std::string whole(file);
    whole += "(" + std::to_string(line) + ") : ";
    whole += prefix;
    whole += classicText;
    Add(std::move(whole), At(file, line, place, Cut(detail)));
}

Diagnostic MessageList::At(std::string_view file, int line, SourcePlace place, std::string text) const {
    Diagnostic d;
    d.file = Cut(std::string(file));
    d.line = line;
    d.text = std::move(text);
    if (!place.at) return d;
    d.line = static_cast<int>(place.line ? place.line : 1);
    const char* first = source.data();
    const char* last = first + source.size();
    if (!first || place.at < first || place.at > last) return d;
    const char* lineStart = place.at;
    while (lineStart > first && lineStart[-1] != '\n') --lineStart;
    const char* lineEnd = place.at;
    while (lineEnd < last && *lineEnd != '\n') ++lineEnd;
    if (lineEnd > lineStart && lineEnd[-1] == '\r') --lineEnd;
    d.column = static_cast<int>(place.at - lineStart) + 1;
    // A line longer than any editor shows is cut; the column stays true.
    d.sourceLine.assign(lineStart, std::min<size_t>(size_t(lineEnd - lineStart), 4096));
    return d;
}

void MessageList::Add(std::string whole, Diagnostic diagnostic) {
    std::string s = Cut(std::move(whole));
    if (!s.empty() && s.back() == '\n') s.pop_back();
    if (s.empty()) return;
    items.push_back(std::move(s));
    diagnostics.push_back(std::move(diagnostic));
}

void MessageList::AddWhole(std::string_view text, std::string_view file, SourcePlace place) {
    std::string own(text);
    if (!own.empty() && own.back() == '\n') own.pop_back();
    Diagnostic d = At(file, 0, place, "");
    // "FILE(LINE) : TEXT", as another compiler wrote it.
    const size_t mark = own.find(") : ");
    const size_t open = mark == std::string::npos ? std::string::npos : own.rfind('(', mark);
    if (open != std::string::npos && open + 1 < mark && own.find_first_not_of("0123456789", open + 1) == mark) {
        d = Diagnostic{};
        d.file = own.substr(0, open);
        d.line = static_cast<int>(ReadDecimal(std::string_view(own).substr(open + 1, mark - open - 1)));
        own.erase(0, mark + 4);
        if (own.rfind("(Assembly Error) ", 0) == 0) own.erase(0, 17);
    }
    d.text = Cut(std::move(own));
    Add(std::string(text), std::move(d));
}

std::string DiagnosticLine(const Diagnostic& d) {
    std::string text = d.file.empty() ? std::string("<input>") : d.file;
    if (d.line > 0) text += ":" + std::to_string(d.line);
    if (d.line > 0 && d.column > 0) text += ":" + std::to_string(d.column);
    return text + ": error: " + d.text;
}

std::string ExpectedBefore(const std::vector<std::string>& expected, const std::string& found) {
    std::vector<std::string> names;
    for (std::string name : expected) {
        // bison quotes named tokens in double quotes and characters in single quotes.
        if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = name.substr(1, name.size() - 2);
        bool seen = false;
        for (const std::string& n : names) seen = seen || n == name;
        if (!seen) names.push_back(std::move(name));
    }
    if (names.empty() || names.size() > 5) return "unexpected " + found;
    std::string text = "expected ";
    for (size_t i = 0; i < names.size(); ++i) {
        if (i > 0) text += i + 1 == names.size() ? " or " : ", ";
        text += names[i];
    }
    return text + " before " + found;
}

std::string FoundToken(const char* at, const char* end) {
    if (!at || at >= end) return "end of file";
    if (end - at > 40) end = at + 40;
    const char* stop = at;
    while (stop < end && *stop != '\n' && *stop != '\r' && stop - at < 40) ++stop;
    return "'" + std::string(at, size_t(stop - at)) + "'";
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
            gapStart = cur;
            gapLine = line;
            const char* p = cur;
            while (p < end && *p != '\n') ++p;
            std::string_view directive(cur, size_t(p - cur));
            cur = p;  // the newline is counted on the next round
            if (!ApplyLineDirective(directive, line, file)) return Gap::BadDirective;
        } else if ((semicolonComments && ch == ';') || (ch == '/' && cur + 1 < end && cur[1] == '/')) {
            while (cur < end && *cur != '\n') ++cur;
        } else if (ch == '/' && cur + 1 < end && cur[1] == '*') {
            gapStart = cur;
            gapLine = line;
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
