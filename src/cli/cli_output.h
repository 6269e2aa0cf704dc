// zelioctl's output: the one object every command writes through, as text or
// as one JSON object (--json), and the text and JSON of configurations and
// devices.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/cli_devices.h"
#include "cli/cli_text.h"
#include "cli/exit_codes.h"
#include "cli/text_sink.h"
#include "config/channel_config.h"

namespace zelio {

// A failure the CLI reports: exit code, one message line, detail lines, and
// extra members for --json.
struct Outcome {
    int code = kExitOk;
    std::string message;
    std::vector<std::string> details;
    JsonObject json;
};

// Results go to `out`, errors to `err`; with --json both go to `out` as one
// object. The form is fixed when the object is made.
class CliOutput {
public:
    CliOutput(TextSink& out, TextSink& err, bool json) : out_(out), err_(err), json_(json) {}

    bool json() const { return json_; }
    // The same streams as text: for failures that are part of a larger
    // result (one module of a production run).
    CliOutput asText() const { return CliOutput(out_, err_, false); }

    // A help text: as it is, or {"ok": true, "usage": text}.
    int printText(const char* text);
    // Success: the object with "ok": true in front, or the text.
    int succeed(const JsonObject& json, const std::string& text);
    // A failure: {"ok": false, "error", "message", "details", ...}, or
    // "zelioctl: message" and indented details on `err`. Returns its code.
    int report(const Outcome& o);
    int fail(int code, const std::string& message) { return report(Outcome{code, message, {}, {}}); }

    // Text only (nothing with --json): results on `out`, progress on `out`
    // at once, and "zelioctl: line" on `err`.
    void text(const std::string& text);
    void progress(const std::string& text);
    void note(const std::string& line);
    // "zelioctl: line" on `err`, with --json too.
    void error(const std::string& line);
    // Whether something written to `out` could not be (a closed pipe).
    bool outputFailed() const { return out_.failed(); }
    // Members every JSON object gets at its end (--all: the module).
    void tag(JsonObject members) { tag_ = std::move(members); }

private:
    void emit(const JsonObject& head, const JsonObject& tail = JsonObject());

    TextSink& out_;
    TextSink& err_;
    bool json_;
    JsonObject tag_;
};

// 'ARG', escaped for a terminal.
std::string quotedArg(const std::string& arg);

// "0283 40 C0 01": the file line without its line break.
std::string configLine(const ChannelConfig& config);
// The file line and the channel table (CH, MODE, DEFAULT).
std::string configTable(const ChannelConfig& config);
JsonObject configJson(const ChannelConfig& config);

std::string modelOf(uint32_t productId);
JsonObject deviceJson(const FamilyDevice& d);
std::vector<JsonObject> devicesJson(const std::vector<FamilyDevice>& devices);
// "ZEL280 0x283 at /dev/hidraw3 (port 1-1.4)"
std::string deviceText(const FamilyDevice& d);
// How to give the user access to a module that the system refuses to open,
// for the cause that applies: no udev rule installed (`rule` empty), no seat
// session and not in the group zelio, or neither (the rule came after the
// module).
std::vector<std::string> accessFix(const std::string& rule, const AccessFacts& facts);
// How to put a module in I/O mode into setting mode.
std::string settingModeHint(const FamilyDevice& d);

}  // namespace zelio
