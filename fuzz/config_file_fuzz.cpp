// The configuration-file parser against a reference conversion: the C
// library's strtoll in base 16, clamped to 32 bits, at offsets 0, 5, 8 and
// 11 of the repaired text; the strict parser against std::from_chars; and
// every line the program writes reads back unchanged.
#include <charconv>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "config/config_file.h"

namespace {

using zelio::ChannelConfig;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "mismatch: %s\n", what);
    std::abort();
}

long referenceHex(const std::string& text, size_t offset) {
    if (offset >= text.size()) return 0;
    const long long value = std::strtoll(text.c_str() + offset, nullptr, 16);
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<long>(value);
}

ChannelConfig referenceParse(std::string_view raw) {
    std::string text(raw.substr(0, zelio::kConfigReadLimit));
    text.resize(std::strlen(text.c_str()));  // up to the first zero byte
    // Runs of blanks are repaired first: four times the first "   " becomes
    // " 00", then four times the first "  " becomes " 0".
    for (const auto& [from, to] : {std::pair{"   ", " 00"}, std::pair{"  ", " 0"}}) {
        for (int i = 0; i < 4; ++i) {
            const size_t at = text.find(from);
            if (at == std::string::npos) break;
            text.replace(at, std::strlen(from), to);
        }
    }
    ChannelConfig c;
    c.productId = static_cast<uint32_t>(static_cast<int32_t>(referenceHex(text, 0)));
    c.openDrainMask = static_cast<uint8_t>(referenceHex(text, 5) & 0xFF);
    c.highMask = static_cast<uint8_t>(referenceHex(text, 8) & 0xFF);
    c.inputMask = static_cast<uint8_t>(referenceHex(text, 11) & 0xFF);
    return c;
}

std::optional<uint32_t> referenceStrict(std::string_view text, uint32_t max) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value > max) return std::nullopt;
    return static_cast<uint32_t>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);

    const ChannelConfig parsed = zelio::parseConfigText(input);
    if (!(parsed == referenceParse(input))) fail("parseConfigText");

    for (const uint32_t max : {0xFFu, 0xFFFFu}) {
        if (zelio::parseHexStrict(input, max) != referenceStrict(input, max)) fail("parseHexStrict");
    }

    // Whatever was read, written again, is 15 bytes (for a four-digit
    // product ID) and reads back the same.
    if (parsed.productId <= 0xFFFF) {
        const std::string line = zelio::formatConfigLine(parsed);
        if (line.size() != 15) fail("formatConfigLine length");
        if (!(zelio::parseConfigText(line) == parsed)) fail("round trip");
    }
    return 0;
}
