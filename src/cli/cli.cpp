// zelioctl's command line: the table of commands (name, options, help,
// handler), the options, and the dispatch to the command's handler.
#include "cli/cli.h"

#include <algorithm>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
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

int helpVerb(Session& s, CliOutput& out);

// The options: name, the value's name in usage texts (none for a flag),
// whether every command takes it, and its line in the usage's option list
// (none for the options a command's own usage names).
struct KnownOption {
    const char* name;
    const char* value;
    bool global;
    const char* help;
};

constexpr KnownOption kOptions[] = {
    {"--path", "PATH", false, "use only the device at PATH (see 'list')"},
    {"--port", "PORT", false, "use only the device at USB port PORT (e.g. 1-1.1);\nthe port stays when re-plugged"},
    {"--serial", "SERIAL", false, "use only the module with serial number SERIAL"},
    {"--all", nullptr, false, "list, version, read, doctor: every module of the\nfamily at once, one result each"},
    {"--json", nullptr, true, "print one JSON object instead of text"},
    {"--no-verify", nullptr, false, "write without reading the configuration back"},
    {"--debug", nullptr, true, "trace devices, opens and reports to stderr"},
    {"--help", nullptr, true, "help; COMMAND --help for one command"},
    {"--version", nullptr, true, "versions of zelioctl and of the HID library"},
    {"--file", "FILE", false, nullptr},
    {"--timeout", "S", false, nullptr},
    {"--setting", nullptr, false, nullptr},
    {"--gone", nullptr, false, nullptr},
    {"--pid", "PID", false, nullptr},
    {"--count", "N", false, nullptr},
    {"--log", "CSV", false, nullptr},
};

const KnownOption* findOption(const std::string& name) {
    for (const KnownOption& o : kOptions)
        if (name == o.name) return &o;
    return nullptr;
}

// Named groups of options; a group of several is one choice ([A|B|C]).
using OptionGroup = std::vector<const char*>;
const OptionGroup kChoice = {"--path", "--port", "--serial"};  // one module
const OptionGroup kAll = {"--all"};
const OptionGroup kNoVerify = {"--no-verify"};
const OptionGroup kTimeout = {"--timeout"};

enum Section { kModuleCommands, kFileCommands, kSetUp };

// One form of a command, as the usage lists it, and what it does.
struct Form {
    const char* synopsis;
    const char* summary;
};

// One command: its name, where the usage lists it, its forms, the options
// it takes besides the global ones (those a form names stay in the form),
// what its help says after the usage lines, and its handler.
struct Verb {
    const char* name;
    Section section;
    std::vector<Form> forms;
    std::vector<OptionGroup> options;
    const char* help;
    VerbHandler run;
};

const std::vector<Verb>& verbs() {
    static const std::vector<Verb> table = {
    {"list", kModuleCommands,
     {{"list", "every module of the family: product ID, model,\nmode, path, port, serial number"}},
     {kChoice, kAll},
     "Lists every module of the family with product ID, model, mode, path,\n"
     "USB port and serial number. Exits 3 when there is none and 4 when a\n"
     "module's device cannot be opened.\n",
     listVerb},
    {"attach", kModuleCommands, {{"attach", "the setting-mode module the commands use"}}, {kChoice},
     "Prints the product ID of the setting-mode module the commands use\n"
     "(0x280 before 0x260). Sends nothing.\n",
     attachVerb},
    {"version", kModuleCommands, {{"version", "firmware version of that module"}}, {kChoice, kAll},
     "Prints the firmware version of the setting-mode module, MAJOR.MINOR.\n",
     versionVerb},
    {"read", kModuleCommands, {{"read", "its configuration: file line and channel table"}}, {kChoice, kAll},
     "Prints the module's configuration: the file line and a channel table.\n",
     readVerb},
    {"write", kModuleCommands,
     {{"write PID OD HIGH IN", "write a configuration and read it back: product\n"
                               "ID 261-269 or 281-289 (matching the module),\n"
                               "open-drain, high and input masks (hexadecimal)"},
      {"write --file FILE", "write the configuration stored in FILE"}},
     {{"--file"}, kNoVerify, kChoice},
     "Writes a configuration into the setting-mode module, then reads it back\n"
     "and compares; a difference prints both lines and exits 6. PID is\n"
     "261-269 for a ZEL260, 281-289 for a ZEL280; OD, HIGH and IN are the\n"
     "open-drain, high and input masks (00-FF, bit 7 is channel 1). With\n"
     "several modules in setting mode, choose one with --path, --port or --serial.\n",
     writeVerb},
    {"test", kModuleCommands,
     {{"test CH high|low", "drive output CH (1-8) steady high or low"},
      {"test CH blink [HIGH LOW]", "blink output CH; HIGH and LOW times 0-15 in\n"
                                   "units of 0.1 s (5 and 5 when left out)"},
      {"test CH ACTION CH ACTION...", "several outputs in turn on one module"}},
     {kChoice},
     "Drives output CH (1-8) steady high, steady low, or blinking with HIGH\n"
     "and LOW times of 0-15 tenths of a second (5 and 5 when left out). A\n"
     "blink of 0 and 0 drives the output steady high. Several outputs\n"
     "(e.g. 'test 1 high 2 low 3 blink 5 5') are sent in that order while\n"
     "the module is held; nothing is sent unless every one is valid.\n",
     testVerb},
    {"reset", kModuleCommands, {{"reset", "leave setting mode, back to I/O mode"}}, {kChoice},
     "Sends the setting-mode module back to I/O mode under its product ID.\n",
     resetVerb},
    {"idchange", kModuleCommands, {{"idchange PID", "move the ZEL260 at PID (261-269) back to 260"}}, {kChoice},
     "Moves the ZEL260 running as PID (261-269) back to 260, its setting mode.\n",
     idChangeVerb},
    {"wait", kModuleCommands,
     {{"wait --setting|--pid PID|--gone [--timeout S]", "wait for a module in setting mode, for one\n"
                                                        "with product ID PID, or until none is left"}},
     {{"--setting"}, {"--pid"}, {"--gone"}, kTimeout, kChoice},
     "Waits until a module in setting mode is attached (--setting), until one\n"
     "with product ID PID is (--pid), or until no module is left (--gone).\n"
     "Exits 7 when S seconds pass first; without --timeout it waits for ever.\n",
     waitVerb},
    {"provision", kModuleCommands,
     {{"provision FILE [--count N] [--log CSV]", "production line: write FILE into each module\n"
                                                "put into setting mode, one after the other"}},
     {{"--count"}, {"--log"}, kTimeout, kNoVerify, kChoice},
     "For each module in turn: waits for one in setting mode, writes FILE's\n"
     "configuration, reads it back, reads the firmware version, resets the\n"
     "module, waits for it to come back under its new product ID, appends a\n"
     "row (time, path, port, firmware, configuration, result) to CSV and waits\n"
     "for it to be unplugged. Stops after N modules, on Ctrl-C, or when no\n"
     "module arrives or the last one is not unplugged within S seconds\n"
     "(--timeout S), with a summary; exits non-zero when any module failed.\n",
     provisionVerb},
    {"save", kFileCommands,
     {{"save FILE PID OD HIGH IN", "store a configuration in FILE (hexadecimal)"}}, {},
     "Stores a configuration in FILE as the one-line text the GUI reads.\n"
     "PID is 261-269 or 281-289.\n",
     saveVerb},
    {"show", kFileCommands, {{"show FILE", "print the configuration stored in FILE"}}, {},
     "Prints the configuration stored in FILE; warns when the file does not\n"
     "hold one that 'write --file' would take.\n",
     showVerb},
    {"doctor", kSetUp,
     {{"doctor", "each module's path, product ID, mode, whether\n"
                 "it opens, and whether a udev rule is installed"}},
     {kChoice, kAll},
     "Prints each module of the family with path, product ID, mode and\n"
     "whether it opens, and whether a udev rule for the modules is installed.\n",
     doctorVerb},
    {"udev-rule", kSetUp, {{"udev-rule", "print the udev rule that gives users access"}}, {},
     "Prints the udev rule that lets the user at the seat open the modules:\n"
     "  zelioctl udev-rule | sudo tee /etc/udev/rules.d/70-zelio.rules\n"
     "  sudo udevadm control --reload-rules && sudo udevadm trigger\n",
     udevRuleVerb},
    {"help", kSetUp, {{"help [COMMAND]", "this text, or one command's"}}, {},
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

bool takesOption(const std::string& command, const KnownOption& option) {
    if (option.global) return true;
    const Verb* verb = findVerb(command);
    if (!verb) return false;
    for (const OptionGroup& group : verb->options)
        for (const char* name : group)
            if (option.name == std::string(name)) return true;
    return false;
}

// "--path PATH", "--no-verify".
std::string optionForm(const char* name) {
    const KnownOption* o = findOption(name);
    return o->value ? std::string(name) + " " + o->value : std::string(name);
}

// `text`'s lines after the first indented to column `column`.
std::string hang(const std::string& text, size_t column) {
    std::string out;
    for (const char c : text) out += c == '\n' ? "\n" + std::string(column, ' ') : std::string(1, c);
    return out;
}

// "  NAME<padding>TEXT" lines, TEXT at column 30 (on the next line when NAME is long).
std::string listEntry(const std::string& name, const char* text) {
    std::string line = "  " + name;
    line += line.size() < 30 ? std::string(30 - line.size(), ' ') : "\n" + std::string(30, ' ');
    return line + hang(text, 30) + "\n";
}

std::string verbHelp(const Verb& verb) {
    std::string text;
    for (const Form& form : verb.forms) {
        const std::string synopsis = form.synopsis;
        std::string line = (text.empty() ? "usage: zelioctl " : "       zelioctl ") + synopsis;
        for (const OptionGroup& group : verb.options) {
            std::string choice;
            for (const char* name : group)
                if (synopsis.find(name) == std::string::npos) choice += (choice.empty() ? "" : "|") + optionForm(name);
            if (!choice.empty()) line += " [" + choice + "]";
        }
        text += line + " [--json]\n";
    }
    return text + verb.help;
}

const std::string& usageText() {
    static const std::string text = [] {
        static const char* const kSections[] = {
            "Module commands (the module must be in setting mode, 0x280 or 0x260):",
            "File commands (no module needed):", "Set-up:"};
        std::string u = "usage: zelioctl [OPTIONS] COMMAND [ARGUMENTS]\n";
        for (int section = kModuleCommands; section <= kSetUp; ++section) {
            u += std::string("\n") + kSections[section] + "\n";
            for (const Verb& v : verbs())
                if (v.section == section)
                    for (const Form& form : v.forms) u += listEntry(form.synopsis, form.summary);
        }
        u += "\nOptions (anywhere on the line; \"--\" ends them):\n";
        for (const KnownOption& o : kOptions) {
            if (!o.help) continue;
            const std::string name = std::string(o.name) == "--help" ? "-h, --help" : optionForm(o.name);
            u += listEntry(name, o.help);
            if (std::string(o.name) == "--debug")
                u += listEntry("--emulate[=FILE]", "run against emulated modules: a ZEL280 in\n"
                                                   "setting mode (firmware 1.2), a ZEL260 at 0x261;\n"
                                                   "FILE keeps them from one call to the next");
        }
        return u +
               "\n"
               "Setting mode: hold the ZEL280's button for a second; a ZEL260 enters it\n"
               "with 'zelioctl idchange PID'. Mask bit 7 (0x80) is channel 1, bit 0\n"
               "(0x01) channel 8. Hexadecimal numbers may carry a 0x prefix.\n"
               "\n"
               "Exit status: 0 success, 1 I/O failure, 2 bad usage (nothing was done),\n"
               "3 no module, 4 access denied, 5 ambiguous (several modules, none chosen),\n"
               "6 verification mismatch, 7 time-out, 8 busy (another program kept the\n"
               "module for 3 s; the command was not sent).\n";
    }();
    return text;
}

int helpVerb(Session& s, CliOutput& out) {
    const std::vector<std::string>& words = s.words();
    if (words.empty()) return out.printText(usageText().c_str());
    if (words.size() > 1) return s.usage(out, "'help' takes one command at most");
    const Verb* v = findVerb(words[0]);
    if (!v) return s.usage(out, "unknown command " + quotedArg(words[0]));
    return out.printText(verbHelp(*v).c_str());
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
    if (line.has("--path") + line.has("--port") + line.has("--serial") > 1)
        return usageError(output, command, "give one of --path, --port, --serial");
    line.selector = DeviceSelector{line.option("--path"), line.option("--port"), line.option("--serial")};
    for (const char* name : {"--path", "--port", "--serial"})
        if (line.has(name) && line.option(name).empty())
            return usageError(output, command, std::string(name) + " needs a value");
    if (line.option("--port").size() > kMaxPortBytes || line.option("--serial").size() > kMaxSerialBytes)
        return usageError(output, command, "the port or serial number is longer than any module's");
    return kExitOk;
}

// --all: the command once for every module of the family (that the choice
// matches), each on a thread of its own with a session of its own on the
// shared host; the results in enumeration order, each module's lines
// tagged with its path, or one JSON array. The first failure's code.
int runOnEach(const CommandLine& line, TextSink& out, TextSink& err, HidHost& host, Clock& clock,
              const CliEnvironment& env, VerbHandler run) {
    const bool json = line.has("--json");
    CliOutput output(out, err, json);
    std::vector<FamilyDevice> devices;
    {
        Session survey(line, host, clock, env);
        survey.select(line.selector);
        devices = survey.survey();
        if (devices.empty())
            return output.report(survey.diagnose("no module of the family is attached", devices));
    }
    struct Result {
        BufferSink out, err;
        int code = kExitOk;
    };
    std::vector<Result> results(devices.size());
    std::mutex shared;  // one call into the host at a time
    std::vector<std::thread> threads;
    for (size_t i = 0; i < devices.size(); ++i) {
        threads.emplace_back([&, i] {
            CommandLine one = line;
            one.selector.path = devices[i].path;
            CliOutput o(results[i].out, results[i].err, json);
            o.tag(JsonObject().add("module", deviceJson(devices[i])));
            Session s(one, host, clock, env);
            s.host.share(&shared);
            if (line.has("--debug")) s.host.setTrace(&results[i].err);
            s.select(one.selector);
            results[i].code = run(s, o);
        });
    }
    for (std::thread& t : threads) t.join();
    int code = kExitOk;
    std::string objects;
    for (size_t i = 0; i < devices.size(); ++i) {
        Result& r = results[i];
        code = code != kExitOk ? code : r.code;
        const std::string tag = escapeForTerminal(devices[i].path) + ": ";
        for (size_t at = 0; at < r.out.text.size();) {
            const size_t end = std::min(r.out.text.find('\n', at), r.out.text.size() - 1) + 1;
            const std::string_view piece(r.out.text.data() + at, end - at);
            if (json)
                objects += (objects.empty() ? "" : ",") + std::string(piece.substr(0, piece.size() - 1));
            else
                out.write(tag + std::string(piece));
            at = end;
        }
        for (size_t at = 0; at < r.err.text.size();) {
            const size_t end = std::min(r.err.text.find('\n', at), r.err.text.size() - 1) + 1;
            std::string piece = r.err.text.substr(at, end - at);
            if (piece.rfind("zelioctl: ", 0) == 0) piece.insert(10, tag);
            err.write(piece);
            at = end;
        }
    }
    if (json) out.write("[" + objects + "]\n");
    return code;
}

int dispatch(const std::vector<std::string>& args, TextSink& out, TextSink& err, HidHost& host, Clock& clock,
             const CliEnvironment& env) {
    CommandLine line;
    if (const int code = parse(args, line, out, err); code != kExitOk) return code;
    CliOutput output(out, err, line.has("--json"));
    Session session(line, host, clock, env);
    if (line.has("--debug")) session.host.setTrace(&err);
    session.select(line.selector);
    if (line.has("--help"))
        return output.printText(line.command.empty() ? usageText().c_str() : verbHelp(*findVerb(line.command)).c_str());
    if (line.has("--version")) {
        if (!line.command.empty() || !line.words.empty()) return session.usage(output, "--version takes no command");
        return toolVersion(env, output);
    }
    if (line.command.empty()) return session.usage(output, "no command given");
    if (line.has("--all")) return runOnEach(line, out, err, host, clock, env, findVerb(line.command)->run);
    return findVerb(line.command)->run(session, output);
}

}  // namespace

bool isCommand(const std::string& name) { return findVerb(name) != nullptr; }

int usageError(CliOutput& out, const std::string& command, const std::string& message) {
    const std::string where =
        isCommand(command) && command != "help" ? "zelioctl " + command + " --help" : "zelioctl help";
    return out.fail(kExitUsage, message + " (see '" + where + "')");
}

const char* cliUsage() { return usageText().c_str(); }

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

bool takeEmulateOption(std::vector<std::string>& args, std::optional<std::string>* stateFile) {
    bool found = false;
    for (auto it = args.begin(); it != args.end() && *it != "--";) {
        if (*it == "--emulate" || it->rfind("--emulate=", 0) == 0) {
            if (stateFile) *stateFile = *it == "--emulate" ? std::nullopt : std::optional(it->substr(10));
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
