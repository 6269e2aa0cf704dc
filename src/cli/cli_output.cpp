#include "cli/cli_output.h"

#include <cstdio>

#include "config/config_file.h"
#include "ids/product_id.h"

namespace zelio {

int CliOutput::printText(const char* text) {
    if (json_)
        emit(JsonObject().add("ok", true).add("usage", text));
    else
        out_.write(text);
    return kExitOk;
}

int CliOutput::succeed(const JsonObject& json, const std::string& text) {
    if (json_) {
        JsonObject full;
        full.add("ok", true);
        emit(full, json);
    } else {
        out_.write(text);
    }
    return kExitOk;
}

int CliOutput::report(const Outcome& o) {
    if (json_) {
        JsonObject head;
        head.add("ok", false).add("error", exitCodeName(o.code)).add("message", o.message);
        if (!o.details.empty()) head.add("details", o.details);
        emit(head, o.json);
    } else {
        err_.write("zelioctl: " + o.message + '\n');
        for (const std::string& line : o.details) err_.write("  " + line + '\n');
    }
    return o.code;
}

void CliOutput::text(const std::string& text) {
    if (!json_) out_.write(text);
}

void CliOutput::progress(const std::string& text) {
    if (json_) return;
    out_.write(text);
    out_.flush();
}

void CliOutput::note(const std::string& line) {
    if (!json_) error(line);
}

void CliOutput::error(const std::string& line) { err_.write("zelioctl: " + line + '\n'); }

void CliOutput::emit(const JsonObject& head, const JsonObject& tail) {
    std::string a = head.str();
    for (const JsonObject* more : {&tail, static_cast<const JsonObject*>(&tag_)})
        if (const std::string b = more->str(); b != "{}") a = a.substr(0, a.size() - 1) + (a == "{}" ? "" : ",") + b.substr(1);
    out_.write(a + '\n');
}

std::string quotedArg(const std::string& arg) { return "'" + escapeForTerminal(arg) + "'"; }

std::string configLine(const ChannelConfig& config) {
    std::string line = formatConfigLine(config);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    return line;
}

namespace {

const char* modeName(uint16_t productId) { return isSettingId(productId) ? "setting" : "io"; }

// The channel table rows: mode and default level.
struct ChannelRow {
    const char* mode;
    const char* level;  // "-" for an input
};

ChannelRow channelRow(const ChannelConfig& config, int row) {
    const uint8_t bit = rowBit(row);
    // An open-drain bit wins over an input bit, as on the channel panel.
    const bool openDrain = (config.openDrainMask & bit) != 0;
    const bool input = !openDrain && (config.inputMask & bit) != 0;
    return ChannelRow{openDrain ? "open-drain"
                      : input   ? "input"
                                : "push/pull",
                      input                          ? "-"
                      : (config.highMask & bit) != 0 ? "high"
                                                     : "low"};
}

}  // namespace

std::string configTable(const ChannelConfig& config) {
    std::string out = configLine(config) + "\n";
    out += "CH  MODE        DEFAULT\n";
    for (int row = 0; row < kChannelCount; ++row) {
        const ChannelRow r = channelRow(config, row);
        char line[64];
        std::snprintf(line, sizeof line, "%-3d %-11s %s\n", row + 1, r.mode, r.level);
        out += line;
    }
    return out;
}

JsonObject configJson(const ChannelConfig& config) {
    JsonObject json;
    json.add("pid", hexText(config.productId))
        .add("open_drain", hexText(config.openDrainMask, 2))
        .add("high", hexText(config.highMask, 2))
        .add("input", hexText(config.inputMask, 2))
        .add("line", configLine(config));
    std::vector<JsonObject> channels;
    for (int row = 0; row < kChannelCount; ++row) {
        const ChannelRow r = channelRow(config, row);
        JsonObject channel;
        channel.add("channel", row + 1).add("mode", r.mode);
        if (r.level[0] == '-')
            channel.addNull("default");
        else
            channel.add("default", r.level);
        channels.push_back(channel);
    }
    json.add("channels", channels);
    return json;
}

std::string modelOf(uint32_t productId) { return std::string(modelName(productId)); }

JsonObject deviceJson(const FamilyDevice& d) {
    JsonObject json;
    json.add("pid", hexText(d.productId)).add("model", modelOf(d.productId)).add("mode", modeName(d.productId));
    json.add("path", d.path);
    if (d.port.empty())
        json.addNull("port");
    else
        json.add("port", d.port);
    if (d.serial.empty())
        json.addNull("serial");
    else
        json.add("serial", d.serial);
    json.add("opens", d.opens);
    json.add("access", d.opens ? "ok" : exitCodeName(exitCodeOf(d.openFailure.kind)));
    if (!d.opens) json.add("reason", d.openFailure.text());
    return json;
}

std::vector<JsonObject> devicesJson(const std::vector<FamilyDevice>& devices) {
    std::vector<JsonObject> list;
    for (const FamilyDevice& d : devices) list.push_back(deviceJson(d));
    return list;
}

std::string deviceText(const FamilyDevice& d) {
    std::string text = modelOf(d.productId) + " " + hexText(d.productId) + " at " + escapeForTerminal(d.path);
    if (!d.port.empty()) text += " (port " + escapeForTerminal(d.port) + ")";
    return text;
}

std::vector<std::string> accessFix(const std::string& rule, const AccessFacts& facts) {
#ifdef _WIN32
    (void)rule, (void)facts;
    return {"fix: close the program that holds the module (zelio, another zelioctl) or re-plug it"};
#else
    if (rule.empty())
        return {"fix: install the udev rule, then re-plug the module:",
                "  zelioctl udev-rule | sudo tee /etc/udev/rules.d/70-zelio.rules",
                "  sudo udevadm control --reload-rules && sudo udevadm trigger"};
    const std::string noSeat = "fix: this login has no seat session (SSH, a service), so the rule's uaccess cannot apply";
    if (!facts.seatSession && !facts.inGroup && facts.groupMember)
        return {noSeat + ", and it began before the user joined the group zelio: log in again"};
    if (!facts.seatSession && !facts.inGroup)
        return {noSeat + ", and the user is not in the group zelio: add the user to it, then log in again:",
                std::string("  ") + (facts.groupExists ? "" : "sudo addgroup --system zelio && ") +
                    "sudo usermod -aG zelio \"$USER\""};
    return {"fix: the udev rule " + escapeForTerminal(rule) + " is installed: re-plug the module, or apply it now:",
            "  sudo udevadm trigger --subsystem-match=hidraw --action=add"};
#endif
}

std::string settingModeHint(const FamilyDevice& d) {
    if (familyOf(d.productId) == kFamily280)
        return deviceText(d) + " is in I/O mode: hold its button for a second to enter setting mode";
    return deviceText(d) + " is in I/O mode: run 'zelioctl idchange " + hexText(d.productId).substr(2) +
           "' to enter setting mode";
}

}  // namespace zelio
