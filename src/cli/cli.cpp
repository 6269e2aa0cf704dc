#include "cli/cli.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <system_error>

#include "cli/cli_devices.h"
#include "cli/cli_text.h"
#include "config/atomic_file.h"
#include "config/channel_config.h"
#include "config/config_file.h"
#include "link/module_link.h"
#include "protocol/command_set.h"
#include "protocol/product_id.h"

#include "zelio_version.h"

namespace zelio {

namespace {

constexpr const char* kUsage =
    "usage: zelioctl [OPTIONS] COMMAND [ARGUMENTS]\n"
    "\n"
    "Module commands (the module must be in setting mode, 0x280 or 0x260):\n"
    "  list                        every module of the family: product ID, model,\n"
    "                              mode, path, port, serial number\n"
    "  attach                      the setting-mode module the commands use\n"
    "  version                     firmware version of that module\n"
    "  read                        its configuration: file line and channel table\n"
    "  write PID OD HIGH IN        write a configuration and read it back: product\n"
    "                              ID 261-269 or 281-289 (matching the module),\n"
    "                              open-drain, high and input masks (hexadecimal)\n"
    "  write --file FILE           write the configuration stored in FILE\n"
    "  test CH high|low            drive output CH (1-8) steady high or low\n"
    "  test CH blink [HIGH LOW]    blink output CH; HIGH and LOW times 0-15 in\n"
    "                              units of 0.1 s (5 and 5 when left out)\n"
    "  reset                       leave setting mode, back to I/O mode\n"
    "  idchange PID                move the ZEL260 at PID (261-269) back to 260\n"
    "  wait --setting|--pid PID|--gone [--timeout S]\n"
    "                              wait for a module in setting mode, for one\n"
    "                              with product ID PID, or until none is left\n"
    "  provision FILE [--count N] [--log CSV]\n"
    "                              production line: write FILE into each module\n"
    "                              put into setting mode, one after the other\n"
    "\n"
    "File commands (no module needed):\n"
    "  save FILE PID OD HIGH IN    store a configuration in FILE (hexadecimal)\n"
    "  show FILE                   print the configuration stored in FILE\n"
    "\n"
    "Set-up:\n"
    "  doctor                      each module's path, product ID, mode, whether\n"
    "                              it opens, and whether a udev rule is installed\n"
    "  udev-rule                   print the udev rule that gives users access\n"
    "  help [COMMAND]              this text, or one command's\n"
    "\n"
    "Options (anywhere on the line; \"--\" ends them):\n"
    "  --path PATH                 use only the device at PATH (see 'list')\n"
    "  --port PORT                 use only the device at USB port PORT (Linux,\n"
    "                              e.g. 1-1.4); the port stays when re-plugged\n"
    "  --json                      print one JSON object instead of text\n"
    "  --no-verify                 write without reading the configuration back\n"
    "  --debug                     trace devices, opens and reports to stderr\n"
    "  --emulate                   run against two emulated modules: a ZEL280 in\n"
    "                              setting mode (firmware 1.2), a ZEL260 at 0x261\n"
    "  -h, --help                  help; COMMAND --help for one command\n"
    "  --version                   versions of zelioctl and of the HID library\n"
    "\n"
    "Setting mode: hold the ZEL280's button for a second; a ZEL260 enters it\n"
    "with 'zelioctl idchange PID'. Mask bit 7 (0x80) is channel 1, bit 0\n"
    "(0x01) channel 8. Hexadecimal numbers may carry a 0x prefix.\n"
    "\n"
    "Exit status: 0 success, 1 I/O failure, 2 bad usage (nothing was done),\n"
    "3 no module, 4 access denied, 5 ambiguous (several modules, none chosen),\n"
    "6 verification mismatch, 7 time-out.\n";

struct CommandHelp {
    const char* name;
    const char* text;
};

constexpr CommandHelp kCommandHelp[] = {
    {"list",
     "usage: zelioctl list [--path PATH|--port PORT] [--json]\n"
     "Lists every module of the family with product ID, model, mode, path,\n"
     "USB port and serial number. Exits 3 when there is none and 4 when a\n"
     "module's device cannot be opened.\n"},
    {"attach",
     "usage: zelioctl attach [--path PATH|--port PORT] [--json]\n"
     "Prints the product ID of the setting-mode module the commands use\n"
     "(0x280 before 0x260). Sends nothing.\n"},
    {"version",
     "usage: zelioctl version [--path PATH|--port PORT] [--json]\n"
     "Prints the firmware version of the setting-mode module, MAJOR.MINOR.\n"},
    {"read",
     "usage: zelioctl read [--path PATH|--port PORT] [--json]\n"
     "Prints the module's configuration: the file line and a channel table.\n"},
    {"write",
     "usage: zelioctl write PID OD HIGH IN [--no-verify] [--path PATH|--port PORT] [--json]\n"
     "       zelioctl write --file FILE [--no-verify] [--path PATH|--port PORT] [--json]\n"
     "Writes a configuration into the setting-mode module, then reads it back\n"
     "and compares; a difference prints both lines and exits 6. PID is\n"
     "261-269 for a ZEL260, 281-289 for a ZEL280; OD, HIGH and IN are the\n"
     "open-drain, high and input masks (00-FF, bit 7 is channel 1). With\n"
     "several modules in setting mode, choose one with --path or --port.\n"},
    {"test",
     "usage: zelioctl test CH high|low [--path PATH|--port PORT] [--json]\n"
     "       zelioctl test CH blink [HIGH LOW] [--path PATH|--port PORT] [--json]\n"
     "Drives output CH (1-8) steady high, steady low, or blinking with HIGH\n"
     "and LOW times of 0-15 tenths of a second (5 and 5 when left out). A\n"
     "blink of 0 and 0 drives the output steady high.\n"},
    {"reset",
     "usage: zelioctl reset [--path PATH|--port PORT] [--json]\n"
     "Sends the setting-mode module back to I/O mode under its product ID.\n"},
    {"idchange",
     "usage: zelioctl idchange PID [--path PATH|--port PORT] [--json]\n"
     "Moves the ZEL260 running as PID (261-269) back to 260, its setting mode.\n"},
    {"wait",
     "usage: zelioctl wait --setting|--pid PID|--gone [--timeout S] [--path PATH|--port PORT] [--json]\n"
     "Waits until a module in setting mode is attached (--setting), until one\n"
     "with product ID PID is (--pid), or until no module is left (--gone).\n"
     "Exits 7 when S seconds pass first; without --timeout it waits for ever.\n"},
    {"provision",
     "usage: zelioctl provision FILE [--count N] [--log CSV] [--timeout S] [--no-verify] [--port PORT] [--json]\n"
     "For each module in turn: waits for one in setting mode, writes FILE's\n"
     "configuration, reads it back, reads the firmware version, resets the\n"
     "module, waits for it to come back under its new product ID, appends a\n"
     "row (time, path, port, firmware, configuration, result) to CSV and waits\n"
     "for it to be unplugged. Stops after N modules, on Ctrl-C, or when no\n"
     "module arrives within S seconds (--timeout S), with a summary; exits\n"
     "non-zero when any module failed.\n"},
    {"save",
     "usage: zelioctl save FILE PID OD HIGH IN [--json]\n"
     "Stores a configuration in FILE as the one-line text the GUI reads.\n"
     "PID is 261-269 or 281-289.\n"},
    {"show",
     "usage: zelioctl show FILE [--json]\n"
     "Prints the configuration stored in FILE; warns when the file does not\n"
     "hold one that 'write --file' would take.\n"},
    {"doctor",
     "usage: zelioctl doctor [--json]\n"
     "Prints each module of the family with path, product ID, mode and\n"
     "whether it opens, and whether a udev rule for the modules is installed.\n"},
    {"udev-rule",
     "usage: zelioctl udev-rule [--json]\n"
     "Prints the udev rule that lets the user at the seat open the modules:\n"
     "  zelioctl udev-rule | sudo tee /etc/udev/rules.d/70-zelio.rules\n"
     "  sudo udevadm control --reload-rules && sudo udevadm trigger\n"},
    {"help",
     "usage: zelioctl help [COMMAND]\n"
     "Prints the usage of zelioctl or of one command.\n"},
};

const CommandHelp* findCommand(const std::string& name) {
    for (const CommandHelp& c : kCommandHelp)
        if (name == c.name) return &c;
    return nullptr;
}

// Options: name, whether a value follows, the commands that take it (empty: all).
struct KnownOption {
    const char* name;
    bool value;
    std::set<std::string> commands;
};

const std::vector<KnownOption>& knownOptions() {
    static const std::set<std::string> kDevice = {"list",  "attach",   "version", "read",      "write", "test",
                                                  "reset", "idchange", "wait",    "provision", "doctor"};
    static const std::vector<KnownOption> known = {
        {"--json", false, {}},
        {"--debug", false, {}},
        {"--help", false, {}},
        {"--version", false, {}},
        {"--path", true, kDevice},
        {"--port", true, kDevice},
        {"--no-verify", false, {"write", "provision"}},
        {"--file", true, {"write"}},
        {"--timeout", true, {"wait", "provision"}},
        {"--setting", false, {"wait"}},
        {"--gone", false, {"wait"}},
        {"--pid", true, {"wait"}},
        {"--count", true, {"provision"}},
        {"--log", true, {"provision"}},
    };
    return known;
}

constexpr int kPollMs = 200;
// How long a module may take to come back under its new product ID.
constexpr int kReturnTimeoutMs = 15000;

std::string quotedArg(const std::string& arg) { return "'" + escapeForTerminal(arg) + "'"; }

// Decimal digits only, within [min, max].
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

// Arguments are UTF-8 on every platform, and so are the file steps' paths.
const AtomicFileSteps& files() { return platformAtomicFileSteps(); }

std::string configLine(const ChannelConfig& config) {
    std::string line = formatConfigLine(config);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    return line;
}

const char* modeName(uint16_t productId) { return isSettingId(productId) ? "setting" : "io"; }

std::string modelOf(uint32_t productId) { return std::string(modelName(productId)); }

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
    if (!d.opens) json.add("reason", d.openFailure.text());
    return json;
}

std::vector<JsonObject> devicesJson(const std::vector<FamilyDevice>& devices) {
    std::vector<JsonObject> list;
    for (const FamilyDevice& d : devices) list.push_back(deviceJson(d));
    return list;
}

// "ZEL280 0x283 at /dev/hidraw3 (port 1-1.4)"
std::string deviceText(const FamilyDevice& d) {
    std::string text = modelOf(d.productId) + " " + hexText(d.productId) + " at " + escapeForTerminal(d.path);
    if (!d.port.empty()) text += " (port " + escapeForTerminal(d.port) + ")";
    return text;
}

// How to give the user access to a module that the system refuses to open.
std::vector<std::string> accessFix() {
#ifdef _WIN32
    return {"fix: close the program that holds the module (zelio, another zelioctl) or re-plug it"};
#else
    return {"fix: install the udev rule, then re-plug the module:",
            "  zelioctl udev-rule | sudo tee /etc/udev/rules.d/70-zelio.rules",
            "  sudo udevadm control --reload-rules && sudo udevadm trigger"};
#endif
}

// How to put a module in I/O mode into setting mode.
std::string settingModeHint(const FamilyDevice& d) {
    if (familyOf(d.productId) == kFamily280)
        return deviceText(d) + " is in I/O mode: hold its button for a second to enter setting mode";
    return deviceText(d) + " is in I/O mode: run 'zelioctl idchange " + hexText(d.productId).substr(2) +
           "' to enter setting mode";
}

// A failure the CLI reports: exit code, one message line, detail lines, and
// extra members for --json.
struct Outcome {
    int code = kExitOk;
    std::string message;
    std::vector<std::string> details;
    JsonObject json;
};

// The exit code for the link's last failure.
int codeOf(const Failure& failure) {
    switch (failure.kind) {
        case FailureKind::Access: return kExitAccess;
        case FailureKind::Timeout: return kExitTimeout;
        case FailureKind::NotFound: return kExitNoModule;
        default: return kExitIo;
    }
}

bool readRegularFile(const std::string& arg, std::string& text, std::string& problem) {
    const FileInfo info = files().info(arg);
    if (info.kind == FileInfo::Missing) {
        problem = "cannot read " + quotedArg(arg) + ": no such file";
        return false;
    }
    if (info.kind != FileInfo::Regular) {
        problem = "cannot read " + quotedArg(arg) + ": not a regular file";
        return false;
    }
    std::optional<std::string> read = files().readPrefix(arg, kConfigReadLimit);
    if (!read) {
        problem = "cannot read " + quotedArg(arg);
        return false;
    }
    text = std::move(*read);
    return true;
}

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

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (const char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

class Cli {
public:
    Cli(const std::vector<std::string>& args, TextSink& out, TextSink& err, HidHost& host, Clock& clock,
        const CliEnvironment& environment)
        : args_(args),
          out_(out),
          err_(err),
          clock_(clock),
          env_(environment),
          host_(host, clock),
          link_(host_, clock),
          commands_(link_) {}

    int run() {
        const int code = dispatch();
        out_.flush();
        if (out_.failed()) {
            err_.write("zelioctl: the output could not be written\n");
            err_.flush();
            return code == kExitOk ? kExitIo : code;
        }
        return code;
    }

private:
    // ------------------------------------------------------------ command line

    int dispatch() {
        if (const int code = parse(); code != kExitOk) return code;
        if (debug_) host_.setTrace(&err_);
        host_.select(selector_);
        if (options_.count("--help")) {
            if (command_.empty()) return printText(kUsage);
            return printText(findCommand(command_)->text);
        }
        if (options_.count("--version")) {
            if (!command_.empty() || !words_.empty()) return usage("--version takes no command");
            return toolVersion();
        }
        if (command_.empty()) return usage("no command given");
        if (command_ == "help") return help();
        if (command_ == "list") return list();
        if (command_ == "attach") return attachCommand();
        if (command_ == "version") return version();
        if (command_ == "read") return read();
        if (command_ == "write") return write();
        if (command_ == "test") return test();
        if (command_ == "reset") return reset();
        if (command_ == "idchange") return idChange();
        if (command_ == "wait") return wait();
        if (command_ == "provision") return provision();
        if (command_ == "save") return save();
        if (command_ == "show") return show();
        if (command_ == "doctor") return doctor();
        if (command_ == "udev-rule") return udevRule();
        return usage("unknown command " + quotedArg(command_));
    }

    // Splits the words into options, the command and its arguments.
    int parse() {
        // Errors in the command line itself come as JSON too when asked for.
        for (const std::string& word : args_) {
            if (word == "--") break;
            if (word == "--json") json_ = true;
        }
        bool optionsEnd = false;
        std::vector<std::pair<std::string, std::string>> given;
        std::vector<std::string> positional;
        for (size_t i = 0; i < args_.size(); ++i) {
            const std::string& word = args_[i];
            if (optionsEnd || word.empty() || word[0] != '-' || word == "-") {
                positional.push_back(word);
                continue;
            }
            if (word == "--") {
                optionsEnd = true;
                continue;
            }
            std::string name = word == "-h" ? "--help" : word;
            std::optional<std::string> value;
            if (const size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
                value = name.substr(eq + 1);
                name.resize(eq);
            }
            const auto& known = knownOptions();
            const auto it =
                std::find_if(known.begin(), known.end(), [&](const KnownOption& o) { return name == o.name; });
            if (it == known.end()) return usage("unknown option " + quotedArg(word));
            if (it->value && !value) {
                if (i + 1 >= args_.size()) return usage(name + " needs a value");
                value = args_[++i];
            } else if (!it->value && value) {
                return usage(name + " takes no value");
            }
            given.emplace_back(name, value.value_or(""));
        }
        if (!positional.empty()) {
            command_ = positional.front();
            words_.assign(positional.begin() + 1, positional.end());
        }
        for (const auto& [name, value] : given) options_[name] = value;
        json_ = options_.count("--json") != 0;
        debug_ = options_.count("--debug") != 0;
        if (!command_.empty() && command_ != "help" && !findCommand(command_))
            return usage("unknown command " + quotedArg(command_));
        for (const auto& entry : given) {
            const std::string& name = entry.first;  // a plain name: lambdas may not capture bindings everywhere
            const auto& known = knownOptions();
            const auto it =
                std::find_if(known.begin(), known.end(), [&](const KnownOption& o) { return name == o.name; });
            if (!it->commands.empty() && !it->commands.count(command_))
                return usage(name + " does not apply to " +
                             (command_.empty() ? std::string("no command") : quotedArg(command_)));
        }
        if (options_.count("--path") && options_.count("--port")) return usage("give --path or --port, not both");
        selector_.path = option("--path");
        selector_.port = option("--port");
        if (options_.count("--path") && selector_.path.empty()) return usage("--path needs a path");
        if (options_.count("--port") && selector_.port.empty()) return usage("--port needs a port");
        return kExitOk;
    }

    std::string option(const char* name) const {
        const auto it = options_.find(name);
        return it == options_.end() ? std::string() : it->second;
    }

    // ------------------------------------------------------------ output

    int printText(const char* text) {
        if (json_)
            emit(JsonObject().add("ok", true).add("usage", text));
        else
            out_.write(text);
        return kExitOk;
    }

    // Success: the object with "ok": true in front, or the text.
    int succeed(JsonObject json, const std::string& text) {
        if (json_) {
            JsonObject full;
            full.add("ok", true);
            emit(full, json);
        } else {
            out_.write(text);
        }
        return kExitOk;
    }

    void emit(const JsonObject& head, const JsonObject& tail = JsonObject()) {
        std::string a = head.str(), b = tail.str();
        if (b != "{}") a = a.substr(0, a.size() - 1) + (a == "{}" ? "" : ",") + b.substr(1);
        out_.write(a + '\n');
    }

    int report(const Outcome& o) {
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

    int fail(int code, const std::string& message) { return report(Outcome{code, message, {}, {}}); }

    int usage(const std::string& message) {
        const std::string where =
            findCommand(command_) && command_ != "help" ? "zelioctl " + command_ + " --help" : "zelioctl help";
        return fail(kExitUsage, message + " (see '" + where + "')");
    }

    int wrongArity() { return usage("wrong number of arguments for " + quotedArg(command_)); }
    bool arity(size_t words) const { return words_.size() == words; }

    // The message, then why the link's last step failed.
    int linkFailed(const std::string& message) {
        const Failure& why = link_.lastFailure();
        if (!why) return fail(kExitIo, message);
        return fail(codeOf(why), message + " (" + escapeForTerminal(why.text()) + ")");
    }

    // ------------------------------------------------------------ modules

    // Why no module answered, from a fresh look at the family's devices.
    Outcome diagnose(const std::string& notFound, const std::vector<FamilyDevice>& devices) {
        Outcome o{kExitNoModule, notFound, {}, {}};
        o.json.add("modules", devicesJson(devices));
        if (host_.selector().active() && devices.empty()) {
            o.message = "no module of the family at " + host_.selector().describe();
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
            for (std::string& line : accessFix()) o.details.push_back(std::move(line));
            return o;
        }
        for (const FamilyDevice& d : devices)
            if (d.opens && !isSettingId(d.productId)) o.details.push_back(settingModeHint(d));
        return o;
    }

    // The ambiguity check of commands that change a module: more than one
    // device with `productId`s and no --path/--port.
    std::optional<Outcome> ambiguous(const std::vector<FamilyDevice>& devices, const std::set<uint16_t>& ids) {
        if (host_.selector().active()) return std::nullopt;
        std::vector<FamilyDevice> candidates;
        for (const FamilyDevice& d : devices)
            if (ids.count(d.productId)) candidates.push_back(d);
        if (candidates.size() < 2) return std::nullopt;
#ifdef _WIN32
        const char* choose = "choose one with --path";
#else
        const char* choose = "choose one with --path or --port";
#endif
        Outcome o{kExitAmbiguous,
                  std::to_string(candidates.size()) + " modules could take this command; nothing was sent; " + choose,
                  {},
                  {}};
        for (const FamilyDevice& d : candidates) o.details.push_back(deviceText(d));
        o.json.add("candidates", devicesJson(candidates));
        return o;
    }

    // The attach procedure; 0 after reporting why no module is there. A
    // command that changes the module first makes sure only one could be meant.
    uint16_t attach(bool changes) {
        if (changes) {
            if (auto o = ambiguous(surveyFamily(host_), {kSettingId280, kSettingId260})) {
                report(*o);
                attachCode_ = o->code;
                return 0;
            }
        }
        const uint16_t id = commands_.attach();
        if (id == 0) {
            const Outcome o = diagnose("no module in setting mode (0x280 or 0x260) is attached", surveyFamily(host_));
            report(o);
            attachCode_ = o.code;
        }
        return id;
    }

    // The device the attached module was found at.
    std::string attachedPath() {
        for (const HidDeviceInfo& d : host_.enumerateDevices()) {
            const auto ids = d.ids ? d.ids : idsInDevicePath(d.path);
            if (ids && ids->vendorId == kModuleVendorId && ids->productId == commands_.attachedModuleId())
                return d.path;
        }
        return {};
    }

    // ------------------------------------------------------------ commands

    int help() {
        if (words_.empty()) return printText(kUsage);
        if (words_.size() > 1) return usage("'help' takes one command at most");
        const CommandHelp* c = findCommand(words_[0]);
        if (!c) return usage("unknown command " + quotedArg(words_[0]));
        return printText(c->text);
    }

    int toolVersion() {
        const std::string hid = env_.hidVersion.empty() ? "unknown" : env_.hidVersion;
        return succeed(JsonObject().add("version", ZELIO_VERSION).add("hid", hid),
                       std::string("zelioctl ") + ZELIO_VERSION + "\n" + hid + "\n");
    }

    // The family's devices: list and doctor.
    int listDevices(bool doctor) {
        const std::vector<FamilyDevice> devices = surveyFamily(host_);
        std::string text;
        if (!devices.empty()) {
            std::vector<std::vector<std::string>> rows;
            if (doctor)
                rows.push_back({"PATH", "PID", "MODEL", "MODE", "OPENS"});
            else
                rows.push_back({"PID", "MODEL", "MODE", "PATH", "PORT", "SERIAL"});
            for (const FamilyDevice& d : devices) {
                const std::string pid = hexText(d.productId), mode = isSettingId(d.productId) ? "setting" : "I/O";
                const std::string path = escapeForTerminal(d.path);
                if (doctor) {
                    rows.push_back({path, pid, modelOf(d.productId), mode,
                                    d.opens ? "yes" : "no: " + escapeForTerminal(d.openFailure.text())});
                } else {
                    rows.push_back({pid, modelOf(d.productId), mode, path,
                                    d.port.empty() ? "-" : escapeForTerminal(d.port),
                                    d.serial.empty() ? "-" : escapeForTerminal(d.serial)});
                }
            }
            std::vector<size_t> widths(rows[0].size(), 0);
            for (const auto& row : rows)
                for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
            for (const auto& row : rows) {
                std::string line;
                for (size_t i = 0; i < row.size(); ++i) {
                    line += row[i];
                    if (i + 1 < row.size()) line += std::string(widths[i] - row[i].size() + 2, ' ');
                }
                text += line + "\n";
            }
        }
        JsonObject json;
        json.add("modules", devicesJson(devices));
        if (doctor) {
            const std::string rule = installedUdevRule();
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
            text += "HID library: " + (env_.hidVersion.empty() ? std::string("unknown") : env_.hidVersion) + "\n";
            json.add("hid", env_.hidVersion);
            // Nothing to configure yet: say how to get there.
            std::vector<std::string> hints;
            const bool setting = std::any_of(devices.begin(), devices.end(),
                                             [](const FamilyDevice& d) { return isSettingId(d.productId); });
            for (const FamilyDevice& d : devices)
                if (!setting && d.opens) hints.push_back(settingModeHint(d));
            for (const std::string& hint : hints) text += hint + "\n";
            json.add("hints", hints);
        }
        Outcome o = diagnose("no module of the family is attached", devices);
        const bool problem = devices.empty() || o.code == kExitAccess;
        if (!problem) return succeed(json, text);
        if (!json_) out_.write(text);
        if (doctor && !json_ && devices.empty()) o.details.clear();
        o.json = json;
        return report(o);
    }

    int list() {
        if (!arity(0)) return wrongArity();
        return listDevices(false);
    }

    int doctor() {
        if (!arity(0)) return wrongArity();
        return listDevices(true);
    }

    // The first rules file in the udev folders that names the vendor ID.
    std::string installedUdevRule() {
        for (const std::string& dir : env_.udevRuleDirs) {
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
                    const size_t first =
                        text.find_first_not_of(" \t", lineStart == std::string::npos ? 0 : lineStart + 1);
                    if (first != std::string::npos && text[first] != '#') return file;
                }
            }
        }
        return {};
    }

    int udevRule() {
        if (!arity(0)) return wrongArity();
        return succeed(JsonObject().add("file", "70-zelio.rules").add("rule", udevRuleText()), udevRuleText());
    }

    int attachCommand() {
        if (!arity(0)) return wrongArity();
        const uint16_t id = attach(false);
        if (id == 0) return attachCode_;
        return succeed(JsonObject().add("pid", hexText(id)).add("model", modelOf(id)).add("path", attachedPath()),
                       hexText(id) + "\n");
    }

    int version() {
        if (!arity(0)) return wrongArity();
        const uint16_t id = attach(false);
        if (id == 0) return attachCode_;
        const int value = commands_.readFirmwareVersion();
        if (value == 0) return linkFailed("no firmware version received from the module");
        const std::string text = std::to_string(value / 16) + "." + std::to_string(value % 16);
        return succeed(JsonObject().add("pid", hexText(id)).add("firmware", text).add("path", attachedPath()),
                       text + "\n");
    }

    int read() {
        if (!arity(0)) return wrongArity();
        if (attach(false) == 0) return attachCode_;
        ChannelConfig config;
        if (!commands_.readConfiguration(config)) return linkFailed("no configuration received from the module");
        return succeed(configJson(config), configTable(config));
    }

    // PID OD HIGH IN from words_[first..first+3]; nullopt after a usage error.
    std::optional<ChannelConfig> parseConfig(size_t first) {
        const auto productId = parseHexStrict(words_[first], 0xFFFF);
        if (!productId) {
            usage("bad product ID " + quotedArg(words_[first]) + " (hexadecimal, at most FFFF)");
            return std::nullopt;
        }
        static constexpr const char* kNames[3] = {"open-drain mask", "high mask", "input mask"};
        uint8_t masks[3];
        for (size_t i = 0; i < 3; ++i) {
            const auto mask = parseHexStrict(words_[first + 1 + i], 0xFF);
            if (!mask) {
                usage(std::string("bad ") + kNames[i] + " " + quotedArg(words_[first + 1 + i]) +
                      " (hexadecimal, 00-FF)");
                return std::nullopt;
            }
            masks[i] = static_cast<uint8_t>(*mask);
        }
        return ChannelConfig{*productId, masks[0], masks[1], masks[2]};
    }

    // FILE's configuration for write --file and provision; nullopt after
    // reporting why not.
    std::optional<ChannelConfig> configFromFile(const std::string& arg, int& code) {
        std::string text, problem;
        if (!readRegularFile(arg, text, problem)) {
            code = fail(kExitIo, problem);
            return std::nullopt;
        }
        const ChannelConfig config = parseConfigText(text);
        if (!isNormalId(config.productId)) {
            code =
                usage(quotedArg(arg) + ": product ID " + hexText(config.productId) + " is not in 261-269 or 281-289");
            return std::nullopt;
        }
        return config;
    }

    // Writes `config` into the attached module and, unless --no-verify,
    // reads it back. kExitOk or the reported failure's code.
    int writeAndVerify(const ChannelConfig& config, bool& verified, std::string* stored) {
        verified = false;
        if (!commands_.writeConfiguration(config)) return linkFailed("the module did not confirm the configuration");
        if (options_.count("--no-verify")) return kExitOk;
        ChannelConfig back;
        if (!commands_.readConfiguration(back))
            return linkFailed("the configuration was written but could not be read back");
        if (stored) *stored = configLine(back);
        if (back != config) {
            Outcome o{kExitVerify,
                      "the module stored something other than what was written",
                      {"sent   " + configLine(config), "stored " + configLine(back)},
                      {}};
            o.json.add("sent", configLine(config)).add("stored", configLine(back));
            return report(o);
        }
        verified = true;
        return kExitOk;
    }

    int write() {
        ChannelConfig config;
        std::string source;
        if (options_.count("--file")) {
            if (!arity(0)) return wrongArity();
            int code = kExitOk;
            const auto loaded = configFromFile(option("--file"), code);
            if (!loaded) return code;
            config = *loaded;
            source = quotedArg(option("--file")) + ": ";
        } else {
            if (!arity(4)) return wrongArity();
            const auto parsed = parseConfig(0);
            if (!parsed) return kExitUsage;
            config = *parsed;
            if (!isNormalId(config.productId))
                return usage("product ID " + hexText(config.productId) + " is not in 261-269 or 281-289");
        }

        const uint16_t attached = attach(true);
        if (attached == 0) return attachCode_;
        if (familyOf(config.productId) != attached) {
            return usage(source + "the attached " + modelOf(attached) + " needs a product ID in " +
                         (attached == kSettingId260 ? "261-269" : "281-289"));
        }
        bool verified = false;
        if (const int code = writeAndVerify(config, verified, nullptr); code != kExitOk) return code;
        JsonObject json = configJson(config);
        json.add("verified", verified);
        return succeed(json, "written " + configLine(config) + (verified ? " and read back" : " (not read back)") +
                                 "; reconnect the module or run 'zelioctl reset' to start it as " +
                                 hexText(config.productId) + "\n");
    }

    int test() {
        if (words_.size() < 2) return wrongArity();
        const auto channel = parseDecimal(words_[0], 1, kChannelCount);
        if (!channel) return usage("bad channel " + quotedArg(words_[0]) + " (1-8)");
        const std::string& action = words_[1];
        int blinkByte = 0;
        int channelArg = *channel;
        std::string output = action;
        std::string text = action;
        if (action == "high" || action == "low") {
            if (!arity(2)) return wrongArity();
            if (action == "low") channelArg = -*channel;
        } else if (action == "blink") {
            int times[2] = {5, 5};
            if (arity(4)) {
                static constexpr const char* kNames[2] = {"high", "low"};
                for (int i = 0; i < 2; ++i) {
                    const auto value = parseDecimal(words_[2 + static_cast<size_t>(i)], 0, 15);
                    if (!value)
                        return usage(std::string("bad ") + kNames[i] + " time " +
                                     quotedArg(words_[2 + static_cast<size_t>(i)]) + " (0-15, units of 0.1 s)");
                    times[i] = *value;
                }
            } else if (!arity(2)) {
                return wrongArity();
            }
            blinkByte = times[0] * 16 + times[1];
            char line[96];
            if (blinkByte == 0) {
                // The module reads a blink byte of 0 as "steady".
                output = "high";
                std::snprintf(line, sizeof line, "high (blink times 0 and 0 drive the output steady high)");
            } else {
                std::snprintf(line, sizeof line, "blink 0x%02X (%d.%d s high, %d.%d s low)",
                              static_cast<unsigned>(blinkByte), times[0] / 10, times[0] % 10, times[1] / 10,
                              times[1] % 10);
            }
            text = line;
        } else {
            return usage("bad test action " + quotedArg(action) + " (high, low or blink)");
        }
        if (attach(true) == 0) return attachCode_;
        if (!commands_.outputTest(blinkByte, channelArg))
            return linkFailed("the output test command could not be sent");
        JsonObject json;
        json.add("channel", *channel).add("output", output);
        if (output == "blink") json.add("blink", hexText(static_cast<uint32_t>(blinkByte), 2));
        return succeed(json, "OUT " + std::to_string(*channel) + " " + text + "\n");
    }

    int reset() {
        if (!arity(0)) return wrongArity();
        const uint16_t id = attach(true);
        if (id == 0) return attachCode_;
        if (!commands_.resetToIoMode()) return linkFailed("the module did not confirm the reset");
        return succeed(JsonObject().add("pid", hexText(id)), "module reset to I/O mode\n");
    }

    int idChange() {
        if (!arity(1)) return wrongArity();
        const auto id = parseHexStrict(words_[0], 0xFFFF);
        if (!id || *id < 0x261 || *id > 0x269) return usage("bad product ID " + quotedArg(words_[0]) + " (261-269)");
        const auto presentId = static_cast<uint16_t>(*id);
        const std::vector<FamilyDevice> devices = surveyFamily(host_);
        if (auto o = ambiguous(devices, {presentId})) return report(*o);
        if (!commands_.changeIdTo260(presentId)) {
            std::vector<FamilyDevice> same;
            for (const FamilyDevice& d : devices)
                if (d.productId == presentId) same.push_back(d);
            Outcome o = diagnose("no " + modelOf(presentId) + " at " + hexText(presentId) + " is attached", same);
            if (o.code != kExitAccess && link_.lastFailure().kind != FailureKind::NotFound)
                return linkFailed("the ID change could not be sent");
            return report(o);
        }
        return succeed(JsonObject().add("pid", hexText(presentId)).add("new_pid", hexText(kSettingId260)),
                       "ID change sent to " + hexText(presentId) + "; the module comes back as 0x260\n");
    }

    int save() {
        if (!arity(5)) return wrongArity();
        const auto config = parseConfig(1);
        if (!config) return kExitUsage;
        if (!isNormalId(config->productId))
            return usage("product ID " + hexText(config->productId) + " is not in 261-269 or 281-289");
        const std::string& path = words_[0];
        if (files().info(path).kind == FileInfo::Other)
            return fail(kExitIo, "cannot write " + quotedArg(words_[0]) + ": not a regular file");
        if (!saveConfigFileUtf8(path, *config)) return fail(kExitIo, "cannot write " + quotedArg(words_[0]));
        JsonObject json = configJson(*config);
        json.add("file", words_[0]);
        return succeed(json, "saved " + configLine(*config) + " to " + escapeForTerminal(words_[0]) + "\n");
    }

    int show() {
        if (!arity(1)) return wrongArity();
        std::string text, problem;
        if (!readRegularFile(words_[0], text, problem)) return fail(kExitIo, problem);
        const ChannelConfig config = parseConfigText(text);
        std::vector<std::string> warnings;
        if (!isConfigLine(text, config)) {
            warnings.push_back(quotedArg(words_[0]) + " does not hold a configuration line like \"0283 40 C0 01\"; " +
                               "it reads as \"" + configLine(config) + "\"");
        } else if (!isNormalId(config.productId)) {
            warnings.push_back(quotedArg(words_[0]) + ": product ID " + hexText(config.productId) +
                               " is not in 261-269 or 281-289; 'write --file' refuses it");
        }
        JsonObject json = configJson(config);
        json.add("file", words_[0]).add("warnings", warnings);
        if (!json_)
            for (const std::string& w : warnings) err_.write("zelioctl: warning: " + w + '\n');
        return succeed(json, configTable(config));
    }

    // ------------------------------------------------------------ waiting

    bool interrupted() const { return env_.interrupted && env_.interrupted->load(); }

    // Polls the family's devices until `done` says so; the device it chose,
    // or nullopt after `timeoutMs` (negative: no limit) or an interrupt.
    template <typename Done>
    std::optional<FamilyDevice> pollUntil(int64_t timeoutMs, Done done) {
        const int64_t start = clock_.nowMs();
        for (;;) {
            const std::vector<FamilyDevice> devices = surveyFamily(host_);
            if (auto found = done(devices)) return found;
            if (interrupted()) return std::nullopt;
            if (timeoutMs >= 0 && clock_.nowMs() - start >= timeoutMs) return std::nullopt;
            clock_.sleepMs(kPollMs);
        }
    }

    static std::optional<FamilyDevice> withId(const std::vector<FamilyDevice>& devices, uint16_t a, uint16_t b = 0) {
        for (const FamilyDevice& d : devices)
            if (d.productId == a || (b != 0 && d.productId == b)) return d;
        return std::nullopt;
    }

    // --timeout S in ms, -1 without one; nullopt after a usage error.
    std::optional<int64_t> timeoutOption() {
        if (!options_.count("--timeout")) return -1;
        const auto seconds = parseDecimal(option("--timeout"), 0, 7 * 24 * 3600);
        if (!seconds) {
            usage("bad time-out " + quotedArg(option("--timeout")) + " (whole seconds)");
            return std::nullopt;
        }
        return static_cast<int64_t>(*seconds) * 1000;
    }

    int wait() {
        if (!arity(0)) return wrongArity();
        const int kinds =
            static_cast<int>(options_.count("--setting") + options_.count("--gone") + options_.count("--pid"));
        if (kinds != 1) return usage("give one of --setting, --pid PID, --gone");
        const auto timeout = timeoutOption();
        if (!timeout) return kExitUsage;
        uint16_t pid = 0;
        if (options_.count("--pid")) {
            const auto id = parseHexStrict(option("--pid"), 0xFFFF);
            if (!id || !isModuleId(*id))
                return usage("bad product ID " + quotedArg(option("--pid")) + " (260-269, 280-289)");
            pid = static_cast<uint16_t>(*id);
        }
        const bool gone = options_.count("--gone") != 0;
        const FamilyDevice none{};
        const auto found =
            pollUntil(*timeout, [&](const std::vector<FamilyDevice>& devices) -> std::optional<FamilyDevice> {
                if (gone) return devices.empty() ? std::optional<FamilyDevice>(none) : std::nullopt;
                return pid ? withId(devices, pid) : withId(devices, kSettingId280, kSettingId260);
            });
        if (!found) {
            if (interrupted()) return fail(130, "interrupted");
            const std::string what = gone  ? "a module is still attached"
                                     : pid ? "no module with product ID " + hexText(pid) + " appeared"
                                           : "no module in setting mode appeared";
            return fail(kExitTimeout, what + " within " + option("--timeout") + " s");
        }
        if (gone) return succeed(JsonObject().add("gone", true), "no module attached\n");
        JsonObject json = deviceJson(*found);
        return succeed(json, hexText(found->productId) + " " + modelOf(found->productId) + " at " +
                                 escapeForTerminal(found->path) + "\n");
    }

    // ------------------------------------------------------------ production line

    struct Provisioned {
        std::string path, port, firmware, configuration, result;
        int code = kExitOk;
    };

    // One module through the line, from the found setting-mode device on.
    Provisioned provisionOne(const FamilyDevice& device, const ChannelConfig& config) {
        Provisioned row{device.path, device.port, "", configLine(config), "ok", kExitOk};
        DeviceSelector one;
        one.path = device.path;
        host_.select(one);
        // Failures are reported as they happen (text) and kept for the row.
        auto failed = [&](int code, const std::string& what) {
            row.code = code;
            row.result = std::string(exitCodeName(code)) + ": " + what;
            return row;
        };
        if (commands_.attach() != familyOf(config.productId))
            return failed(codeOf(link_.lastFailure()), "the module in setting mode did not answer");
        bool verified = false;
        std::string stored;
        {
            // A failure prints as text on stderr, even with --json: the one
            // JSON object comes at the end, with the row.
            const bool json = json_;
            json_ = false;
            const int code = writeAndVerify(config, verified, &stored);
            json_ = json;
            if (code == kExitVerify) return failed(code, "stored " + stored);
            if (code != kExitOk) return failed(code, link_.lastFailure().text());
        }
        const int firmware = commands_.readFirmwareVersion();
        if (firmware == 0) return failed(codeOf(link_.lastFailure()), "no firmware version");
        row.firmware = std::to_string(firmware / 16) + "." + std::to_string(firmware % 16);
        if (!commands_.resetToIoMode()) return failed(codeOf(link_.lastFailure()), "no reset confirmation");

        // Back under its new ID: at the same port where the port is known.
        DeviceSelector back = selector_;
        if (!device.port.empty()) back = DeviceSelector{"", device.port};
        host_.select(back);
        const auto returned = pollUntil(kReturnTimeoutMs, [&](const std::vector<FamilyDevice>& devices) {
            return withId(devices, static_cast<uint16_t>(config.productId));
        });
        if (!returned) {
            if (interrupted()) return failed(kExitIo, "interrupted");
            return failed(kExitTimeout, "did not come back as " + hexText(config.productId));
        }
        row.path = returned->path;
        return row;
    }

    int provision() {
        if (!arity(1)) return wrongArity();
        const auto timeout = timeoutOption();
        if (!timeout) return kExitUsage;
        std::optional<int> count;
        if (options_.count("--count")) {
            count = parseDecimal(option("--count"), 1, 1000000);
            if (!count) return usage("bad count " + quotedArg(option("--count")) + " (1 or more)");
        }
        int code = kExitOk;
        const auto config = configFromFile(words_[0], code);
        if (!config) return code;

        // The log: one CSV row appended per module, the header first in a new file.
        const bool logging = options_.count("--log") != 0;
        const std::string logPath = option("--log");
        if (logging) {
            const FileInfo log = files().info(logPath);
            if (log.kind == FileInfo::Other)
                return fail(kExitIo, "cannot write " + quotedArg(option("--log")) + ": not a regular file");
            const bool fresh = log.kind == FileInfo::Missing || log.size == 0;
            const char* header = fresh ? "time,path,port,firmware,configuration,result\r\n" : "";
            if (!files().append(logPath, header, ""))
                return fail(kExitIo, "cannot write " + quotedArg(option("--log")));
        }

        const uint16_t settingId = familyOf(config->productId);
        const std::string model = modelOf(settingId);
        std::vector<JsonObject> results;
        int passed = 0, failedCount = 0, firstFailure = kExitOk;
        while (!count || passed + failedCount < *count) {
            host_.select(selector_);
            if (!json_) {
                out_.write("waiting for a " + model + " in setting mode (" + hexText(settingId) + ")\n");
                out_.flush();
            }
            const auto device = pollUntil(
                *timeout, [&](const std::vector<FamilyDevice>& devices) { return withId(devices, settingId); });
            if (!device) {
                if (!interrupted()) {
                    firstFailure = firstFailure ? firstFailure : kExitTimeout;
                    if (!json_)
                        err_.write("zelioctl: no " + model + " in setting mode within " + option("--timeout") + " s\n");
                }
                break;
            }
            const Provisioned row = provisionOne(*device, *config);
            if (row.code == kExitOk)
                ++passed;
            else
                ++failedCount, firstFailure = firstFailure ? firstFailure : row.code;
            const std::string time = env_.wallTime ? env_.wallTime() : utcNow();
            if (logging) {
                const std::string line = csvField(time) + ',' + csvField(row.path) + ',' + csvField(row.port) + ',' +
                                         csvField(row.firmware) + ',' + csvField(row.configuration) + ',' +
                                         csvField(row.result) + "\r\n";
                if (!files().append(logPath, "", line)) {
                    return fail(kExitIo, "cannot write " + quotedArg(option("--log")));
                }
            }
            JsonObject r;
            r.add("time", time)
                .add("path", row.path)
                .add("port", row.port)
                .add("firmware", row.firmware)
                .add("configuration", row.configuration)
                .add("result", row.result);
            results.push_back(r);
            if (!json_) {
                out_.write("module " + std::to_string(results.size()) + ": " +
                           escapeForTerminal(row.port.empty() ? row.path : row.port) + " firmware " +
                           (row.firmware.empty() ? "-" : row.firmware) + ' ' + row.configuration + ' ' +
                           escapeForTerminal(row.result) + "\nunplug the module\n");
                out_.flush();
            }
            // Until it is unplugged: nothing at its port (or path).
            DeviceSelector where;
            if (!row.port.empty())
                where.port = row.port;
            else
                where.path = row.path;
            host_.select(where);
            const FamilyDevice none{};
            pollUntil(-1, [&](const std::vector<FamilyDevice>& devices) {
                return devices.empty() ? std::optional<FamilyDevice>(none) : std::nullopt;
            });
            if (interrupted()) break;
        }
        const std::string summary = "provisioned " + std::to_string(passed + failedCount) +
                                    " modules: " + std::to_string(passed) + " ok, " + std::to_string(failedCount) +
                                    " failed" + (interrupted() ? " (interrupted)" : "") + "\n";
        JsonObject json;
        json.add("count", passed + failedCount)
            .add("passed", passed)
            .add("failed", failedCount)
            .add("results", results);
        if (firstFailure == kExitOk) return succeed(json, summary);
        if (!json_) {
            out_.write(summary);
            return firstFailure;
        }
        Outcome o{firstFailure, summary.substr(0, summary.size() - 1), {}, json};
        return report(o);
    }

    const std::vector<std::string>& args_;
    TextSink& out_;
    TextSink& err_;
    Clock& clock_;
    const CliEnvironment& env_;
    CliHost host_;
    ModuleLink link_;
    CommandSet commands_;

    std::string command_;
    std::vector<std::string> words_;
    std::map<std::string, std::string> options_;
    DeviceSelector selector_;
    bool json_ = false;
    bool debug_ = false;
    int attachCode_ = kExitNoModule;
};

}  // namespace

const char* cliUsage() { return kUsage; }

CliEnvironment defaultCliEnvironment() {
    CliEnvironment env;
#ifndef _WIN32
    env.udevRuleDirs = {"/etc/udev/rules.d", "/run/udev/rules.d", "/usr/local/lib/udev/rules.d",
                        "/usr/lib/udev/rules.d", "/lib/udev/rules.d"};
#endif
    env.wallTime = utcNow;
    return env;
}

bool takeEmulateOption(std::vector<std::string>& args) {
    bool found = false;
    for (auto it = args.begin(); it != args.end() && *it != "--";) {
        if (*it == "--emulate") {
            it = args.erase(it);
            found = true;
        } else {
            ++it;
        }
    }
    return found;
}

int runCli(const std::vector<std::string>& args, TextSink& out, TextSink& err, HidHost& host, Clock& clock) {
    return runCli(args, out, err, host, clock, defaultCliEnvironment());
}

int runCli(const std::vector<std::string>& args, TextSink& out, TextSink& err, HidHost& host, Clock& clock,
           const CliEnvironment& environment) {
    Cli cli(args, out, err, host, clock, environment);
    return cli.run();
}

}  // namespace zelio
