#include "config/panel_rules.h"

#include "config/config_file.h"
#include "ids/product_id.h"

namespace zelio {

namespace {

char firstChar(const std::string& caption) { return caption.empty() ? '\0' : caption.front(); }

}  // namespace

Masks collect(const PanelRows& rows) {
    unsigned openDrain = 0, high = 0, input = 0;
    for (const PanelRow& row : rows) {
        const char c = firstChar(row.caption);
        openDrain = (openDrain << 1) | (c == 'o' ? 1u : 0u);
        high = (high << 1) | (row.highCheck == 1 ? 1u : 0u);
        input = (input << 1) | (c == 'I' ? 1u : 0u);
    }
    return Masks{static_cast<uint8_t>(openDrain), static_cast<uint8_t>(high),
                 static_cast<uint8_t>(input)};
}

void applyMasks(PanelRows& rows, uint8_t highMask, uint8_t openDrainMask, uint8_t inputMask) {
    // First pass: input or push/pull, and the enabling that goes with it.
    for (int r = 0; r < kChannelCount; ++r) {
        PanelRow& row = rows[static_cast<size_t>(r)];
        const bool input = (inputMask & rowBit(r)) != 0;
        row.caption = input ? kCaptionInput : kCaptionPushPull;
        row.highEnabled = !input;
        row.testEnabled = !input;
    }
    // Second pass: the default level on every row (input rows too), and
    // open-drain over whatever the first pass set, enabling untouched.
    for (int r = 0; r < kChannelCount; ++r) {
        PanelRow& row = rows[static_cast<size_t>(r)];
        row.highCheck = (highMask & rowBit(r)) != 0 ? 1 : 0;
        if ((openDrainMask & rowBit(r)) != 0) row.caption = kCaptionOpenDrain;
    }
}

std::optional<int> listSelectionFor(uint32_t productId) {
    if (productId == 0) return -1;
    const uint32_t family = familyOf(productId);
    if (!isFamily(family)) return std::nullopt;
    // Only an ID that is exactly one of the entries selects it; anything
    // else of these families (0x260, 0x26A, 0x10283, ...) selects none.
    if (!isNormalId(productId)) return -1;
    const int offset = family == kFamily260 ? 0 : kIdChangeItems;  // "261".."269" come first
    return offset + idNibbleOf(productId) - kFirstIdNibble;
}

const std::array<std::string, 18>& productIdEntries() {
    static const std::array<std::string, 18> entries = {
        "261", "262", "263", "264", "265", "266", "267", "268", "269",
        "281", "282", "283", "284", "285", "286", "287", "288", "289",
    };
    return entries;
}

uint32_t parseProductIdEntry(const std::string& text) {
    const std::string head = text.substr(0, 4);
    return static_cast<uint32_t>(hexToLong(head, 0));
}

ModeTransition nextMode(const std::string& caption) {
    ModeTransition t;
    switch (firstChar(caption)) {
        case 'p':
            t.newCaption = kCaptionOpenDrain;
            break;
        case 'o':
            t.newCaption = kCaptionInput;
            t.changesEnabling = true;
            t.enable = false;
            t.refreshLabels = true;
            break;
        case 'I':
            t.newCaption = kCaptionPushPull;
            t.changesEnabling = true;
            t.enable = true;
            t.refreshLabels = true;
            break;
        default:
            // Not one of the three modes: the click changes nothing.
            t.newCaption = caption;
            break;
    }
    return t;
}

const std::array<std::string, 10>& labelRows(LabelTable table) {
    static const std::array<std::string, 10> pins = {
        "Pin No.  1  [ GND ] ",
        "Pin No.  2 ",
        "Pin No.  3 ",
        "Pin No.  4 ",
        "Pin No.  5 ",
        "Pin No.  6 ",
        "Pin No.  7 ",
        "Pin No.  8 ",
        "Pin No.  9 ",
        "Pin No. 10 [ RESERVED ]",
    };
    static const std::array<std::string, 10> wires = {
        "> Shield    [ GND ]",
        "> Black    ",
        "> Red      ",
        "> Yellow  ",
        "> Green    ",
        "> Blue     ",
        "> White    ",
        "   Not Use ",
        "   Not Use ",
        std::string(40, ' '),
    };
    return table == LabelTable::WireColour ? wires : pins;
}

std::optional<LabelTable> tableForFamily(uint32_t productId) {
    switch (familyOf(productId)) {
        case kFamily260: return LabelTable::WireColour;
        case kFamily280: return LabelTable::Pin;
        default: return std::nullopt;
    }
}

LabelTable tableForPaint(uint32_t selectedProductId) {
    return familyOf(selectedProductId) == kFamily260 ? LabelTable::WireColour : LabelTable::Pin;
}

std::string modeLabel(int row, const std::string& caption) {
    if (row < 0 || row >= kChannelCount) return {};
    if (firstChar(caption) == 'I') return "[ IN bit" + std::to_string(7 - row) + " ]";
    return "[ OUT " + std::to_string(row + 1) + " ]";
}

std::string deviceSelectedText(uint32_t productId) {
    switch (familyOf(productId)) {
        case kFamily260:
        case kFamily280: return "Device Selected " + std::string(modelName(familyOf(productId)));
        default: return {};
    }
}

}  // namespace zelio
