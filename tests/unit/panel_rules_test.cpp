#include "config/panel_rules.h"

#include <gtest/gtest.h>

#include <random>

namespace zelio {
namespace {

PanelRows appliedRows(uint8_t high, uint8_t openDrain, uint8_t input) {
    PanelRows rows{};
    applyMasks(rows, high, openDrain, input);
    return rows;
}

// --- apply and collect -------------------------------------------------------

TEST(ApplyCollect, MixedConfigurationShowsEachModeAndCollectsBack) {
    const PanelRows rows = appliedRows(/*high*/ 0x80, /*openDrain*/ 0x40, /*input*/ 0x01);

    EXPECT_EQ(rows[0].caption, "push/pull Output");
    EXPECT_EQ(rows[0].highCheck, 1);
    EXPECT_TRUE(rows[0].highEnabled);
    EXPECT_TRUE(rows[0].testEnabled);

    EXPECT_EQ(rows[1].caption, "open-drain Output");
    EXPECT_EQ(rows[1].highCheck, 0);
    EXPECT_TRUE(rows[1].highEnabled);
    EXPECT_TRUE(rows[1].testEnabled);

    for (int r = 2; r < 7; ++r) {
        EXPECT_EQ(rows[r].caption, "push/pull Output") << "row " << r;
        EXPECT_EQ(rows[r].highCheck, 0) << "row " << r;
        EXPECT_TRUE(rows[r].highEnabled) << "row " << r;
    }

    EXPECT_EQ(rows[7].caption, "Input");
    EXPECT_FALSE(rows[7].highEnabled);
    EXPECT_FALSE(rows[7].testEnabled);

    EXPECT_EQ(collect(rows), (Masks{.openDrain = 0x40, .high = 0x80, .input = 0x01}));
}

TEST(ApplyCollect, InputAndOpenDrainOnOneRowEndsOpenDrainButDisabled) {
    const PanelRows rows = appliedRows(0x00, /*openDrain*/ 0x10, /*input*/ 0x10);
    EXPECT_EQ(rows[3].caption, "open-drain Output");
    EXPECT_FALSE(rows[3].highEnabled);
    EXPECT_FALSE(rows[3].testEnabled);
    EXPECT_EQ(collect(rows), (Masks{.openDrain = 0x10, .high = 0x00, .input = 0x00}));
}

TEST(ApplyCollect, InputRowKeepsItsHighBitOnTheDisabledCheckBox) {
    const PanelRows rows = appliedRows(/*high*/ 0x21, 0x00, /*input*/ 0x20);
    EXPECT_EQ(rows[2].caption, "Input");
    EXPECT_FALSE(rows[2].highEnabled);
    EXPECT_EQ(rows[2].highCheck, 1);
    EXPECT_EQ(collect(rows), (Masks{.openDrain = 0x00, .high = 0x21, .input = 0x20}));
}

TEST(ApplyCollect, ApplyOverwritesEveryRowOfAPreviousState) {
    PanelRows rows = appliedRows(0xFF, 0x0F, 0xF0);
    applyMasks(rows, 0, 0, 0);
    for (const PanelRow& row : rows) {
        EXPECT_EQ(row.caption, "push/pull Output");
        EXPECT_EQ(row.highCheck, 0);
        EXPECT_TRUE(row.highEnabled);
        EXPECT_TRUE(row.testEnabled);
    }
    EXPECT_EQ(collect(rows), Masks{});
}

TEST(ApplyCollect, RoundTripsEveryConfigurationWithoutInputOpenDrainOverlap) {
    std::mt19937 gen(12345);
    for (int i = 0; i < 3000; ++i) {
        const auto high = static_cast<uint8_t>(gen());
        const auto input = static_cast<uint8_t>(gen());
        const auto openDrain = static_cast<uint8_t>(gen() & ~input & 0xFF);
        const Masks got = collect(appliedRows(high, openDrain, input));
        ASSERT_EQ(got, (Masks{.openDrain = openDrain, .high = high, .input = input}))
            << std::hex << "high " << +high << " od " << +openDrain << " in " << +input;
    }
}

TEST(Collect, ReadsOnlyTheFirstCaptionCharacterAndCheckedStateOne) {
    PanelRows rows{};
    rows[0].caption = "oddly named";  // 'o' counts as open-drain
    rows[1].caption = "input";        // lower-case: not an input
    rows[2].caption = "Ignored text";
    rows[3].caption = "";
    rows[4].highCheck = 2;  // indeterminate is not high
    rows[5].highCheck = 1;
    rows[6].highCheck = -1;
    EXPECT_EQ(collect(rows), (Masks{.openDrain = 0x80, .high = 0x04, .input = 0x20}));
}

TEST(Collect, RowZeroIsBitSeven) {
    PanelRows rows{};
    rows[0].highCheck = 1;
    rows[7].caption = kCaptionInput;
    rows[6].caption = kCaptionOpenDrain;
    EXPECT_EQ(collect(rows), (Masks{.openDrain = 0x02, .high = 0x80, .input = 0x01}));
}

// --- product-ID list -----------------------------------------------------------

TEST(ProductIdList, EntriesInOrderAndEachParsesBackToTheIdItSelects) {
    const auto& entries = productIdEntries();
    EXPECT_EQ(entries.front(), "261");
    EXPECT_EQ(entries[8], "269");
    EXPECT_EQ(entries[9], "281");
    EXPECT_EQ(entries.back(), "289");
    for (size_t i = 0; i < entries.size(); ++i) {
        const uint32_t id = parseProductIdEntry(entries[i]);
        EXPECT_EQ(listSelectionFor(id), std::optional<int>(static_cast<int>(i))) << entries[i];
    }
    EXPECT_EQ(listSelectionFor(0x283), std::optional<int>(11));
    EXPECT_EQ(entries[11], "283");
}

TEST(ProductIdList, SelectionForIdsWithoutAnEntry) {
    EXPECT_EQ(listSelectionFor(0), std::optional<int>(-1));
    for (uint32_t id : {0x260u, 0x280u, 0x26Au, 0x26Fu, 0x28Au, 0x28Fu})
        EXPECT_EQ(listSelectionFor(id), std::optional<int>(-1)) << std::hex << id;
    // Family 0x280 by the low bits, but not the ID of any entry.
    EXPECT_EQ(listSelectionFor(0x10283), std::optional<int>(-1));
    EXPECT_EQ(listSelectionFor(0x1261), std::optional<int>(-1));
    // Other families leave the selection alone.
    for (uint32_t id : {0x1u, 0x25Fu, 0x270u, 0x290u, 0x300u, 0xFFFFFFFFu})
        EXPECT_EQ(listSelectionFor(id), std::nullopt) << std::hex << id;
}

TEST(ProductIdList, EntryTextParsesAtMostFourHexCharacters) {
    EXPECT_EQ(parseProductIdEntry("283"), 0x283u);
    EXPECT_EQ(parseProductIdEntry("28a"), 0x28Au);
    EXPECT_EQ(parseProductIdEntry("0261"), 0x261u);
    EXPECT_EQ(parseProductIdEntry("12345"), 0x1234u);
    EXPECT_EQ(parseProductIdEntry(""), 0u);
    EXPECT_EQ(parseProductIdEntry("zz"), 0u);
}

// --- mode button -----------------------------------------------------------------

TEST(ModeButton, ThreeClicksCycleBackToPushPullWithEnablingRestored) {
    PanelRow row;
    int refreshes = 0;
    auto click = [&] {
        const ModeTransition t = nextMode(row.caption);
        row.caption = t.newCaption;
        if (t.changesEnabling) row.highEnabled = row.testEnabled = t.enable;
        refreshes += t.refreshLabels ? 1 : 0;
    };

    click();
    EXPECT_EQ(row.caption, "open-drain Output");
    EXPECT_TRUE(row.highEnabled);
    EXPECT_EQ(refreshes, 0);

    click();
    EXPECT_EQ(row.caption, "Input");
    EXPECT_FALSE(row.highEnabled);
    EXPECT_FALSE(row.testEnabled);
    EXPECT_EQ(refreshes, 1);

    click();
    EXPECT_EQ(row.caption, "push/pull Output");
    EXPECT_TRUE(row.highEnabled);
    EXPECT_TRUE(row.testEnabled);
    EXPECT_EQ(refreshes, 2);
}

TEST(ModeButton, PushPullToOpenDrainLeavesEnablingAlone) {
    const ModeTransition t = nextMode("push/pull Output");
    EXPECT_EQ(t.newCaption, "open-drain Output");
    EXPECT_FALSE(t.changesEnabling);
    EXPECT_FALSE(t.refreshLabels);
}

TEST(ModeButton, UnknownCaptionIsLeftAsItIs) {
    for (const std::string caption : {"", "Push", "x"}) {
        const ModeTransition t = nextMode(caption);
        EXPECT_EQ(t.newCaption, caption);
        EXPECT_FALSE(t.changesEnabling);
        EXPECT_FALSE(t.refreshLabels);
    }
}

// --- painted labels ----------------------------------------------------------------

TEST(Labels, RowLengthsMatchTheirCounts) {
    const std::array<size_t, 10> pinCounts = {20, 11, 11, 11, 11, 11, 11, 11, 11, 23};
    const std::array<size_t, 10> wireCounts = {19, 11, 11, 10, 11, 11, 11, 11, 11, 40};
    const auto& pins = labelRows(LabelTable::Pin);
    const auto& wires = labelRows(LabelTable::WireColour);
    for (size_t k = 0; k < 10; ++k) {
        EXPECT_EQ(pins[k].size(), pinCounts[k]) << "pin row " << k << " '" << pins[k] << "'";
        EXPECT_EQ(wires[k].size(), wireCounts[k]) << "wire row " << k << " '" << wires[k] << "'";
    }
    EXPECT_EQ(pins[0], "Pin No.  1  [ GND ] ");
    EXPECT_EQ(pins[9], "Pin No. 10 [ RESERVED ]");
    EXPECT_EQ(wires[0], "> Shield    [ GND ]");
    EXPECT_EQ(wires[3], "> Yellow  ");
    EXPECT_EQ(wires[9], std::string(40, ' '));
}

TEST(Labels, EitherTableDrawnOverTheOtherHidesIt) {
    const auto& pins = labelRows(LabelTable::Pin);
    const auto& wires = labelRows(LabelTable::WireColour);
    for (size_t k = 0; k < 10; ++k) {
        for (const auto& [over, under] : {std::pair{&pins[k], &wires[k]}, std::pair{&wires[k], &pins[k]}}) {
            for (size_t i = over->size(); i < under->size(); ++i)
                EXPECT_EQ((*under)[i], ' ') << "row " << k << " column " << i << " of '" << *under << "'";
        }
    }
}

TEST(Labels, ModeLabelByFirstCaptionCharacter) {
    EXPECT_EQ(modeLabel(0, "Input"), "[ IN bit7 ]");
    EXPECT_EQ(modeLabel(2, "Input"), "[ IN bit5 ]");
    EXPECT_EQ(modeLabel(7, "Input"), "[ IN bit0 ]");
    EXPECT_EQ(modeLabel(2, "push/pull Output"), "[ OUT 3 ]");
    EXPECT_EQ(modeLabel(7, "open-drain Output"), "[ OUT 8 ]");
    EXPECT_EQ(modeLabel(0, ""), "[ OUT 1 ]");
    for (int r = 0; r < kChannelCount; ++r) {
        EXPECT_EQ(modeLabel(r, "I").size(), 11u);
        EXPECT_EQ(modeLabel(r, "p").size(), 9u);
    }
}

TEST(Labels, TableAndDeviceTextByFamily) {
    EXPECT_EQ(tableForFamily(0x260), LabelTable::WireColour);
    EXPECT_EQ(tableForFamily(0x265), LabelTable::WireColour);
    EXPECT_EQ(tableForFamily(0x280), LabelTable::Pin);
    EXPECT_EQ(tableForFamily(0x28F), LabelTable::Pin);
    EXPECT_EQ(tableForFamily(0), std::nullopt);
    EXPECT_EQ(tableForFamily(0x270), std::nullopt);

    EXPECT_EQ(tableForPaint(0x269), LabelTable::WireColour);
    EXPECT_EQ(tableForPaint(0x283), LabelTable::Pin);
    EXPECT_EQ(tableForPaint(0), LabelTable::Pin);
    EXPECT_EQ(tableForPaint(0x300), LabelTable::Pin);

    EXPECT_EQ(deviceSelectedText(0x261), "Device Selected ZEL260");
    EXPECT_EQ(deviceSelectedText(0x289), "Device Selected ZEL280");
    EXPECT_EQ(deviceSelectedText(0), "");
    EXPECT_EQ(deviceSelectedText(0x2A1), "");
}

}  // namespace
}  // namespace zelio
