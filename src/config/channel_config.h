// The eight channels' configuration as three masks. Bit 7 is channel 1 (the
// top row of the channel panel), bit 0 is channel 8.
#pragma once

#include <cstdint>

namespace zelio {

struct ChannelConfig {
    uint32_t productId = 0;  // 0 = none
    uint8_t openDrainMask = 0;
    uint8_t highMask = 0;
    uint8_t inputMask = 0;

    friend bool operator==(const ChannelConfig&, const ChannelConfig&) = default;
};

inline constexpr int kChannelCount = 8;

// Mask bit of panel row r (0 = top = channel 1).
constexpr uint8_t rowBit(int row) { return static_cast<uint8_t>(0x80u >> row); }

}  // namespace zelio
