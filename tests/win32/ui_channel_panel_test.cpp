// The channel panel on the real controls: apply and collect, mode button
// cycling with its label refresh, and the product-ID selection.
#include "ui_fixture.h"

#include <string>

namespace zelio::ui::test {
namespace {

class ChannelPanelTest : public MainWindowTest {
protected:
    std::string caption(int row) { return textOf(app->controls.modeButtons[static_cast<size_t>(row)]); }
    LRESULT check(int row) { return ::SendMessageW(app->controls.highBoxes[static_cast<size_t>(row)], BM_GETCHECK, 0, 0); }
    bool highEnabled(int row) { return ::IsWindowEnabled(app->controls.highBoxes[static_cast<size_t>(row)]) != FALSE; }
    bool testEnabled(int row) { return ::IsWindowEnabled(app->controls.testButtons[static_cast<size_t>(row)]) != FALSE; }
    LRESULT listSelection() { return ::SendMessageW(app->controls.productList, CB_GETCURSEL, 0, 0); }

    // The label area of row r after a refresh: x 80-143 (the mode button
    // starts at 144), one text line high.
    struct LabelArea {
        int dark = 0;
        int rightmost = 0;
        Pixels pixels;
    };
    LabelArea labelArea(int row) {
        const Pixels shot = capture();
        const int y = 125 + 25 * row;
        LabelArea a;
        a.dark = shot.countDark(80, y, 144, y + 12);
        a.rightmost = shot.rightmostDark(80, y, 144, y + 12);
        a.pixels = shot;
        return a;
    }
    int differsFromLabel(const Pixels& shot, int row, const std::string& label) {
        const Pixels expected = renderText(app->fonts.panel.get(), win32::widen(label), 144 - 83, 12);
        return shot.diff(83, 125 + 25 * row, expected, 0, 0, 144 - 83, 12);
    }
};

// ---- apply / collect ----------------------------------------------------------

TEST_F(ChannelPanelTest, ApplyShowsTheMasksAndCollectReadsThemBack) {
    ASSERT_TRUE(start(Attached::None));
    app->panel.apply(ChannelConfig{0x283, 0x40, 0x80, 0x01});

    EXPECT_EQ(app->panel.selectedProductId(), 0x283u);
    EXPECT_EQ(listSelection(), 11);
    EXPECT_EQ(textOf(app->controls.productList), "283");

    EXPECT_EQ(caption(0), "push/pull Output");
    EXPECT_EQ(check(0), BST_CHECKED);
    EXPECT_EQ(caption(1), "open-drain Output");
    EXPECT_EQ(check(1), BST_UNCHECKED);
    EXPECT_TRUE(highEnabled(1));
    EXPECT_TRUE(testEnabled(1));
    for (int r = 2; r < 7; ++r) EXPECT_EQ(caption(r), "push/pull Output") << r;
    EXPECT_EQ(caption(7), "Input");
    EXPECT_FALSE(highEnabled(7));
    EXPECT_FALSE(testEnabled(7));

    const Masks masks = app->panel.masks();
    EXPECT_EQ(masks.openDrain, 0x40);
    EXPECT_EQ(masks.high, 0x80);
    EXPECT_EQ(masks.input, 0x01);
}

TEST_F(ChannelPanelTest, InputAndOpenDrainRowAndHiddenHighBitRoundTrip) {
    ASSERT_TRUE(start(Attached::None));
    // Row 2 has the input and the open-drain bit, row 6 is an input with its
    // High bit set.
    app->panel.apply(ChannelConfig{0x265, 0x20, 0x02, 0x22});

    EXPECT_EQ(caption(2), "open-drain Output");
    EXPECT_FALSE(highEnabled(2));
    EXPECT_FALSE(testEnabled(2));
    EXPECT_EQ(caption(6), "Input");
    EXPECT_EQ(check(6), BST_CHECKED);
    EXPECT_FALSE(highEnabled(6));

    const Masks masks = app->panel.masks();
    EXPECT_EQ(masks.openDrain, 0x20);
    EXPECT_EQ(masks.input, 0x02);  // the open-drain caption wins over the input bit
    EXPECT_EQ(masks.high, 0x02);   // the disabled box still counts
}

TEST_F(ChannelPanelTest, ApplyReenablesRowsThatWereInputs) {
    ASSERT_TRUE(start(Attached::None));
    app->panel.apply(ChannelConfig{0x281, 0x00, 0xFF, 0xFF});
    for (int r = 0; r < 8; ++r) EXPECT_FALSE(testEnabled(r)) << r;
    app->panel.apply(ChannelConfig{0x281, 0x0F, 0x00, 0x00});
    for (int r = 0; r < 8; ++r) {
        EXPECT_EQ(caption(r), r < 4 ? "push/pull Output" : "open-drain Output") << r;
        EXPECT_EQ(check(r), BST_UNCHECKED) << r;
        EXPECT_TRUE(highEnabled(r)) << r;
        EXPECT_TRUE(testEnabled(r)) << r;
    }
    EXPECT_EQ(app->panel.masks(), (Masks{0x0F, 0x00, 0x00}));
}

TEST_F(ChannelPanelTest, ListSelectionFollowsTheAppliedId) {
    ASSERT_TRUE(start(Attached::None));

    app->panel.apply(ChannelConfig{0x269, 0, 0, 0});
    EXPECT_EQ(listSelection(), 8);
    app->panel.apply(ChannelConfig{0x289, 0, 0, 0});
    EXPECT_EQ(listSelection(), 17);

    // A family ID without an entry selects nothing but is kept.
    app->panel.apply(ChannelConfig{0x280, 0, 0, 0});
    EXPECT_EQ(listSelection(), CB_ERR);
    EXPECT_EQ(app->panel.selectedProductId(), 0x280u);
    app->panel.apply(ChannelConfig{0x261, 0, 0, 0});
    app->panel.apply(ChannelConfig{0x26A, 0, 0, 0});
    EXPECT_EQ(listSelection(), CB_ERR);

    // Another family leaves the list as it was.
    app->panel.apply(ChannelConfig{0x262, 0, 0, 0});
    app->panel.apply(ChannelConfig{0x123, 0, 0, 0});
    EXPECT_EQ(listSelection(), 1);
    EXPECT_EQ(app->panel.selectedProductId(), 0x123u);

    app->panel.apply(ChannelConfig{0, 0, 0, 0});
    EXPECT_EQ(listSelection(), CB_ERR);
    EXPECT_EQ(app->panel.selectedProductId(), 0u);
}

TEST_F(ChannelPanelTest, ApplyDrawsNoLabel) {
    ASSERT_TRUE(start(Attached::None));
    const Pixels before = capture();
    app->panel.apply(ChannelConfig{0x263, 0, 0, 0xFF});
    const Pixels after = capture();
    // Connector column and mode labels are untouched until a caller redraws.
    EXPECT_EQ(after.diff(20, 100, before, 20, 100, 124, 240), 0);
}

// ---- mode buttons -------------------------------------------------------------

TEST_F(ChannelPanelTest, ModeButtonCyclesThroughTheThreeModes) {
    ASSERT_TRUE(start(Attached::None));
    ::SendMessageW(app->controls.highBoxes[2], BM_CLICK, 0, 0);
    const LabelArea output = labelArea(2);
    EXPECT_EQ(differsFromLabel(output.pixels, 2, "[ OUT 3 ]"), 0);

    clickModeButton(2);
    EXPECT_EQ(caption(2), "open-drain Output");
    EXPECT_TRUE(highEnabled(2));
    EXPECT_TRUE(testEnabled(2));
    EXPECT_EQ(app->panel.masks(), (Masks{0x20, 0x20, 0x00}));

    clickModeButton(2);
    EXPECT_EQ(caption(2), "Input");
    EXPECT_FALSE(highEnabled(2));
    EXPECT_FALSE(testEnabled(2));
    EXPECT_EQ(app->panel.masks(), (Masks{0x00, 0x20, 0x20}));
    const LabelArea input = labelArea(2);
    EXPECT_EQ(differsFromLabel(input.pixels, 2, "[ IN bit5 ]"), 0);
    EXPECT_NE(input.dark, output.dark);
    EXPECT_GE(input.rightmost, output.rightmost);
    EXPECT_EQ(input.pixels.countNonWhite(80, 175, 83, 187), 0);
    // The other rows keep their output labels.
    EXPECT_EQ(differsFromLabel(input.pixels, 1, "[ OUT 2 ]"), 0);
    EXPECT_EQ(differsFromLabel(input.pixels, 3, "[ OUT 4 ]"), 0);

    clickModeButton(2);
    EXPECT_EQ(caption(2), "push/pull Output");
    EXPECT_TRUE(highEnabled(2));
    EXPECT_TRUE(testEnabled(2));
    EXPECT_EQ(check(2), BST_CHECKED);
    const LabelArea back = labelArea(2);
    EXPECT_EQ(differsFromLabel(back.pixels, 2, "[ OUT 3 ]"), 0);
    EXPECT_EQ(back.dark, output.dark);
    EXPECT_EQ(back.pixels.countNonWhite(80, 175, 83, 187), 0);
}

TEST_F(ChannelPanelTest, ModeButtonOfAnAppliedInputRowMakesItAnOutput) {
    ASSERT_TRUE(start(Attached::None));
    app->panel.apply(ChannelConfig{0x285, 0, 0, 0x01});
    app->labels().refreshModeLabels(app->panel.rows());
    EXPECT_EQ(differsFromLabel(capture(), 7, "[ IN bit0 ]"), 0);

    clickModeButton(7);
    EXPECT_EQ(caption(7), "push/pull Output");
    EXPECT_TRUE(highEnabled(7));
    EXPECT_TRUE(testEnabled(7));
    EXPECT_EQ(differsFromLabel(capture(), 7, "[ OUT 8 ]"), 0);
}

TEST_F(ChannelPanelTest, PaintShowsTheModeLabelsOfTheCaptions) {
    ASSERT_TRUE(start(Attached::None));
    app->panel.apply(ChannelConfig{0x281, 0x80, 0, 0x41});  // row 0 open-drain, rows 1 and 7 inputs
    repaintAll();
    const Pixels shot = capture();
    EXPECT_EQ(differsFromLabel(shot, 0, "[ OUT 1 ]"), 0);
    EXPECT_EQ(differsFromLabel(shot, 1, "[ IN bit6 ]"), 0);
    EXPECT_EQ(differsFromLabel(shot, 2, "[ OUT 3 ]"), 0);
    EXPECT_EQ(differsFromLabel(shot, 7, "[ IN bit0 ]"), 0);
}

// ---- product-ID list ------------------------------------------------------------

TEST_F(ChannelPanelTest, SelectionSetsTheIdTheStatusPanesAndTheLabels) {
    ASSERT_TRUE(start(Attached::Zel260));
    const int cw = textExtent(app->fonts.panel.get(), L"0").cx;

    selectProductEntry(3);
    EXPECT_EQ(app->panel.selectedProductId(), 0x264u);
    EXPECT_EQ(statusPane(app->status.control(), 0), "");
    EXPECT_EQ(statusPane(app->status.control(), 1), "Device Selected ZEL260");
    EXPECT_EQ(app->status.str(), " Connected USB Output Module - ZEL260");
    Pixels shot = capture();
    EXPECT_EQ(shot.countNonWhite(20, 325, 20 + 40 * cw, 337), 0);
    EXPECT_EQ(shot.diff(20, 125, renderText(app->fonts.panel.get(), L"> Black    ", 63, 12), 0, 0, 63, 12), 0);

    selectProductEntry(10);
    EXPECT_EQ(app->panel.selectedProductId(), 0x282u);
    EXPECT_EQ(statusPane(app->status.control(), 1), "Device Selected ZEL280");
    shot = capture();
    EXPECT_GT(shot.countDark(20, 325, 20 + 23 * cw, 337), 0);
    EXPECT_EQ(shot.diff(20, 125, renderText(app->fonts.panel.get(), L"Pin No.  2 ", 63, 12), 0, 0, 63, 12), 0);

    // The next size change shows the stored status text again.
    RECT client{};
    ::GetClientRect(window, &client);
    ::SendMessageW(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
    EXPECT_EQ(statusPane(app->status.control(), 0), " Connected USB Output Module - ZEL260");
    EXPECT_EQ(statusPane(app->status.control(), 1), "Device Selected ZEL280");
}

TEST_F(ChannelPanelTest, OtherListNotificationsAreIgnored) {
    ASSERT_TRUE(start(Attached::None));
    ::SendMessageW(app->controls.productList, CB_SETCURSEL, 4, 0);
    for (WORD code : {WORD(CBN_DROPDOWN), WORD(CBN_CLOSEUP), WORD(CBN_SETFOCUS), WORD(CBN_SELENDOK)})
        ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_PRODUCT_LIST, code),
                       reinterpret_cast<LPARAM>(app->controls.productList));
    EXPECT_EQ(app->panel.selectedProductId(), 0u);
    EXPECT_EQ(statusPane(app->status.control(), 1), "");
}

}  // namespace
}  // namespace zelio::ui::test
