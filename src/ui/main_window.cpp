#include "ui/main_window.h"

#include <commctrl.h>

#include <cstdio>

#include "resource.h"
#include "ui/channel_panel.h"
#include "ui/win32_config_file.h"

namespace zelio::ui {
namespace {

// The MessageLog's first text: how to put either module into SettingMode.
constexpr char kSettingGuide[] =
    "                    <USB 입출력 모듈의 설정 방법>\r\n\r\n"
    " 1. ZEL280은 본체에 있는 버턴을 1초이상 길게 눌러서 적색\r\n     LED가 점등되면 세팅모드로 동작합니다.\r\n"
    "\r\n 2. ZEL260은 프로그램 메뉴 'USB'에서 장치 ID를 260으로\r\n     바꾸면 세팅모드로 동작합니다. \r\n";

constexpr int kOuterWidth = 400;
constexpr int kOuterHeight = 540;
// Width of the status bar's second pane ("Device Selected ZEL2x0").
constexpr int kSelectionPaneWidth = 150;

constexpr COLORREF kRuleColour = RGB(225, 225, 225);
constexpr COLORREF kFrameColour = RGB(128, 128, 128);

// Font parameters shared by both fonts: Hangul character set, fixed pitch,
// modern family, face 굴림.
UniqueFont makeFont(int height) {
    return UniqueFont(::CreateFontW(height, 0, 0, 0, 0, FALSE, FALSE, FALSE, HANGUL_CHARSET, 0, 0, 0,
                                    FIXED_PITCH | FF_MODERN, L"굴림"));
}

App* appOf(HWND window) {
    return reinterpret_cast<App*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
}

HWND makeChild(App& app, const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w, int h, int id,
               HFONT font) {
    HWND child = ::CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, app.mainWindow,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), app.instance, nullptr);
    if (child) ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return child;
}

void textOut(HDC dc, int x, int y, std::string_view text) {
    const std::wstring wide = widen(text);
    ::TextOutW(dc, x, y, wide.c_str(), static_cast<int>(wide.size()));
}

// The ten rows of a label table at (20, 100 + 25k).
void drawLabelRows(HDC dc, LabelTable table) {
    const auto& rows = labelRows(table);
    for (int k = 0; k < 10; ++k) textOut(dc, 20, 100 + 25 * k, rows[static_cast<size_t>(k)]);
}

// The eight mode labels at (83, 125 + 25r), by each mode button's first
// caption character.
void drawModeLabels(App& app, HDC dc) {
    for (int r = 0; r < kChannelCount; ++r) {
        const wchar_t first = firstCharOf(app.modeButtons[static_cast<size_t>(r)]);
        const std::string caption = first ? narrow(std::wstring_view(&first, 1)) : std::string();
        textOut(dc, 83, 125 + 25 * r, modeLabel(r, caption));
    }
}

void drawLine(HDC dc, COLORREF colour, const POINT* points, int count) {
    UniquePen pen(::CreatePen(PS_SOLID, 1, colour));
    SelectScope selected(dc, pen.get());
    ::MoveToEx(dc, points[0].x, points[0].y, nullptr);
    for (int i = 1; i < count; ++i) ::LineTo(dc, points[i].x, points[i].y);
}

void paint(App& app) {
    PaintScope paintScope(app.mainWindow);
    HDC dc = paintScope.get();
    if (!dc) return;
    UniqueMemoryDc memory(::CreateCompatibleDC(dc));
    if (!memory) return;

    // Banner, loaded and released at every paint.
    {
        UniqueBitmap banner(::LoadBitmapW(app.instance, MAKEINTRESOURCEW(IDB_BANNER)));
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
        drawModeLabels(app, dc);

        const POINT frame[] = {{18, 356}, {372, 356}, {372, 452}, {18, 452}, {18, 356}};
        drawLine(dc, kFrameColour, frame, 5);
    }
}

void onCreate(App& app) {
    app.log.set(kSettingGuide);

    app.panelFont = makeFont(12);
    app.logFont = makeFont(13);

    app.statusBar = ::CreateStatusWindowW(WS_CHILD | WS_VISIBLE, L"", app.mainWindow, 0);

    app.productList = makeChild(app, L"COMBOBOX", nullptr, CBS_DROPDOWNLIST, 125, 56, 80, 270, IDC_PRODUCT_LIST,
                                app.logFont.get());
    for (int r = 0; r < kChannelCount; ++r) {
        const size_t i = static_cast<size_t>(r);
        const int y = 120 + 25 * r;
        app.modeButtons[i] = makeChild(app, L"BUTTON", L"push/pull Output", BS_PUSHBUTTON | WS_TABSTOP, 144, y, 120,
                                       23, IDC_MODE_FIRST + r, app.panelFont.get());
        app.highBoxes[i] = makeChild(app, L"BUTTON", L"High", BS_AUTOCHECKBOX | WS_TABSTOP, 270, y, 52, 22,
                                     IDC_HIGH_FIRST + r, app.panelFont.get());
        app.testButtons[i] = makeChild(app, L"BUTTON", L"Test", BS_PUSHBUTTON | WS_TABSTOP, 327, y, 45, 23,
                                       IDC_TEST_FIRST + r, app.panelFont.get());
    }
    app.messageLog = makeChild(app, L"EDIT", widen(app.log.str()).c_str(), ES_MULTILINE | ES_READONLY, 20, 358, 351,
                               93, 0, app.logFont.get());

    const uint16_t attached = app.commands.attach();
    if (attached != 0) {
        setAttachedMenus(app, true);
        app.status.set(formatText(kConnectedStatus, static_cast<unsigned>(attached)));
        app.attachedFlag = 1;
        setLog(app, formatText("\r\n > USB I/O 모듈(ZEL%x)이 변경모드로 연결되어 있습니다.\r\n",
                               static_cast<unsigned>(attached)));
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
        if (code == BN_CLICKED) {
            app.testChannel = id - (IDC_TEST_FIRST - 1);
            openOutputTest(app, id - IDC_TEST_FIRST);
        }
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
    wc.lpfnWndProc = mainWindowProc;
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

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        auto* app = static_cast<App*>(create->lpCreateParams);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(app));
        if (app) app->mainWindow = window;
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    App* app = appOf(window);
    if (!app) return ::DefWindowProcW(window, message, wParam, lParam);

    switch (message) {
        case WM_CREATE:
            onCreate(*app);
            return 0;
        case WM_PAINT:
            paint(*app);
            return 0;
        case WM_SIZE:
            onSize(*app, wParam, lParam);
            return 0;
        case WM_COMMAND:
            onCommand(*app, wParam, lParam);
            return 0;
        case WM_DEVICECHANGE:
            onDeviceChange(*app, wParam);
            return 0;
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        case WM_NCDESTROY:
            ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            app->mainWindow = nullptr;
            app->statusBar = app->productList = app->messageLog = nullptr;
            app->modeButtons.fill(nullptr);
            app->highBoxes.fill(nullptr);
            app->testButtons.fill(nullptr);
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
    const std::wstring text = widen(app.status.str());
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
    return ::MessageBoxW(app.mainWindow, widen(text).c_str(), widen(kMessageBoxTitle).c_str(), type);
}

void refreshModeLabels(App& app) {
    WindowDc dc(app.mainWindow);
    if (!dc) return;
    SelectScope font(dc.get(), app.panelFont.get());
    const RECT area{80, 120, 140, 315};
    ::FillRect(dc.get(), &area, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    ::SetBkMode(dc.get(), OPAQUE);
    drawModeLabels(app, dc.get());
}

void drawConnectorLabels(App& app, LabelTable table) {
    WindowDc dc(app.mainWindow);
    if (!dc) return;
    SelectScope font(dc.get(), app.panelFont.get());
    ::SetBkMode(dc.get(), OPAQUE);
    drawLabelRows(dc.get(), table);
}

}  // namespace zelio::ui
