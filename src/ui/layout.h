// The main window's geometry at 96 DPI, in one table, and the one place that
// turns it into pixels for the window's DPI. Every control rectangle, painted
// position, pen width and font height of the window comes from here.
#pragma once

#include "ui/win32_util.h"

namespace zelio::ui {

// A rectangle as position and size.
struct Box {
    int x, y, w, h;
};

struct Layout96 {
    static constexpr int kDpi = 96;

    // Outer size of the main window at 96 DPI.
    static constexpr SIZE kWindow{400, 540};

    // Font cell heights: panel font, log font.
    static constexpr int kPanelFontHeight = 12;
    static constexpr int kLogFontHeight = 13;

    // Controls (client coordinates). Rows are kRowPitch apart.
    static constexpr Box kProductList{125, 56, 80, 270};
    static constexpr Box kModeButton{144, 120, 120, 23};
    static constexpr Box kHighBox{270, 120, 52, 22};
    static constexpr Box kTestButton{327, 120, 45, 23};
    static constexpr Box kMessageLog{20, 358, 351, 93};
    static constexpr int kRowPitch = 25;
    // Width of the status bar's second pane ("Device Selected ZEL2x0").
    static constexpr int kSelectionPaneWidth = 150;

    // Painted elements.
    static constexpr Box kBanner{15, 5, 400, 40};
    static constexpr POINT kProductHeading{20, 60};
    static constexpr POINT kModeHeading{170, 85};
    static constexpr POINT kLevelHeading{250, 85};
    static constexpr POINT kRuleFrom{20, 89};
    static constexpr POINT kRuleTo{372, 89};
    static constexpr POINT kLabelColumn{20, 100};  // row k at y + kRowPitch * k
    static constexpr POINT kModeLabels{83, 125};   // row r at y + kRowPitch * r
    static constexpr RECT kModeLabelArea{80, 120, 140, 315};
    static constexpr RECT kLogFrame{18, 356, 372, 452};
    static constexpr int kPenWidth = 1;
};

// Pixels for one DPI: each 96-DPI value v becomes v * dpi / 96, rounded.
class Scale {
public:
    explicit Scale(int dpi = Layout96::kDpi) : dpi_(dpi > 0 ? dpi : Layout96::kDpi) {}

    int dpi() const { return dpi_; }
    bool identity() const { return dpi_ == Layout96::kDpi; }

    int px(int v) const { return ::MulDiv(v, dpi_, Layout96::kDpi); }
    // A font's cell height, rounded down so that a scaled text never needs
    // more room than its scaled box.
    int fontHeight(int v) const { return v * dpi_ / Layout96::kDpi; }
    POINT point(POINT p) const { return {px(p.x), px(p.y)}; }
    // `p` moved down by `rows` row pitches, then scaled.
    POINT row(POINT p, int rows) const { return point({p.x, p.y + Layout96::kRowPitch * rows}); }
    Box box(Box b, int rows = 0) const {
        return {px(b.x), px(b.y + Layout96::kRowPitch * rows), px(b.w), px(b.h)};
    }
    RECT rect(RECT r) const { return {px(r.left), px(r.top), px(r.right), px(r.bottom)}; }

    // The outer window size whose client area is the 96-DPI client area
    // scaled: the frame, caption and menu bar take what the system gives them
    // at this DPI. At 96 DPI this is exactly Layout96::kWindow.
    SIZE windowSize(DWORD style, bool menu) const;

private:
    int dpi_;
};

// The DPI of `window`: its monitor's under per-monitor awareness, else the
// system's.
int windowDpi(HWND window);

}  // namespace zelio::ui
