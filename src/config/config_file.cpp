#include "config/config_file.h"

#include <cstdio>
#include <cstring>

namespace zelio {

namespace {

// The conversion saturates at the range of a 32-bit long, whatever the
// width of 'long' on the platform building it.
constexpr int64_t kMax32 = 0x7FFFFFFF;
constexpr int64_t kMin32 = -0x80000000LL;

bool isCSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Replaces, `times` times, the first run of `run` blanks by a blank
// followed by '0's.
void repairBlanks(std::string& text, size_t run, int times) {
    const std::string blanks(run, ' ');
    for (int i = 0; i < times; ++i) {
        const size_t at = text.find(blanks);
        if (at == std::string::npos) return;
        for (size_t k = 1; k < run; ++k) text[at + k] = '0';
    }
}

}  // namespace

std::string formatConfigLine(const ChannelConfig& config) {
    char line[48];
    const int n = std::snprintf(line, sizeof line, "%04X %02X %02X %02X\r\n",
                                static_cast<unsigned>(config.productId),
                                static_cast<unsigned>(config.openDrainMask),
                                static_cast<unsigned>(config.highMask),
                                static_cast<unsigned>(config.inputMask));
    return n > 0 ? std::string(line, static_cast<size_t>(n)) : std::string();
}

long hexToLong(const std::string& text, size_t offset) {
    const size_t end = text.size();
    size_t i = offset;
    while (i < end && isCSpace(text[i])) ++i;

    bool negative = false;
    if (i < end && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // "0x" counts as a prefix only when a hex digit follows it; otherwise
    // the '0' alone is the number.
    if (i + 2 < end && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
        hexDigitValue(text[i + 2]) >= 0) {
        i += 2;
    }

    const int64_t limit = negative ? -kMin32 : kMax32;
    int64_t magnitude = 0;
    for (; i < end; ++i) {
        const int d = hexDigitValue(text[i]);
        if (d < 0) break;
        if (magnitude <= limit) magnitude = magnitude * 16 + d;  // stays far below int64 overflow
    }
    if (magnitude > limit) magnitude = limit;
    return static_cast<long>(negative ? -magnitude : magnitude);
}

std::optional<uint32_t> parseHexStrict(std::string_view text, uint32_t max) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
    if (text.empty()) return std::nullopt;
    uint64_t value = 0;
    for (const char c : text) {
        const int digit = hexDigitValue(c);
        if (digit < 0) return std::nullopt;
        value = value * 16 + static_cast<uint64_t>(digit);
        if (value > max) return std::nullopt;
    }
    return static_cast<uint32_t>(value);
}

ChannelConfig parseConfigText(const std::string& raw) {
    std::string text = raw.substr(0, kConfigReadLimit);
    const size_t zero = text.find('\0');
    if (zero != std::string::npos) text.resize(zero);

    repairBlanks(text, 3, 4);
    repairBlanks(text, 2, 4);

    ChannelConfig config;
    config.productId = static_cast<uint32_t>(static_cast<int32_t>(hexToLong(text, 0)));
    config.openDrainMask = static_cast<uint8_t>(hexToLong(text, 5) & 0xFF);
    config.highMask = static_cast<uint8_t>(hexToLong(text, 8) & 0xFF);
    config.inputMask = static_cast<uint8_t>(hexToLong(text, 11) & 0xFF);
    return config;
}

ChannelConfig loadConfigFileUtf8(const std::string& path, const AtomicFileSteps& steps) {
    return parseConfigText(steps.readPrefix(path, kConfigReadLimit).value_or(std::string()));
}

std::string temporaryName(const std::string& target, uint64_t random) {
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".%016llx.tmp", static_cast<unsigned long long>(random));
    // The name is cut (at a character's start) so that the temporary name
    // fits the 255 bytes (Windows: UTF-16 units) a file name may have.
    const size_t nameStart = target.find_last_of("/\\") + 1;  // npos + 1 == 0
    const size_t room = kMaxFileNameBytes - std::strlen(suffix);
    size_t end = target.size();
    if (end - nameStart > room) {
        end = nameStart + room;
        while (end > nameStart && (static_cast<unsigned char>(target[end]) & 0xC0) == 0x80) --end;
    }
    return target.substr(0, end) + suffix;
}

bool saveConfigFileUtf8(const std::string& path, const ChannelConfig& config, const AtomicFileSteps& steps) {
    return saveFileUtf8(path, formatConfigLine(config), steps);
}

bool saveFileUtf8(const std::string& path, std::string_view line, const AtomicFileSteps& steps) {
    // The file that is really written (a link's target), or nothing for a
    // file marked read-only.
    const std::optional<std::string> target = steps.target(path);
    if (!target || target->empty() || target->back() == '/' || target->back() == '\\') return false;

    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string temp = temporaryName(*target, steps.randomBits());
        switch (steps.writeTemp(temp, line)) {
            case TempFileResult::Exists:
                continue;
            case TempFileResult::NotCreated:
                return steps.writeInPlace(*target, line);
            case TempFileResult::Failed:
                steps.remove(temp);
                return false;
            case TempFileResult::Written:
                if (steps.replace(temp, *target)) return true;
                steps.remove(temp);
                return false;
        }
    }
    return false;
}

}  // namespace zelio
