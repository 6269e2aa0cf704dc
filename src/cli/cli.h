// zelioctl: a scriptable command-line front end to the module link and the
// command set. The logic lives here, apart from main(), so that it can run on
// any HID host, the emulated one included.
#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/exit_codes.h"
#include "cli/text_sink.h"
#include "link/hid_host.h"

namespace zelio {

// What gives this process access to the modules on Linux, besides the udev
// rule: for doctor and the hint when access is refused.
struct AccessFacts {
    bool seatSession = false;  // an active seat session of this user: the rule's uaccess applies
    bool groupExists = false;  // the group zelio
    bool inGroup = false;      // this process is in it
    bool groupMember = false;  // the user is listed in it (from the next login, when not inGroup)
};

// What the CLI takes from the system around it besides the HID host.
struct CliEnvironment {
    // The HID layer, for --version: "hidapi 0.13.1".
    std::string hidVersion;
    // Where `doctor` looks for an installed udev rule.
    std::vector<std::string> udevRuleDirs;
    // Set (by a Ctrl-C handler) to end `wait` and `provision` early.
    const std::atomic<bool>* interrupted = nullptr;
    // The wall-clock time for the provisioning log; UTC, ISO 8601.
    std::function<std::string()> wallTime;
    // This process's access facts; empty where the system has none (Windows).
    std::function<AccessFacts()> accessFacts;
};

// The system's: udev rule folders and access facts of Linux, the UTC time.
CliEnvironment defaultCliEnvironment();

// Runs one command. `args` are the words after the program name (no
// "--emulate"; main() handles that). Results go to `out`, errors to `err`
// (with --json both go to `out` as one JSON object). Returns an ExitCode.
int runCli(const std::vector<std::string>& args, TextSink& out, TextSink& err, HidHost& host, Clock& clock);
int runCli(const std::vector<std::string>& args, TextSink& out, TextSink& err, HidHost& host, Clock& clock,
           const CliEnvironment& environment);

// Removes every "--emulate" and "--emulate=FILE" before a "--" from `args`;
// true when there was one. The last one's FILE goes to `stateFile`
// (nullopt for a plain --emulate).
bool takeEmulateOption(std::vector<std::string>& args, std::optional<std::string>* stateFile = nullptr);

// zelioctl --emulate: runs the command against emulated modules (cli_emulate.cpp).
// Without a state file, the two of --emulate every time; with one, the
// modules it holds (the two when it does not exist yet), which are written
// back to it atomically afterwards; one call at a time uses the file.
// The modules' clock is `benchClock` (the wall clock: wallClock()), so that
// the jig's times in a state file hold from one call to the next.
int runEmulated(const std::vector<std::string>& args, TextSink& out, TextSink& err, Clock& clock, Clock& benchClock,
                const CliEnvironment& environment, const std::optional<std::string>& stateFile);

// The text printed by "zelioctl help".
const char* cliUsage();

// The udev rule shipped as packaging/linux/70-zelio.rules.
const char* udevRuleText();

}  // namespace zelio
