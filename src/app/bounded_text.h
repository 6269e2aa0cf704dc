// Text buffers of the window's fixed sizes, counted as the window counts
// them: characters, and bytes in code page 949 (ASCII one, anything else
// two). Every change is cut to the capacity and never splits a character.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zelio::app {

// Length of a UTF-8 text in code page 949 bytes.
size_t cp949Length(std::string_view utf8);

// The longest prefix of `utf8` with at most `maxChars` characters and at
// most `maxCp949Bytes` code page 949 bytes.
std::string_view boundedPrefix(std::string_view utf8, size_t maxChars, size_t maxCp949Bytes);

// printf into a std::string of at most 2047 bytes.
std::string formatText(const char* pattern, ...);

class BoundedText {
public:
    BoundedText(size_t maxChars, size_t maxCp949Bytes) : maxChars_(maxChars), maxBytes_(maxCp949Bytes) {}

    void set(std::string_view text) { text_.assign(boundedPrefix(text, maxChars_, maxBytes_)); }
    void clear() { text_.clear(); }
    const std::string& str() const { return text_; }

protected:
    std::string text_;
    size_t maxChars_;
    size_t maxBytes_;
};

// The MessageLog's text: a 2048-byte buffer (2047 bytes and the zero); a
// message is composed into at most 1024 characters.
class LogText : public BoundedText {
public:
    static constexpr size_t kBufferBytes = 2048;
    static constexpr size_t kMessageChars = 1024;
    LogText() : BoundedText(kMessageChars, kBufferBytes - 1) {}
    // "%s<message>": the current text followed by `message`.
    void append(std::string_view message) { set(text_ + std::string(message)); }
};

// The status bar's text: 255 characters at most.
class StatusText : public BoundedText {
public:
    StatusText() : BoundedText(255, 255) {}
};

// The path buffers hold 259 characters and the zero.
inline constexpr size_t kMaxPathChars = 259;

}  // namespace zelio::app
