// Waiting for modules, and the production line: wait and provision.
#include <cerrno>

#include "cli/cli_verbs.h"
#include "config/config_file.h"
#include "ids/product_id.h"

namespace zelio {

namespace {

// How long a module may take to come back under its new product ID.
constexpr int kReturnTimeoutMs = 15000;

// A field that a spreadsheet would take for a formula (= + - @, a tab or a
// carriage return in front) gets a ' in front; one with a comma, quote or
// line break is quoted.
std::string csvField(const std::string& text) {
    const std::string field = !text.empty() && std::string_view("=+-@\t\r").find(text[0]) != std::string_view::npos
                                  ? "'" + text
                                  : text;
    if (field.find_first_of(",\"\r\n") == std::string::npos) return field;
    std::string out = "\"";
    for (const char c : field) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

struct Provisioned {
    std::string path, port, firmware, configuration, result;
    int code = kExitOk;
};

// One module through the line, from the found setting-mode device on.
// Failures print as text on stderr, even with --json: the one JSON object
// comes at the end, with the row.
Provisioned provisionOne(Session& s, const CliOutput& out, const FamilyDevice& device, const ChannelConfig& config) {
    Provisioned row{device.path, device.port, "", configLine(config), "ok", kExitOk};
    DeviceSelector one;
    one.path = device.path;
    s.select(one);
    auto failed = [&](int code, const std::string& what) {
        row.code = code;
        row.result = std::string(exitCodeName(code)) + ": " + what;
        return row;
    };
    if (s.commands.attach() != familyOf(config.productId))
        return failed(exitCodeOf(s.link.lastFailure().kind), "the module in setting mode did not answer");
    bool verified = false;
    std::string stored;
    CliOutput text = out.asText();
    if (const int code = s.writeAndVerify(text, config, verified, &stored); code != kExitOk) {
        if (code == kExitVerify) return failed(code, "stored " + stored);
        return failed(code, s.link.lastFailure().text());
    }
    const int firmware = s.commands.readFirmwareVersion();
    if (firmware == 0) return failed(exitCodeOf(s.link.lastFailure().kind), "no firmware version");
    row.firmware = std::to_string(firmware / 16) + "." + std::to_string(firmware % 16);
    // Back under its new ID: at the same port where the port is known;
    // elsewhere (Windows) as a module that was not there before the reset.
    std::vector<FamilyDevice> before;
    if (device.port.empty()) {
        s.select(DeviceSelector{});
        before = s.survey();
        s.select(one);
    }
    if (!s.commands.resetToIoMode()) return failed(exitCodeOf(s.link.lastFailure().kind), "no reset confirmation");
    s.select(device.port.empty() ? DeviceSelector{} : DeviceSelector{"", device.port, ""});
    // A Ctrl-C now lets the module finish: it is configured and reset.
    const auto returned = s.pollUntil(
        kReturnTimeoutMs,
        [&](const std::vector<FamilyDevice>& devices) {
            return newDeviceWithId(devices, before, static_cast<uint16_t>(config.productId));
        },
        false);
    if (!returned) return failed(kExitTimeout, "did not come back as " + hexText(config.productId));
    row.path = returned->path;
    return row;
}

}  // namespace

int waitVerb(Session& s, CliOutput& out) {
    if (!s.line.arity(0)) return s.wrongArity(out);
    const int kinds = static_cast<int>(s.line.has("--setting") + s.line.has("--gone") + s.line.has("--pid"));
    if (kinds != 1) return s.usage(out, "give one of --setting, --pid PID, --gone");
    const auto timeout = s.timeoutOption(out);
    if (!timeout) return kExitUsage;
    uint16_t pid = 0;
    if (s.line.has("--pid")) {
        const auto id = parseHexStrict(s.line.option("--pid"), 0xFFFF);
        if (!id || !isModuleId(*id))
            return s.usage(out, "bad product ID " + quotedArg(s.line.option("--pid")) + " (260-269, 280-289)");
        pid = static_cast<uint16_t>(*id);
    }
    const bool gone = s.line.has("--gone");
    const FamilyDevice none{};
    const auto found = s.pollUntil(*timeout, [&](const std::vector<FamilyDevice>& devices) {
        if (gone) return devices.empty() ? std::optional<FamilyDevice>(none) : std::nullopt;
        return pid ? Session::withId(devices, pid) : Session::withId(devices, kSettingId280, kSettingId260);
    });
    if (!found) {
        if (s.interrupted()) return out.fail(130, "interrupted");
        const std::string what = gone  ? "a module is still attached"
                                 : pid ? "no module with product ID " + hexText(pid) + " appeared"
                                       : "no module in setting mode appeared";
        return out.fail(kExitTimeout, what + (gone ? " after " : " within ") + s.line.option("--timeout") + " s");
    }
    if (gone) return out.succeed(JsonObject().add("gone", true), "no module attached\n");
    return out.succeed(deviceJson(*found), hexText(found->productId) + " " + modelOf(found->productId) + " at " +
                                               escapeForTerminal(found->path) + "\n");
}

namespace {

// Why an append failed (its errno), where that is not the file's own fault.
std::string whyNot(int code) {
    return code == EWOULDBLOCK ? ": another program has kept it locked for " +
                                      std::to_string(kAppendLockWaitMs / 1000) + " s"
                                : "";
}

}  // namespace

int provisionVerb(Session& s, CliOutput& out) {
    if (!s.line.arity(1)) return s.wrongArity(out);
    const auto timeout = s.timeoutOption(out);
    if (!timeout) return kExitUsage;
    std::optional<int> count;
    if (s.line.has("--count")) {
        count = parseDecimal(s.line.option("--count"), 1, 1000000);
        if (!count) return s.usage(out, "bad count " + quotedArg(s.line.option("--count")) + " (1 or more)");
    }
    int code = kExitOk;
    const auto config = s.configFromFile(out, s.words()[0], code);
    if (!config) return code;

    // The log: one CSV row appended per module, the header first in a new
    // (or emptied) file, each under a lock and synced.
    const bool logging = s.line.has("--log");
    const std::string logPath = s.line.option("--log");
    const char* const header = "time,path,port,firmware,configuration,result\r\n";
    if (logging) {
        if (files().info(logPath).kind == FileInfo::Other)
            return out.fail(kExitIo, "cannot write " + quotedArg(logPath) + ": not a regular file");
        errno = 0;
        if (!files().append(logPath, header, "")) {
            const int code = errno;
            return out.fail(kExitIo, "cannot write " + quotedArg(logPath) + whyNot(code));
        }
    }

    const uint16_t settingId = familyOf(config->productId);
    const std::string model = modelOf(settingId);
    std::vector<JsonObject> results;
    int passed = 0, failedCount = 0, firstFailure = kExitOk;
    bool stop = false;  // after this module: the log or the output cannot be written
    while (!count || passed + failedCount < *count) {
        s.select(s.line.selector);
        out.progress("waiting for a " + model + " in setting mode (" + hexText(settingId) + ")\n");
        const auto device = s.pollUntil(
            *timeout, [&](const std::vector<FamilyDevice>& devices) { return Session::withId(devices, settingId); });
        if (!device) {
            if (!s.interrupted()) {
                firstFailure = firstFailure ? firstFailure : kExitTimeout;
                out.note("no " + model + " in setting mode within " + s.line.option("--timeout") + " s");
            }
            break;
        }
        const Provisioned row = provisionOne(s, out, *device, *config);
        if (row.code == kExitOk)
            ++passed;
        else
            ++failedCount, firstFailure = firstFailure ? firstFailure : row.code;
        const std::string time = s.env.wallTime ? s.env.wallTime() : utcNow();
        if (logging) {
            const std::string line = csvField(time) + ',' + csvField(row.path) + ',' + csvField(row.port) + ',' +
                                     csvField(row.firmware) + ',' + csvField(row.configuration) + ',' +
                                     csvField(row.result) + "\r\n";
            // The row is not lost: it goes to stderr, and the run stops with its summary.
            errno = 0;
            if (!files().append(logPath, header, line)) {
                const int code = errno;
                out.error("cannot write " + quotedArg(logPath) + whyNot(code) + "; the row: " + escapeForTerminal(line));
                firstFailure = firstFailure ? firstFailure : kExitIo;
                stop = true;
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
        out.progress("module " + std::to_string(results.size()) + ": " +
                     escapeForTerminal(row.port.empty() ? row.path : row.port) + " firmware " +
                     (row.firmware.empty() ? "-" : row.firmware) + ' ' + row.configuration + ' ' +
                     escapeForTerminal(row.result) + "\nunplug the module\n");
        // A reader that went away (a closed pipe): this module is done and logged.
        if (stop || out.outputFailed()) break;
        // Until it is unplugged: nothing at its port (or path).
        DeviceSelector where;
        if (!row.port.empty())
            where.port = row.port;
        else
            where.path = row.path;
        s.select(where);
        const FamilyDevice none{};
        const auto unplugged = s.pollUntil(*timeout, [&](const std::vector<FamilyDevice>& devices) {
            return devices.empty() ? std::optional<FamilyDevice>(none) : std::nullopt;
        });
        if (s.interrupted()) break;
        if (!unplugged) {
            firstFailure = firstFailure ? firstFailure : kExitTimeout;
            out.note("module " + std::to_string(results.size()) + " was not unplugged within " +
                     s.line.option("--timeout") + " s");
            break;
        }
    }
    const std::string summary = "provisioned " + std::to_string(passed + failedCount) +
                                " modules: " + std::to_string(passed) + " ok, " + std::to_string(failedCount) +
                                " failed" + (s.interrupted() ? " (interrupted)" : "") + "\n";
    JsonObject json;
    json.add("count", passed + failedCount).add("passed", passed).add("failed", failedCount).add("results", results);
    if (firstFailure == kExitOk) return out.succeed(json, summary);
    if (!out.json()) {
        out.text(summary);
        return firstFailure;
    }
    return out.report(Outcome{firstFailure, summary.substr(0, summary.size() - 1), {}, json});
}

}  // namespace zelio
