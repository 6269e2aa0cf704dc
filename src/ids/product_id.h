// The product-ID scheme of the module family, in one place.
//
// A module runs under a product ID of its own (0x281-0x289 for a ZEL280,
// 0x261-0x269 for a ZEL260) and enumerates as 0x280 or 0x260 while it is in
// setting mode. The family of an ID is ID & 0xFF0, its ID nibble ID & 0xF.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace zelio {

// USB vendor ID shared by the whole module family.
inline constexpr uint16_t kModuleVendorId = 0x1D5A;

inline constexpr uint16_t kFamily280 = 0x280;
inline constexpr uint16_t kFamily260 = 0x260;
// A module in setting mode enumerates with its family's own ID.
inline constexpr uint16_t kSettingId280 = kFamily280;
inline constexpr uint16_t kSettingId260 = kFamily260;

// The ID nibbles of the normal IDs offered to the user.
inline constexpr int kFirstIdNibble = 1;
inline constexpr int kLastIdNibble = 9;

constexpr uint16_t familyOf(uint32_t productId) { return static_cast<uint16_t>(productId & 0xFF0); }
constexpr int idNibbleOf(uint32_t productId) { return static_cast<int>(productId & 0xF); }

constexpr bool isFamily(uint32_t family) { return family == kFamily260 || family == kFamily280; }

// 0x260-0x26F and 0x280-0x28F: every ID that falls in one of the families.
constexpr bool inFamily(uint32_t productId) { return (productId & ~0xFFFu) == 0 && isFamily(familyOf(productId)); }

// 0x280 and 0x260.
constexpr bool isSettingId(uint32_t productId) { return productId == kSettingId280 || productId == kSettingId260; }

// 0x261-0x269 and 0x281-0x289: the IDs offered to the user.
constexpr bool isNormalId(uint32_t productId) {
    const int n = idNibbleOf(productId);
    return inFamily(productId) && n >= kFirstIdNibble && n <= kLastIdNibble;
}

// The family's IDs a module of the family can enumerate with: its setting ID
// and its nine normal IDs (0x260-0x269, 0x280-0x289).
constexpr bool isModuleId(uint32_t productId) {
    return inFamily(productId) && idNibbleOf(productId) <= kLastIdNibble;
}

constexpr uint16_t normalId(uint16_t family, int nibble) {
    return static_cast<uint16_t>(family | static_cast<uint16_t>(nibble & 0xF));
}

// The model a product ID belongs to: "ZEL280", "ZEL260", empty for others.
constexpr std::string_view modelName(uint32_t productId) {
    switch (familyOf(productId)) {
        case kFamily280: return (productId & ~0xFFFu) == 0 ? "ZEL280" : "";
        case kFamily260: return (productId & ~0xFFFu) == 0 ? "ZEL260" : "";
        default: return "";
    }
}

// The ZEL260's normal IDs, in the order of the ID Change menu's items
// (item 0 is 0x261).
inline constexpr int kIdChangeItems = kLastIdNibble - kFirstIdNibble + 1;
constexpr std::optional<uint16_t> idChangeTarget(int item) {
    if (item < 0 || item >= kIdChangeItems) return std::nullopt;
    return normalId(kFamily260, kFirstIdNibble + item);
}

}  // namespace zelio
