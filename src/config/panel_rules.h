// The channel panel's rules as pure functions: the Win32 code only reads and
// writes controls, everything it decides comes from here.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "config/channel_config.h"

namespace zelio {

// Mode button captions.
inline constexpr const char* kCaptionPushPull = "push/pull Output";
inline constexpr const char* kCaptionOpenDrain = "open-drain Output";
inline constexpr const char* kCaptionInput = "Input";

// What one panel row shows.
struct PanelRow {
    std::string caption = kCaptionPushPull;  // mode button caption
    int highCheck = 0;         // BM_GETCHECK state: 0 unchecked, 1 checked, 2 indeterminate
    bool highEnabled = true;   // High check box enabled
    bool testEnabled = true;   // Test button enabled
};
using PanelRows = std::array<PanelRow, kChannelCount>;

struct Masks {
    uint8_t openDrain = 0, high = 0, input = 0;
    friend bool operator==(const Masks&, const Masks&) = default;
};

// Collect: the first character of each caption decides ('o' open-drain, 'I'
// input); High counts only for the state 1 exactly.
Masks collect(const PanelRows& rows);

// Apply's two passes over the rows.
void applyMasks(PanelRows& rows, uint8_t highMask, uint8_t openDrainMask, uint8_t inputMask);

// List selection after apply: nullopt = leave as it was, -1 = none, else entry 0-17.
std::optional<int> listSelectionFor(uint32_t productId);

// The 18 entries of the product-ID list: "261".."269", "281".."289".
const std::array<std::string, 18>& productIdEntries();
// Parses a list entry's text (at most 4 characters, hexadecimal).
uint32_t parseProductIdEntry(const std::string& text);

// One click on a mode button.
struct ModeTransition {
    std::string newCaption;
    bool changesEnabling = false;   // true for o->I and I->p
    bool enable = true;             // High box and Test button enabled after it
    bool refreshLabels = false;     // refreshModeLabels after it
};
ModeTransition nextMode(const std::string& caption);

// Painted labels.
enum class LabelTable { Pin, WireColour };
const std::array<std::string, 10>& labelRows(LabelTable table);
// Table for a product ID's family; nullopt for a family other than 0x260/0x280.
std::optional<LabelTable> tableForFamily(uint32_t productId);
// Painting's rule: wire colours for family 0x260, pins otherwise.
LabelTable tableForPaint(uint32_t selectedProductId);
// "[ IN bit7 ]" / "[ OUT 1 ]" for row r, by the caption's first character.
std::string modeLabel(int row, const std::string& caption);

// "Device Selected ZEL260" / "Device Selected ZEL280", empty for another family.
std::string deviceSelectedText(uint32_t productId);

}  // namespace zelio
