// Where zelioctl's text goes: a C stdio stream (stdout, stderr); the tests
// collect it in a string. Not iostreams: with a static C++ runtime their
// locale support alone makes the program some 600 KB larger.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace zelio {

class TextSink {
public:
    virtual ~TextSink() = default;
    virtual void write(std::string_view text) = 0;
    // Hands what is buffered to the system.
    virtual void flush() {}
    // True once some text could not be written.
    virtual bool failed() const { return false; }
};

// Writes to a stdio stream it does not own (stdout, stderr).
class FileSink final : public TextSink {
public:
    explicit FileSink(std::FILE* file) : file_(file) {}
    void write(std::string_view text) override;
    void flush() override;
    bool failed() const override;

private:
    std::FILE* file_;
    bool failed_ = false;
};

// Collects the text in memory.
class BufferSink final : public TextSink {
public:
    void write(std::string_view piece) override { text.append(piece); }
    std::string text;
};

}  // namespace zelio
