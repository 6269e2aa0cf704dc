#include "cli/cli.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <string>
#include <system_error>

#include "config/channel_config.h"
#include "config/config_file.h"
#include "link/module_link.h"
#include "protocol/command_set.h"

namespace zelio {

namespace {

constexpr const char* kUsage =
    "usage: zelioctl [--emulate] COMMAND [ARGUMENTS]\n"
    "\n"
    "Module commands (the module must be in setting mode, 0x280 or 0x260):\n"
    "  list                        product IDs of all attached modules of the family\n"
    "  attach                      the setting-mode module the commands use\n"
    "  version                     firmware version of that module\n"
    "  read                        its configuration: file line and channel table\n"
    "  write PID OD HIGH IN        write a configuration: product ID 261-269 or\n"
    "                              281-289 (matching the module), open-drain,\n"
    "                              high and input masks (hexadecimal)\n"
    "  write --file FILE           write the configuration stored in FILE\n"
    "  test CH high|low            drive output CH (1-8) steady high or low\n"
    "  test CH blink [HIGH LOW]    blink output CH; HIGH and LOW times 0-15 in\n"
    "                              units of 0.1 s (5 and 5 when left out)\n"
    "  reset                       leave setting mode, back to I/O mode\n"
    "  idchange PID                move the ZEL260 at PID (261-269) back to 260\n"
    "\n"
    "File commands (no module needed):\n"
    "  save FILE PID OD HIGH IN    store a configuration in FILE (hexadecimal)\n"
    "  show FILE                   print the configuration stored in FILE\n"
    "\n"
    "  help                        this text\n"
    "\n"
    "Mask bit 7 (0x80) is channel 1, bit 0 (0x01) channel 8. Hexadecimal\n"
    "numbers may carry a 0x prefix.\n"
    "--emulate runs against two emulated modules: a ZEL280 in setting mode\n"
    "(firmware 1.2) and a ZEL260 at 0x261.\n"
    "Exit status: 0 success, 1 the module or a file operation failed,\n"
    "2 bad usage (nothing was done).\n";

std::string hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(value));
    return text;
}

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

// Arguments are UTF-8 on every platform.
std::filesystem::path toPath(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

bool readableFile(const std::filesystem::path& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return false;
    std::ifstream in(path, std::ios::binary);
    return static_cast<bool>(in);
}

std::string configLine(const ChannelConfig& config) {
    std::string line = formatConfigLine(config);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    return line;
}

void printConfig(std::ostream& out, const ChannelConfig& config) {
    out << configLine(config) << '\n';
    out << "CH  MODE        DEFAULT\n";
    for (int row = 0; row < kChannelCount; ++row) {
        const uint8_t bit = rowBit(row);
        // An open-drain bit wins over an input bit, as on the channel panel.
        const bool openDrain = (config.openDrainMask & bit) != 0;
        const bool input = !openDrain && (config.inputMask & bit) != 0;
        const char* mode = openDrain ? "open-drain" : input ? "input" : "push/pull";
        const char* level = input ? "-" : (config.highMask & bit) != 0 ? "high" : "low";
        char line[64];
        std::snprintf(line, sizeof line, "%-3d %-11s %s\n", row + 1, mode, level);
        out << line;
    }
}

class Cli {
public:
    Cli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, HidHost& host, Clock& clock)
        : args_(args), out_(out), err_(err), link_(host, clock), commands_(link_) {}

    int run() {
        if (args_.empty()) return usage("no command given");
        const std::string& command = args_[0];
        if (command == "help" || command == "--help" || command == "-h") {
            if (args_.size() != 1) return usage("'help' takes no arguments");
            out_ << kUsage;
            return kCliOk;
        }
        if (command == "list") return list();
        if (command == "attach") return attachCommand();
        if (command == "version") return version();
        if (command == "read") return read();
        if (command == "write") return write();
        if (command == "test") return test();
        if (command == "reset") return reset();
        if (command == "idchange") return idChange();
        if (command == "save") return save();
        if (command == "show") return show();
        return usage("unknown command '" + command + "'");
    }

private:
    int usage(const std::string& message) {
        err_ << "zelioctl: " << message << " (see 'zelioctl help')\n";
        return kCliUsage;
    }
    int failed(const std::string& message) {
        err_ << "zelioctl: " << message << '\n';
        return kCliFailed;
    }
    // The message, then why the link's last step failed, when the system
    // said more than that no module answered.
    int linkFailed(const std::string& message) {
        const Failure& why = link_.lastFailure();
        if (!why || why.kind == FailureKind::NotFound) return failed(message);
        return failed(message + " (" + why.text() + ")");
    }
    bool arity(size_t words) const { return args_.size() == words; }
    int wrongArity() { return usage("wrong number of arguments for '" + args_[0] + "'"); }

    // The attach procedure; 0 after reporting that no module was found.
    uint16_t attach() {
        const uint16_t id = commands_.attach();
        if (id != 0) return id;
        // "found 0x280 at PATH but cannot open it: Permission denied"
        const Failure& why = link_.lastFailure();
        if (why && why.kind != FailureKind::NotFound)
            failed(why.text());
        else
            failed("no module in setting mode (0x280 or 0x260) is attached");
        return 0;
    }

    // PID OD HIGH IN from args_[first..first+3].
    std::optional<ChannelConfig> parseConfig(size_t first) {
        const auto productId = parseHexStrict(args_[first], 0xFFFF);
        if (!productId) {
            usage("bad product ID '" + args_[first] + "' (hexadecimal, at most FFFF)");
            return std::nullopt;
        }
        static constexpr const char* kNames[3] = {"open-drain mask", "high mask", "input mask"};
        uint8_t masks[3];
        for (size_t i = 0; i < 3; ++i) {
            const auto mask = parseHexStrict(args_[first + 1 + i], 0xFF);
            if (!mask) {
                usage(std::string("bad ") + kNames[i] + " '" + args_[first + 1 + i] + "' (hexadecimal, 00-FF)");
                return std::nullopt;
            }
            masks[i] = static_cast<uint8_t>(*mask);
        }
        ChannelConfig config;
        config.productId = *productId;
        config.openDrainMask = masks[0];
        config.highMask = masks[1];
        config.inputMask = masks[2];
        return config;
    }

    int list() {
        if (!arity(1)) return wrongArity();
        for (const uint16_t id : link_.listModules()) out_ << hex(id) << '\n';
        return kCliOk;
    }

    int attachCommand() {
        if (!arity(1)) return wrongArity();
        const uint16_t id = attach();
        if (id == 0) return kCliFailed;
        out_ << hex(id) << '\n';
        return kCliOk;
    }

    int version() {
        if (!arity(1)) return wrongArity();
        if (attach() == 0) return kCliFailed;
        const int value = commands_.readFirmwareVersion();
        if (value == 0) return linkFailed("no firmware version received from the module");
        out_ << value / 16 << '.' << value % 16 << '\n';
        return kCliOk;
    }

    int read() {
        if (!arity(1)) return wrongArity();
        if (attach() == 0) return kCliFailed;
        ChannelConfig config;
        if (!commands_.readConfiguration(config)) return linkFailed("no configuration received from the module");
        printConfig(out_, config);
        return kCliOk;
    }

    int write() {
        ChannelConfig config;
        std::string source;
        if (args_.size() >= 2 && args_[1] == "--file") {
            if (!arity(3)) return wrongArity();
            const std::filesystem::path path = toPath(args_[2]);
            if (!readableFile(path)) return failed("cannot read '" + args_[2] + "'");
            config = loadConfigFile(path);
            source = "'" + args_[2] + "': ";
        } else {
            if (!arity(5)) return wrongArity();
            const auto parsed = parseConfig(1);
            if (!parsed) return kCliUsage;
            config = *parsed;
        }
        if (!isNormalId(config.productId))
            return usage(source + "product ID " + hex(config.productId) + " is not in 261-269 or 281-289");

        const uint16_t attached = attach();
        if (attached == 0) return kCliFailed;
        if (familyOf(config.productId) != attached) {
            return usage(source + "the attached " + std::string(modelName(attached)) + " needs a product ID in " +
                         (attached == kSettingId260 ? "261-269" : "281-289"));
        }
        if (!commands_.writeConfiguration(config)) return linkFailed("the module did not confirm the configuration");
        out_ << "written " << configLine(config) << "; reconnect the module or run 'zelioctl reset' to start it as "
             << hex(config.productId) << '\n';
        return kCliOk;
    }

    int test() {
        if (args_.size() < 3) return wrongArity();
        const auto channel = parseDecimal(args_[1], 1, kChannelCount);
        if (!channel) return usage("bad channel '" + args_[1] + "' (1-8)");
        const std::string& action = args_[2];
        int blinkByte = 0;
        int channelArg = *channel;
        std::string done;
        if (action == "high" || action == "low") {
            if (!arity(3)) return wrongArity();
            if (action == "low") channelArg = -*channel;
            done = action;
        } else if (action == "blink") {
            int times[2] = {5, 5};
            if (arity(5)) {
                static constexpr const char* kNames[2] = {"high", "low"};
                for (int i = 0; i < 2; ++i) {
                    const auto value = parseDecimal(args_[3 + static_cast<size_t>(i)], 0, 15);
                    if (!value)
                        return usage(std::string("bad ") + kNames[i] + " time '" + args_[3 + static_cast<size_t>(i)] +
                                     "' (0-15, units of 0.1 s)");
                    times[i] = *value;
                }
            } else if (!arity(3)) {
                return wrongArity();
            }
            blinkByte = times[0] * 16 + times[1];
            char text[32];
            std::snprintf(text, sizeof text, "blink 0x%02X", static_cast<unsigned>(blinkByte));
            done = text;
        } else {
            return usage("bad test action '" + action + "' (high, low or blink)");
        }
        if (attach() == 0) return kCliFailed;
        if (!commands_.outputTest(blinkByte, channelArg)) return linkFailed("the output test command could not be sent");
        out_ << "OUT " << *channel << ' ' << done << '\n';
        return kCliOk;
    }

    int reset() {
        if (!arity(1)) return wrongArity();
        if (attach() == 0) return kCliFailed;
        if (!commands_.resetToIoMode()) return linkFailed("the module did not confirm the reset");
        out_ << "module reset to I/O mode\n";
        return kCliOk;
    }

    int idChange() {
        if (!arity(2)) return wrongArity();
        const auto id = parseHexStrict(args_[1], 0xFFFF);
        if (!id || *id < 0x261 || *id > 0x269) return usage("bad product ID '" + args_[1] + "' (261-269)");
        if (!commands_.changeIdTo260(static_cast<uint16_t>(*id)))
            return linkFailed("no " + std::string(modelName(*id)) + " at " + hex(*id) + " is attached");
        out_ << "ID change sent to " << hex(*id) << "; the module comes back as 0x260\n";
        return kCliOk;
    }

    int save() {
        if (!arity(6)) return wrongArity();
        const auto config = parseConfig(2);
        if (!config) return kCliUsage;
        if (config->productId == 0) return usage("product ID 0 means none; choose a product ID");
        if (!saveConfigFile(toPath(args_[1]), *config)) return failed("cannot write '" + args_[1] + "'");
        out_ << "saved " << configLine(*config) << " to " << args_[1] << '\n';
        return kCliOk;
    }

    int show() {
        if (!arity(2)) return wrongArity();
        const std::filesystem::path path = toPath(args_[1]);
        if (!readableFile(path)) return failed("cannot read '" + args_[1] + "'");
        printConfig(out_, loadConfigFile(path));
        return kCliOk;
    }

    const std::vector<std::string>& args_;
    std::ostream& out_;
    std::ostream& err_;
    ModuleLink link_;
    CommandSet commands_;
};

}  // namespace

const char* cliUsage() { return kUsage; }

int runCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, HidHost& host,
           Clock& clock) {
    Cli cli(args, out, err, host, clock);
    return cli.run();
}

}  // namespace zelio
