// The file commands: save and show (no module needed).
#include "cli/cli_verbs.h"
#include "config/config_file.h"
#include "ids/product_id.h"

namespace zelio {

namespace {

// True when the first line of `text` holds four hexadecimal fields, a
// product ID of up to four digits and three masks of up to two, and the
// file reading rules read them as `parsed`: the line means what it shows.
bool isConfigLine(const std::string& text, const ChannelConfig& parsed) {
    const std::string line = text.substr(0, text.find_first_of("\r\n"));
    std::vector<std::string> fields;
    std::string field;
    for (const char c : line + ' ') {
        if (c == ' ' || c == '\t') {
            if (!field.empty()) fields.push_back(field);
            field.clear();
        } else {
            field += c;
        }
    }
    if (fields.size() != 4) return false;
    uint32_t values[4];
    for (size_t i = 0; i < fields.size(); ++i) {
        const auto value = parseHexStrict(fields[i], 0xFFFF);
        if (fields[i].size() > (i == 0 ? 4u : 2u) || !value) return false;
        values[i] = *value;
    }
    return parsed == ChannelConfig{values[0], static_cast<uint8_t>(values[1]), static_cast<uint8_t>(values[2]),
                                   static_cast<uint8_t>(values[3])};
}

}  // namespace

int saveVerb(Session& s, CliOutput& out) {
    if (!s.line.arity(5)) return s.wrongArity(out);
    const auto config = s.parseConfig(out, 1);
    if (!config) return kExitUsage;
    if (!isNormalId(config->productId))
        return s.usage(out, "product ID " + hexText(config->productId) + " is not in 261-269 or 281-289");
    const std::string& path = s.words()[0];
    if (files().info(path).kind == FileInfo::Other)
        return out.fail(kExitIo, "cannot write " + quotedArg(path) + ": not a regular file");
    if (!saveConfigFileUtf8(path, *config)) return out.fail(kExitIo, "cannot write " + quotedArg(path));
    JsonObject json = configJson(*config);
    json.add("file", path);
    return out.succeed(json, "saved " + configLine(*config) + " to " + escapeForTerminal(path) + "\n");
}

int showVerb(Session& s, CliOutput& out) {
    if (!s.line.arity(1)) return s.wrongArity(out);
    const std::string& path = s.words()[0];
    std::string text, problem;
    if (!readRegularFile(path, text, problem)) return out.fail(kExitIo, problem);
    const ChannelConfig config = parseConfigText(text);
    std::vector<std::string> warnings;
    if (!isConfigLine(text, config)) {
        warnings.push_back(quotedArg(path) + " does not hold a configuration line like \"0283 40 C0 01\"; " +
                           "it reads as \"" + configLine(config) + "\"");
    } else if (!isNormalId(config.productId)) {
        warnings.push_back(quotedArg(path) + ": product ID " + hexText(config.productId) +
                           " is not in 261-269 or 281-289; 'write --file' refuses it");
    }
    JsonObject json = configJson(config);
    json.add("file", path).add("warnings", warnings);
    for (const std::string& w : warnings) out.note("warning: " + w);
    return out.succeed(json, configTable(config));
}

}  // namespace zelio
