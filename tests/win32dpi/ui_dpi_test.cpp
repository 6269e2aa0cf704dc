// The main window in a Wine prefix whose display scaling is 144 DPI: today's
// window at 1.5 times.
#include "../win32/ui_fixture.h"

#include <cstdlib>
#include <utility>

namespace zelio::ui::test {
namespace {

// Rows of dark pixels in the rectangle: from the first to the last.
int darkHeight(const Pixels& p, RECT r) {
    int top = -1, bottom = -1;
    for (int y = r.top; y < r.bottom; ++y)
        if (p.countDark(r.left, y, r.right, y + 1) > 0) {
            if (top < 0) top = y;
            bottom = y;
        }
    return top < 0 ? 0 : bottom - top + 1;
}

using DpiTest = MainWindowTest;

TEST_F(DpiTest, TheWindowIsTodaysAtOneAndAHalfTimes) {
    ASSERT_TRUE(start(Attached::None));
    ASSERT_EQ(::GetDpiForWindow(window), 144u);

    // Today's 96-DPI rectangles, row r of the panel 25 pixels below row 0.
    const auto expectScaled = [](HWND control, RECT at96) {
        const RECT got = childRect(control);
        const LONG want[] = {at96.left * 3 / 2, at96.top * 3 / 2, at96.right * 3 / 2, at96.bottom * 3 / 2};
        const LONG have[] = {got.left, got.top, got.right, got.bottom};
        for (int i = 0; i < 4; ++i) EXPECT_LE(std::abs(have[i] - want[i]), 2) << "edge " << i << " of control " << ::GetDlgCtrlID(control);
    };
    for (int r = 0; r < 8; ++r) {
        const size_t i = static_cast<size_t>(r);
        const LONG y = 120 + 25 * r;
        expectScaled(app->controls().modeButtons[i], {144, y, 264, y + 23});
        expectScaled(app->controls().highBoxes[i], {270, y, 322, y + 22});
        expectScaled(app->controls().testButtons[i], {327, y, 372, y + 23});
    }
    expectScaled(app->logControl(), {20, 358, 371, 451});

    RECT client{};
    ::GetClientRect(window, &client);
    for (HWND c = ::GetWindow(window, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
        const RECT r = childRect(c);
        EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= client.right && r.bottom <= client.bottom) << ::GetDlgCtrlID(c);
    }
    EXPECT_LE(childRect(app->logControl()).bottom, childRect(app->statusBar()).top);

    // The button captions are drawn with a font made for 144 DPI, not today's.
    const Pixels shot = capture();
    RECT button = childRect(app->controls().modeButtons[0]);
    ::InflateRect(&button, -4, -4);
    win32::unique_hfont today(::CreateFontW(12, 0, 0, 0, 0, FALSE, FALSE, FALSE, HANGUL_CHARSET, 0, 0, 0,
                                            FIXED_PITCH | FF_MODERN, L"굴림"));
    const int todayHeight = darkHeight(renderText(today.get(), L"push/pull Output", 200, 30), {0, 0, 200, 30});
    EXPECT_GT(darkHeight(shot, button), todayHeight);

    // Banner from (22, 7) to 1.5 x 377 wide: its right end stands where
    // today's ends at (392, 5) no longer reaches.
    EXPECT_EQ(shot.countNonWhite(0, 0, 22, 67), 0);
    EXPECT_GT(shot.countNonWhite(22 + 377, 7, 22 + 565, 67), 500);
    // Row 1 of the label column at 1.5 x (20, 125), its mode label at
    // 1.5 x (83, 125), halves rounded up.
    for (const auto& [x, text] : {std::pair{30, L"Pin No.  2"}, std::pair{125, L"[ OUT 1 ]"}}) {
        const SIZE size = textExtent(app->panelFont(), text);
        const Pixels label = renderText(app->panelFont(), text, size.cx, size.cy);
        EXPECT_EQ(shot.diff(x, 188, label, 0, 0, size.cx, size.cy), 0) << win32::narrow(text);
    }

    // Moved to a 192-DPI monitor: laid out again, in the suggested rectangle.
    RECT suggested{10, 20, 810, 740};  // within the test screen
    ::SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&suggested));
    RECT outer{};
    ::GetWindowRect(window, &outer);
    EXPECT_TRUE(::EqualRect(&outer, &suggested));
    expectScaled(app->controls().testButtons[7], {327 * 4 / 3, 295 * 4 / 3, 372 * 4 / 3, 318 * 4 / 3});
}

}  // namespace
}  // namespace zelio::ui::test
