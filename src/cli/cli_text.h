// Text for zelioctl's output: arguments repeated safely on one line, and a
// small JSON writer for --json.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zelio {

// `text` with every byte a terminal would act on written as an escape: \n,
// \r, \t, \xNN for other control bytes (ESC is \x1b), C1 controls and bytes
// that are not UTF-8, \uNNNN for invisible and bidirectional format
// characters (U+200B-U+200F, U+202A-U+202E, U+2060-U+2069, U+FEFF). Other
// UTF-8, Korean included, stays as it is.
std::string escapeForTerminal(std::string_view text);

// `text` as a JSON string literal, quotes included; bytes that are not UTF-8
// become U+FFFD.
std::string jsonString(std::string_view text);

// "0x283", "0x40" (at least `digits` hexadecimal digits after 0x).
std::string hexText(uint32_t value, int digits = 1);

// One JSON object, members in the order added.
class JsonObject {
public:
    JsonObject& add(std::string_view key, std::string_view value);
    JsonObject& add(std::string_view key, const char* value) { return add(key, std::string_view(value)); }
    JsonObject& add(std::string_view key, const std::string& value) { return add(key, std::string_view(value)); }
    JsonObject& add(std::string_view key, int64_t value);
    JsonObject& add(std::string_view key, int value) { return add(key, static_cast<int64_t>(value)); }
    JsonObject& add(std::string_view key, bool value);
    JsonObject& addNull(std::string_view key);
    // `json` is already JSON (an object, an array, ...).
    JsonObject& addRaw(std::string_view key, std::string json);
    JsonObject& add(std::string_view key, const JsonObject& value) { return addRaw(key, value.str()); }
    JsonObject& add(std::string_view key, const std::vector<JsonObject>& values);
    JsonObject& add(std::string_view key, const std::vector<std::string>& values);
    bool has(std::string_view key) const;

    std::string str() const;

private:
    std::vector<std::pair<std::string, std::string>> members_;
};

}  // namespace zelio
