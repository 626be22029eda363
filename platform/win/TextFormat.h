// printf into a std::string: one helper for every generated text and message, header-only so
// that each layer can use it. The text is never cut, however long it comes out.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>

namespace textformat {

inline std::string FormatV(const char* format, va_list args) {
    va_list again;
    va_copy(again, args);
    char small[256];
    int length = std::vsnprintf(small, sizeof small, format, args);
    std::string text;
    if (length < 0) {
        // An encoding error: nothing sensible to show.
    } else if (size_t(length) < sizeof small) {
        text.assign(small, size_t(length));
    } else {
        text.resize(size_t(length));
        std::vsnprintf(text.data(), size_t(length) + 1, format, again);
    }
    va_end(again);
    return text;
}

inline std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
inline std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = FormatV(format, args);
    va_end(args);
    return text;
}

}  // namespace textformat
