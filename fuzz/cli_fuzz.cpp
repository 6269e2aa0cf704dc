// zelioctl's argument handling over the two emulated modules of
// `zelioctl --emulate`. An input is up to four command lines of words
// separated by blanks. Files stay in a scratch folder: each input runs in a
// fresh temporary folder, and an input naming an absolute path or ".." is
// refused.
//
// Checked besides memory safety: every exit status is a known one, every
// failure says why on the error stream, and a usage error did nothing: no
// report reached a module and no file appeared.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "cli/cli.h"
#include "cli_support.h"
#include "emulator/emulated_host.h"
#include "manual_clock.h"

namespace {

using namespace zelio;

[[noreturn]] void fail(const char* what, const std::vector<std::string>& args) {
    std::fprintf(stderr, "broken: %s; zelioctl", what);
    for (const std::string& a : args) std::fprintf(stderr, " '%s'", a.c_str());
    std::fprintf(stderr, "\n");
    std::abort();
}

std::filesystem::path home;     // where the process started
std::filesystem::path scratch;  // where each input runs

void removeScratch() {
    std::error_code ec;
    std::filesystem::current_path(home, ec);
    std::filesystem::remove_all(scratch, ec);
}

// Works in the scratch folder while it lives, and empties it afterwards.
struct InScratch {
    InScratch() { std::filesystem::current_path(scratch); }
    ~InScratch() {
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(scratch, ec))
            std::filesystem::remove_all(entry.path(), ec);
        std::filesystem::current_path(home, ec);
    }
};

// Names outside the scratch folder.
bool leavesScratch(std::string_view word) {
    return word.find("..") != std::string_view::npos || word.find(':') != std::string_view::npos ||
           (!word.empty() && (word[0] == '/' || word[0] == '\\' || word[0] == '~'));
}

size_t filesInScratch() {
    size_t n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(scratch)) {
        (void)entry;
        ++n;
    }
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // Inputs run in the scratch folder, so the paths libFuzzer was given
    // (corpus folders, files, -artifact_prefix= and the like) are made
    // absolute first; the folder the process started in stays its own.
    static std::vector<std::string> args;
    static std::vector<char*> pointers;
    for (int i = 0; i < *argc; ++i) {
        std::string arg = (*argv)[i];
        if (i > 0) {
            bool isPath = arg[0] != '-';
            for (const char* flag : {"-artifact_prefix=", "-exact_artifact_path=", "-dict=", "-features_dir=",
                                     "-merge_control_file=", "-mutation_graph_file="}) {
                const size_t n = std::strlen(flag);
                if (arg.compare(0, n, flag) == 0 && arg.size() > n) {
                    arg = flag + std::filesystem::absolute(arg.substr(n)).string();
                }
            }
            if (isPath && !arg.empty()) arg = std::filesystem::absolute(arg).string();
        }
        args.push_back(std::move(arg));
    }
    for (std::string& arg : args) pointers.push_back(arg.data());
    pointers.push_back(nullptr);
    *argv = pointers.data();

    home = std::filesystem::current_path();
    std::string pattern = (std::filesystem::temp_directory_path() / "zelio-fuzz-cli-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    scratch = pattern;
    std::atexit(removeScratch);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    if (input.find('\0') != std::string_view::npos) return -1;

    std::vector<std::vector<std::string>> lines;
    size_t start = 0;
    while (start <= input.size() && lines.size() < 4) {
        const size_t end = std::min(input.find('\n', start), input.size());
        std::vector<std::string> words;
        std::string_view line = input.substr(start, end - start);
        while (!line.empty()) {
            const size_t blank = std::min(line.find(' '), line.size());
            if (blank > 0) words.emplace_back(line.substr(0, blank));
            line.remove_prefix(std::min(blank + 1, line.size()));
        }
        for (const std::string& w : words)
            if (leavesScratch(w)) return -1;
        lines.push_back(std::move(words));
        start = end + 1;
    }

    const InScratch inScratch;
    ManualClock clock;
    EmulatedHost host(clock);
    VirtualModule& zel280 = host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    VirtualModule& zel260 = host.addModule(Model::Zel260, 1, 0x10, ModuleMode::Normal);

    for (const std::vector<std::string>& args : lines) {
        const uint64_t reports = zel280.reportCount + zel260.reportCount;
        const size_t files = filesInScratch();
        StringSink out, err;
        const int status = runCli(args, out, err, host, clock);
        // 0 done, 1 failed, 2 usage; 3-7 name the kind of failure.
        if (status < 0 || status > 7) fail("unknown exit status", args);
        // A failure is told on stderr, or with --json in the one object on stdout.
        if (status != kCliOk && err.str().empty() && out.str().find("\"ok\":false") == std::string::npos)
            fail("a failure that says nothing", args);
        if (status == kCliUsage) {
            if (zel280.reportCount + zel260.reportCount != reports) fail("a usage error sent a report", args);
            if (filesInScratch() != files) fail("a usage error made a file", args);
        }
    }
    return 0;
}
