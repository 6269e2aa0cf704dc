// What zelioctl's commands share: the parsed command line, the module link
// on the selected device, and the steps several commands take (attach,
// diagnose, wait, write and verify). Each command is one function that gets
// the session and the output (cli_verbs.h).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/cli_devices.h"
#include "cli/cli_output.h"
#include "config/atomic_file.h"
#include "config/channel_config.h"
#include "link/module_link.h"
#include "protocol/command_set.h"

namespace zelio {

// The words of the command line: the command, its arguments and options.
struct CommandLine {
    std::string command;
    std::vector<std::string> words;
    std::map<std::string, std::string> options;
    DeviceSelector selector;

    bool has(const char* name) const { return options.count(name) != 0; }
    // The option's value; empty when not given.
    std::string option(const char* name) const;
    bool arity(size_t count) const { return words.size() == count; }
};

// True for a command of the table (help included).
bool isCommand(const std::string& name);

// "message (see 'zelioctl COMMAND --help')": a usage error, exit 2.
int usageError(CliOutput& out, const std::string& command, const std::string& message);

// Decimal digits only, within [min, max].
std::optional<int> parseDecimal(const std::string& text, int min, int max);

// Arguments are UTF-8 on every platform, and so are the file steps' paths.
inline const AtomicFileSteps& files() { return platformAtomicFileSteps(); }

// The first rules file in the udev folders that names the vendor ID; empty: none.
std::string installedUdevRule(const CliEnvironment& env);

// The whole of a regular file (up to the configuration read limit); false
// with the reason in `problem`.
bool readRegularFile(const std::string& arg, std::string& text, std::string& problem);

// The UTC time, ISO 8601.
std::string utcNow();

class Session {
public:
    Session(const CommandLine& line, HidHost& host, Clock& clock, const CliEnvironment& environment)
        : line(line), env(environment), clock(clock), host(host, clock), link(this->host, clock), commands(link) {}

    const CommandLine& line;
    const CliEnvironment& env;
    Clock& clock;
    CliHost host;
    ModuleLink link;
    CommandSet commands;
    // The code of the last failed attach.
    int attachCode = kExitNoModule;

    const std::vector<std::string>& words() const { return line.words; }

    int usage(CliOutput& out, const std::string& message) const { return usageError(out, line.command, message); }
    int wrongArity(CliOutput& out) const {
        return usage(out, "wrong number of arguments for " + quotedArg(line.command));
    }
    // The message, then why the link's last step failed.
    int linkFailed(CliOutput& out, const std::string& message) const;

    // Why no module answered, from a fresh look at the family's devices.
    Outcome diagnose(const std::string& notFound, const std::vector<FamilyDevice>& devices);
    // The ambiguity check of commands that change a module: more than one
    // device with `ids` among those the choice (if any) lets through.
    std::optional<Outcome> ambiguous(const std::vector<FamilyDevice>& devices, const std::set<uint16_t>& ids);
    // The attach procedure; 0 after reporting why no module is there. A
    // command that changes the module first makes sure only one could be meant.
    uint16_t attach(CliOutput& out, bool changes);
    // The device the attached module was found at.
    std::string attachedPath() const { return link.pinned() ? link.pinned()->path : std::string(); }
    // Limits the module directory to the modules `selector` matches (all
    // when it is empty): every later look, attach and command sees only them.
    void select(const DeviceSelector& selector);
    const DeviceSelector& selector() const { return selector_; }
    // The family's modules now, each opened once to tell whether it opens.
    std::vector<FamilyDevice> survey() { return surveyFamily(link.directory()); }

    // PID OD HIGH IN from words[first..first+3]; nullopt after a usage error.
    std::optional<ChannelConfig> parseConfig(CliOutput& out, size_t first) const;
    // FILE's configuration for write --file and provision; nullopt after
    // reporting why not (the code in `code`).
    std::optional<ChannelConfig> configFromFile(CliOutput& out, const std::string& arg, int& code) const;
    // Writes `config` into the attached module and, unless --no-verify,
    // reads it back. kExitOk or the reported failure's code.
    int writeAndVerify(CliOutput& out, const ChannelConfig& config, bool& verified, std::string* stored);

    bool interrupted() const { return env.interrupted && env.interrupted->load(); }
    // Polls the family's devices until `done` says so; the device it chose,
    // or nullopt after `timeoutMs` (negative: no limit) or, when
    // `interruptible`, an interrupt.
    template <typename Done>
    std::optional<FamilyDevice> pollUntil(int64_t timeoutMs, Done done, bool interruptible = true) {
        const int64_t start = clock.nowMs();
        for (;;) {
            const std::vector<FamilyDevice> devices = survey();
            if (auto found = done(devices)) return found;
            if (interruptible && interrupted()) return std::nullopt;
            if (timeoutMs >= 0 && clock.nowMs() - start >= timeoutMs) return std::nullopt;
            clock.sleepMs(kPollMs);
        }
    }
    static std::optional<FamilyDevice> withId(const std::vector<FamilyDevice>& devices, uint16_t a, uint16_t b = 0);
    // --timeout S in ms, -1 without one; nullopt after a usage error.
    std::optional<int64_t> timeoutOption(CliOutput& out) const;

    static constexpr int kPollMs = 200;

private:
    DeviceSelector selector_;
};

}  // namespace zelio
