// The module's command set, the product-ID scheme of the family and the
// attach procedure.
#pragma once

#include <cstdint>

#include "config/channel_config.h"
#include "link/module_link.h"

namespace zelio {

inline constexpr uint16_t kSettingId280 = 0x280;
inline constexpr uint16_t kSettingId260 = 0x260;

constexpr uint16_t familyOf(uint32_t productId) { return static_cast<uint16_t>(productId & 0xFF0); }
constexpr int idNibbleOf(uint32_t productId) { return static_cast<int>(productId & 0xF); }
// 0x261-0x269 and 0x281-0x289: the IDs offered to the user.
constexpr bool isNormalId(uint32_t productId) {
    const uint32_t fam = productId & 0xFF0, n = productId & 0xF;
    return (fam == 0x260 || fam == 0x280) && (productId & ~0xFFFu) == 0 && n >= 1 && n <= 9;
}

namespace cmd {
inline constexpr int kFirmwareVersion = 0x40;
inline constexpr int kConfiguration = 0x43;
inline constexpr int kOutputTest = 0x45;
inline constexpr int kChangeId = 0x47;
inline constexpr int kResetToIo = 0x4F;
}  // namespace cmd

class CommandSet {
public:
    explicit CommandSet(ModuleLink& link) : link_(link) {}

    // 0x280 first, then 0x260; sets and returns AttachedModuleId.
    uint16_t attach();
    uint16_t attachedModuleId() const { return attached_; }

    // Reply field 1 of 0x40; 0 on failure (and for a version byte 0).
    int readFirmwareVersion();
    // 0x43 p1=0. On failure `config` is left untouched.
    bool readConfiguration(ChannelConfig& config);
    // 0x43 p1=1, nibble, open-drain, high, input.
    bool writeConfiguration(const ChannelConfig& config);
    // 0x45 blink byte, channel (negative: low).
    int outputTest(int blinkByte, int channelArg);
    // 0x47 p1=2 to presentId (0x261-0x269).
    int changeIdTo260(uint16_t presentId);
    // 0x4F.
    int resetToIoMode();

    ModuleLink& link() { return link_; }

private:
    int replyField(int k) const;

    ModuleLink& link_;
    uint16_t attached_ = 0;
};

}  // namespace zelio
