#include "cli/cli_session.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <functional>
#include <utility>

#include "config/config_file.h"
#include "ids/product_id.h"

namespace zelio {

std::string CommandLine::option(const char* name) const {
    const auto it = options.find(name);
    return it == options.end() ? std::string() : it->second;
}

std::optional<int> parseDecimal(const std::string& text, int min, int max) {
    if (text.empty()) return std::nullopt;
    int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > max) return std::nullopt;
    }
    if (value < min) return std::nullopt;
    return static_cast<int>(value);
}

bool readRegularFile(const std::string& arg, std::string& text, std::string& problem) {
    const FileInfo info = files().info(arg);
    if (info.kind == FileInfo::Missing) {
        problem = "cannot read " + quotedArg(arg) + ": " + (info.error.empty() ? "no such file" : info.error);
        return false;
    }
    if (info.kind != FileInfo::Regular) {
        problem = "cannot read " + quotedArg(arg) + ": not a regular file";
        return false;
    }
    errno = 0;
    std::optional<std::string> read = files().readPrefix(arg, kConfigReadLimit);
    if (!read) {
        problem = "cannot read " + quotedArg(arg);
#ifndef _WIN32
        if (errno != 0) problem += std::string(": ") + std::strerror(errno);  // the POSIX step's open or read
#endif
        return false;
    }
    text = std::move(*read);
    return true;
}

std::string utcNow() {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm tm{};
#ifdef _WIN32
    gmtime_s(&tm, &now);
#else
    gmtime_r(&now, &tm);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

// The first rules file in the udev folders that names the vendor ID.
std::string installedUdevRule(const CliEnvironment& env) {
    for (const std::string& dir : env.udevRuleDirs) {
        std::vector<std::string> rules;
        for (const std::string& name : files().list(dir)) {
            const std::string file = dir + "/" + name;
            if (name.size() > 6 && name.ends_with(".rules") && files().info(file).kind == FileInfo::Regular)
                rules.push_back(file);
        }
        std::sort(rules.begin(), rules.end());
        for (const std::string& file : rules) {
            std::string text = files().readPrefix(file, 65536).value_or(std::string());
            std::transform(text.begin(), text.end(), text.begin(),
                           [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
            for (size_t at = text.find("1d5a"); at != std::string::npos; at = text.find("1d5a", at + 1)) {
                const size_t lineStart = text.rfind('\n', at);
                const size_t first = text.find_first_not_of(" \t", lineStart == std::string::npos ? 0 : lineStart + 1);
                if (first != std::string::npos && text[first] != '#') return file;
            }
        }
    }
    return {};
}

int Session::linkFailed(CliOutput& out, const std::string& message) const {
    const Failure& why = link.lastFailure();
    if (!why) return out.fail(kExitIo, message);
    return out.fail(exitCodeOf(why.kind), message + " (" + escapeForTerminal(why.text()) + ")");
}

Outcome Session::diagnose(const std::string& notFound, const std::vector<FamilyDevice>& devices) {
    Outcome o{kExitNoModule, notFound, {}, {}};
    o.json.add("modules", devicesJson(devices));
    if (selector_.active() && devices.empty()) {
        o.message = "no module of the family at " + selector_.describe();
        return o;
    }
    bool denied = false;
    for (const FamilyDevice& d : devices) {
        if (d.opens) continue;
        denied = denied || d.openFailure.kind == FailureKind::Access;
        o.details.push_back("cannot open " + deviceText(d) + ": " + escapeForTerminal(d.openFailure.text()));
    }
    if (denied) {
        o.code = kExitAccess;
        o.message = "the system refused access to the module";
        for (std::string& line : accessFix(installedUdevRule(env), env.accessFacts ? env.accessFacts() : AccessFacts{true}))
            o.details.push_back(std::move(line));
        return o;
    }
    for (const FamilyDevice& d : devices)
        if (d.opens && !isSettingId(d.productId)) o.details.push_back(settingModeHint(d));
    return o;
}

std::optional<Outcome> Session::ambiguous(const std::vector<FamilyDevice>& devices, const std::set<uint16_t>& ids) {
    std::vector<FamilyDevice> candidates;
    for (const FamilyDevice& d : devices)
        if (ids.count(d.productId)) candidates.push_back(d);
    if (candidates.size() < 2) return std::nullopt;
    // A choice by serial number can meet several modules that carry the same one.
    const std::string count = std::to_string(candidates.size()) + " modules ";
    Outcome o{kExitAmbiguous,
              selector_.active() ? count + "match " + selector_.describe() + "; nothing was sent; choose one with --path"
                                 : count + "could take this command; nothing was sent; choose one with --path, "
                                           "--port or --serial",
              {},
              {}};
    for (const FamilyDevice& d : candidates) o.details.push_back(deviceText(d));
    o.json.add("candidates", devicesJson(candidates));
    return o;
}

uint16_t Session::attach(CliOutput& out, bool changes) {
    if (changes) {
        if (auto o = ambiguous(survey(), {kSettingId280, kSettingId260})) {
            out.report(*o);
            attachCode = o->code;
            return 0;
        }
    }
    const uint16_t id = commands.attach();
    if (id == 0 && link.lastFailure().kind == FailureKind::Busy) {
        attachCode = linkFailed(out, "the module is busy with another program's command");
    } else if (id == 0) {
        const Outcome o = diagnose("no module in setting mode (0x280 or 0x260) is attached", survey());
        out.report(o);
        attachCode = o.code;
    }
    return id;
}

void Session::select(const DeviceSelector& selector) {
    selector_ = selector;
    std::function<bool(const ModuleRecord&)> scope;
    if (selector.active()) scope = [selector](const ModuleRecord& module) { return selector.matches(module); };
    link.directory().setScope(std::move(scope));
}

std::optional<ChannelConfig> Session::parseConfig(CliOutput& out, size_t first) const {
    const std::vector<std::string>& w = words();
    const auto productId = parseHexStrict(w[first], 0xFFFF);
    if (!productId) {
        usage(out, "bad product ID " + quotedArg(w[first]) + " (hexadecimal, at most FFFF)");
        return std::nullopt;
    }
    static constexpr const char* kNames[3] = {"open-drain mask", "high mask", "input mask"};
    uint8_t masks[3];
    for (size_t i = 0; i < 3; ++i) {
        const auto mask = parseHexStrict(w[first + 1 + i], 0xFF);
        if (!mask) {
            usage(out, std::string("bad ") + kNames[i] + " " + quotedArg(w[first + 1 + i]) + " (hexadecimal, 00-FF)");
            return std::nullopt;
        }
        masks[i] = static_cast<uint8_t>(*mask);
    }
    return ChannelConfig{*productId, masks[0], masks[1], masks[2]};
}

std::optional<ChannelConfig> Session::configFromFile(CliOutput& out, const std::string& arg, int& code) const {
    std::string text, problem;
    if (!readRegularFile(arg, text, problem)) {
        code = out.fail(kExitIo, problem);
        return std::nullopt;
    }
    const ChannelConfig config = parseConfigText(text);
    if (!isNormalId(config.productId)) {
        code = usage(out,
                     quotedArg(arg) + ": product ID " + hexText(config.productId) + " is not in 261-269 or 281-289");
        return std::nullopt;
    }
    return config;
}

int Session::writeAndVerify(CliOutput& out, const ChannelConfig& config, bool& verified, std::string* stored) {
    verified = false;
    // No other program's command between the write and its read-back.
    struct HeldLock {
        ModuleLink& link;
        ~HeldLock() { link.holdModuleLock(false); }
    } held{link};
    link.holdModuleLock(true);
    if (!commands.writeConfiguration(config))
        return linkFailed(out, "the module did not confirm the configuration");
    if (line.has("--no-verify")) return kExitOk;
    ChannelConfig back;
    if (!commands.readConfiguration(back))
        return linkFailed(out, "the configuration was written but could not be read back");
    if (stored) *stored = configLine(back);
    if (back != config) {
        Outcome o{kExitVerify,
                  "the module stored something other than what was written",
                  {"sent   " + configLine(config), "stored " + configLine(back)},
                  {}};
        o.json.add("sent", configLine(config)).add("stored", configLine(back));
        return out.report(o);
    }
    verified = true;
    return kExitOk;
}

std::optional<FamilyDevice> Session::withId(const std::vector<FamilyDevice>& devices, uint16_t a, uint16_t b) {
    for (const FamilyDevice& d : devices)
        if (d.productId == a || (b != 0 && d.productId == b)) return d;
    return std::nullopt;
}

std::optional<int64_t> Session::timeoutOption(CliOutput& out) const {
    if (!line.has("--timeout")) return -1;
    const auto seconds = parseDecimal(line.option("--timeout"), 0, 7 * 24 * 3600);
    if (!seconds) {
        usage(out, "bad time-out " + quotedArg(line.option("--timeout")) + " (whole seconds)");
        return std::nullopt;
    }
    return static_cast<int64_t>(*seconds) * 1000;
}

}  // namespace zelio
