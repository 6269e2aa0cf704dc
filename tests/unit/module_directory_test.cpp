#include <gtest/gtest.h>

#include "emulator/emulated_host.h"
#include "link/module_directory.h"
#include "protocol/command_set.h"
#include "manual_clock.h"

using namespace zelio;

namespace {

// The directory over the emulator: one look for both families, kept until a
// hot-plug event; the attached module pinned among twins; a pinned module
// that went away or changed its IDs fails as gone; without hot-plug events
// the cache is trusted only as far as the pinned path still opens.
TEST(ModuleDirectory, PinsTheAttachedModuleAndLooksAgainOnlyAfterHotPlug) {
    ManualClock clock;
    EmulatedHost host{clock};
    host.addForeignDevice(0x046D, 0xC077);
    host.addLockedInterface();
    VirtualModule& twin = host.addModule(Model::Zel280, 2, 0x12, ModuleMode::Normal);  // 0x282
    VirtualModule& first = host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    host.addModule(Model::Zel260, 1, 0x10, ModuleMode::Setting);
    ModuleLink link(host, clock);
    CommandSet commands(link);
    ModuleDirectory& directory = link.directory();

    ASSERT_EQ(commands.attach(), 0x280);  // 0x280 wins over 0x260, in one look
    EXPECT_EQ(directory.enumerations(), 1u);
    EXPECT_EQ(host.opens(), 1);  // the module's write handle only

    // A second module under the attached ID, listed ahead of it: commands
    // stay with the attached one, with no look at the directory; the event
    // makes the next look enumerate.
    host.pressSettingButton(twin);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(commands.readFirmwareVersion(), 0x12);
    EXPECT_EQ(first.reportCount, 3u);
    EXPECT_EQ(twin.reportCount, 0u);
    EXPECT_EQ(host.openHandles(), 0u);  // both handles closed after every command
    EXPECT_EQ(directory.enumerations(), 1u);
    EXPECT_EQ(directory.find(0x280).size(), 2u);
    EXPECT_EQ(directory.find(0x260).size(), 1u);
    EXPECT_EQ(directory.enumerations(), 2u);

    // The pinned module re-enumerates under its own ID at the same path:
    // gone for commands to 0x280, and the twin is never written to instead.
    ASSERT_EQ(commands.resetToIoMode(), 1);
    EXPECT_EQ(commands.readFirmwareVersion(), 0);
    EXPECT_EQ(link.lastFailure().kind, FailureKind::Gone);
    host.unplug(twin);
    EXPECT_EQ(commands.attach(), 0x260);
    EXPECT_EQ(twin.reportCount, 0u);

    // A host without hot-plug events: the cache serves while the pinned path
    // opens with the right IDs; an unplugged module is gone, and found again
    // by ID after the fresh look its failed open caused.
    struct QuietHost final : ForwardingHidHost {
        using ForwardingHidHost::ForwardingHidHost;
        std::optional<uint64_t> deviceChanges() override { return std::nullopt; }
    } quiet(host);
    ModuleLink quietLink(quiet, clock);
    host.plug(twin);
    ASSERT_EQ(quietLink.attach({0x280}), 0x280);
    EXPECT_EQ(quietLink.transact(0x280, commandReport(cmd::kFirmwareVersion)), 1);
    EXPECT_EQ(quietLink.directory().enumerations(), 1u);
    host.unplug(twin);
    EXPECT_EQ(quietLink.transact(0x280, commandReport(cmd::kFirmwareVersion)), 0);
    EXPECT_EQ(quietLink.lastFailure().kind, FailureKind::Gone);
    EXPECT_EQ(quietLink.directory().enumerations(), 2u);
    host.plug(twin);
    quietLink.unpin();
    EXPECT_EQ(quietLink.transact(0x280, commandReport(cmd::kFirmwareVersion)), 1);
    EXPECT_EQ(twin.reportCount, 2u);

    // No module with the ID in a quiet host's cache: it looks again. A new
    // scope drops the cached list, events or not.
    host.addModule(Model::Zel260, 5, 0x10, ModuleMode::Normal);
    EXPECT_EQ(quietLink.directory().find(0x265).size(), 1u);
    EXPECT_GT(directory.modules().size(), 1u);
    directory.setScope([](const ModuleRecord& m) { return m.productId == 0x265; });
    EXPECT_EQ(directory.modules().size(), 1u);
}

}  // namespace
