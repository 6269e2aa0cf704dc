// The commands that talk to modules: list, doctor, attach, version, read,
// write, test, reset, idchange; and udev-rule.
#include <algorithm>
#include <cstdio>
#include <optional>

#include "cli/cli_verbs.h"
#include "config/config_file.h"
#include "ids/product_id.h"

namespace zelio {

namespace {

// The rows of the device table, in columns.
std::string table(const std::vector<std::vector<std::string>>& rows) {
    std::vector<size_t> widths(rows[0].size(), 0);
    for (const auto& row : rows)
        for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
    std::string text;
    for (const auto& row : rows) {
        std::string line;
        for (size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) line += std::string(widths[i] - row[i].size() + 2, ' ');
        }
        text += line + "\n";
    }
    return text;
}

// The family's devices: list and doctor.
int listDevices(Session& s, CliOutput& out, bool doctor) {
    if (!s.line.arity(0)) return s.wrongArity(out);
    const std::vector<FamilyDevice> devices = s.survey();
    std::string text;
    if (!devices.empty()) {
        std::vector<std::vector<std::string>> rows;
        if (doctor)
            rows.push_back({"PATH", "PID", "MODEL", "MODE", "OPENS"});
        else
            rows.push_back({"PID", "MODEL", "MODE", "PATH", "PORT", "SERIAL", "ACCESS"});
        for (const FamilyDevice& d : devices) {
            const std::string pid = hexText(d.productId), mode = isSettingId(d.productId) ? "setting" : "I/O";
            const std::string path = escapeForTerminal(d.path);
            if (doctor) {
                rows.push_back({path, pid, modelOf(d.productId), mode,
                                d.opens ? "yes" : "no: " + escapeForTerminal(d.openFailure.text())});
            } else {
                rows.push_back({pid, modelOf(d.productId), mode, path,
                                d.port.empty() ? "-" : escapeForTerminal(d.port),
                                d.serial.empty() ? "-" : escapeForTerminal(d.serial),
                                d.opens ? "yes" : std::string("no (") + exitCodeName(exitCodeOf(d.openFailure.kind)) + ")"});
            }
        }
        text = table(rows);
    }
    JsonObject json;
    json.add("modules", devicesJson(devices));
    if (doctor) {
        const std::string rule = installedUdevRule(s.env);
#ifdef _WIN32
        text += "udev rule: not used on Windows\n";
        json.addNull("udev_rule");
#else
        text += rule.empty() ? "udev rule: none installed (see 'zelioctl udev-rule')\n"
                             : "udev rule: " + escapeForTerminal(rule) + "\n";
        if (rule.empty())
            json.addNull("udev_rule");
        else
            json.add("udev_rule", rule);
#endif
        if (s.env.accessFacts) {
            const AccessFacts facts = s.env.accessFacts();
            text += facts.seatSession ? "access: an active seat session: the rule's uaccess applies\n"
                                      : "access: no seat session (SSH, a service): uaccess cannot apply\n";
            text += std::string("group zelio: ") +
                    (facts.inGroup       ? "this process is in it"
                     : facts.groupMember ? "the user is in it from the next login"
                     : facts.groupExists ? "the user is not in it"
                                         : "none") +
                    "\n";
            json.add("seat_session", facts.seatSession).add("in_group", facts.inGroup);
        }
        text += "HID library: " + (s.env.hidVersion.empty() ? std::string("unknown") : s.env.hidVersion) + "\n";
        json.add("hid", s.env.hidVersion);
        // Nothing to configure yet: say how to get there.
        std::vector<std::string> hints;
        const bool setting = std::any_of(devices.begin(), devices.end(),
                                         [](const FamilyDevice& d) { return isSettingId(d.productId); });
        for (const FamilyDevice& d : devices)
            if (!setting && d.opens) hints.push_back(settingModeHint(d));
        for (const std::string& hint : hints) text += hint + "\n";
        json.add("hints", hints);
    }
    Outcome o = s.diagnose("no module of the family is attached", devices);
    // A list that lists succeeds; doctor also fails when access is refused.
    const bool problem = devices.empty() || (doctor && o.code == kExitAccess);
    if (!problem) return out.succeed(json, text);
    out.text(text);
    if (doctor && !out.json() && devices.empty()) o.details.clear();
    o.json = json;
    return out.report(o);
}

}  // namespace

int listVerb(Session& s, CliOutput& out) { return listDevices(s, out, false); }

int doctorVerb(Session& s, CliOutput& out) { return listDevices(s, out, true); }

int udevRuleVerb(Session& s, CliOutput& out) {
    if (!s.line.arity(0)) return s.wrongArity(out);
    return out.succeed(JsonObject().add("file", "70-zelio.rules").add("rule", udevRuleText()), udevRuleText());
}

int attachVerb(Session& s, CliOutput& out) {
    if (!s.line.arity(0)) return s.wrongArity(out);
    const uint16_t id = s.attach(out, false);
    if (id == 0) return s.attachCode;
    return out.succeed(JsonObject().add("pid", hexText(id)).add("model", modelOf(id)).add("path", s.attachedPath()),
                       hexText(id) + "\n");
}

int versionVerb(Session& s, CliOutput& out) {
    if (!s.line.arity(0)) return s.wrongArity(out);
    const uint16_t id = s.attach(out, false);
    if (id == 0) return s.attachCode;
    const int value = s.commands.readFirmwareVersion();
    if (value == 0) return s.linkFailed(out, "no firmware version received from the module");
    const std::string text = std::to_string(value / 16) + "." + std::to_string(value % 16);
    return out.succeed(JsonObject().add("pid", hexText(id)).add("firmware", text).add("path", s.attachedPath()),
                       text + "\n");
}

int readVerb(Session& s, CliOutput& out) {
    if (!s.line.arity(0)) return s.wrongArity(out);
    if (s.attach(out, false) == 0) return s.attachCode;
    ChannelConfig config;
    if (!s.commands.readConfiguration(config))
        return s.linkFailed(out, "no configuration received from the module");
    return out.succeed(configJson(config), configTable(config));
}

int writeVerb(Session& s, CliOutput& out) {
    ChannelConfig config;
    std::string source;
    if (s.line.has("--file")) {
        if (!s.line.arity(0)) return s.wrongArity(out);
        int code = kExitOk;
        const auto loaded = s.configFromFile(out, s.line.option("--file"), code);
        if (!loaded) return code;
        config = *loaded;
        source = quotedArg(s.line.option("--file")) + ": ";
    } else {
        if (!s.line.arity(4)) return s.wrongArity(out);
        const auto parsed = s.parseConfig(out, 0);
        if (!parsed) return kExitUsage;
        config = *parsed;
        if (!isNormalId(config.productId))
            return s.usage(out, "product ID " + hexText(config.productId) + " is not in 261-269 or 281-289");
    }

    const uint16_t attached = s.attach(out, true);
    if (attached == 0) return s.attachCode;
    if (familyOf(config.productId) != attached) {
        return s.usage(out, source + "the attached " + modelOf(attached) + " needs a product ID in " +
                                (attached == kSettingId260 ? "261-269" : "281-289"));
    }
    bool verified = false;
    if (const int code = s.writeAndVerify(out, config, verified, nullptr); code != kExitOk) return code;
    JsonObject json = configJson(config);
    json.add("verified", verified);
    return out.succeed(json, "written " + configLine(config) + (verified ? " and read back" : " (not read back)") +
                                 "; reconnect the module or run 'zelioctl reset' to start it as " +
                                 hexText(config.productId) + "\n");
}

namespace {

// One output of a `test` call: the channel argument (negative: low), the
// blink byte, and how it is shown.
struct OutputStep {
    int channel = 0;
    int channelArg = 0;
    int blinkByte = 0;
    std::string output, text;
};

// The output at words[at...] (CH ACTION [HIGH LOW]); `at` moves past it.
// nullopt after a usage error.
std::optional<OutputStep> parseOutputStep(Session& s, CliOutput& out, size_t& at) {
    const std::vector<std::string>& words = s.words();
    if (at + 1 >= words.size()) {
        s.wrongArity(out);
        return std::nullopt;
    }
    const auto channel = parseDecimal(words[at], 1, kChannelCount);
    if (!channel) {
        s.usage(out, "bad channel " + quotedArg(words[at]) + " (1-8)");
        return std::nullopt;
    }
    const std::string& action = words[at + 1];
    at += 2;
    OutputStep step{*channel, *channel, 0, action, action};
    if (action == "low") step.channelArg = -*channel;
    if (action == "high" || action == "low") return step;
    if (action != "blink") {
        s.usage(out, "bad test action " + quotedArg(action) + " (high, low or blink)");
        return std::nullopt;
    }
    int times[2] = {5, 5};
    // Times follow unless the next word is a channel with its action.
    const bool timed = at < words.size() && !(at + 1 < words.size() && parseDecimal(words[at], 1, kChannelCount) &&
                                               !parseDecimal(words[at + 1], 0, 15));
    if (timed) {
        if (at + 1 >= words.size()) {
            s.wrongArity(out);
            return std::nullopt;
        }
        static constexpr const char* kNames[2] = {"high", "low"};
        for (int i = 0; i < 2; ++i) {
            const std::string& word = words[at++];
            const auto value = parseDecimal(word, 0, 15);
            if (!value) {
                s.usage(out, std::string("bad ") + kNames[i] + " time " + quotedArg(word) + " (0-15, units of 0.1 s)");
                return std::nullopt;
            }
            times[i] = *value;
        }
    }
    step.blinkByte = times[0] * 16 + times[1];
    char line[96];
    if (step.blinkByte == 0) {
        // The module reads a blink byte of 0 as "steady".
        step.output = "high";
        std::snprintf(line, sizeof line, "high (blink times 0 and 0 drive the output steady high)");
    } else {
        std::snprintf(line, sizeof line, "blink 0x%02X (%d.%d s high, %d.%d s low)",
                      static_cast<unsigned>(step.blinkByte), times[0] / 10, times[0] % 10, times[1] / 10,
                      times[1] % 10);
    }
    step.text = line;
    return step;
}

JsonObject outputJson(const OutputStep& step) {
    JsonObject json;
    json.add("channel", step.channel).add("output", step.output);
    if (step.output == "blink") json.add("blink", hexText(static_cast<uint32_t>(step.blinkByte), 2));
    return json;
}

}  // namespace

int testVerb(Session& s, CliOutput& out) {
    if (s.words().size() < 2) return s.wrongArity(out);
    std::vector<OutputStep> steps;
    for (size_t at = 0; at < s.words().size();) {
        auto step = parseOutputStep(s, out, at);
        if (!step) return kExitUsage;
        steps.push_back(std::move(*step));
    }
    if (s.attach(out, true) == 0) return s.attachCode;
    // One turn for all of them: no other program's command in between.
    struct HeldLock {
        ModuleLink& link;
        ~HeldLock() { link.holdModuleLock(false); }
    } held{s.link};
    s.link.holdModuleLock(true);
    std::string text;
    std::vector<JsonObject> sent;
    for (const OutputStep& step : steps) {
        if (!s.commands.outputTest(step.blinkByte, step.channelArg)) {
            out.text(text);
            return s.linkFailed(out, "the output test command for OUT " + std::to_string(step.channel) +
                                         " could not be sent" + (sent.empty() ? "" : "; the ones before it were"));
        }
        text += "OUT " + std::to_string(step.channel) + " " + step.text + "\n";
        sent.push_back(outputJson(step));
    }
    // The first output's fields, as for one output, and every output in order.
    JsonObject json = outputJson(steps.front());
    json.add("outputs", sent);
    return out.succeed(json, text);
}

int resetVerb(Session& s, CliOutput& out) {
    if (!s.line.arity(0)) return s.wrongArity(out);
    const uint16_t id = s.attach(out, true);
    if (id == 0) return s.attachCode;
    if (!s.commands.resetToIoMode()) return s.linkFailed(out, "the module did not confirm the reset");
    return out.succeed(JsonObject().add("pid", hexText(id)), "module reset to I/O mode\n");
}

int idChangeVerb(Session& s, CliOutput& out) {
    if (!s.line.arity(1)) return s.wrongArity(out);
    const std::string& word = s.words()[0];
    const auto id = parseHexStrict(word, 0xFFFF);
    if (!id || *id < 0x261 || *id > 0x269) return s.usage(out, "bad product ID " + quotedArg(word) + " (261-269)");
    const auto presentId = static_cast<uint16_t>(*id);
    const std::vector<FamilyDevice> devices = s.survey();
    if (auto o = s.ambiguous(devices, {presentId})) return out.report(*o);
    if (!s.commands.changeIdTo260(presentId)) {
        std::vector<FamilyDevice> same;
        for (const FamilyDevice& d : devices)
            if (d.productId == presentId) same.push_back(d);
        Outcome o = s.diagnose("no " + modelOf(presentId) + " at " + hexText(presentId) + " is attached", same);
        if (o.code != kExitAccess && s.link.lastFailure().kind != FailureKind::NotFound)
            return s.linkFailed(out, "the ID change could not be sent");
        return out.report(o);
    }
    return out.succeed(JsonObject().add("pid", hexText(presentId)).add("new_pid", hexText(kSettingId260)),
                       "ID change sent to " + hexText(presentId) + "; the module comes back as 0x260\n");
}

}  // namespace zelio
