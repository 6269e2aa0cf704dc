#include "app/bounded_text.h"

#include <cstdarg>
#include <cstdio>

namespace zelio::app {
namespace {

// Bytes of the UTF-8 sequence at text[i]; 1 for a byte that starts no
// well-formed sequence, so malformed input is walked byte by byte.
size_t sequenceLength(std::string_view text, size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t length = 1;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4;
    if (i + length > text.size()) return 1;
    for (size_t k = 1; k < length; ++k)
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 1;
    return length;
}

size_t cp949Cost(std::string_view text, size_t i) { return static_cast<unsigned char>(text[i]) < 0x80 ? 1 : 2; }

}  // namespace

size_t cp949Length(std::string_view utf8) {
    size_t bytes = 0;
    for (size_t i = 0; i < utf8.size(); i += sequenceLength(utf8, i)) bytes += cp949Cost(utf8, i);
    return bytes;
}

std::string_view boundedPrefix(std::string_view utf8, size_t maxChars, size_t maxCp949Bytes) {
    size_t chars = 0, bytes = 0, i = 0;
    while (i < utf8.size()) {
        const size_t cost = cp949Cost(utf8, i);
        if (chars + 1 > maxChars || bytes + cost > maxCp949Bytes) break;
        ++chars;
        bytes += cost;
        i += sequenceLength(utf8, i);
    }
    return utf8.substr(0, i);
}

std::string formatText(const char* pattern, ...) {
    char buffer[2048];
    va_list args;
    va_start(args, pattern);
    const int n = std::vsnprintf(buffer, sizeof buffer, pattern, args);
    va_end(args);
    return n > 0 ? std::string(buffer) : std::string();
}

}  // namespace zelio::app
