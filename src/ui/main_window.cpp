#include "ui/main_window.h"

#include <commctrl.h>

#include <algorithm>

#include "resource.h"
#include "ui/win32_config_file.h"
#include "ui/window_dispatch.h"

namespace zelio::ui {
namespace {

constexpr DWORD kMainStyle = WS_OVERLAPPEDWINDOW;

constexpr COLORREF kRuleColour = RGB(225, 225, 225);
constexpr COLORREF kFrameColour = RGB(128, 128, 128);

// Font parameters shared by both fonts: Hangul character set, fixed pitch,
// modern family, face 굴림.
win32::unique_hfont makeFont(int height) {
    return win32::unique_hfont(::CreateFontW(height, 0, 0, 0, 0, FALSE, FALSE, FALSE, HANGUL_CHARSET, 0, 0, 0,
                                             FIXED_PITCH | FF_MODERN, L"굴림"));
}

void textOut(HDC dc, POINT at, std::string_view text) {
    const std::wstring wide = win32::widen(text);
    ::TextOutW(dc, at.x, at.y, wide.c_str(), static_cast<int>(wide.size()));
}

// The ten rows of a label table at (20, 100 + 25k).
void drawLabelRows(HDC dc, LabelTable table, const Scale& scale) {
    const auto& rows = labelRows(table);
    for (int k = 0; k < 10; ++k) textOut(dc, scale.row(Layout96::kLabelColumn, k), rows[static_cast<size_t>(k)]);
}

// The eight mode labels at (83, 125 + 25r), by each row's mode.
void drawModeLabels(HDC dc, const PanelRows& rows, const Scale& scale) {
    for (int r = 0; r < kChannelCount; ++r)
        textOut(dc, scale.row(Layout96::kModeLabels, r), modeLabel(r, rows[static_cast<size_t>(r)].caption));
}

void drawLine(HDC dc, COLORREF colour, int width, const POINT* points, int count) {
    win32::unique_hpen pen(::CreatePen(PS_SOLID, width, colour));
    SelectScope selected(dc, pen.get());
    ::MoveToEx(dc, points[0].x, points[0].y, nullptr);
    for (int i = 1; i < count; ++i) ::LineTo(dc, points[i].x, points[i].y);
}

// The banner, loaded and released at every paint: copied as it is at 96 DPI,
// scaled with a smoothing filter at any other.
void drawBanner(HDC dc, HDC memory, HINSTANCE instance, const Scale& scale) {
    win32::unique_hbitmap banner(::LoadBitmapW(instance, MAKEINTRESOURCEW(IDB_BANNER)));
    if (!banner) return;
    SelectScope selected(memory, banner.get());
    const Box at = Layout96::kBanner;
    if (scale.identity()) {
        ::BitBlt(dc, at.x, at.y, at.w, at.h, memory, 0, 0, SRCCOPY);
        return;
    }
    BITMAP info{};
    ::GetObjectW(banner.get(), sizeof info, &info);
    const Box source{0, 0, std::min(at.w, static_cast<int>(info.bmWidth)), std::min(at.h, static_cast<int>(info.bmHeight))};
    const Box target = scale.box({at.x, at.y, source.w, source.h});
    ::SetStretchBltMode(dc, HALFTONE);
    ::SetBrushOrgEx(dc, 0, 0, nullptr);
    ::StretchBlt(dc, target.x, target.y, target.w, target.h, memory, 0, 0, source.w, source.h, SRCCOPY);
}

void place(HWND control, const Box& box, HFONT font) {
    ::MoveWindow(control, box.x, box.y, box.w, box.h, TRUE);
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

// The mode and Test buttons: Enter clicks them as Space does.
bool isPanelButton(HWND control) {
    const int id = ::GetDlgCtrlID(control);
    return (id >= IDC_MODE_FIRST && id < IDC_MODE_FIRST + kChannelCount) ||
           (id >= IDC_TEST_FIRST && id < IDC_TEST_FIRST + kChannelCount);
}

}  // namespace

void LabelPainter::refreshModeLabels(const PanelRows& rows) const {
    WindowDc dc(window_);
    if (!dc) return;
    SelectScope font(dc.get(), font_);
    const RECT area = scale_.rect(Layout96::kModeLabelArea);
    ::FillRect(dc.get(), &area, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    ::SetBkMode(dc.get(), OPAQUE);
    drawModeLabels(dc.get(), rows, scale_);
}

void LabelPainter::drawConnectorLabels(LabelTable table) const {
    WindowDc dc(window_);
    if (!dc) return;
    SelectScope font(dc.get(), font_);
    ::SetBkMode(dc.get(), OPAQUE);
    drawLabelRows(dc.get(), table, scale_);
}

void MainWindow::paint() const {
    PaintScope paintScope(window_);
    HDC dc = paintScope.get();
    if (!dc) return;
    win32::unique_hdc memory(::CreateCompatibleDC(dc));
    if (!memory) return;

    drawBanner(dc, memory.get(), instance, scale_);

    const int pen = scale_.px(Layout96::kPenWidth);
    const POINT rule[] = {scale_.point(Layout96::kRuleFrom), scale_.point(Layout96::kRuleTo)};
    drawLine(dc, kRuleColour, pen, rule, 2);

    ::SetBkMode(dc, OPAQUE);
    SelectScope font(dc, fonts.panel.get());
    textOut(dc, scale_.point(Layout96::kProductHeading), "USB Product ID :");
    textOut(dc, scale_.point(Layout96::kModeHeading), "  I/O Mode  ");
    textOut(dc, scale_.point(Layout96::kLevelHeading), "  Default Output  ");
    drawLabelRows(dc, tableForPaint(panel.selectedProductId()), scale_);
    drawModeLabels(dc, panel.rows(), scale_);

    const RECT f = scale_.rect(Layout96::kLogFrame);
    const POINT frame[] = {{f.left, f.top}, {f.right, f.top}, {f.right, f.bottom}, {f.left, f.bottom}, {f.left, f.top}};
    drawLine(dc, kFrameColour, pen, frame, 5);
}

void MainWindow::createFonts() {
    fonts.panel = makeFont(scale_.fontHeight(Layout96::kPanelFontHeight));
    fonts.log = makeFont(scale_.fontHeight(Layout96::kLogFontHeight));
}

void MainWindow::onCreate() {
    scale_ = Scale(windowDpi(window_));
    // The outer size that gives the 96-DPI client area at this DPI; at 96
    // DPI the window keeps the size it was created with.
    const SIZE size = scale_.windowSize(kMainStyle, true);
    RECT outer{};
    ::GetWindowRect(window_, &outer);
    if (outer.right - outer.left != size.cx || outer.bottom - outer.top != size.cy)
        ::SetWindowPos(window_, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    log.set(kSettingGuide);
    createFonts();

    status.attach(::CreateStatusWindowW(WS_CHILD | WS_VISIBLE, L"", window_, 0));

    auto child = [this](const wchar_t* className, const wchar_t* text, DWORD style, const Box& box, int id, HFONT font) {
        return createControl(window_, instance,
                             {.className = className, .text = text, .style = style, .x = box.x, .y = box.y,
                              .w = box.w, .h = box.h, .id = id, .font = font});
    };
    HFONT panelFont = fonts.panel.get();
    HFONT logFont = fonts.log.get();

    controls.productList = child(L"COMBOBOX", nullptr, CBS_DROPDOWNLIST, scale_.box(Layout96::kProductList),
                                 IDC_PRODUCT_LIST, logFont);
    for (int r = 0; r < kChannelCount; ++r) {
        const size_t i = static_cast<size_t>(r);
        controls.modeButtons[i] = child(L"BUTTON", L"push/pull Output", BS_PUSHBUTTON | WS_TABSTOP,
                                        scale_.box(Layout96::kModeButton, r), IDC_MODE_FIRST + r, panelFont);
        controls.highBoxes[i] = child(L"BUTTON", L"High", BS_AUTOCHECKBOX | WS_TABSTOP,
                                      scale_.box(Layout96::kHighBox, r), IDC_HIGH_FIRST + r, panelFont);
        controls.testButtons[i] = child(L"BUTTON", L"Test", BS_PUSHBUTTON | WS_TABSTOP,
                                        scale_.box(Layout96::kTestButton, r), IDC_TEST_FIRST + r, panelFont);
    }
    const std::wstring logText = win32::widen(log.str());
    log.attach(child(L"EDIT", logText.c_str(), ES_MULTILINE | ES_READONLY, scale_.box(Layout96::kMessageLog), 0,
                     logFont));

    const uint16_t attached = commands.attach();
    if (attached != 0) {
        setAttachedMenus(true);
        status.set(formatText(kConnectedStatus, static_cast<unsigned>(attached)));
        attachedFlag = 1;
        log.set(formatText(kConnectedAtStart, static_cast<unsigned>(attached)));
    }

    panel.fillList();

    if (!file.path.empty()) panel.apply(loadConfigFileW(file.path));
}

void MainWindow::layoutControls() const {
    HFONT panelFont = fonts.panel.get();
    place(controls.productList, scale_.box(Layout96::kProductList), fonts.log.get());
    for (int r = 0; r < kChannelCount; ++r) {
        const size_t i = static_cast<size_t>(r);
        place(controls.modeButtons[i], scale_.box(Layout96::kModeButton, r), panelFont);
        place(controls.highBoxes[i], scale_.box(Layout96::kHighBox, r), panelFont);
        place(controls.testButtons[i], scale_.box(Layout96::kTestButton, r), panelFont);
    }
    place(log.control(), scale_.box(Layout96::kMessageLog), fonts.log.get());
}

void MainWindow::onDpiChanged(int dpi, const RECT& suggested) {
    scale_ = Scale(dpi);
    // The controls take the new fonts before the old ones go.
    Fonts old = std::move(fonts);
    createFonts();
    layoutControls();
    ::SendMessageW(status.control(), WM_SETFONT, 0, TRUE);
    ::SetWindowPos(window_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                   suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    ::InvalidateRect(window_, nullptr, TRUE);
}

void MainWindow::onCommand(WPARAM wParam, LPARAM lParam) {
    // The panel's controls are known by their IDs alone, whoever sends the
    // command.
    const int id = LOWORD(wParam);
    const int code = HIWORD(wParam);
    if (id == IDC_PRODUCT_LIST) {
        if (code != CBN_SELCHANGE) return;
        const uint32_t selected = panel.listSelectionChanged();
        if (const auto table = tableForFamily(selected)) labels().drawConnectorLabels(*table);
        // The stored status text stays; the next resize shows it again.
        status.showSelection(deviceSelectedText(selected));
        return;
    }
    if (id >= IDC_MODE_FIRST && id < IDC_MODE_FIRST + kChannelCount) {
        if (code == BN_CLICKED && panel.clickMode(id - IDC_MODE_FIRST)) labels().refreshModeLabels(panel.rows());
        return;
    }
    if (id >= IDC_TEST_FIRST && id < IDC_TEST_FIRST + kChannelCount) {
        if (code == BN_CLICKED) openOutputTest(*this, id - IDC_TEST_FIRST);
        return;
    }
    if (id >= IDC_HIGH_FIRST && id < IDC_HIGH_FIRST + kChannelCount) {
        if (code == BN_CLICKED) panel.highClicked(id - IDC_HIGH_FIRST);
        return;
    }
    // The MessageLog's own notifications are of no interest.
    if (lParam != 0) return;

    switch (id) {
        case IDM_FILE_NEW:
        case IDM_FILE_OPEN:
        case IDM_FILE_SAVE:
        case IDM_FILE_SAVEAS:
            onFileCommand(*this, id);
            break;
        default:
            onDeviceCommand(*this, id);
            break;
    }
}

std::vector<HWND> MainWindow::tabOrder() const {
    std::vector<HWND> order{controls.productList};
    for (size_t r = 0; r < kChannelCount; ++r)
        order.insert(order.end(), {controls.modeButtons[r], controls.highBoxes[r], controls.testButtons[r]});
    std::erase_if(order, [](HWND c) { return !c || !::IsWindowEnabled(c) || !::IsWindowVisible(c); });
    return order;
}

bool MainWindow::navigate(const MSG& msg) {
    if (msg.message != WM_KEYDOWN || !window_ || (msg.hwnd != window_ && !::IsChild(window_, msg.hwnd))) return false;
    if (msg.wParam == VK_RETURN && msg.hwnd != window_ && isPanelButton(msg.hwnd)) {
        ::SendMessageW(msg.hwnd, BM_CLICK, 0, 0);
        return true;
    }
    if (msg.wParam != VK_TAB) return false;
    const std::vector<HWND> order = tabOrder();
    if (order.empty()) return true;
    const bool back = ::GetKeyState(VK_SHIFT) < 0;
    const auto at = std::find(order.begin(), order.end(), ::GetFocus());
    size_t next = back ? order.size() - 1 : 0;
    if (at != order.end()) {
        const size_t i = static_cast<size_t>(at - order.begin());
        next = (back ? i + order.size() - 1 : i + 1) % order.size();
    }
    // Keyboard use: focus rectangles show from now on.
    ::SendMessageW(window_, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
    ::SetFocus(order[next]);
    return true;
}

bool registerMainClass(HINSTANCE instance) {
    WNDCLASSW wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = windowProc<MainWindow>;
    wc.hInstance = instance;
    wc.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(IDI_APPICON));
    wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
    wc.lpszMenuName = MAKEINTRESOURCEW(IDR_MAINMENU);
    wc.lpszClassName = kMainClassName;
    return ::RegisterClassW(&wc) != 0;
}

void unregisterMainClass(HINSTANCE instance) { ::UnregisterClassW(kMainClassName, instance); }

HWND createMainWindow(MainWindow& main, int showCmd) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_BAR_CLASSES};
    ::InitCommonControlsEx(&icc);
    // Sized for the system's DPI here; creation fits it to the window's own.
    const SIZE size = Scale(windowDpi(nullptr)).windowSize(kMainStyle, true);
    HWND window = ::CreateWindowExW(0, kMainClassName, kMainTitle, kMainStyle, CW_USEDEFAULT, CW_USEDEFAULT, size.cx,
                                    size.cy, nullptr, nullptr, main.instance, &main);
    if (!window) return nullptr;
    ::ShowWindow(window, showCmd);
    ::UpdateWindow(window);
    return window;
}

LRESULT MainWindow::handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_NCCREATE:
            window_ = window;
            prompts.owner = window;
            return ::DefWindowProcW(window, message, wParam, lParam);
        case WM_CREATE:
            onCreate();
            return 0;
        case WM_PAINT:
            paint();
            return 0;
        case WM_SIZE:
            status.follow(wParam, lParam, scale_.px(Layout96::kSelectionPaneWidth));
            return 0;
        case WM_DPICHANGED:
            onDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
            return 0;
        case WM_COMMAND:
            onCommand(wParam, lParam);
            return 0;
        case WM_DEVICECHANGE:
            onDeviceChange(*this, wParam);
            return 0;
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        case WM_NCDESTROY:
            window_ = prompts.owner = nullptr;
            status.attach(nullptr);
            log.attach(nullptr);
            controls = PanelControls{};
            return ::DefWindowProcW(window, message, wParam, lParam);
        default:
            return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

void MainWindow::setAttachedMenus(bool attached) const {
    HMENU menu = ::GetMenu(window_);
    if (!menu) return;
    const UINT dataState = MF_BYCOMMAND | (attached ? MF_ENABLED : MF_GRAYED);
    const UINT idState = MF_BYCOMMAND | (attached ? MF_GRAYED : MF_ENABLED);
    for (UINT id : {IDM_DATA_WRITE, IDM_DATA_READ, IDM_USB_RESET}) ::EnableMenuItem(menu, id, dataState);
    for (UINT id = IDM_USB_IDCHANGE_FIRST; id <= IDM_USB_IDCHANGE_LAST; ++id) ::EnableMenuItem(menu, id, idState);
}

}  // namespace zelio::ui
