#include "protocol/command_set.h"

#include <utility>

namespace zelio {

CommandReport commandReport(int code, int p1, int p2, int p3, int p4, int p5) {
    return CommandReport{0x00,
                         0x55,
                         0xAA,
                         static_cast<uint8_t>(code),
                         static_cast<uint8_t>(p1),
                         static_cast<uint8_t>(p2),
                         static_cast<uint8_t>(p3),
                         static_cast<uint8_t>(p4),
                         static_cast<uint8_t>(p5)};
}

ChannelConfig configurationFromReply(uint32_t productId, const Reply& reply) {
    const int nibble = static_cast<int8_t>(reply[2]);
    ChannelConfig config;
    config.productId = static_cast<uint32_t>(familyOf(productId) + nibble);
    config.openDrainMask = reply[3];
    config.highMask = reply[4];
    config.inputMask = reply[5];
    return config;
}

uint16_t CommandSet::attach() {
    attached_ = link_.attach({kSettingId280, kSettingId260});
    return attached_;
}

void CommandSet::select(const ModuleRecord& module) {
    link_.pin(module);
    attached_ = module.productId;
}

int CommandSet::readFirmwareVersion() {
    if (!link_.transact(attached_, commandReport(cmd::kFirmwareVersion))) return 0;
    return link_.reply()[1];
}

bool CommandSet::readConfiguration(ChannelConfig& config) {
    if (!link_.transact(attached_, commandReport(cmd::kConfiguration, 0))) return false;
    config = configurationFromReply(attached_, link_.reply());
    return true;
}

bool CommandSet::writeConfiguration(const ChannelConfig& config) {
    return link_.transact(attached_, commandReport(cmd::kConfiguration, 1, idNibbleOf(config.productId),
                                                   config.openDrainMask, config.highMask, config.inputMask)) == 1;
}

CommandSet::ReadBack CommandSet::readBack(const ChannelConfig& written, ChannelConfig& stored) {
    if (!readConfiguration(stored)) return ReadBack::Failed;
    return stored == written ? ReadBack::Same : ReadBack::Differs;
}

int CommandSet::outputTest(int blinkByte, int channelArg) {
    return link_.send(attached_, commandReport(cmd::kOutputTest, blinkByte, channelArg));
}

int CommandSet::changeIdTo260(uint16_t presentId) {
    return link_.send(presentId, commandReport(cmd::kChangeId, 2));
}

int CommandSet::resetToIoMode() { return link_.transact(attached_, commandReport(cmd::kResetToIo)); }

}  // namespace zelio
