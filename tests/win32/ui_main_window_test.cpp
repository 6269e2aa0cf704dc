// The main window at start: controls, fonts, menus, status bar, MessageLog,
// and what the first paint puts on the client area.
#include "ui_fixture.h"

#include <dbt.h>

#include <string>
#include <vector>

#include "ui/startup.h"

#include "config/panel_rules.h"

namespace zelio::ui::test {
namespace {

const std::string kGuide =
    "                    <USB 입출력 모듈의 설정 방법>\r\n\r\n"
    " 1. ZEL280은 본체에 있는 버턴을 1초이상 길게 눌러서 적색\r\n     LED가 점등되면 세팅모드로 동작합니다.\r\n"
    "\r\n 2. ZEL260은 프로그램 메뉴 'USB'에서 장치 ID를 260으로\r\n     바꾸면 세팅모드로 동작합니다. \r\n";

const char* const kPinTable[10] = {
    "Pin No.  1  [ GND ] ", "Pin No.  2 ", "Pin No.  3 ", "Pin No.  4 ", "Pin No.  5 ",
    "Pin No.  6 ",          "Pin No.  7 ", "Pin No.  8 ", "Pin No.  9 ", "Pin No. 10 [ RESERVED ]",
};

void expectIdleMenus(HWND window) {
    for (UINT id : {40008u, 40009u, 40010u}) EXPECT_TRUE(menuGrayed(window, id)) << id;
    for (UINT id = 40011; id <= 40019; ++id) EXPECT_TRUE(menuEnabled(window, id)) << id;
}

void expectAttachedMenus(HWND window) {
    for (UINT id : {40008u, 40009u, 40010u}) EXPECT_TRUE(menuEnabled(window, id)) << id;
    for (UINT id = 40011; id <= 40019; ++id) EXPECT_TRUE(menuGrayed(window, id)) << id;
}

// ---- start-up state ----------------------------------------------------------

TEST_F(MainWindowTest, WithoutModuleShowsTheSettingGuideAndTheIdleState) {
    ASSERT_TRUE(start(Attached::None));

    EXPECT_EQ(app::cp949Length(kGuide), 250u);
    EXPECT_EQ(textOf(app->logControl()), kGuide);
    EXPECT_EQ(app->core().state().log.str(), kGuide);

    expectIdleMenus(window);
    for (UINT id : {40002u, 40003u, 40005u, 40006u, 40007u, 40020u}) EXPECT_TRUE(menuEnabled(window, id)) << id;

    EXPECT_EQ(statusPane(app->statusBar(), 0), "");
    EXPECT_EQ(app->core().state().status.str(), "");
    EXPECT_EQ(app->core().state().attachedFlag, 0);
    EXPECT_EQ(commands->attachedModuleId(), 0);
    EXPECT_EQ(app->core().state().selectedProductId, 0u);

    ASSERT_EQ(::SendMessageW(app->controls().productList, CB_GETCOUNT, 0, 0), 18);
    const char* expected[18] = {"261", "262", "263", "264", "265", "266", "267", "268", "269",
                                "281", "282", "283", "284", "285", "286", "287", "288", "289"};
    for (int i = 0; i < 18; ++i) EXPECT_EQ(comboEntry(app->controls().productList, i), expected[i]) << i;
    EXPECT_EQ(::SendMessageW(app->controls().productList, CB_GETCURSEL, 0, 0), CB_ERR);
    EXPECT_EQ(textOf(app->controls().productList), "");

    for (size_t r = 0; r < 8; ++r) {
        EXPECT_EQ(textOf(app->controls().modeButtons[r]), "push/pull Output") << r;
        EXPECT_EQ(textOf(app->controls().highBoxes[r]), "High") << r;
        EXPECT_EQ(textOf(app->controls().testButtons[r]), "Test") << r;
        EXPECT_EQ(::SendMessageW(app->controls().highBoxes[r], BM_GETCHECK, 0, 0), BST_UNCHECKED) << r;
        EXPECT_TRUE(::IsWindowEnabled(app->controls().modeButtons[r])) << r;
        EXPECT_TRUE(::IsWindowEnabled(app->controls().highBoxes[r])) << r;
        EXPECT_TRUE(::IsWindowEnabled(app->controls().testButtons[r])) << r;
    }
}

TEST_F(MainWindowTest, ModuleInNormalModeIsNotAttached) {
    host = std::make_unique<EmulatedHost>(clock);
    host->addModule(Model::Zel280, 4, 0x10, ModuleMode::Normal);
    host->addModule(Model::Zel260, 2, 0x10, ModuleMode::Normal);
    ASSERT_TRUE(startOnHost());

    EXPECT_EQ(textOf(app->logControl()), kGuide);
    expectIdleMenus(window);
    EXPECT_EQ(statusPane(app->statusBar(), 0), "");
    EXPECT_EQ(app->core().state().attachedFlag, 0);
}

TEST_F(MainWindowTest, Zel260InSettingModeIsAnnounced) {
    ASSERT_TRUE(start(Attached::Zel260));

    EXPECT_EQ(commands->attachedModuleId(), 0x260);
    EXPECT_EQ(statusPane(app->statusBar(), 0), " Connected USB Output Module - ZEL260");
    EXPECT_EQ(app->core().state().status.str(), " Connected USB Output Module - ZEL260");
    EXPECT_EQ(textOf(app->logControl()), "\r\n > USB I/O 모듈(ZEL260)이 변경모드로 연결되어 있습니다.\r\n");
    EXPECT_EQ(app->core().state().attachedFlag, 1);
    expectAttachedMenus(window);
    // Finding the module only enumerates: no pause, no command sent.
    EXPECT_TRUE(clock.sleeps().empty());
    EXPECT_TRUE(zel260->received.empty());
    // Creation sets no Test button state of its own.
    for (size_t r = 0; r < 8; ++r) EXPECT_TRUE(::IsWindowEnabled(app->controls().testButtons[r])) << r;
}

TEST_F(MainWindowTest, Zel280InSettingModeIsAnnounced) {
    ASSERT_TRUE(start(Attached::Zel280));
    EXPECT_EQ(statusPane(app->statusBar(), 0), " Connected USB Output Module - ZEL280");
    EXPECT_EQ(textOf(app->logControl()), "\r\n > USB I/O 모듈(ZEL280)이 변경모드로 연결되어 있습니다.\r\n");
    expectAttachedMenus(window);
}

TEST_F(MainWindowTest, WithBothModelsTheZel280IsAnnounced) {
    ASSERT_TRUE(start(Attached::Both));
    EXPECT_EQ(commands->attachedModuleId(), 0x280);
    EXPECT_EQ(statusPane(app->statusBar(), 0), " Connected USB Output Module - ZEL280");
    EXPECT_EQ(textOf(app->logControl()), "\r\n > USB I/O 모듈(ZEL280)이 변경모드로 연결되어 있습니다.\r\n");
}

// ---- window, controls and fonts ------------------------------------------------

TEST_F(MainWindowTest, WindowAndClassAreAsTheProgramDefinesThem) {
    ASSERT_TRUE(start(Attached::None));

    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    EXPECT_EQ(win32::narrow(name), "USBOUTPUTMODULE CLASS");
    EXPECT_EQ(textOf(window), "USB I/O Module - Ver 1.0");

    RECT outer{};
    ::GetWindowRect(window, &outer);
    EXPECT_EQ(outer.right - outer.left, 400);
    EXPECT_EQ(outer.bottom - outer.top, 540);

    const LONG_PTR style = ::GetWindowLongPtrW(window, GWL_STYLE);
    EXPECT_EQ(style & WS_OVERLAPPEDWINDOW, WS_OVERLAPPEDWINDOW);
    EXPECT_EQ(::GetWindowLongPtrW(window, GWL_EXSTYLE) & ~static_cast<LONG_PTR>(WS_EX_WINDOWEDGE), 0);
    EXPECT_EQ(::GetClassLongPtrW(window, GCL_STYLE), CS_HREDRAW | CS_VREDRAW);
    EXPECT_EQ(reinterpret_cast<HGDIOBJ>(::GetClassLongPtrW(window, GCLP_HBRBACKGROUND)), ::GetStockObject(WHITE_BRUSH));
    EXPECT_NE(::GetClassLongPtrW(window, GCLP_HICON), 0);
    EXPECT_NE(::GetMenu(window), nullptr);
    EXPECT_TRUE(::IsWindowVisible(window));
}

TEST_F(MainWindowTest, ControlsStandWhereTheLayoutPutsThem) {
    ASSERT_TRUE(start(Attached::None));

    auto expectRect = [](HWND control, int x, int y, int w, int h, const char* what) {
        const RECT rc = childRect(control);
        EXPECT_EQ(rc.left, x) << what;
        EXPECT_EQ(rc.top, y) << what;
        EXPECT_EQ(rc.right - rc.left, w) << what;
        if (h > 0) {
            EXPECT_EQ(rc.bottom - rc.top, h) << what;
        }
    };

    expectRect(app->controls().productList, 125, 56, 80, 0, "product list");
    EXPECT_EQ(::GetDlgCtrlID(app->controls().productList), 105);
    const LONG_PTR comboStyle = ::GetWindowLongPtrW(app->controls().productList, GWL_STYLE);
    EXPECT_EQ(comboStyle & 3, CBS_DROPDOWNLIST);
    EXPECT_EQ(comboStyle & CBS_SORT, 0);

    for (int r = 0; r < 8; ++r) {
        const size_t i = static_cast<size_t>(r);
        const int y = 120 + 25 * r;
        expectRect(app->controls().modeButtons[i], 144, y, 120, 23, "mode button");
        expectRect(app->controls().highBoxes[i], 270, y, 52, 22, "High box");
        expectRect(app->controls().testButtons[i], 327, y, 45, 23, "Test button");
        EXPECT_EQ(::GetDlgCtrlID(app->controls().modeButtons[i]), 120 + r);
        EXPECT_EQ(::GetDlgCtrlID(app->controls().highBoxes[i]), 110 + r);
        EXPECT_EQ(::GetDlgCtrlID(app->controls().testButtons[i]), 130 + r);
        EXPECT_EQ(::GetWindowLongPtrW(app->controls().highBoxes[i], GWL_STYLE) & BS_TYPEMASK, BS_AUTOCHECKBOX);
        EXPECT_EQ(::GetWindowLongPtrW(app->controls().modeButtons[i], GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON);
        EXPECT_NE(::GetWindowLongPtrW(app->controls().modeButtons[i], GWL_STYLE) & WS_TABSTOP, 0);
        EXPECT_NE(::GetWindowLongPtrW(app->controls().highBoxes[i], GWL_STYLE) & WS_TABSTOP, 0);
        EXPECT_NE(::GetWindowLongPtrW(app->controls().testButtons[i], GWL_STYLE) & WS_TABSTOP, 0);
    }

    expectRect(app->logControl(), 20, 358, 351, 93, "MessageLog");
    EXPECT_EQ(::GetDlgCtrlID(app->logControl()), 0);
    const LONG_PTR logStyle = ::GetWindowLongPtrW(app->logControl(), GWL_STYLE);
    EXPECT_NE(logStyle & ES_MULTILINE, 0);
    EXPECT_NE(logStyle & ES_READONLY, 0);
    EXPECT_EQ(logStyle & (WS_BORDER | WS_VSCROLL | WS_HSCROLL | ES_AUTOVSCROLL | ES_AUTOHSCROLL), 0);
}

TEST_F(MainWindowTest, FontsAreHangulFixedPitchGulimOfHeights12And13) {
    ASSERT_TRUE(start(Attached::None));

    auto expectFont = [](HFONT font, LONG height) {
        ASSERT_NE(font, nullptr);
        LOGFONTW lf{};
        ASSERT_EQ(::GetObjectW(font, sizeof lf, &lf), static_cast<int>(sizeof lf));
        EXPECT_EQ(lf.lfHeight, height);
        EXPECT_EQ(lf.lfWidth, 0);
        EXPECT_EQ(lf.lfWeight, 0);
        EXPECT_EQ(lf.lfItalic, 0);
        EXPECT_EQ(lf.lfUnderline, 0);
        EXPECT_EQ(lf.lfStrikeOut, 0);
        EXPECT_EQ(lf.lfCharSet, 129);
        EXPECT_EQ(lf.lfPitchAndFamily, 0x31);
        EXPECT_EQ(win32::narrow(lf.lfFaceName), "굴림");
    };
    expectFont(app->panelFont(), 12);
    expectFont(app->logFont(), 13);

    auto fontOf = [](HWND control) { return reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)); };
    EXPECT_EQ(fontOf(app->controls().productList), app->logFont());
    EXPECT_EQ(fontOf(app->logControl()), app->logFont());
    for (size_t r = 0; r < 8; ++r) {
        EXPECT_EQ(fontOf(app->controls().modeButtons[r]), app->panelFont()) << r;
        EXPECT_EQ(fontOf(app->controls().highBoxes[r]), app->panelFont()) << r;
        EXPECT_EQ(fontOf(app->controls().testButtons[r]), app->panelFont()) << r;
    }
}

// ---- painting ------------------------------------------------------------------

class PaintTest : public MainWindowTest {
protected:
    int cellWidth() const { return textExtent(app->panelFont(), L"0").cx; }
    int cellHeight() const { return textExtent(app->panelFont(), L"0").cy; }

    // Pixels in which the window at (x, y) differs from `text` painted there
    // by itself, over `width` pixels (the text's own width when 0).
    int differsFromText(const Pixels& shot, int x, int y, const std::string& text, int width = 0) {
        const std::wstring wide = win32::widen(text);
        if (width == 0) width = textExtent(app->panelFont(), wide).cx;
        const int h = cellHeight();
        const Pixels expected = renderText(app->panelFont(), wide, width, h);
        return shot.diff(x, y, expected, 0, 0, width, h);
    }
};

TEST_F(PaintTest, PanelFontIsFixedPitch) {
    ASSERT_TRUE(start(Attached::None));
    const int w = cellWidth();
    ASSERT_GT(w, 0);
    EXPECT_EQ(textExtent(app->panelFont(), L"iiii").cx, 4 * w);
    EXPECT_EQ(textExtent(app->panelFont(), L"WWWW").cx, 4 * w);
    EXPECT_EQ(cellHeight(), 12);
}

TEST_F(PaintTest, HeadingsRuleAndFrame) {
    ASSERT_TRUE(start(Attached::None));
    const Pixels shot = capture();

    EXPECT_EQ(differsFromText(shot, 20, 60, "USB Product ID :"), 0);
    EXPECT_EQ(differsFromText(shot, 170, 85, "  I/O Mode  "), 0);
    EXPECT_EQ(differsFromText(shot, 250, 85, "  Default Output  "), 0);
    EXPECT_GT(shot.countDark(20, 60, 116, 72), 0);

    const COLORREF rule = RGB(225, 225, 225), white = RGB(255, 255, 255);
    EXPECT_EQ(shot.at(100, 89), rule);
    EXPECT_EQ(shot.at(20, 89), rule);
    EXPECT_EQ(shot.at(371, 89), rule);
    EXPECT_EQ(shot.at(372, 89), white);  // the end point is not drawn
    EXPECT_EQ(shot.at(19, 89), white);
    EXPECT_EQ(shot.at(100, 88), white);
    EXPECT_EQ(shot.at(100, 90), white);
    // The headings stand on the rule with their blanks.
    EXPECT_EQ(shot.at(172, 89), white);
    EXPECT_EQ(shot.at(252, 89), white);

    const COLORREF frame = RGB(128, 128, 128);
    for (POINT p : {POINT{18, 356}, POINT{200, 356}, POINT{372, 356}, POINT{372, 400}, POINT{372, 452},
                    POINT{200, 452}, POINT{18, 452}, POINT{18, 400}})
        EXPECT_EQ(shot.at(p.x, p.y), frame) << p.x << "," << p.y;
    EXPECT_EQ(shot.at(17, 400), white);
    EXPECT_EQ(shot.at(373, 400), white);
    EXPECT_EQ(shot.at(200, 355), white);
    EXPECT_EQ(shot.at(200, 453), white);
}

TEST_F(PaintTest, BannerIsTheBitmapResource) {
    ASSERT_TRUE(start(Attached::None));
    const Pixels shot = capture();

    win32::unique_hbitmap banner(::LoadBitmapW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_BANNER)));
    ASSERT_TRUE(banner);
    BITMAP info{};
    ::GetObjectW(banner.get(), sizeof info, &info);
    EXPECT_EQ(info.bmWidth, 377);
    EXPECT_EQ(info.bmHeight, 42);

    WindowDc screen(nullptr);
    win32::unique_hdc memory(::CreateCompatibleDC(screen.get()));
    Pixels image;
    {
        SelectScope selected(memory.get(), banner.get());
        image = copyPixels(memory.get(), 0, 0, 377, 40);
    }
    EXPECT_EQ(shot.diff(15, 5, image, 0, 0, 377, 40), 0);
    EXPECT_GT(shot.countNonWhite(15, 5, 392, 45), 1000);
    // Above and left of the banner the window stays white.
    EXPECT_EQ(shot.countNonWhite(0, 0, 15, 45), 0);
    EXPECT_EQ(shot.countNonWhite(0, 0, 392, 5), 0);
}

TEST_F(PaintTest, WithoutSelectionThePinTableAndOutputLabelsArePainted) {
    ASSERT_TRUE(start(Attached::Zel260));  // the attached model does not choose the painted table
    const Pixels shot = capture();
    const int cw = cellWidth();

    EXPECT_EQ(differsFromText(shot, 20, 100, kPinTable[0]), 0);
    EXPECT_EQ(differsFromText(shot, 20, 325, kPinTable[9]), 0);
    EXPECT_GT(shot.countDark(20, 325, 20 + 23 * cw, 337), 0);
    // Rows 1-8: the mode labels start at x 83, inside the pin text's last blank.
    for (int k = 1; k <= 8; ++k) EXPECT_EQ(differsFromText(shot, 20, 100 + 25 * k, kPinTable[k], 63), 0) << k;
    for (int r = 0; r < 8; ++r) {
        const std::string label = "[ OUT " + std::to_string(r + 1) + " ]";
        EXPECT_EQ(differsFromText(shot, 83, 125 + 25 * r, label), 0) << r;
    }
}

TEST_F(PaintTest, StartupFileWithA26xIdPaintsTheWireColourTable) {
    wchar_t dir[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, dir);
    const std::wstring path = std::wstring(dir) + L"zelio_ui_wire.kbd";
    {
        win32::unique_handle file(
            ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file);
        DWORD written = 0;
        ::WriteFile(file.get(), "0263 00 00 04\r\n", 15, &written, nullptr);
    }
    ASSERT_TRUE(start(Attached::None, path));
    ::DeleteFileW(path.c_str());

    EXPECT_EQ(app->core().state().selectedProductId, 0x263u);
    EXPECT_EQ(textOf(app->controls().productList), "263");
    EXPECT_EQ(textOf(app->controls().modeButtons[5]), "Input");

    const Pixels shot = capture();
    const int cw = cellWidth();
    // Row 9 of the wire-colour table is blanks only; the pin table has text there.
    EXPECT_EQ(shot.countNonWhite(20, 325, 20 + 40 * cw, 337), 0);
    EXPECT_EQ(differsFromText(shot, 20, 100, "> Shield    [ GND ]"), 0);
    EXPECT_EQ(differsFromText(shot, 20, 125, "> Black    ", 63), 0);
    EXPECT_EQ(differsFromText(shot, 20, 175, "> Yellow  ", 60), 0);
    EXPECT_EQ(differsFromText(shot, 83, 250, "[ IN bit2 ]", 144 - 83), 0);
}

TEST_F(PaintTest, ConnectorLabelTablesCoverEachOther) {
    ASSERT_TRUE(start(Attached::None));
    const int cw = cellWidth();
    const auto& pins = labelRows(LabelTable::Pin);
    const auto& wires = labelRows(LabelTable::WireColour);
    auto padded = [](std::string text, size_t length) {
        text.resize(std::max(text.size(), length), ' ');
        return text;
    };

    app->drawConnectorLabels(LabelTable::WireColour);
    Pixels shot = capture();
    for (int k = 0; k < 10; ++k) {
        const size_t i = static_cast<size_t>(k);
        const std::string seen = padded(wires[i], pins[i].size());
        const int width = (k >= 1 && k <= 8) ? 63 : static_cast<int>(seen.size()) * cw;
        EXPECT_EQ(differsFromText(shot, 20, 100 + 25 * k, seen, width), 0) << "wire row " << k;
    }
    EXPECT_EQ(shot.countNonWhite(20, 325, 20 + 40 * cw, 337), 0);

    app->drawConnectorLabels(LabelTable::Pin);
    shot = capture();
    for (int k = 0; k < 10; ++k) {
        const size_t i = static_cast<size_t>(k);
        const std::string seen = padded(pins[i], wires[i].size());
        const int width = (k >= 1 && k <= 8) ? 63 : static_cast<int>(seen.size()) * cw;
        EXPECT_EQ(differsFromText(shot, 20, 100 + 25 * k, seen, width), 0) << "pin row " << k;
    }
}

TEST_F(PaintTest, PaintDrawsTheTableOfTheSelectionNotOfTheLastDrawing) {
    ASSERT_TRUE(start(Attached::Zel260));
    const int cw = cellWidth();
    // The device change draws the attached ZEL260's wire colours at once.
    ::SendMessageW(window, WM_DEVICECHANGE, 0x0007 /* DBT_DEVNODES_CHANGED */, 0);
    ASSERT_EQ(capture().countNonWhite(20, 325, 20 + 40 * cw, 337), 0);

    repaintAll();
    const Pixels shot = capture();
    EXPECT_EQ(differsFromText(shot, 20, 325, kPinTable[9]), 0);
    EXPECT_EQ(differsFromText(shot, 20, 100, kPinTable[0]), 0);
}

// ---- size changes ----------------------------------------------------------------

TEST_F(PaintTest, ResizeKeepsTheStatusBarAlongTheBottomAndRepaints) {
    ASSERT_TRUE(start(Attached::Zel260));
    app->drawConnectorLabels(LabelTable::WireColour);

    ASSERT_TRUE(::SetWindowPos(window, nullptr, 0, 0, 620, 700, SWP_NOMOVE | SWP_NOZORDER));
    pump();

    RECT client{};
    ::GetClientRect(window, &client);
    const RECT bar = childRect(app->statusBar());
    EXPECT_EQ(bar.left, 0);
    EXPECT_EQ(bar.right, client.right);
    EXPECT_EQ(bar.bottom, client.bottom);
    EXPECT_GT(bar.bottom - bar.top, 10);
    EXPECT_EQ(statusPane(app->statusBar(), 0), " Connected USB Output Module - ZEL260");
    int parts[4] = {};
    EXPECT_EQ(::SendMessageW(app->statusBar(), SB_GETPARTS, 4, reinterpret_cast<LPARAM>(parts)), 2);
    EXPECT_GT(parts[0], client.right / 2);

    // The whole client area was painted again: the pin table is back.
    const Pixels shot = capture();
    EXPECT_EQ(differsFromText(shot, 20, 325, kPinTable[9]), 0);

    ASSERT_TRUE(::SetWindowPos(window, nullptr, 0, 0, 400, 540, SWP_NOMOVE | SWP_NOZORDER));
    pump();
    ::GetClientRect(window, &client);
    const RECT smaller = childRect(app->statusBar());
    EXPECT_EQ(smaller.right, client.right);
    EXPECT_EQ(smaller.bottom, client.bottom);
}

// ---- window procedure ------------------------------------------------------------

TEST_F(MainWindowTest, HandledMessagesAnswerZeroAndDestroyEndsTheLoop) {
    ASSERT_TRUE(start(Attached::None));
    EXPECT_EQ(::SendMessageW(window, WM_COMMAND, MAKEWPARAM(45000, 0), 0), 0);
    EXPECT_EQ(::SendMessageW(window, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0), 0);
    EXPECT_EQ(::SendMessageW(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0), 0);

    // A click on a High box needs no handling: the box checks itself.
    ::SendMessageW(app->controls().highBoxes[3], BM_CLICK, 0, 0);
    pumpMessages();
    EXPECT_EQ(::SendMessageW(app->controls().highBoxes[3], BM_GETCHECK, 0, 0), BST_CHECKED);

    ::DestroyWindow(window);
    int code = -1;
    EXPECT_TRUE(pumpMessages(&code));
    EXPECT_EQ(code, 0);
    EXPECT_EQ(app->window(), nullptr);
    window = nullptr;
}

// The list and the mode buttons are recognised by their command IDs, not by
// who sent the command: a command without a control handle is routed the same.
TEST_F(MainWindowTest, PanelCommandsAreDispatchedByTheirIds) {
    ASSERT_TRUE(start(Attached::None));

    ::SendMessageW(app->controls().productList, CB_SETCURSEL, 12, 0);
    EXPECT_EQ(::SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_PRODUCT_LIST, CBN_SELCHANGE), 0), 0);
    EXPECT_EQ(app->core().state().selectedProductId, 0x284u);
    EXPECT_EQ(statusPane(app->statusBar(), 1), "Device Selected ZEL280");

    // Another notification code of the list changes nothing.
    ::SendMessageW(app->controls().productList, CB_SETCURSEL, 2, 0);
    ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_PRODUCT_LIST, CBN_DROPDOWN), 0);
    EXPECT_EQ(app->core().state().selectedProductId, 0x284u);

    EXPECT_EQ(::SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_MODE_FIRST + 4, BN_CLICKED), 0), 0);
    EXPECT_EQ(textOf(app->controls().modeButtons[4]), "open-drain Output");
    ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_MODE_FIRST + 4, BN_CLICKED), 0);
    EXPECT_EQ(textOf(app->controls().modeButtons[4]), "Input");
    EXPECT_FALSE(::IsWindowEnabled(app->controls().highBoxes[4]));
    EXPECT_FALSE(::IsWindowEnabled(app->controls().testButtons[4]));
    for (size_t r = 0; r < 8; ++r) {
        if (r != 4) {
            EXPECT_EQ(textOf(app->controls().modeButtons[r]), "push/pull Output") << r;
        }
    }
}

// Real key strokes (Shift held through SendInput), handled by the program's
// own loop step.
TEST_F(MainWindowTest, TabShiftTabSpaceAndEnterWorkTheListAndTheRowsInReadingOrder) {
    ASSERT_TRUE(start(Attached::None));
    ::SetForegroundWindow(window);
    ::SetFocus(window);
    auto press = [this](std::initializer_list<WORD> keys) {
        std::vector<INPUT> in(2 * keys.size(), INPUT{.type = INPUT_KEYBOARD, .ki = {}});
        for (size_t i = 0; i < keys.size(); ++i) {
            in[i].ki.wVk = in[in.size() - 1 - i].ki.wVk = keys.begin()[i];
            in[in.size() - 1 - i].ki.dwFlags = KEYEVENTF_KEYUP;
        }
        ::SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
        for (MSG msg; ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);) dispatchLoopMessage(*app, msg);
    };
    const PanelControls& c = app->controls();
    for (HWND next : {c.productList, c.modeButtons[0], c.highBoxes[0], c.testButtons[0], c.modeButtons[1]}) {
        press({VK_TAB});
        EXPECT_EQ(::GetFocus(), next);
    }
    for (HWND back : {c.testButtons[0], c.highBoxes[0], c.modeButtons[0]}) {
        press({VK_SHIFT, VK_TAB});
        EXPECT_EQ(::GetFocus(), back);
    }
    press({VK_SPACE});
    press({VK_SPACE});
    EXPECT_EQ(textOf(c.modeButtons[0]), "Input");
    EXPECT_EQ(collect(app->core().state().rows), (Masks{0x00, 0x00, 0x80}));
    press({VK_TAB});  // past row 0's High box and Test button, now disabled
    EXPECT_EQ(::GetFocus(), c.modeButtons[1]);
    press({VK_RETURN});
    EXPECT_EQ(textOf(c.modeButtons[1]), "open-drain Output");
}

}  // namespace
}  // namespace zelio::ui::test
