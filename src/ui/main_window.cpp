#include "ui/main_window.h"

#include <commctrl.h>

#include <cstdio>

#include "resource.h"
#include "ui/channel_panel.h"
#include "ui/win32_config_file.h"
#include "ui/window_dispatch.h"

namespace zelio::ui {
namespace {

constexpr int kOuterWidth = 400;
constexpr int kOuterHeight = 540;
// Width of the status bar's second pane ("Device Selected ZEL2x0").
constexpr int kSelectionPaneWidth = 150;

constexpr COLORREF kRuleColour = RGB(225, 225, 225);
constexpr COLORREF kFrameColour = RGB(128, 128, 128);

// Font parameters shared by both fonts: Hangul character set, fixed pitch,
// modern family, face 굴림.
win32::unique_hfont makeFont(int height) {
    return win32::unique_hfont(::CreateFontW(height, 0, 0, 0, 0, FALSE, FALSE, FALSE, HANGUL_CHARSET, 0, 0, 0,
                                             FIXED_PITCH | FF_MODERN, L"굴림"));
}

void textOut(HDC dc, int x, int y, std::string_view text) {
    const std::wstring wide = win32::widen(text);
    ::TextOutW(dc, x, y, wide.c_str(), static_cast<int>(wide.size()));
}

// The ten rows of a label table at (20, 100 + 25k).
void drawLabelRows(HDC dc, LabelTable table) {
    const auto& rows = labelRows(table);
    for (int k = 0; k < 10; ++k) textOut(dc, 20, 100 + 25 * k, rows[static_cast<size_t>(k)]);
}

// The eight mode labels at (83, 125 + 25r), by each mode button's first
// caption character.
void drawModeLabels(const std::array<HWND, kChannelCount>& modeButtons, HDC dc) {
    for (int r = 0; r < kChannelCount; ++r) {
        const wchar_t first = firstCharOf(modeButtons[static_cast<size_t>(r)]);
        const std::string caption = first ? win32::narrow(std::wstring_view(&first, 1)) : std::string();
        textOut(dc, 83, 125 + 25 * r, modeLabel(r, caption));
    }
}

void drawLine(HDC dc, COLORREF colour, const POINT* points, int count) {
    win32::unique_hpen pen(::CreatePen(PS_SOLID, 1, colour));
    SelectScope selected(dc, pen.get());
    ::MoveToEx(dc, points[0].x, points[0].y, nullptr);
    for (int i = 1; i < count; ++i) ::LineTo(dc, points[i].x, points[i].y);
}

void paint(App& app) {
    PaintScope paintScope(app.mainWindow);
    HDC dc = paintScope.get();
    if (!dc) return;
    win32::unique_hdc memory(::CreateCompatibleDC(dc));
    if (!memory) return;

    // Banner, loaded and released at every paint.
    {
        win32::unique_hbitmap banner(::LoadBitmapW(app.instance, MAKEINTRESOURCEW(IDB_BANNER)));
        if (banner) {
            SelectScope selected(memory.get(), banner.get());
            ::BitBlt(dc, 15, 5, 400, 40, memory.get(), 0, 0, SRCCOPY);
        }
    }

    const POINT rule[] = {{20, 89}, {372, 89}};
    drawLine(dc, kRuleColour, rule, 2);

    ::SetBkMode(dc, OPAQUE);
    {
        SelectScope font(dc, app.panelFont.get());
        textOut(dc, 20, 60, "USB Product ID :");
        textOut(dc, 170, 85, "  I/O Mode  ");
        textOut(dc, 250, 85, "  Default Output  ");
        drawLabelRows(dc, tableForPaint(app.selectedProductId));
        drawModeLabels(app.modeButtons, dc);

        const POINT frame[] = {{18, 356}, {372, 356}, {372, 452}, {18, 452}, {18, 356}};
        drawLine(dc, kFrameColour, frame, 5);
    }
}

void onCreate(App& app) {
    app.log.set(kSettingGuide);

    app.panelFont = makeFont(12);
    app.logFont = makeFont(13);

    app.statusBar = ::CreateStatusWindowW(WS_CHILD | WS_VISIBLE, L"", app.mainWindow, 0);

    auto child = [&app](const ControlParams& params) { return createControl(app.mainWindow, app.instance, params); };
    HFONT panelFont = app.panelFont.get();
    HFONT logFont = app.logFont.get();

    app.productList = child({.className = L"COMBOBOX", .text = nullptr, .style = CBS_DROPDOWNLIST,
                             .x = 125, .y = 56, .w = 80, .h = 270, .id = IDC_PRODUCT_LIST, .font = logFont});
    for (int r = 0; r < kChannelCount; ++r) {
        const size_t i = static_cast<size_t>(r);
        const int y = 120 + 25 * r;
        app.modeButtons[i] = child({.className = L"BUTTON", .text = L"push/pull Output",
                                    .style = BS_PUSHBUTTON | WS_TABSTOP, .x = 144, .y = y, .w = 120, .h = 23,
                                    .id = IDC_MODE_FIRST + r, .font = panelFont});
        app.highBoxes[i] = child({.className = L"BUTTON", .text = L"High", .style = BS_AUTOCHECKBOX | WS_TABSTOP,
                                  .x = 270, .y = y, .w = 52, .h = 22, .id = IDC_HIGH_FIRST + r, .font = panelFont});
        app.testButtons[i] = child({.className = L"BUTTON", .text = L"Test", .style = BS_PUSHBUTTON | WS_TABSTOP,
                                    .x = 327, .y = y, .w = 45, .h = 23, .id = IDC_TEST_FIRST + r, .font = panelFont});
    }
    const std::wstring logText = win32::widen(app.log.str());
    app.messageLog = child({.className = L"EDIT", .text = logText.c_str(), .style = ES_MULTILINE | ES_READONLY,
                            .x = 20, .y = 358, .w = 351, .h = 93, .id = 0, .font = logFont});

    const uint16_t attached = app.commands.attach();
    if (attached != 0) {
        setAttachedMenus(app, true);
        app.status.set(formatText(kConnectedStatus, static_cast<unsigned>(attached)));
        app.attachedFlag = 1;
        setLog(app, formatText(kConnectedAtStart, static_cast<unsigned>(attached)));
    }

    fillProductList(app);

    if (!app.currentFilePath.empty()) applyPanel(app, loadConfigFileW(app.currentFilePath));
}

void onSize(App& app, WPARAM wParam, LPARAM lParam) {
    if (!app.statusBar) return;
    ::SendMessageW(app.statusBar, WM_SIZE, wParam, lParam);
    const int width = LOWORD(lParam);
    int parts[2] = {width > kSelectionPaneWidth ? width - kSelectionPaneWidth : 0, -1};
    ::SendMessageW(app.statusBar, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
    showStatus(app);
}

void onCommand(App& app, WPARAM wParam, LPARAM lParam) {
    // The panel's controls are known by their IDs alone, whoever sends the
    // command.
    const int id = LOWORD(wParam);
    const int code = HIWORD(wParam);
    if (id == IDC_PRODUCT_LIST) {
        if (code == CBN_SELCHANGE) onProductIdSelected(app);
        return;
    }
    if (id >= IDC_MODE_FIRST && id < IDC_MODE_FIRST + kChannelCount) {
        if (code == BN_CLICKED) onModeButton(app, id - IDC_MODE_FIRST);
        return;
    }
    if (id >= IDC_TEST_FIRST && id < IDC_TEST_FIRST + kChannelCount) {
        if (code == BN_CLICKED) openOutputTest(app, id - IDC_TEST_FIRST);
        return;
    }
    // High check boxes check themselves; the MessageLog's own notifications
    // are of no interest either.
    if (lParam != 0) return;

    switch (id) {
        case IDM_FILE_NEW:
        case IDM_FILE_OPEN:
        case IDM_FILE_SAVE:
        case IDM_FILE_SAVEAS:
            onFileCommand(app, id);
            break;
        default:
            onDeviceCommand(app, id);
            break;
    }
}

}  // namespace

bool registerMainClass(HINSTANCE instance) {
    WNDCLASSW wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = windowProc<App>;
    wc.hInstance = instance;
    wc.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(IDI_APPICON));
    wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
    wc.lpszMenuName = MAKEINTRESOURCEW(IDR_MAINMENU);
    wc.lpszClassName = kMainClassName;
    return ::RegisterClassW(&wc) != 0;
}

void unregisterMainClass(HINSTANCE instance) { ::UnregisterClassW(kMainClassName, instance); }

HWND createMainWindow(App& app, int showCmd) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_BAR_CLASSES};
    ::InitCommonControlsEx(&icc);
    HWND window = ::CreateWindowExW(0, kMainClassName, kMainTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                    kOuterWidth, kOuterHeight, nullptr, nullptr, app.instance, &app);
    if (!window) return nullptr;
    ::ShowWindow(window, showCmd);
    ::UpdateWindow(window);
    return window;
}

LRESULT App::handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_NCCREATE:
            mainWindow = window;
            return ::DefWindowProcW(window, message, wParam, lParam);
        case WM_CREATE:
            onCreate(*this);
            return 0;
        case WM_PAINT:
            paint(*this);
            return 0;
        case WM_SIZE:
            onSize(*this, wParam, lParam);
            return 0;
        case WM_COMMAND:
            onCommand(*this, wParam, lParam);
            return 0;
        case WM_DEVICECHANGE:
            onDeviceChange(*this, wParam);
            return 0;
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        case WM_NCDESTROY:
            mainWindow = nullptr;
            statusBar = productList = messageLog = nullptr;
            modeButtons.fill(nullptr);
            highBoxes.fill(nullptr);
            testButtons.fill(nullptr);
            return ::DefWindowProcW(window, message, wParam, lParam);
        default:
            return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

void showLog(App& app) {
    if (app.messageLog) setWindowTextUtf8(app.messageLog, app.log.str());
}

void setLog(App& app, std::string_view text) {
    app.log.set(text);
    showLog(app);
}

void appendLog(App& app, std::string_view text) {
    app.log.append(text);
    showLog(app);
}

void showStatus(App& app) {
    if (!app.statusBar) return;
    const std::wstring text = win32::widen(app.status.str());
    ::SendMessageW(app.statusBar, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void setAttachedMenus(App& app, bool attached) {
    HMENU menu = ::GetMenu(app.mainWindow);
    if (!menu) return;
    const UINT dataState = MF_BYCOMMAND | (attached ? MF_ENABLED : MF_GRAYED);
    const UINT idState = MF_BYCOMMAND | (attached ? MF_GRAYED : MF_ENABLED);
    for (UINT id : {IDM_DATA_WRITE, IDM_DATA_READ, IDM_USB_RESET}) ::EnableMenuItem(menu, id, dataState);
    for (UINT id = IDM_USB_IDCHANGE_FIRST; id <= IDM_USB_IDCHANGE_LAST; ++id) ::EnableMenuItem(menu, id, idState);
}

int showMessageBox(App& app, const std::string& text, UINT type) {
    if (app.messageBox && *app.messageBox) return (*app.messageBox)(app.mainWindow, text, kMessageBoxTitle, type);
    return ::MessageBoxW(app.mainWindow, win32::widen(text).c_str(), win32::widen(kMessageBoxTitle).c_str(), type);
}

void refreshModeLabels(App& app) {
    WindowDc dc(app.mainWindow);
    if (!dc) return;
    SelectScope font(dc.get(), app.panelFont.get());
    const RECT area{80, 120, 140, 315};
    ::FillRect(dc.get(), &area, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    ::SetBkMode(dc.get(), OPAQUE);
    drawModeLabels(app.modeButtons, dc.get());
}

void drawConnectorLabels(App& app, LabelTable table) {
    WindowDc dc(app.mainWindow);
    if (!dc) return;
    SelectScope font(dc.get(), app.panelFont.get());
    ::SetBkMode(dc.get(), OPAQUE);
    drawLabelRows(dc.get(), table);
}

}  // namespace zelio::ui
