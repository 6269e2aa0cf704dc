// What the zelioctl tests and the fuzz target share: a sink that collects
// the text, and short names for the exit codes they check most.
#pragma once

#include <string>
#include <string_view>

#include "cli/cli.h"
#include "cli/text_sink.h"

namespace zelio {

inline constexpr int kCliOk = kExitOk;
inline constexpr int kCliFailed = kExitIo;
inline constexpr int kCliUsage = kExitUsage;

// Collects the text.
class StringSink final : public TextSink {
public:
    void write(std::string_view text) override { text_.append(text); }
    const std::string& str() const { return text_; }
    void clear() { text_.clear(); }

private:
    std::string text_;
};

}  // namespace zelio
