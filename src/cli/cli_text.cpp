#include "cli/cli_text.h"

#include <cstdio>

namespace zelio {

namespace {

// Length of the well-formed UTF-8 sequence at text[i] and its code point;
// 0 when the bytes there are not UTF-8.
size_t utf8Sequence(std::string_view text, size_t i, uint32_t& codePoint) {
    const auto byte = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
    const uint8_t lead = byte(i);
    size_t length;
    uint32_t min;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, codePoint = lead & 0x1F, min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, codePoint = lead & 0x0F, min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, codePoint = lead & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        codePoint = (codePoint << 6) | (byte(i + k) & 0x3F);
    }
    if (codePoint < min || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) return 0;
    return length;
}

void appendHexByte(std::string& out, const char* format, unsigned value) {
    char text[12];
    std::snprintf(text, sizeof text, format, value);
    out += text;
}

// Characters a terminal shows as nothing or uses to reorder what follows:
// zero-width spaces and joiners, direction marks, embeddings and overrides,
// isolates, the byte-order mark.
bool isInvisibleFormat(uint32_t c) {
    return (c >= 0x200B && c <= 0x200F) || (c >= 0x202A && c <= 0x202E) || (c >= 0x2060 && c <= 0x2069) ||
           c == 0xFEFF;
}

}  // namespace


std::string escapeForTerminal(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        uint32_t codePoint = 0;
        const size_t length = utf8Sequence(text, i, codePoint);
        if (length == 0 || codePoint < 0x20 || codePoint == 0x7F || (codePoint >= 0x80 && codePoint <= 0x9F)) {
            const size_t bytes = length == 0 ? 1 : length;
            for (size_t k = 0; k < bytes; ++k) {
                const auto b = static_cast<unsigned char>(text[i + k]);
                if (b == '\n')
                    out += "\\n";
                else if (b == '\r')
                    out += "\\r";
                else if (b == '\t')
                    out += "\\t";
                else
                    appendHexByte(out, "\\x%02x", b);
            }
            i += bytes;
            continue;
        }
        if (isInvisibleFormat(codePoint)) {
            appendHexByte(out, "\\u%04x", codePoint);
        } else {
            out.append(text.substr(i, length));
        }
        i += length;
    }
    return out;
}

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        uint32_t codePoint = 0;
        const size_t length = utf8Sequence(text, i, codePoint);
        if (length == 0) {
            out += "\\ufffd";
            ++i;
            continue;
        }
        if (codePoint == '"')
            out += "\\\"";
        else if (codePoint == '\\')
            out += "\\\\";
        else if (codePoint == '\n')
            out += "\\n";
        else if (codePoint == '\r')
            out += "\\r";
        else if (codePoint == '\t')
            out += "\\t";
        else if (codePoint < 0x20 || codePoint == 0x7F)
            appendHexByte(out, "\\u%04x", codePoint);
        else
            out.append(text.substr(i, length));
        i += length;
    }
    return out + "\"";
}

std::string hexText(uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*x", digits, static_cast<unsigned>(value));
    return text;
}

JsonObject& JsonObject::add(std::string_view key, std::string_view value) { return addRaw(key, jsonString(value)); }

JsonObject& JsonObject::add(std::string_view key, int64_t value) { return addRaw(key, std::to_string(value)); }

JsonObject& JsonObject::add(std::string_view key, bool value) { return addRaw(key, value ? "true" : "false"); }

JsonObject& JsonObject::addNull(std::string_view key) { return addRaw(key, "null"); }

JsonObject& JsonObject::addRaw(std::string_view key, std::string json) {
    for (auto& member : members_) {
        if (member.first == key) {
            member.second = std::move(json);
            return *this;
        }
    }
    members_.emplace_back(std::string(key), std::move(json));
    return *this;
}

JsonObject& JsonObject::add(std::string_view key, const std::vector<JsonObject>& values) {
    std::string json = "[";
    for (size_t i = 0; i < values.size(); ++i) json += (i ? "," : "") + values[i].str();
    return addRaw(key, json + "]");
}

JsonObject& JsonObject::add(std::string_view key, const std::vector<std::string>& values) {
    std::string json = "[";
    for (size_t i = 0; i < values.size(); ++i) json += (i ? "," : "") + jsonString(values[i]);
    return addRaw(key, json + "]");
}

bool JsonObject::has(std::string_view key) const {
    for (const auto& member : members_)
        if (member.first == key) return true;
    return false;
}

std::string JsonObject::str() const {
    std::string json = "{";
    for (size_t i = 0; i < members_.size(); ++i)
        json += (i ? "," : "") + jsonString(members_[i].first) + ":" + members_[i].second;
    return json + "}";
}

}  // namespace zelio
