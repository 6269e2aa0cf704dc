// The shipped zelioctl.exe, and the module link itself, through the real
// Windows HID path (SetupDi, HidD, CreateFileW, WriteFile, overlapped
// ReadFile) against virtual modules behind the HID class driver. Every case
// runs in this program's Wine session; a bench removes its devices again.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "link/failure_class.h"
#include "hidsim.h"
#include "link/module_link.h"
#include "link/win32_hid_host.h"
#include "protocol/command_set.h"
#include "run_program.h"
#include "win32/win32_text.h"

namespace zelio::hidsim {
namespace {

ProgramResult zelioctl(const std::wstring& arguments) { return runProgram(L"zelioctl.exe", arguments); }

// The first line of a text.
std::string firstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

// The PID column of zelioctl list's table (its header left out).
std::vector<std::string> listedIds(const std::string& table) {
    std::vector<std::string> ids;
    size_t pos = table.find('\n');
    while (pos != std::string::npos && pos + 1 < table.size()) {
        const size_t end = table.find('\n', pos + 1);
        const std::string row = table.substr(pos + 1, end - pos - 1);
        ids.push_back(row.substr(0, row.find(' ')));
        pos = end;
    }
    return ids;
}

std::vector<uint8_t> params(int code, int p1 = 0, int p2 = 0, int p3 = 0, int p4 = 0, int p5 = 0) {
    return {0x55, 0xAA, static_cast<uint8_t>(code), static_cast<uint8_t>(p1), static_cast<uint8_t>(p2),
            static_cast<uint8_t>(p3), static_cast<uint8_t>(p4), static_cast<uint8_t>(p5)};
}

class RealHidPath : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(bench.error(), ""); }

    VirtualModule* add(Model model, int nibble, ModuleMode mode, const std::function<void(VirtualModule&)>& set = {},
                       Faults faults = {}) {
        VirtualModule* m = bench.addModule(model, nibble, 0x12, mode, set, faults);
        EXPECT_NE(m, nullptr) << bench.error();
        return m;
    }
    // The last output report the module received (bytes 1-8).
    std::vector<uint8_t> lastReceived(VirtualModule& m) {
        std::lock_guard<std::mutex> lock(bench.mutex());
        return m.received.empty() ? std::vector<uint8_t>{} : m.received.back();
    }
    std::vector<uint16_t> modules() {
        Win32HidHost host;
        ModuleLink link(host, systemClock());
        return link.listModules();
    }

    Bench bench;
};

// The scenarios both real-path suites run, from the table next to this
// program (tests/support/real_path_scenarios.txt): its rows for this stack.
struct Step {
    std::string step, exit, checks;
};
std::map<std::string, std::vector<Step>> scenarios() {
    std::map<std::string, std::vector<Step>> table;
    const std::wstring inf = infNextToProgram();
    std::ifstream in(win32::narrow(inf.substr(0, inf.find_last_of(L"\\/") + 1) + L"real_path_scenarios.txt"));
    auto trim = [](std::string text) {
        text.erase(0, text.find_first_not_of(' '));
        return text.erase(text.find_last_not_of(' ') + 1);
    };
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> cells;
        for (size_t at = 0; at <= line.size();) {
            const size_t end = std::min(line.find('|', at), line.size());
            cells.push_back(trim(line.substr(at, end - at)));
            at = end + 1;
        }
        if (cells.size() == 5 && !cells[0].empty() && cells[0][0] != '#' && cells[1] != "linux")
            table[cells[0]].push_back({cells[2], cells[3], cells[4]});
    }
    return table;
}

std::vector<std::string> words(const std::string& text, char separator = ' ') {
    std::vector<std::string> out;
    std::stringstream in(text);
    for (std::string word; std::getline(in, word, separator);)
        if (!word.empty()) out.push_back(word);
    return out;
}

class SharedScenario : public RealHidPath, public ::testing::WithParamInterface<std::string> {};

TEST_P(SharedScenario, Runs) {
    std::map<std::string, VirtualModule*> modules;
    const std::map<std::string, std::vector<Step>> table = scenarios();
    for (const Step& row : table.at(GetParam())) {
        SCOPED_TRACE(row.step);
        const std::vector<std::string> step = words(row.step);
        const std::string rest = row.step.substr(row.step.find(' ') + 1);
        ProgramResult r;
        if (step[0] == "module") {
            ASSERT_NE(modules[step[1]] = bench.addModule(step[2]), nullptr) << bench.error();
        } else if (step[0] == "foreign") {
            ASSERT_TRUE(bench.addForeign(std::stoi(step[2], nullptr, 16), std::stoi(step[2].substr(5), nullptr, 16)));
        } else if (step[0] == "unplug") {
            bench.unplug(*modules[step[1]]);
        } else if (step[0] == "set") {
            std::lock_guard<std::mutex> lock(bench.mutex());
            if (step[2].rfind("silent=", 0) == 0) modules[step[1]]->silent = step[2] == "silent=1";
            if (step[2].rfind("late=", 0) == 0) modules[step[1]]->replyDelayMs = std::stoi(step[2].substr(5));
        } else if (step[0] == "until-ids") {
            std::vector<std::string> want(step.begin() + 1, step.end()), now;
            for (int i = 0; i < 400 && now != want; ++i) {
                now = listedIds(zelioctl(L"list").out);
                std::sort(now.begin(), now.end());
                if (now != want) std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            EXPECT_EQ(now, want);
        } else if (step[0] == "zelioctl") {
            r = zelioctl(win32::widen(rest));
            EXPECT_EQ(std::to_string(r.exitCode), row.exit) << r.err;
        } else {
            FAIL() << "no such step on this stack";
        }
        for (std::string check : words(row.checks, ';')) {
            check = check.substr(check.find_first_not_of(' '));
            if (check.rfind("linux:", 0) == 0) continue;
            if (check.rfind("wine:", 0) == 0) check = check.substr(5);
            const std::string arg = check.substr(std::min(check.find(' ') + 1, check.size()));
            const std::vector<std::string> args = words(arg);
            if (check.rfind("out ", 0) == 0) EXPECT_EQ(r.out.rfind(arg, 0), 0u) << r.out;
            else if (check.rfind("err~", 0) == 0) EXPECT_NE(r.err.find(check.substr(4)), std::string::npos) << r.err;
            else if (check.rfind("ids ", 0) == 0) EXPECT_EQ(listedIds(r.out), args) << r.out;
            else if (check.rfind("ms>=", 0) == 0) EXPECT_GE(r.elapsedMs, std::stoi(check.substr(4)));
            else if (check.rfind("ms<", 0) == 0) EXPECT_LT(r.elapsedMs, std::stoi(check.substr(3)));
            else if (check.rfind("state ", 0) == 0 || check.rfind("last ", 0) == 0) {
                std::lock_guard<std::mutex> lock(bench.mutex());
                const std::string state = modules[args[0]]->stateLine() + " ";
                const std::string want = arg.substr(arg.find(' ') + 1);
                if (check[0] == 'l') EXPECT_NE(state.find("last=" + want + " "), std::string::npos) << state;
                for (size_t i = 1; check[0] == 's' && i < args.size(); ++i)
                    EXPECT_NE(state.find(" " + args[i] + " "), std::string::npos) << state;
            } else {
                ADD_FAILURE() << "no such check: " << check;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(RealPath, SharedScenario, ::testing::ValuesIn([] {
    std::vector<std::string> names;
    for (const auto& [name, steps] : scenarios()) names.push_back(name);
    return names;
}()), [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

TEST_F(RealHidPath, AModuleServesOneProgramAtATime) {
    ASSERT_NE(add(Model::Zel280, 1, ModuleMode::Setting), nullptr);
    // This program keeps the module after a command of its own.
    Win32HidHost host;
    ModuleLink link(host, systemClock());
    link.holdModuleLock(true);
    ASSERT_EQ(link.transact(0x280, commandReport(0x40)), 1) << link.lastFailure().text();
    ProgramResult r = zelioctl(L"--json version");
    EXPECT_EQ(r.exitCode, kExitBusy) << r.err;
    EXPECT_EQ(r.out.rfind("{\"ok\":false,\"error\":\"busy\"", 0), 0u) << r.out;
    EXPECT_GE(r.elapsedMs, kModuleLockWaitMs);
    link.holdModuleLock(false);
    EXPECT_EQ(zelioctl(L"version").exitCode, kExitOk);
}

// A host whose read handles take a while to open: a late reply lands on the
// new handle before the command is written, as it can on a busy machine.
class SlowReadOpenHost final : public HidHost {
public:
    std::vector<std::string> enumerate() override { return inner.enumerate(); }
    bool attributes(const std::string& path, HidAttributes& out) override { return inner.attributes(path, out); }
    std::unique_ptr<HidHandle> open(const std::string& path, bool overlapped) override {
        std::unique_ptr<HidHandle> handle = inner.open(path, overlapped);
        if (overlapped && handle) std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        return handle;
    }
    Win32HidHost inner;
    int delayMs = 0;
};

TEST_F(RealHidPath, LateReplyIsNeverTakenForTheNextCommandsAnswer) {
    VirtualModule* m = add(Model::Zel280, 3, ModuleMode::Setting);
    ASSERT_NE(m, nullptr);
    SlowReadOpenHost host;
    ModuleLink link(host, systemClock());
    auto setDelay = [&](int ms) {
        std::lock_guard<std::mutex> lock(bench.mutex());
        m->replyDelayMs = ms;
    };
    const Reply configuration{0x43, 0x00, 0x03, 0x00, 0x00, 0x00};

    // Arriving before the next command's write (its read handle is open).
    setDelay(ModuleLink::kReplyTimeoutMs + 150);
    host.delayMs = 400;
    EXPECT_EQ(link.transact(0x280, commandReport(0x40)), 0);
    setDelay(0);
    ASSERT_EQ(link.transact(0x280, commandReport(0x43, 0)), 1) << link.lastFailure().text();
    EXPECT_EQ(link.reply(), configuration);

    // Arriving after it, ahead of the real reply.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    setDelay(ModuleLink::kReplyTimeoutMs + 150);
    host.delayMs = 0;
    EXPECT_EQ(link.transact(0x280, commandReport(0x40)), 0);
    setDelay(400);
    ASSERT_EQ(link.transact(0x280, commandReport(0x43, 0)), 1) << link.lastFailure().text();
    EXPECT_EQ(link.reply(), configuration);
}

}  // namespace
}  // namespace zelio::hidsim
