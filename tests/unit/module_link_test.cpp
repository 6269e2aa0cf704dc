#include <gtest/gtest.h>

#include <chrono>

#include "emulator/emulated_host.h"
#include "link/module_link.h"
#include "protocol/command_set.h"
#include "manual_clock.h"

using namespace zelio;

namespace {

class LinkTest : public ::testing::Test {
protected:
    ManualClock clock;
    EmulatedHost host{clock};
    ModuleLink link{host, clock};

    static std::vector<uint8_t> params(int code, int p1 = 0, int p2 = 0, int p3 = 0, int p4 = 0, int p5 = 0) {
        return {0x55, 0xAA, static_cast<uint8_t>(code), static_cast<uint8_t>(p1), static_cast<uint8_t>(p2),
                static_cast<uint8_t>(p3),  static_cast<uint8_t>(p4), static_cast<uint8_t>(p5)};
    }
};

TEST_F(LinkTest, CommandToAbsentIdPausesWritesNothingAndFails) {
    VirtualModule& m = host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    EXPECT_EQ(link.send(0x265, commandReport(0x47, 2)), 0);
    EXPECT_EQ(link.transact(0x281, commandReport(0x40)), 0);
    EXPECT_EQ(link.linkStatus(), 0);
    EXPECT_EQ(link.lastFailure().kind, FailureKind::NotFound);
    EXPECT_EQ(m.reportCount, 0u);
    ASSERT_EQ(clock.sleeps().size(), 2u);
    EXPECT_EQ(clock.sleeps()[0], ModuleLink::kPauseMs);
    EXPECT_FALSE(link.isOpen());
}

TEST_F(LinkTest, CommandReachesOnlyTheNamedModule) {
    VirtualModule& a = host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Normal);  // 0x281
    VirtualModule& b = host.addModule(Model::Zel260, 2, 0x10, ModuleMode::Normal);  // 0x262
    ASSERT_EQ(link.send(0x262, commandReport(0x45, 0, 3)), 1);
    EXPECT_EQ(a.reportCount, 0u);
    ASSERT_EQ(b.reportCount, 1u);
    EXPECT_EQ(b.received.back(), params(0x45, 0, 3));
    ASSERT_EQ(link.send(0x281, commandReport(0x45, 0, 4)), 1);
    EXPECT_EQ(a.reportCount, 1u);
    EXPECT_EQ(b.reportCount, 1u);
}

TEST_F(LinkTest, ParametersTravelAsTheirLowEightBits) {
    VirtualModule& m = host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    ASSERT_EQ(link.send(0x280, commandReport(0x45, -1, -3, 0x1FF, 256, -128)), 1);
    EXPECT_EQ(m.received.back(), params(0x45, 0xFF, 0xFD, 0xFF, 0x00, 0x80));
}

TEST_F(LinkTest, ReplyTextRendersTheSixDataBytes) {
    VirtualModule& m = host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    m.replyOverride = {0x01, 0x02, 0x0A, 0xFF, 0x00, 0x10};
    ASSERT_EQ(link.transact(0x280, commandReport(0x40)), 1);
    EXPECT_EQ(link.reply(), (Reply{0x01, 0x02, 0x0A, 0xFF, 0x00, 0x10}));
    // A failed transaction leaves the last reply as it was.
    m.silent = true;
    EXPECT_EQ(link.transact(0x280, commandReport(0x40)), 0);
    EXPECT_EQ(link.reply(), (Reply{0x01, 0x02, 0x0A, 0xFF, 0x00, 0x10}));
}

TEST_F(LinkTest, ListModulesNamesEveryFamilyMemberInEnumerationOrder) {
    EXPECT_TRUE(link.listModules().empty());
    host.addForeignDevice(0x046D, 0xC077);
    host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Normal);
    host.addLockedInterface();
    host.addModule(Model::Zel260, 0, 0x10, ModuleMode::Setting);
    host.addForeignDevice(0x1234, 0x280);  // right product ID, wrong vendor
    host.addModule(Model::Zel280, 9, 0x12, ModuleMode::Setting);
    EXPECT_EQ(link.listModules(), (std::vector<uint16_t>{0x281, 0x260, 0x280}));
    EXPECT_FALSE(link.isOpen());
}

TEST_F(LinkTest, ListModulesLeavesLinkStatusAlone) {
    host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    ASSERT_EQ(link.connect(0x280), 0x280);
    EXPECT_EQ(link.linkStatus(), 1);
    link.listModules();
    EXPECT_EQ(link.linkStatus(), 1);
    EXPECT_EQ(link.connect(0x260), 0);
    link.listModules();
    EXPECT_EQ(link.linkStatus(), 0);
}

TEST_F(LinkTest, ForeignDevicesAndLockedInterfacesNeverMatch) {
    host.addLockedInterface();
    host.addForeignDevice(0x1234, 0x280);
    EXPECT_EQ(link.open(0x280), 0);
    VirtualModule& m = host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    EXPECT_EQ(link.open(0x280), 1);
    EXPECT_EQ(link.send(0x280, commandReport(0x40)), 1);
    EXPECT_EQ(m.reportCount, 1u);
}

// ---- faults: each ends in a clean failure, and the next command works

TEST_F(LinkTest, SilentModuleTimesOutAndTheNextCommandWorks) {
    VirtualModule& m = host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    m.silent = true;
    const int64_t before = clock.nowMs();
    EXPECT_EQ(link.transact(0x280, commandReport(0x40)), 0);
    EXPECT_EQ(link.linkStatus(), 0);
    EXPECT_EQ(clock.nowMs() - before, ModuleLink::kPauseMs + ModuleLink::kReplyTimeoutMs);
    EXPECT_EQ(link.lastFailure().kind, FailureKind::Timeout);
    EXPECT_EQ(link.lastFailure().text(), "read: no reply within 2000 ms");
    m.silent = false;
    ASSERT_EQ(link.transact(0x280, commandReport(0x40)), 1);
    EXPECT_FALSE(link.lastFailure());
    EXPECT_EQ(link.reply(), (Reply{0x40, 0x12, 0x00, 0x00, 0x00, 0x00}));
}

TEST_F(LinkTest, RefusedWriteFailsWithoutWaitingForAReply) {
    VirtualModule& m = host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    m.refuseWrites = true;
    const int64_t before = clock.nowMs();
    EXPECT_EQ(link.send(0x280, commandReport(0x45, 0, 1)), 0);
    EXPECT_EQ(link.transact(0x280, commandReport(0x40)), 0);
    EXPECT_EQ(clock.nowMs() - before, 2 * ModuleLink::kPauseMs);
    EXPECT_EQ(m.reportCount, 0u);
    m.refuseWrites = false;
    EXPECT_EQ(link.transact(0x280, commandReport(0x40)), 1);
}

TEST_F(LinkTest, ModuleUnpluggedDuringACommandFailsAtOnce) {
    VirtualModule& m = host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    int changes = 0;
    host.setOnDevicesChanged([&] { ++changes; });
    m.unplugOnNextCommand = true;
    const int64_t before = clock.nowMs();
    EXPECT_EQ(link.transact(0x280, commandReport(0x40)), 0);
    EXPECT_LT(clock.nowMs() - before, ModuleLink::kPauseMs + ModuleLink::kReplyTimeoutMs);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(link.transact(0x280, commandReport(0x40)), 0);
    host.plug(m);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(link.transact(0x280, commandReport(0x40)), 1);
}

TEST_F(LinkTest, LateReplyWithinTheLimitIsAccepted) {
    VirtualModule& m = host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    m.replyDelayMs = 1500;
    ASSERT_EQ(link.transact(0x280, commandReport(0x40)), 1);
    EXPECT_EQ(link.reply(), (Reply{0x40, 0x12, 0x00, 0x00, 0x00, 0x00}));
}

TEST_F(LinkTest, ReplyPastTheLimitIsNeverTakenForTheNextCommandsAnswer) {
    VirtualModule& m = host.addModule(Model::Zel280, 3, 0x12, ModuleMode::Setting);
    m.replyDelayMs = 2500;
    EXPECT_EQ(link.transact(0x280, commandReport(0x40)), 0);
    m.replyDelayMs = 0;
    ASSERT_EQ(link.transact(0x280, commandReport(0x43, 0)), 1);
    EXPECT_EQ(link.reply(), (Reply{0x43, 0x00, 0x03, 0x00, 0x00, 0x00}));

    // The late version reply reaches the next command's read handle, which
    // is open when it arrives: just before that command's write...
    clock.advance(1000);  // nothing of the above is on its way any more
    m.replyDelayMs = ModuleLink::kReplyTimeoutMs + ModuleLink::kPauseMs;
    EXPECT_EQ(link.transact(0x280, commandReport(0x40)), 0);
    m.replyDelayMs = 0;
    ASSERT_EQ(link.transact(0x280, commandReport(0x43, 0)), 1);
    EXPECT_EQ(link.reply(), (Reply{0x43, 0x00, 0x03, 0x00, 0x00, 0x00}));

    // ... or after it, ahead of the real reply.
    clock.advance(1000);
    m.replyDelayMs = ModuleLink::kReplyTimeoutMs + ModuleLink::kPauseMs + 10;
    EXPECT_EQ(link.transact(0x280, commandReport(0x40)), 0);
    m.replyDelayMs = 100;
    ASSERT_EQ(link.transact(0x280, commandReport(0x43, 0)), 1);
    EXPECT_EQ(link.reply(), (Reply{0x43, 0x00, 0x03, 0x00, 0x00, 0x00}));

    // A reply without the echo still counts.
    m.replyDelayMs = 0;
    m.replyOverride = {0x00, 0x21};
    ASSERT_EQ(link.transact(0x280, commandReport(0x40)), 1);
    EXPECT_EQ(link.reply(), (Reply{0x00, 0x21, 0x00, 0x00, 0x00, 0x00}));
}

TEST_F(LinkTest, WriteTheModuleNeverTakesFailsWithinItsBound) {
    VirtualModule& m = host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    m.holdWrites = true;
    const int64_t before = clock.nowMs();
    EXPECT_EQ(link.transact(0x280, commandReport(0x40)), 0);
    EXPECT_EQ(clock.nowMs() - before, ModuleLink::kPauseMs + HidHandle::kWriteTimeoutMs);
    EXPECT_EQ(link.lastFailure().kind, FailureKind::Timeout);
    m.holdWrites = false;
    EXPECT_EQ(link.transact(0x280, commandReport(0x40)), 1);
}

// The IDs decide before anything is opened for I/O: other devices are never
// opened, an interface whose reports cannot carry a command is passed over,
// and a module that cannot be opened says why.
TEST_F(LinkTest, OnlyTheModuleIsOpenedAndOnlyWhenItsReportsFit) {
    host.addLockedInterface();
    host.addForeignDevice(0x1234, 0x280);
    VirtualModule& narrow = host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    narrow.outputReportLength = 8;
    VirtualModule& shortReplies = host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    shortReplies.inputReportLength = 6;
    VirtualModule& m = host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    EXPECT_EQ(link.listModules(), (std::vector<uint16_t>{0x280, 0x280, 0x280}));
    EXPECT_EQ(host.opens(), 0);
    const int opensBefore = host.opens();
    ASSERT_EQ(link.transact(0x280, commandReport(0x40)), 1);
    EXPECT_EQ(m.reportCount, 1u);
    EXPECT_EQ(narrow.reportCount + shortReplies.reportCount, 0u);
    EXPECT_EQ(host.opens() - opensBefore, 4);  // the two misfits' write handles, the module's two

    m.accessDenied = true;
    narrow.outputReportLength = shortReplies.inputReportLength = 9;
    narrow.accessDenied = shortReplies.accessDenied = true;
    EXPECT_EQ(link.transact(0x280, commandReport(0x40)), 0);
    EXPECT_EQ(link.lastFailure().kind, FailureKind::Access);
    EXPECT_EQ(link.lastFailure().text(), "found 0x280 at emu://2 but cannot open it: access denied");
}

TEST_F(LinkTest, LongReportsAreZeroFilledBeyondTheCommand) {
    VirtualModule& m = host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    m.inputReportLength = 65;
    m.outputReportLength = 65;
    ASSERT_EQ(link.transact(0x280, commandReport(0x43, 1, 3, 0x40, 0xC0, 0x01)), 1);
    EXPECT_EQ(link.caps().outputReportLength, 65);
    EXPECT_EQ(link.reply(), (Reply{0x43, 0x01, 0x03, 0x40, 0xC0, 0x01}));
    EXPECT_EQ(m.received.back(), params(0x43, 1, 3, 0x40, 0xC0, 0x01));
    // A 9-byte device after a 65-byte one gets exactly 9 bytes again.
    VirtualModule& small = host.addModule(Model::Zel260, 1, 0x10, ModuleMode::Setting);
    EXPECT_EQ(link.transact(0x260, commandReport(0x40)), 1);
    EXPECT_EQ(small.reportCount, 1u);
}

TEST_F(LinkTest, ShortReportsFailCleanlyWithoutOverrun) {
    VirtualModule& m = host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    m.outputReportLength = 5;  // the command does not fit: the module ignores it
    EXPECT_EQ(link.transact(0x280, commandReport(0x40)), 0);
    m.outputReportLength = 9;
    m.inputReportLength = 3;  // replies of two data bytes cannot be its replies
    EXPECT_EQ(link.transact(0x280, commandReport(0x40)), 0);
    EXPECT_EQ(m.reportCount, 0u);
    m.inputReportLength = 9;
    EXPECT_EQ(link.transact(0x280, commandReport(0x43, 0)), 1);
    EXPECT_EQ(link.reply(), (Reply{0x43, 0x00, 0x01, 0x00, 0x00, 0x00}));
}

TEST_F(LinkTest, EveryOpenReopensTheDevice) {
    host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    link.transact(0x280, commandReport(0x40));
    const int opens = host.opens();
    link.transact(0x280, commandReport(0x40));
    EXPECT_EQ(host.opens() - opens, 2);  // write handle and read handle
}

// The module's interface opens for writes but refuses the second, overlapped
// open: it is still the module found, so commands without a reply reach it,
// and a command with a reply fails at once and sends nothing.
TEST_F(LinkTest, ModuleWhoseReadOpenFailsIsStillFound) {
    class NoReadsHost final : public HidHost {
    public:
        explicit NoReadsHost(HidHost& inner) : inner_(inner) {}
        std::vector<std::string> enumerate() override { return inner_.enumerate(); }
        std::unique_ptr<HidHandle> open(const std::string& path, bool overlapped) override {
            return overlapped ? nullptr : inner_.open(path, false);
        }

    private:
        HidHost& inner_;
    } noReads(host);
    ModuleLink lonely(noReads, clock);
    VirtualModule& first = host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    VirtualModule& second = host.addModule(Model::Zel280, 2, 0x12, ModuleMode::Setting);

    EXPECT_EQ(lonely.open(0x280), 1);
    EXPECT_EQ(lonely.send(0x280, commandReport(0x45, 0, 2)), 1);
    EXPECT_EQ(first.reportCount, 1u);
    EXPECT_EQ(first.received.back(), params(0x45, 0, 2));
    EXPECT_EQ(second.reportCount, 0u);  // enumeration ended at the first match

    const int64_t before = clock.nowMs();
    EXPECT_EQ(lonely.transact(0x280, commandReport(0x40)), 0);
    EXPECT_EQ(lonely.linkStatus(), 0);
    EXPECT_EQ(clock.nowMs() - before, ModuleLink::kPauseMs);
    EXPECT_EQ(first.reportCount, 1u);
    EXPECT_EQ(second.reportCount, 0u);
}

// ---- real time, generous bounds

TEST(LinkRealTime, PauseBeforeEverySendIsAtLeastFortyMilliseconds) {
    EmulatedHost host;
    ModuleLink link(host, systemClock());
    host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(link.send(0x280, commandReport(0x45, 0, 1)), 1);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(40));
}

TEST(LinkRealTime, SilentModuleGivesUpAfterTwoSecondsAndTheNextCommandWorks) {
    EmulatedHost host;
    ModuleLink link(host, systemClock());
    VirtualModule& m = host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    m.silent = true;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(link.transact(0x280, commandReport(0x40)), 0);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(2000));
    EXPECT_LT(took, std::chrono::seconds(30));
    m.silent = false;
    EXPECT_EQ(link.transact(0x280, commandReport(0x40)), 1);
}

}  // namespace

// A host whose first open of a device, while no handle to it is open, sleeps
// as a Linux USB HID node does (59 ms here).
class SlowFirstOpenHost final : public ForwardingHidHost {
public:
    SlowFirstOpenHost(EmulatedHost& host, ManualClock& clock) : ForwardingHidHost(host), host_(host), clock_(clock) {}
    std::unique_ptr<HidHandle> open(const std::string& path, bool overlapped) override {
        if (host_.openHandles() == 0) ++slowOpens, clock_.advance(59);
        return ForwardingHidHost::open(path, overlapped);
    }
    bool opensFasterWhileOpen() override { return true; }
    int slowOpens = 0;

private:
    EmulatedHost& host_;
    ManualClock& clock_;
};

TEST_F(LinkTest, ASlowFirstOpenIsPaidOnceAndOverlapsThePauseWhichStillPrecedesTheWrite) {
    VirtualModule& m = host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    SlowFirstOpenHost slow(host, clock);
    {
        ModuleLink context(slow, clock);
        CommandSet commands(context);
        ASSERT_EQ(commands.attach(), 0x280);
        // attach's open took longer than the pause: the command writes at once.
        ASSERT_EQ(context.transact(0x280, commandReport(0x40)), 1);
        EXPECT_TRUE(clock.sleeps().empty());
        EXPECT_EQ(clock.nowMs(), 59);
        // Later commands open fast and pause 40 ms before writing.
        ASSERT_EQ(context.transact(0x280, commandReport(0x40)), 1);
        EXPECT_EQ(clock.sleeps(), std::vector<int>{ModuleLink::kPauseMs});
        EXPECT_EQ(slow.slowOpens, 1);
        EXPECT_EQ(m.reportCount, 2u);
        // Between commands only the idle handle stays: none a reply could wait on.
        EXPECT_FALSE(context.isOpen());
        EXPECT_EQ(host.openHandles(), 1u);
    }
    // Nothing stays open once the context is gone.
    EXPECT_EQ(host.openHandles(), 0u);
}
