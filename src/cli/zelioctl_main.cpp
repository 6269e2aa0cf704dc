// zelioctl entry point: picks the HID host and hands the words to runCli.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <shellapi.h>

#include "link/win32_hid_host.h"
#include "win32/win32_text.h"
#include <fcntl.h>
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>

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

// A standard descriptor that was closed (`zelioctl read >&-`) gets the null
// device, so that no file or device node opened later takes its number and
// receives what was meant for the terminal.
void openClosedStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
#ifdef _WIN32
        if (const intptr_t h = ::_get_osfhandle(fd); h != -1 && h != -2) continue;  // -2: no console
        const int null = ::_open("NUL", fd == 0 ? _O_RDONLY : _O_WRONLY);
        if (null >= 0 && null != fd) ::_dup2(null, fd), ::_close(null);
#else
        if (::fcntl(fd, F_GETFD) != -1) continue;
        const int null = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (null >= 0 && null != fd) ::dup2(null, fd), ::close(null);
#endif
    }
}

}  // namespace

int main(int argc, char** argv) {
    openClosedStandardDescriptors();
#ifdef SIGPIPE
    // A reader that went away (`zelioctl list | head -0`) makes the write
    // fail with EPIPE: a failure with its message and exit status 1.
    std::signal(SIGPIPE, SIG_IGN);
#endif
#ifdef SIGXFSZ
    // A file that would grow past the size limit (ulimit -f): the write
    // fails with EFBIG, and a log row is cut back instead of left half written.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
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

    std::optional<std::string> stateFile;
    if (zelio::takeEmulateOption(args, &stateFile))
        return zelio::runEmulated(args, out, err, clock, zelio::wallClock(), environment, stateFile);

#ifdef _WIN32
    zelio::Win32HidHost host;
#else
    zelio::HidapiHost host;
#endif
    return zelio::runCli(args, out, err, host, clock, environment);
}
