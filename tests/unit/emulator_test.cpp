#include <gtest/gtest.h>

#include "emulator/emulated_host.h"
#include "link/module_link.h"
#include "protocol/command_set.h"
#include "manual_clock.h"

using namespace zelio;

namespace {

TEST(Emulator, EnumeratesWithVendorAndModeDependentProductId) {
    ManualClock clock;
    EmulatedHost host(clock);
    VirtualModule& a = host.addModule(Model::Zel280, 3, 0x12, ModuleMode::Normal);
    VirtualModule& b = host.addModule(Model::Zel260, 4, 0x10, ModuleMode::Setting);
    EXPECT_EQ(a.productId(), 0x283);
    EXPECT_EQ(b.productId(), 0x260);
    const auto paths = host.enumerate();
    ASSERT_EQ(paths.size(), 2u);
    auto handle = host.open(paths[0], false);
    ASSERT_TRUE(handle);
    HidAttributes attrs;
    ASSERT_TRUE(handle->attributes(attrs));
    EXPECT_EQ(attrs.vendorId, kModuleVendorId);
    EXPECT_EQ(attrs.productId, 0x283);
}

TEST(Emulator, SettingButtonOnlyOnZel280AndChangesNotify) {
    ManualClock clock;
    EmulatedHost host(clock);
    int changes = 0;
    host.setOnDevicesChanged([&] { ++changes; });
    VirtualModule& a = host.addModule(Model::Zel280, 3, 0x12, ModuleMode::Normal);
    VirtualModule& b = host.addModule(Model::Zel260, 4, 0x10, ModuleMode::Normal);
    host.pressSettingButton(b);
    EXPECT_EQ(b.mode(), ModuleMode::Normal);
    EXPECT_EQ(changes, 0);
    host.pressSettingButton(a);
    EXPECT_EQ(a.productId(), 0x280);
    EXPECT_EQ(changes, 1);
    host.unplug(a);
    EXPECT_EQ(a.productId(), 0);
    EXPECT_EQ(host.enumerate().size(), 1u);
    host.unplug(a);  // already out: no second notification
    EXPECT_EQ(changes, 2);
    host.plug(a);
    EXPECT_EQ(a.mode(), ModuleMode::Setting);
    EXPECT_EQ(changes, 3);
}

// As a HID stack does: a report reaches the read handles open when it
// arrives, each its own copy, not those open when its command was written.
TEST(Emulator, AReplyReachesTheReadHandlesOpenWhenItArrives) {
    ManualClock clock;
    EmulatedHost host(clock);
    VirtualModule& m = host.addModule(Model::Zel280, 3, 0x12, ModuleMode::Setting);
    m.replyDelayMs = 100;
    const std::string path = host.enumerate()[0];
    auto writer = host.open(path, false);
    auto early = host.open(path, true);
    const CommandReport version = commandReport(0x40);
    ASSERT_TRUE(writer->write(version.data(), version.size()));
    clock.advance(50);
    early.reset();
    auto first = host.open(path, true);
    auto second = host.open(path, true);
    uint8_t buffer[9] = {};
    EXPECT_EQ(first->read(buffer, sizeof buffer, 0), ReadResult::Timeout);
    EXPECT_EQ(first->read(buffer, sizeof buffer, 50), ReadResult::Ok);  // it arrives as the wait ends
    EXPECT_EQ(buffer[1], 0x40);
    EXPECT_EQ(clock.nowMs(), 100);
    EXPECT_EQ(second->read(buffer, sizeof buffer, 0), ReadResult::Ok);
    EXPECT_EQ(second->read(buffer, sizeof buffer, 0), ReadResult::Timeout);
    auto late = host.open(path, true);
    EXPECT_EQ(late->read(buffer, sizeof buffer, 500), ReadResult::Timeout);
}

TEST(Emulator, HandlesGoStaleAfterReenumeration) {
    ManualClock clock;
    EmulatedHost host(clock);
    VirtualModule& a = host.addModule(Model::Zel280, 3, 0x12, ModuleMode::Normal);
    auto handle = host.open(host.enumerate()[0], false);
    ASSERT_TRUE(handle);
    host.pressSettingButton(a);
    const uint8_t report[9] = {0, 0x55, 0xAA, 0x40};
    EXPECT_FALSE(handle->write(report, 9));
    HidAttributes attrs;
    EXPECT_FALSE(handle->attributes(attrs));
}

TEST(Emulator, ZEL280IgnoresTheIdChange) {
    ManualClock clock;
    EmulatedHost host(clock);
    ModuleLink link(host, clock);
    VirtualModule& a = host.addModule(Model::Zel280, 5, 0x12, ModuleMode::Normal);
    EXPECT_EQ(link.send(0x285, commandReport(0x47, 2)), 1);
    EXPECT_EQ(a.productId(), 0x285);
}

TEST(Emulator, StateLineShowsModeConfigurationAndLastReport) {
    ManualClock clock;
    EmulatedHost host(clock);
    ModuleLink link(host, clock);
    VirtualModule& a = host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    EXPECT_EQ(a.stateLine(), "pid=0x280 mode=setting fw=0x12 id=1 od=0x00 high=0x00 in=0x00 last=-");
    ASSERT_EQ(link.transact(0x280, commandReport(0x43, 1, 3, 0x40, 0xC0, 0x01)), 1);
    EXPECT_EQ(a.stateLine(),
              "pid=0x280 mode=setting fw=0x12 id=3 od=0x40 high=0xC0 in=0x01 last=55 AA 43 01 03 40 C0 01");
    ASSERT_EQ(link.transact(0x280, commandReport(0x4F)), 1);
    EXPECT_EQ(a.stateLine(),
              "pid=0x283 mode=normal fw=0x12 id=3 od=0x40 high=0xC0 in=0x01 last=55 AA 4F 00 00 00 00 00");
    host.unplug(a);
    EXPECT_EQ(a.stateLine().substr(0, 25), "pid=0x283 mode=unplugged ");
}

TEST(Emulator, ReportHistoryIsBounded) {
    ManualClock clock;
    EmulatedHost host(clock);
    ModuleLink link(host, clock);
    VirtualModule& a = host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    for (size_t i = 0; i < VirtualModule::kHistory + 10; ++i) link.send(0x280, commandReport(0x45, 0, 1));
    EXPECT_EQ(a.received.size(), VirtualModule::kHistory);
    EXPECT_EQ(a.reportCount, VirtualModule::kHistory + 10);
}

TEST(Emulator, HandlesOutlivingTheHostFailSafely) {
    ManualClock clock;
    std::unique_ptr<HidHandle> handle;
    {
        EmulatedHost host(clock);
        host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
        handle = host.open(host.enumerate()[0], true);
    }
    uint8_t buffer[9];
    EXPECT_EQ(handle->read(buffer, sizeof buffer, 10), ReadResult::Error);
    EXPECT_FALSE(handle->write(buffer, sizeof buffer));
}

}  // namespace

TEST(ModuleDescriptionTest, NamesTheModelModeAndFaultsOrNothing) {
    const std::optional<ModuleDescription> d = parseModuleDescription("260:normal:silent,late=150,id=4,wide,unplug,hold-writes");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->model, Model::Zel260);
    EXPECT_EQ(d->mode, ModuleMode::Normal);
    EXPECT_EQ(d->idNibble, 4);
    EXPECT_TRUE(d->silent && d->wide && d->unplug && d->holdWrites);
    VirtualModule m(Model::Zel260, 4, 0x10);
    d->applyTo(m);
    EXPECT_EQ(m.replyDelayMs, 150);
    EXPECT_EQ(m.inputReportLength, 65);
    EXPECT_TRUE(m.silent && m.unplugOnNextCommand);
    EXPECT_EQ(parseModuleDescription("280:setting")->idNibble, 1);
    for (const char* bad : {"", "280", "270:setting", "280:io", "280:setting:loud", "280:setting:silent:x"})
        EXPECT_FALSE(parseModuleDescription(bad)) << bad;
}
