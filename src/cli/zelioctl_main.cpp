// zelioctl entry point: picks the HID host and hands the words to runCli.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "emulator/emulated_host.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <shellapi.h>

#include "link/win32_hid_host.h"
#include "win32/win32_text.h"
#else
#include "link/hidapi_hid_host.h"
#endif

namespace {

std::atomic<bool> interrupted{false};

// The first Ctrl-C asks `wait` and `provision` to stop (provision then
// prints its summary); a second one ends the program at once.
extern "C" void onInterrupt(int) {
    interrupted = true;
    std::signal(SIGINT, SIG_DFL);
}

#ifdef _WIN32
// The arguments as UTF-8, taken from the UTF-16 command line so that file
// names outside the ANSI code page survive.
std::vector<std::string> arguments(int, char**) {
    std::vector<std::string> words;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return words;
    for (int i = 1; i < count; ++i) words.push_back(zelio::win32::narrow(wide[i]));
    LocalFree(wide);
    return words;
}

// Output is UTF-8: a console shows it as such (Korean file names); a file or
// pipe gets the bytes as they are.
void useUtf8Console() {
    DWORD mode = 0;
    if (GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) || GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode))
        SetConsoleOutputCP(CP_UTF8);
}
#else
std::vector<std::string> arguments(int argc, char** argv) { return std::vector<std::string>(argv + 1, argv + argc); }
#endif

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args = arguments(argc, argv);
    zelio::Clock& clock = zelio::systemClock();
    zelio::CliEnvironment environment = zelio::defaultCliEnvironment();
    environment.interrupted = &interrupted;
    std::signal(SIGINT, onInterrupt);
#ifdef _WIN32
    useUtf8Console();
    environment.hidVersion = "Windows HID class driver";
#else
    environment.hidVersion = "hidapi " + zelio::hidapiVersion();
#endif
    zelio::FileSink out(stdout), err(stderr);

    if (zelio::takeEmulateOption(args)) {
        zelio::EmulatedHost host(clock);
        host.addModule(zelio::Model::Zel280, 1, 0x12, zelio::ModuleMode::Setting);
        host.addModule(zelio::Model::Zel260, 1, 0x10, zelio::ModuleMode::Normal);
        return zelio::runCli(args, out, err, host, clock, environment);
    }

#ifdef _WIN32
    zelio::Win32HidHost host;
#else
    zelio::HidapiHost host;
#endif
    return zelio::runCli(args, out, err, host, clock, environment);
}
