// zelioctl --emulate: the emulated modules, the two of every call or those
// of a state file (--emulate=FILE), which keeps them from one call to the
// next.

#include "cli/cli.h"
#include "cli/cli_output.h"
#include "cli/cli_session.h"
#include "config/config_file.h"
#include "emulator/emulated_host.h"
#include "link/module_lock.h"

#ifdef _WIN32
#include <direct.h>
#define getcwd _getcwd
#else
#include <unistd.h>
#endif

namespace zelio {

namespace {

// How long after a reset the emulated jig takes a module off, and puts the next one on.
constexpr int kJigSwapMs = 1000;
// A state file is a few lines a module.
constexpr size_t kStateLimit = 1 << 20;

// The file's path from the root, for the lock's name.
std::string absolutePath(const std::string& path) {
    if (path.starts_with('/') || (path.size() > 1 && path[1] == ':')) return path;
    char cwd[4096];
    return getcwd(cwd, sizeof cwd) ? std::string(cwd) + "/" + path : path;
}

}  // namespace

void addEmulatedPair(EmulatedHost& host) {
    host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting).serial = emulatedSerial(1);
    host.addModule(Model::Zel260, 1, 0x10, ModuleMode::Normal).serial = emulatedSerial(2);
}

int runEmulated(const std::vector<std::string>& args, TextSink& out, TextSink& err, Clock& clock, Clock& benchClock,
                const CliEnvironment& environment, const std::optional<std::string>& stateFile) {
    EmulatedHost host(benchClock);
    // As with real modules, one program's command at a time; with a state
    // file, one call at a time on its modules (the file's lock below).
    host.lockAcrossProcesses = !stateFile;
    host.jigSwapMs = kJigSwapMs;
    if (!stateFile) {
        addEmulatedPair(host);
        return runCli(args, out, err, host, clock, environment);
    }
    bool json = false;
    for (const std::string& word : args) {
        if (word == "--") break;
        json = json || word == "--json";
    }
    CliOutput output(out, err, json);
    const std::string& file = *stateFile;
    if (file.empty()) return usageError(output, "", "--emulate= needs a file");
    Failure busy;
    const std::unique_ptr<ModuleLock> lock =
        lockModule("zelioctl emulated " + absolutePath(file), clock, kModuleLockWaitMs, busy);
    if (!lock)
        return output.fail(kExitBusy, "another zelioctl has used the emulated modules of " + quotedArg(file) +
                                          " for 3 s; nothing was done");
    const FileInfo info = files().info(file);
    if (info.kind == FileInfo::Other) return output.fail(kExitIo, "cannot read " + quotedArg(file) + ": not a regular file");
    if (info.kind == FileInfo::Missing) {
        addEmulatedPair(host);
    } else {
        const std::optional<std::string> text = files().readPrefix(file, kStateLimit + 1);
        if (!text) return output.fail(kExitIo, "cannot read " + quotedArg(file));
        std::string problem = "more than 1 MiB";
        if (text->size() > kStateLimit || !host.loadState(*text, problem))
            return usageError(output, "", quotedArg(file) + ": " + escapeForTerminal(problem) + "; nothing was done");
    }
    int code = runCli(args, out, err, host, clock, environment);
    if (!saveFileUtf8(file, host.saveState())) {
        err.write("zelioctl: cannot write " + quotedArg(file) + "; the emulated modules' changes are lost\n");
        err.flush();
        code = code == kExitOk ? kExitIo : code;
    }
    return code;
}

}  // namespace zelio
