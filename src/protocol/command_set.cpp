#include "protocol/command_set.h"

#include <string>

namespace zelio {

uint16_t CommandSet::attach() {
    attached_ = static_cast<uint16_t>(link_.connect(kSettingId280));
    if (attached_ == 0) attached_ = static_cast<uint16_t>(link_.connect(kSettingId260));
    return attached_;
}

int CommandSet::replyField(int k) const {
    // Field k is the two hexadecimal digits at offset 3k of the reply text.
    const std::string text = link_.replyText();
    return static_cast<int>(std::stoul(text.substr(static_cast<size_t>(3 * k), 2), nullptr, 16));
}

int CommandSet::readFirmwareVersion() {
    if (!link_.transact(attached_, cmd::kFirmwareVersion)) return 0;
    return replyField(1);
}

bool CommandSet::readConfiguration(ChannelConfig& config) {
    if (!link_.transact(attached_, cmd::kConfiguration, 0)) return false;
    const int nibble = static_cast<int8_t>(static_cast<uint8_t>(replyField(2)));
    config.productId = static_cast<uint32_t>(attached_ + nibble);
    config.openDrainMask = static_cast<uint8_t>(replyField(3));
    config.highMask = static_cast<uint8_t>(replyField(4));
    config.inputMask = static_cast<uint8_t>(replyField(5));
    return true;
}

bool CommandSet::writeConfiguration(const ChannelConfig& config) {
    return link_.transact(attached_, cmd::kConfiguration, 1, idNibbleOf(config.productId), config.openDrainMask,
                          config.highMask, config.inputMask) == 1;
}

int CommandSet::outputTest(int blinkByte, int channelArg) {
    return link_.send(attached_, cmd::kOutputTest, blinkByte, channelArg);
}

int CommandSet::changeIdTo260(uint16_t presentId) { return link_.send(presentId, cmd::kChangeId, 2); }

int CommandSet::resetToIoMode() { return link_.transact(attached_, cmd::kResetToIo); }

}  // namespace zelio
