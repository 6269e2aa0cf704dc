// zelioctl's command line: the table of commands (name, options, help,
// handler), the options, and the dispatch to the command's handler.
#include "cli/cli.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_verbs.h"

#include "zelio_version.h"

#ifndef _WIN32
#include <grp.h>
#include <pwd.h>
#include <unistd.h>
#endif

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
    "6 verification mismatch, 7 time-out, 8 busy (another program kept the\n"
    "module for 3 s; the command was not sent).\n";

int helpVerb(Session& s, CliOutput& out);

// One command: its name, the options it takes besides the global ones
// (--json, --debug, --help, --version), its help text and its handler.
struct Verb {
    const char* name;
    std::vector<std::string> options;
    const char* help;
    VerbHandler run;
};

const std::vector<Verb>& verbs() {
    static const std::vector<Verb> table = {
    {"list", {"--path", "--port"},
     "usage: zelioctl list [--path PATH|--port PORT] [--json]\n"
     "Lists every module of the family with product ID, model, mode, path,\n"
     "USB port and serial number. Exits 3 when there is none and 4 when a\n"
     "module's device cannot be opened.\n",
     listVerb},
    {"attach", {"--path", "--port"},
     "usage: zelioctl attach [--path PATH|--port PORT] [--json]\n"
     "Prints the product ID of the setting-mode module the commands use\n"
     "(0x280 before 0x260). Sends nothing.\n",
     attachVerb},
    {"version", {"--path", "--port"},
     "usage: zelioctl version [--path PATH|--port PORT] [--json]\n"
     "Prints the firmware version of the setting-mode module, MAJOR.MINOR.\n",
     versionVerb},
    {"read", {"--path", "--port"},
     "usage: zelioctl read [--path PATH|--port PORT] [--json]\n"
     "Prints the module's configuration: the file line and a channel table.\n",
     readVerb},
    {"write", {"--path", "--port", "--no-verify", "--file"},
     "usage: zelioctl write PID OD HIGH IN [--no-verify] [--path PATH|--port PORT] [--json]\n"
     "       zelioctl write --file FILE [--no-verify] [--path PATH|--port PORT] [--json]\n"
     "Writes a configuration into the setting-mode module, then reads it back\n"
     "and compares; a difference prints both lines and exits 6. PID is\n"
     "261-269 for a ZEL260, 281-289 for a ZEL280; OD, HIGH and IN are the\n"
     "open-drain, high and input masks (00-FF, bit 7 is channel 1). With\n"
     "several modules in setting mode, choose one with --path or --port.\n",
     writeVerb},
    {"test", {"--path", "--port"},
     "usage: zelioctl test CH high|low [--path PATH|--port PORT] [--json]\n"
     "       zelioctl test CH blink [HIGH LOW] [--path PATH|--port PORT] [--json]\n"
     "Drives output CH (1-8) steady high, steady low, or blinking with HIGH\n"
     "and LOW times of 0-15 tenths of a second (5 and 5 when left out). A\n"
     "blink of 0 and 0 drives the output steady high.\n",
     testVerb},
    {"reset", {"--path", "--port"},
     "usage: zelioctl reset [--path PATH|--port PORT] [--json]\n"
     "Sends the setting-mode module back to I/O mode under its product ID.\n",
     resetVerb},
    {"idchange", {"--path", "--port"},
     "usage: zelioctl idchange PID [--path PATH|--port PORT] [--json]\n"
     "Moves the ZEL260 running as PID (261-269) back to 260, its setting mode.\n",
     idChangeVerb},
    {"wait", {"--path", "--port", "--timeout", "--setting", "--gone", "--pid"},
     "usage: zelioctl wait --setting|--pid PID|--gone [--timeout S] [--path PATH|--port PORT] [--json]\n"
     "Waits until a module in setting mode is attached (--setting), until one\n"
     "with product ID PID is (--pid), or until no module is left (--gone).\n"
     "Exits 7 when S seconds pass first; without --timeout it waits for ever.\n",
     waitVerb},
    {"provision", {"--path", "--port", "--no-verify", "--timeout", "--count", "--log"},
     "usage: zelioctl provision FILE [--count N] [--log CSV] [--timeout S] [--no-verify] [--port PORT] [--json]\n"
     "For each module in turn: waits for one in setting mode, writes FILE's\n"
     "configuration, reads it back, reads the firmware version, resets the\n"
     "module, waits for it to come back under its new product ID, appends a\n"
     "row (time, path, port, firmware, configuration, result) to CSV and waits\n"
     "for it to be unplugged. Stops after N modules, on Ctrl-C, or when no\n"
     "module arrives within S seconds (--timeout S), with a summary; exits\n"
     "non-zero when any module failed.\n",
     provisionVerb},
    {"save", {},
     "usage: zelioctl save FILE PID OD HIGH IN [--json]\n"
     "Stores a configuration in FILE as the one-line text the GUI reads.\n"
     "PID is 261-269 or 281-289.\n",
     saveVerb},
    {"show", {},
     "usage: zelioctl show FILE [--json]\n"
     "Prints the configuration stored in FILE; warns when the file does not\n"
     "hold one that 'write --file' would take.\n",
     showVerb},
    {"doctor", {"--path", "--port"},
     "usage: zelioctl doctor [--json]\n"
     "Prints each module of the family with path, product ID, mode and\n"
     "whether it opens, and whether a udev rule for the modules is installed.\n",
     doctorVerb},
    {"udev-rule", {},
     "usage: zelioctl udev-rule [--json]\n"
     "Prints the udev rule that lets the user at the seat open the modules:\n"
     "  zelioctl udev-rule | sudo tee /etc/udev/rules.d/70-zelio.rules\n"
     "  sudo udevadm control --reload-rules && sudo udevadm trigger\n",
     udevRuleVerb},
    {"help", {},
     "usage: zelioctl help [COMMAND]\n"
     "Prints the usage of zelioctl or of one command.\n",
     helpVerb},
    };
    return table;
}

const Verb* findVerb(const std::string& name) {
    for (const Verb& v : verbs())
        if (name == v.name) return &v;
    return nullptr;
}

// An option: its name, whether a value follows, whether every command takes it.
struct KnownOption {
    const char* name;
    bool value;
    bool global;
};

constexpr KnownOption kOptions[] = {
    {"--json", false, true},      {"--debug", false, true},    {"--help", false, true},
    {"--version", false, true},   {"--path", true, false},     {"--port", true, false},
    {"--no-verify", false, false}, {"--file", true, false},     {"--timeout", true, false},
    {"--setting", false, false},  {"--gone", false, false},    {"--pid", true, false},
    {"--count", true, false},     {"--log", true, false},
};

const KnownOption* findOption(const std::string& name) {
    for (const KnownOption& o : kOptions)
        if (name == o.name) return &o;
    return nullptr;
}

bool takesOption(const std::string& command, const KnownOption& option) {
    if (option.global) return true;
    const Verb* verb = findVerb(command);
    return verb && std::find(verb->options.begin(), verb->options.end(), option.name) != verb->options.end();
}

int helpVerb(Session& s, CliOutput& out) {
    const std::vector<std::string>& words = s.words();
    if (words.empty()) return out.printText(kUsage);
    if (words.size() > 1) return s.usage(out, "'help' takes one command at most");
    const Verb* v = findVerb(words[0]);
    if (!v) return s.usage(out, "unknown command " + quotedArg(words[0]));
    return out.printText(v->help);
}

int toolVersion(const CliEnvironment& env, CliOutput& out) {
    const std::string hid = env.hidVersion.empty() ? "unknown" : env.hidVersion;
    return out.succeed(JsonObject().add("version", ZELIO_VERSION).add("hid", hid),
                       std::string("zelioctl ") + ZELIO_VERSION + "\n" + hid + "\n");
}

// Splits the words into options, the command and its arguments. Errors in
// the words themselves come as JSON when a --json is among them; those about
// the command, once it is known, as the options say.
int parse(const std::vector<std::string>& args, CommandLine& line, TextSink& out, TextSink& err) {
    bool jsonWord = false;
    for (const std::string& word : args) {
        if (word == "--") break;
        if (word == "--json") jsonWord = true;
    }
    CliOutput early(out, err, jsonWord);
    bool optionsEnd = false;
    std::vector<std::pair<std::string, std::string>> given;
    std::vector<std::string> positional;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
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
        const KnownOption* known = findOption(name);
        if (!known) return usageError(early, "", "unknown option " + quotedArg(word));
        if (known->value && !value) {
            if (i + 1 >= args.size()) return usageError(early, "", name + " needs a value");
            value = args[++i];
        } else if (!known->value && value) {
            return usageError(early, "", name + " takes no value");
        }
        given.emplace_back(name, value.value_or(""));
    }
    if (!positional.empty()) {
        line.command = positional.front();
        line.words.assign(positional.begin() + 1, positional.end());
    }
    for (const auto& [name, value] : given) line.options[name] = value;
    CliOutput output(out, err, line.has("--json"));
    const std::string& command = line.command;
    if (!command.empty() && !findVerb(command))
        return usageError(output, command, "unknown command " + quotedArg(command));
    for (const auto& entry : given) {
        if (!takesOption(command, *findOption(entry.first)))
            return usageError(output, command,
                              entry.first + " does not apply to " +
                                  (command.empty() ? std::string("no command") : quotedArg(command)));
    }
    if (line.has("--path") && line.has("--port"))
        return usageError(output, command, "give --path or --port, not both");
    line.selector.path = line.option("--path");
    line.selector.port = line.option("--port");
    if (line.has("--path") && line.selector.path.empty()) return usageError(output, command, "--path needs a path");
    if (line.has("--port") && line.selector.port.empty()) return usageError(output, command, "--port needs a port");
    return kExitOk;
}

int dispatch(const std::vector<std::string>& args, TextSink& out, TextSink& err, HidHost& host, Clock& clock,
             const CliEnvironment& env) {
    CommandLine line;
    if (const int code = parse(args, line, out, err); code != kExitOk) return code;
    CliOutput output(out, err, line.has("--json"));
    Session session(line, host, clock, env);
    if (line.has("--debug")) session.host.setTrace(&err);
    session.select(line.selector);
    if (line.has("--help")) return output.printText(line.command.empty() ? kUsage : findVerb(line.command)->help);
    if (line.has("--version")) {
        if (!line.command.empty() || !line.words.empty()) return session.usage(output, "--version takes no command");
        return toolVersion(env, output);
    }
    if (line.command.empty()) return session.usage(output, "no command given");
    return findVerb(line.command)->run(session, output);
}

}  // namespace

bool isCommand(const std::string& name) { return findVerb(name) != nullptr; }

int usageError(CliOutput& out, const std::string& command, const std::string& message) {
    const std::string where =
        isCommand(command) && command != "help" ? "zelioctl " + command + " --help" : "zelioctl help";
    return out.fail(kExitUsage, message + " (see '" + where + "')");
}

const char* cliUsage() { return kUsage; }

#ifndef _WIN32
namespace {

// logind's view (/run/systemd): whether this user has an active session on
// a seat, which is when udev's uaccess gives it the modules' nodes; and the
// group zelio of the rule.
AccessFacts systemAccessFacts() {
    AccessFacts facts;
    const std::string uid = "UID=" + std::to_string(::geteuid()) + "\n";
    if (files().info("/run/systemd/seats").kind != FileInfo::Missing)
        for (const std::string& name : files().list("/run/systemd/sessions")) {
            const std::string text = "\n" + files().readPrefix("/run/systemd/sessions/" + name, 4096).value_or("");
            facts.seatSession = facts.seatSession || (text.find("\n" + uid) != std::string::npos &&
                                                      text.find("\nSEAT=") != std::string::npos &&
                                                      text.find("\nACTIVE=1\n") != std::string::npos);
        }
    const group* zelio = ::getgrnam("zelio");
    if (!zelio) return facts;
    facts.groupExists = true;
    const gid_t gid = zelio->gr_gid;
    std::vector<gid_t> groups(static_cast<size_t>(std::max(::getgroups(0, nullptr), 0)) + 1);
    groups.resize(static_cast<size_t>(std::max(::getgroups(static_cast<int>(groups.size()), groups.data()), 0)));
    facts.inGroup = ::getegid() == gid || std::find(groups.begin(), groups.end(), gid) != groups.end();
    std::vector<std::string> members;
    for (char** member = zelio->gr_mem; member && *member; ++member) members.emplace_back(*member);
    const passwd* user = ::getpwuid(::geteuid());
    facts.groupMember = user && (user->pw_gid == gid || std::count(members.begin(), members.end(), user->pw_name) > 0);
    return facts;
}

}  // namespace
#endif

CliEnvironment defaultCliEnvironment() {
    CliEnvironment env;
#ifndef _WIN32
    env.udevRuleDirs = {"/etc/udev/rules.d", "/run/udev/rules.d", "/usr/local/lib/udev/rules.d",
                        "/usr/lib/udev/rules.d", "/lib/udev/rules.d"};
    env.accessFacts = systemAccessFacts;
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
    const int code = dispatch(args, out, err, host, clock, environment);
    out.flush();
    if (out.failed()) {
        err.write("zelioctl: the output could not be written\n");
        err.flush();
        return code == kExitOk ? kExitIo : code;
    }
    return code;
}

}  // namespace zelio
