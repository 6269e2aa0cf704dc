// zelio-hidsim: installs virtual modules behind Wine's HID class driver,
// serves them with the emulator's firmware, and either runs a program
// against them or waits; the devices are removed when it ends.
//
//   zelio-hidsim [DEVICE...] [-- PROGRAM [ARGS...]]
//   zelio-hidsim [DEVICE...] --bench N
//   zelio-hidsim --clean
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <shellapi.h>

#include "hidsim.h"
#include "link/module_link.h"
#include "link/win32_hid_host.h"
#include "protocol/command_set.h"

namespace {

using namespace zelio;
using namespace zelio::hidsim;

constexpr const char* kUsage =
    "usage: zelio-hidsim [DEVICE...] [-- PROGRAM [ARGS...]]\n"
    "       zelio-hidsim [DEVICE...] --bench N\n"
    "       zelio-hidsim --clean\n"
    "\n"
    "Devices (each may be given several times):\n"
    "  --module MODEL:MODE[:FAULT,...]   a virtual module; MODEL 280 or 260,\n"
    "        MODE setting or normal (ID nibble 1), FAULTs:\n"
    "          silent          takes commands, never replies\n"
    "          late=MS         every reply arrives MS milliseconds late\n"
    "          hold-writes     writes are taken and never complete\n"
    "          wide            65-byte reports instead of 9\n"
    "          unplug          pulled out on the next command (during its read)\n"
    "  --foreign VID:PID [xN]   a HID device of another vendor (N of them)\n"
    "\n"
    "With a PROGRAM it is run in this Wine session and its exit status\n"
    "returned; without one the devices stay until Enter is pressed.\n"
    "--bench N times N firmware-version commands through the real HID path and\n"
    "prints the link's own time per command (the 40 ms pause taken off), the\n"
    "time to find the module, the driver calls per command and the floor\n"
    "(the HID host's own open, write, read and close of the same report).\n"
    "--clean removes every virtual device left in the prefix.\n";

std::vector<std::string> splitAt(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::stringstream in(text);
    std::string part;
    while (std::getline(in, part, separator)) parts.push_back(part);
    return parts;
}

bool hexNumber(const std::string& text, unsigned& value) {
    char* end = nullptr;
    value = static_cast<unsigned>(std::strtoul(text.c_str(), &end, 16));
    return !text.empty() && end && *end == '\0' && value <= 0xFFFF;
}

bool addModule(Bench& bench, const std::string& description) {
    if (bench.addModule(description)) return true;
    std::cerr << "zelio-hidsim: module " << description << ": " << bench.error() << '\n';
    return false;
}

// The real clock, noting when the last pause ended.
class PauseClock final : public Clock {
public:
    void sleepMs(int ms) override {
        systemClock().sleepMs(ms);
        pauseEnded = std::chrono::steady_clock::now();
    }
    int64_t nowMs() override { return systemClock().nowMs(); }
    std::chrono::steady_clock::time_point pauseEnded;
};

// Counts the calls that reach the HID driver, and notes when a command's
// module was found: the first ID check on an opened handle.
class CountingHost final : public ForwardingHidHost {
public:
    using ForwardingHidHost::ForwardingHidHost;
    struct Counts {
        int enumerations = 0, opens = 0, closes = 0, queries = 0, writes = 0, reads = 0;
        int total() const { return enumerations + opens + closes + queries + writes + reads; }
    } counts;
    std::chrono::steady_clock::time_point found;

    std::vector<std::string> enumerate() override {
        ++counts.enumerations;
        return ForwardingHidHost::enumerate();
    }
    std::vector<HidDeviceInfo> enumerateVendor(uint16_t vendorId) override {
        ++counts.enumerations;
        return ForwardingHidHost::enumerateVendor(vendorId);
    }
    bool attributes(const std::string& path, HidAttributes& out) override {
        ++counts.queries;
        return ForwardingHidHost::attributes(path, out);
    }
    std::unique_ptr<HidHandle> open(const std::string& path, bool overlapped) override {
        ++counts.opens;
        std::unique_ptr<HidHandle> handle = ForwardingHidHost::open(path, overlapped);
        if (!handle) return handle;
        return std::make_unique<Handle>(*this, std::move(handle));
    }

private:
    class Handle final : public ForwardingHidHandle {
    public:
        Handle(CountingHost& host, std::unique_ptr<HidHandle> inner)
            : ForwardingHidHandle(std::move(inner)), host_(host) {}
        ~Handle() override { ++host_.counts.closes; }
        bool attributes(HidAttributes& out) override {
            ++host_.counts.queries;
            const bool known = ForwardingHidHandle::attributes(out);
            if (host_.found == std::chrono::steady_clock::time_point{}) host_.found = std::chrono::steady_clock::now();
            return known;
        }
        bool caps(HidCaps& out) override {
            ++host_.counts.queries;
            return ForwardingHidHandle::caps(out);
        }
        bool write(const uint8_t* data, size_t length) override {
            ++host_.counts.writes;
            return ForwardingHidHandle::write(data, length);
        }
        ReadResult read(uint8_t* buffer, size_t length, int timeoutMs) override {
            ++host_.counts.reads;
            return ForwardingHidHandle::read(buffer, length, timeoutMs);
        }

    private:
        CountingHost& host_;
    };
};

double msSince(std::chrono::steady_clock::time_point start, std::chrono::steady_clock::time_point end) {
    return std::chrono::duration<double, std::milli>(end - start).count();
}

// Median, 95th percentile and spread (fastest to slowest): a shared
// machine's load shows in the mean.
std::string summary(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    char text[128];
    std::snprintf(text, sizeof text, "median %.2f ms, p95 %.2f ms, spread %.2f-%.2f ms", ms[ms.size() / 2],
                  ms[std::min(ms.size() - 1, ms.size() * 95 / 100)], ms.front(), ms.back());
    return text;
}

// Times `count` firmware-version commands to the attached module through
// the real path. Each command pauses 40 ms by design; what is left is the link.
int benchmark(int count) {
    Win32HidHost system;
    CountingHost host(system);
    PauseClock clock;
    ModuleLink link(host, clock);
    CommandSet commands(link);
    const uint16_t id = commands.attach();
    if (id == 0) {
        std::cerr << "zelio-hidsim: no module to time\n";
        return 1;
    }
    const CommandReport report = commandReport(cmd::kFirmwareVersion);
    std::vector<double> linkMs, findMs;  // each command's time, the pause taken off; of it, finding the module
    const CountingHost::Counts before = host.counts;
    for (int i = 0; i < count; ++i) {
        host.found = {};
        const auto start = std::chrono::steady_clock::now();
        if (!link.transact(id, report)) {
            std::cerr << "zelio-hidsim: command " << i + 1 << " failed: " << link.lastFailure().text() << '\n';
            return 1;
        }
        linkMs.push_back(msSince(start, std::chrono::steady_clock::now()) - ModuleLink::kPauseMs);
        findMs.push_back(msSince(start, host.found));  // the module is opened during the pause
    }
    const CountingHost::Counts after = host.counts;
    const auto perCommand = [&](int CountingHost::Counts::*field) {
        return static_cast<double>(after.*field - before.*field) / count;
    };
    // A full look, for comparison: what the directory does at attach and
    // after a hot-plug event.
    std::vector<double> refreshMs;
    size_t modules = 0;
    for (int i = 0; i < count; ++i) {
        const auto start = std::chrono::steady_clock::now();
        modules = link.directory().refresh().size();
        refreshMs.push_back(msSince(start, std::chrono::steady_clock::now()));
    }
    // The floor, in the same run through the same device: the HID host's own
    // open, write, read and close of the same report, nothing of the link.
    std::vector<double> floorMs;
    const std::string path = link.pinned() ? link.pinned()->path : std::string();
    std::vector<uint8_t> raw(std::max<size_t>(link.caps().outputReportLength, report.size()), 0);
    std::copy(report.begin(), report.end(), raw.begin());
    std::vector<uint8_t> reply(std::max<size_t>(link.caps().inputReportLength, 9), 0);
    for (int i = 0; i < count && !path.empty(); ++i) {
        const auto start = std::chrono::steady_clock::now();
        std::unique_ptr<HidHandle> handle = system.open(path, true);
        if (!handle || !handle->write(raw.data(), link.caps().outputReportLength) ||
            handle->read(reply.data(), link.caps().inputReportLength, ModuleLink::kReplyTimeoutMs) != ReadResult::Ok)
            continue;
        handle.reset();
        floorMs.push_back(msSince(start, std::chrono::steady_clock::now()));
        Sleep(ModuleLink::kPauseMs);
    }
    std::printf("%d commands; the link's own time per command (the %d ms pause taken off): %s\n"
                "  of it finding the module: %s\n"
                "  driver calls per command: %.1f (enumerations %.1f, opens %.1f, closes %.1f, queries %.1f, "
                "writes %.1f, reads %.1f)\n"
                "  a full look at the directory (%zu module(s) among %zu HID interfaces): %s\n",
                count, ModuleLink::kPauseMs, summary(linkMs).c_str(), summary(findMs).c_str(),
                static_cast<double>(after.total() - before.total()) / count, perCommand(&CountingHost::Counts::enumerations),
                perCommand(&CountingHost::Counts::opens), perCommand(&CountingHost::Counts::closes),
                perCommand(&CountingHost::Counts::queries), perCommand(&CountingHost::Counts::writes),
                perCommand(&CountingHost::Counts::reads), modules, system.enumerate().size(),
                summary(refreshMs).c_str());
    if (!floorMs.empty())
        std::printf("  floor, same run and device (the host's open, write, read, close): %s\n", summary(floorMs).c_str());
    return 0;
}

std::wstring quoted(const std::wstring& word) {
    if (!word.empty() && word.find_first_of(L" \t\"") == std::wstring::npos) return word;
    std::wstring out = L"\"";
    for (wchar_t c : word) {
        if (c == L'"') out += L'\\';
        out += c;
    }
    return out + L"\"";
}

int runCommand(const std::vector<std::wstring>& words) {
    std::wstring commandLine;
    for (const std::wstring& word : words) commandLine += (commandLine.empty() ? L"" : L" ") + quoted(word);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        std::cerr << "zelio-hidsim: cannot start the program (error " << GetLastError() << ")\n";
        return 1;
    }
    WaitForSingleObject(info.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return static_cast<int>(code);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    std::vector<std::wstring> program;
    for (int i = 1; i < argc; ++i) {
        std::wstring word = argv[i];
        if (word == L"--") {
            program.assign(argv + i + 1, argv + argc);
            break;
        }
        args.emplace_back(word.begin(), word.end());  // options are ASCII
    }
    if (args.size() == 1 && args[0] == "--clean") {
        std::cout << removeAllDevices() << " device(s) removed\n";
        return 0;
    }

    Bench bench;
    if (!bench.error().empty()) {
        std::cerr << "zelio-hidsim: " << bench.error() << '\n';
        return 1;
    }
    int benchCount = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        const bool hasValue = i + 1 < args.size();
        if (args[i] == "--module" && hasValue) {
            if (!addModule(bench, args[++i])) {
                std::cerr << kUsage;
                return 2;
            }
        } else if (args[i] == "--foreign" && hasValue) {
            const std::vector<std::string> ids = splitAt(args[++i], ':');
            unsigned vid = 0, pid = 0;
            if (ids.size() != 2 || !hexNumber(ids[0], vid) || !hexNumber(ids[1], pid)) {
                std::cerr << kUsage;
                return 2;
            }
            int copies = 1;
            if (i + 1 < args.size() && args[i + 1].size() > 1 && args[i + 1][0] == 'x')
                copies = std::atoi(args[++i].c_str() + 1);
            for (int n = 0; n < copies; ++n) {
                if (!bench.addForeign(static_cast<uint16_t>(vid), static_cast<uint16_t>(pid))) {
                    std::cerr << "zelio-hidsim: foreign device: " << bench.error() << '\n';
                    return 1;
                }
            }
        } else if (args[i] == "--bench" && hasValue) {
            benchCount = std::atoi(args[++i].c_str());
            if (benchCount <= 0) {
                std::cerr << kUsage;
                return 2;
            }
        } else {
            std::cerr << kUsage;
            return 2;
        }
    }

    if (benchCount > 0) return benchmark(benchCount);
    if (!program.empty()) return runCommand(program);
    std::cout << "virtual devices ready; press Enter to remove them" << std::endl;
    std::string line;
    std::getline(std::cin, line);
    return 0;
}
