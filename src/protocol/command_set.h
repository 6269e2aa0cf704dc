// The module's command set and the attach procedure: what each command's
// report holds and what its reply means.
#pragma once

#include <array>
#include <cstdint>

#include "config/channel_config.h"
#include "link/module_link.h"
#include "ids/product_id.h"

namespace zelio {

namespace cmd {
inline constexpr int kFirmwareVersion = 0x40;
inline constexpr int kConfiguration = 0x43;
inline constexpr int kOutputTest = 0x45;
inline constexpr int kChangeId = 0x47;
inline constexpr int kResetToIo = 0x4F;
}  // namespace cmd

// The output report every command writes: byte 0 report ID 0, bytes 1-2 the
// marker 0x55 0xAA, byte 3 the command code, bytes 4-8 the five parameters,
// each stored as its low 8 bits (-3 is sent as 0xFD).
using CommandReport = std::array<std::uint8_t, ModuleLink::kCommandReportLength>;
CommandReport commandReport(int code, int p1 = 0, int p2 = 0, int p3 = 0, int p4 = 0, int p5 = 0);

// The configuration in the reply to 0x43 p1=0 from the module at
// `productId`: field 2 is the ID nibble as a signed byte, added to the
// family's ID; fields 3-5 are the open-drain, high and input masks.
ChannelConfig configurationFromReply(uint32_t productId, const Reply& reply);

class CommandSet {
public:
    explicit CommandSet(ModuleLink& link) : link_(link) {}

    // 0x280 first, then 0x260, over one look at the module directory; the
    // module found is pinned. Sets and returns AttachedModuleId.
    uint16_t attach();
    // Addresses the commands to `module` (pinned) instead.
    void select(const ModuleRecord& module);
    uint16_t attachedModuleId() const { return attached_; }

    // Reply field 1 of 0x40; 0 on failure (and for a version byte 0).
    int readFirmwareVersion();
    // 0x43 p1=0. On failure `config` is left untouched.
    bool readConfiguration(ChannelConfig& config);
    // 0x43 p1=1, nibble, open-drain, high, input.
    bool writeConfiguration(const ChannelConfig& config);
    // After a write: reads the configuration back into `stored` and
    // compares it with `written`.
    enum class ReadBack { Failed, Differs, Same };
    ReadBack readBack(const ChannelConfig& written, ChannelConfig& stored);
    // 0x45 blink byte, channel (negative: low).
    int outputTest(int blinkByte, int channelArg);
    // 0x47 p1=2 to presentId (0x261-0x269).
    int changeIdTo260(uint16_t presentId);
    // 0x4F.
    int resetToIoMode();

    ModuleLink& link() { return link_; }

private:
    ModuleLink& link_;
    uint16_t attached_ = 0;
};

}  // namespace zelio
