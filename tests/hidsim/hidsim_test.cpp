// The shipped zelioctl.exe, and the module link itself, through the real
// Windows HID path (SetupDi, HidD, CreateFileW, WriteFile, overlapped
// ReadFile) against virtual modules behind the HID class driver. Every case
// runs in this program's Wine session; a bench removes its devices again.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "link/failure_class.h"
#include "hidsim.h"
#include "link/module_link.h"
#include "link/win32_hid_host.h"
#include "protocol/command_set.h"
#include "run_program.h"

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

TEST_F(RealHidPath, ListVersionWriteReadAndOutputTestWithAForeignDeviceAlongside) {
    ASSERT_TRUE(bench.addForeign(0x1234, 0x0280)) << bench.error();
    VirtualModule* m = add(Model::Zel280, 3, ModuleMode::Setting);
    ASSERT_NE(m, nullptr);

    ProgramResult r = zelioctl(L"list");
    EXPECT_EQ(r.exitCode, kExitOk) << r.err;
    EXPECT_EQ(listedIds(r.out), std::vector<std::string>{"0x280"}) << r.out;

    r = zelioctl(L"version");
    EXPECT_EQ(r.exitCode, kExitOk) << r.err;
    EXPECT_EQ(r.out, "1.2\n");

    r = zelioctl(L"write 285 40 C0 01");
    EXPECT_EQ(r.exitCode, kExitOk) << r.err;
    {
        std::lock_guard<std::mutex> lock(bench.mutex());
        EXPECT_EQ(m->idNibble, 5);
        EXPECT_EQ(m->openDrainMask, 0x40);
        EXPECT_EQ(m->highMask, 0xC0);
        EXPECT_EQ(m->inputMask, 0x01);
    }
    r = zelioctl(L"read");
    EXPECT_EQ(r.exitCode, kExitOk) << r.err;
    EXPECT_EQ(firstLine(r.out), "0285 40 C0 01");

    r = zelioctl(L"test 3 blink 2 7");
    EXPECT_EQ(r.exitCode, kExitOk) << r.err;
    EXPECT_EQ(lastReceived(*m), params(0x45, 0x27, 3));
    r = zelioctl(L"test 8 low");
    EXPECT_EQ(r.exitCode, kExitOk) << r.err;
    EXPECT_EQ(lastReceived(*m), params(0x45, 0x00, 0xF8));
}

TEST_F(RealHidPath, ResetAndIdChangeReenumerateTheModules) {
    VirtualModule* zel280 = add(Model::Zel280, 4, ModuleMode::Setting);
    VirtualModule* zel260 = add(Model::Zel260, 2, ModuleMode::Normal);
    ASSERT_TRUE(zel280 && zel260);
    EXPECT_EQ(modules(), (std::vector<uint16_t>{0x280, 0x262}));

    ProgramResult r = zelioctl(L"reset");
    EXPECT_EQ(r.exitCode, kExitOk) << r.err;
    EXPECT_EQ(r.out, "module reset to I/O mode\n");
    r = zelioctl(L"idchange 262");
    EXPECT_EQ(r.exitCode, kExitOk) << r.err;

    // Each comes back as a new device under its new product ID.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    auto sorted = [&] {
        std::vector<uint16_t> ids = modules();
        std::sort(ids.begin(), ids.end());
        return ids;
    };
    std::vector<uint16_t> now;
    while ((now = sorted()) != std::vector<uint16_t>{0x260, 0x284} && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(now, (std::vector<uint16_t>{0x260, 0x284}));
    r = zelioctl(L"version");
    EXPECT_EQ(r.exitCode, kExitOk) << r.err;
}

TEST_F(RealHidPath, WideReportsCarryTheSameCommands) {
    VirtualModule* m = add(Model::Zel280, 1, ModuleMode::Setting,
                           [](VirtualModule& v) { v.inputReportLength = v.outputReportLength = 65; });
    ASSERT_NE(m, nullptr);
    ProgramResult r = zelioctl(L"write 286 01 02 03");
    EXPECT_EQ(r.exitCode, kExitOk) << r.err;
    r = zelioctl(L"read");
    EXPECT_EQ(r.exitCode, kExitOk) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "0286 01 02 03");
}

// A silent module costs the whole reply limit; the one case that waits it.
TEST_F(RealHidPath, SilentModuleFailsAfterTheReplyLimitAndTheNextCommandWorks) {
    VirtualModule* m = add(Model::Zel280, 1, ModuleMode::Setting, [](VirtualModule& v) { v.silent = true; });
    ASSERT_NE(m, nullptr);
    ProgramResult r = zelioctl(L"version");
    EXPECT_EQ(r.exitCode, kExitTimeout);
    EXPECT_NE(r.err.find("no reply within 2000 ms"), std::string::npos) << r.err;
    EXPECT_GE(r.elapsedMs, ModuleLink::kReplyTimeoutMs);
    {
        std::lock_guard<std::mutex> lock(bench.mutex());
        m->silent = false;
    }
    r = zelioctl(L"version");
    EXPECT_EQ(r.exitCode, kExitOk) << r.err;
    EXPECT_EQ(r.out, "1.2\n");
}

// A write the device never completes fails on time, although the HID class
// driver passes it on in a request of its own that a cancel does not reach.
TEST_F(RealHidPath, WriteTheDeviceHoldsFailsWithinItsBound) {
    Faults hold;
    hold.holdWrites = true;
    VirtualModule* m = add(Model::Zel280, 1, ModuleMode::Setting, {}, hold);
    ASSERT_NE(m, nullptr);
    ProgramResult r = zelioctl(L"version");
    EXPECT_EQ(r.exitCode, kExitTimeout);
    EXPECT_NE(r.err.find("did not take the report within 1000 ms"), std::string::npos) << r.err;
    EXPECT_LT(r.elapsedMs, 15000);  // bounded, not the reply limit nor for ever
}

TEST_F(RealHidPath, ModuleRemovedBetweenOrDuringCommandsFailsAtOnce) {
    VirtualModule* gone = add(Model::Zel280, 1, ModuleMode::Setting);
    ASSERT_NE(gone, nullptr);
    bench.unplug(*gone);
    ProgramResult r = zelioctl(L"version");
    EXPECT_EQ(r.exitCode, kExitNoModule);
    EXPECT_EQ(firstLine(r.err), "zelioctl: no module in setting mode (0x280 or 0x260) is attached");

    // Pulled out after taking the command, while its reply is awaited.
    VirtualModule* m = add(Model::Zel280, 1, ModuleMode::Setting, [](VirtualModule& v) { v.unplugOnNextCommand = true; });
    ASSERT_NE(m, nullptr);
    r = zelioctl(L"version");
    // Gone when the device went (Wine's read fails with "access denied"), not at the reply limit.
    EXPECT_EQ(r.exitCode, kExitNoModule) << r.err;
}

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
