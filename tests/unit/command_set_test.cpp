#include <gtest/gtest.h>

#include "emulator/emulated_host.h"
#include "protocol/command_set.h"
#include "manual_clock.h"

using namespace zelio;

namespace {

class CommandSetTest : public ::testing::Test {
protected:
    ManualClock clock;
    EmulatedHost host{clock};
    ModuleLink link{host, clock};
    CommandSet commands{link};

    static std::vector<uint8_t> params(int code, int p1 = 0, int p2 = 0, int p3 = 0, int p4 = 0, int p5 = 0) {
        return {0x55, 0xAA, static_cast<uint8_t>(code), static_cast<uint8_t>(p1), static_cast<uint8_t>(p2),
                static_cast<uint8_t>(p3),  static_cast<uint8_t>(p4), static_cast<uint8_t>(p5)};
    }
};

TEST(ProductIds, FamilyNibbleAndOfferedRange) {
    EXPECT_EQ(familyOf(0x283), 0x280);
    EXPECT_EQ(familyOf(0x26F), 0x260);
    EXPECT_EQ(idNibbleOf(0x265), 5);
    EXPECT_TRUE(isNormalId(0x261));
    EXPECT_TRUE(isNormalId(0x289));
    EXPECT_FALSE(isNormalId(0x260));
    EXPECT_FALSE(isNormalId(0x28A));
    EXPECT_FALSE(isNormalId(0x10283));
    EXPECT_FALSE(isNormalId(0x271));
}

TEST_F(CommandSetTest, AttachTriesZel280FirstThenZel260) {
    EXPECT_EQ(commands.attach(), 0);
    EXPECT_EQ(commands.attachedModuleId(), 0);
    host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Normal);  // 0x281: not in SettingMode
    EXPECT_EQ(commands.attach(), 0);
    host.addModule(Model::Zel260, 1, 0x10, ModuleMode::Setting);
    EXPECT_EQ(commands.attach(), 0x260);
    host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    EXPECT_EQ(commands.attach(), 0x280);
    EXPECT_EQ(link.linkStatus(), 1);
}

TEST_F(CommandSetTest, OnlyAttachChangesTheAttachedModule) {
    VirtualModule& m = host.addModule(Model::Zel280, 4, 0x12, ModuleMode::Setting);
    ASSERT_EQ(commands.attach(), 0x280);
    ASSERT_EQ(commands.resetToIoMode(), 1);
    EXPECT_EQ(m.mode(), ModuleMode::Normal);
    EXPECT_EQ(m.productId(), 0x284);
    EXPECT_EQ(commands.attachedModuleId(), 0x280);  // a reset does not clear it
    EXPECT_EQ(commands.attach(), 0);
}

TEST_F(CommandSetTest, FirmwareVersionIsReplyFieldOne) {
    VirtualModule& m = host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    commands.attach();
    EXPECT_EQ(commands.readFirmwareVersion(), 0x12);
    EXPECT_EQ(m.received.back(), params(0x40));
    m.firmware = 0;
    EXPECT_EQ(commands.readFirmwareVersion(), 0);  // indistinguishable from a failure
    m.firmware = 0xFF;
    EXPECT_EQ(commands.readFirmwareVersion(), 0xFF);
    m.silent = true;
    EXPECT_EQ(commands.readFirmwareVersion(), 0);
}

TEST_F(CommandSetTest, ConfigurationWriteThenReadRoundTrips) {
    VirtualModule& m = host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    commands.attach();
    ASSERT_TRUE(commands.writeConfiguration({0x283, 0x40, 0xC0, 0x01}));
    EXPECT_EQ(m.received.back(), params(0x43, 1, 3, 0x40, 0xC0, 0x01));
    EXPECT_EQ(m.idNibble, 3);
    ChannelConfig config;
    ASSERT_TRUE(commands.readConfiguration(config));
    EXPECT_EQ(m.received.back(), params(0x43, 0));
    EXPECT_EQ(config, (ChannelConfig{0x283, 0x40, 0xC0, 0x01}));
}

TEST_F(CommandSetTest, ConfigurationReadTakesTheNibbleAsASignedByte) {
    VirtualModule& m = host.addModule(Model::Zel260, 1, 0x10, ModuleMode::Setting);
    commands.attach();
    m.replyOverride = {0x43, 0x00, 0xFF, 0x01, 0x02, 0x03};
    ChannelConfig config;
    ASSERT_TRUE(commands.readConfiguration(config));
    EXPECT_EQ(config.productId, 0x25Fu);
    EXPECT_EQ(config.openDrainMask, 0x01);
    EXPECT_EQ(config.highMask, 0x02);
    EXPECT_EQ(config.inputMask, 0x03);
    m.replyOverride = {0x43, 0x00, 0x00, 0, 0, 0};
    ASSERT_TRUE(commands.readConfiguration(config));
    EXPECT_EQ(config.productId, 0x260u);
}

TEST_F(CommandSetTest, FailedConfigurationReadLeavesTheConfigUntouched) {
    VirtualModule& m = host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    commands.attach();
    m.silent = true;
    ChannelConfig config{0x123, 1, 2, 3};
    EXPECT_FALSE(commands.readConfiguration(config));
    EXPECT_EQ(config, (ChannelConfig{0x123, 1, 2, 3}));
    EXPECT_FALSE(commands.writeConfiguration({0x283, 0, 0, 0}));
}

TEST_F(CommandSetTest, OutputTestEncodesBlinkAndSignedChannel) {
    VirtualModule& m = host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    commands.attach();
    ASSERT_EQ(commands.outputTest(0, -3), 1);
    EXPECT_EQ(m.received.back(), params(0x45, 0, 0xFD));
    EXPECT_EQ(m.outputs[2].kind, OutputState::Low);
    ASSERT_EQ(commands.outputTest(5 * 16 + 5, 3), 1);
    EXPECT_EQ(m.received.back(), params(0x45, 0x55, 3));
    EXPECT_EQ(m.outputs[2].kind, OutputState::Blink);
    EXPECT_EQ(m.outputs[2].blinkByte, 0x55);
    ASSERT_EQ(commands.outputTest(0, 8), 1);
    EXPECT_EQ(m.outputs[7].kind, OutputState::High);
    ASSERT_EQ(commands.outputTest(0, -8), 1);
    EXPECT_EQ(m.received.back(), params(0x45, 0, 0xF8));
}

TEST_F(CommandSetTest, OutputTestWithoutAttachedModuleFails) {
    VirtualModule& m = host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Normal);
    EXPECT_EQ(commands.attach(), 0);
    EXPECT_EQ(commands.outputTest(0, 1), 0);
    EXPECT_EQ(m.reportCount, 0u);
    EXPECT_EQ(clock.sleeps().back(), ModuleLink::kPauseMs);
}

TEST_F(CommandSetTest, IdChangeTargetsThePresentIdAndMovesAZel260To260) {
    EXPECT_EQ(commands.changeIdTo260(0x265), 0);
    VirtualModule& m = host.addModule(Model::Zel260, 5, 0x10, ModuleMode::Normal);
    VirtualModule& other = host.addModule(Model::Zel260, 6, 0x10, ModuleMode::Normal);
    EXPECT_EQ(commands.changeIdTo260(0x264), 0);
    EXPECT_EQ(m.reportCount + other.reportCount, 0u);
    int changes = 0;
    host.setOnDevicesChanged([&] { ++changes; });
    ASSERT_EQ(commands.changeIdTo260(0x265), 1);
    EXPECT_EQ(m.received.back(), params(0x47, 2));
    EXPECT_EQ(other.reportCount, 0u);
    EXPECT_EQ(m.productId(), 0x260);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(commands.attach(), 0x260);
}

TEST_F(CommandSetTest, ResetReplyComesBeforeTheModuleReenumerates) {
    VirtualModule& m = host.addModule(Model::Zel260, 7, 0x10, ModuleMode::Setting);
    commands.attach();
    int changes = 0;
    host.setOnDevicesChanged([&] { ++changes; });
    ASSERT_EQ(commands.resetToIoMode(), 1);
    EXPECT_EQ(m.received.back(), params(0x4F));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(m.productId(), 0x267);
    EXPECT_EQ(commands.resetToIoMode(), 0);  // 0x260 is gone
}

}  // namespace
