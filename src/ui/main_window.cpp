#include "ui/main_window.h"

#include <commctrl.h>
#include <dbt.h>

#include <algorithm>

#include "resource.h"
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
void drawModeLabels(HDC dc, const app::Configurator& core, const Scale& scale) {
    for (int r = 0; r < kChannelCount; ++r) textOut(dc, scale.row(Layout96::kModeLabels, r), core.modeLabel(r));
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

void setPane(HWND bar, int pane, std::string_view text) {
    const std::wstring wide = win32::widen(text);
    ::SendMessageW(bar, SB_SETTEXTW, static_cast<WPARAM>(pane), reinterpret_cast<LPARAM>(wide.c_str()));
}

HCURSOR standardCursor(LPCWSTR id) { return ::LoadCursorW(nullptr, id); }

}  // namespace

MainWindow::MainWindow(CommandSet& commands, HINSTANCE instance)
    : commands_(commands), instance_(instance), core_(commands) {
    // The hourglass while a command talks to the module.
    core_.onBusy([](bool busy) { ::SetCursor(standardCursor(busy ? IDC_WAIT : IDC_ARROW)); });
}

void MainWindow::setSeams(const FileDialogSeam* fileDialog, const MessageBoxSeam* messageBox) {
    prompts_.fileDialog = fileDialog;
    prompts_.messageBox = messageBox;
}

void MainWindow::refreshModeLabels() const {
    WindowDc dc(window_);
    if (!dc) return;
    SelectScope font(dc.get(), fonts_.panel.get());
    const RECT area = scale_.rect(Layout96::kModeLabelArea);
    ::FillRect(dc.get(), &area, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    ::SetBkMode(dc.get(), OPAQUE);
    drawModeLabels(dc.get(), core_, scale_);
}

void MainWindow::drawConnectorLabels(LabelTable table) const {
    WindowDc dc(window_);
    if (!dc) return;
    SelectScope font(dc.get(), fonts_.panel.get());
    ::SetBkMode(dc.get(), OPAQUE);
    drawLabelRows(dc.get(), table, scale_);
}

void MainWindow::paint() {
    // Painting reads the mode buttons' captions.
    readControls();
    PaintScope paintScope(window_);
    HDC dc = paintScope.get();
    if (!dc) return;
    win32::unique_hdc memory(::CreateCompatibleDC(dc));
    if (!memory) return;

    drawBanner(dc, memory.get(), instance_, scale_);

    const int pen = scale_.px(Layout96::kPenWidth);
    const POINT rule[] = {scale_.point(Layout96::kRuleFrom), scale_.point(Layout96::kRuleTo)};
    drawLine(dc, kRuleColour, pen, rule, 2);

    ::SetBkMode(dc, OPAQUE);
    SelectScope font(dc, fonts_.panel.get());
    textOut(dc, scale_.point(Layout96::kProductHeading), "USB Product ID :");
    textOut(dc, scale_.point(Layout96::kModeHeading), "  I/O Mode  ");
    textOut(dc, scale_.point(Layout96::kLevelHeading), "  Default Output  ");
    drawLabelRows(dc, core_.paintTable(), scale_);
    drawModeLabels(dc, core_, scale_);

    const RECT f = scale_.rect(Layout96::kLogFrame);
    const POINT frame[] = {{f.left, f.top}, {f.right, f.top}, {f.right, f.bottom}, {f.left, f.bottom}, {f.left, f.top}};
    drawLine(dc, kFrameColour, pen, frame, 5);
}

void MainWindow::createFonts() {
    fonts_.panel = makeFont(scale_.fontHeight(Layout96::kPanelFontHeight));
    fonts_.log = makeFont(scale_.fontHeight(Layout96::kLogFontHeight));
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

    createFonts();
    statusBar_ = ::CreateStatusWindowW(WS_CHILD | WS_VISIBLE, L"", window_, 0);

    auto child = [this](const wchar_t* className, const wchar_t* text, DWORD style, const Box& box, int id, HFONT font) {
        return createControl(window_, instance_,
                             {.className = className, .text = text, .style = style, .x = box.x, .y = box.y,
                              .w = box.w, .h = box.h, .id = id, .font = font});
    };
    HFONT panelFont = fonts_.panel.get();
    HFONT logFont = fonts_.log.get();

    controls_.productList = child(L"COMBOBOX", nullptr, CBS_DROPDOWNLIST, scale_.box(Layout96::kProductList),
                                  IDC_PRODUCT_LIST, logFont);
    for (int r = 0; r < kChannelCount; ++r) {
        const size_t i = static_cast<size_t>(r);
        controls_.modeButtons[i] = child(L"BUTTON", L"push/pull Output", BS_PUSHBUTTON | WS_TABSTOP,
                                         scale_.box(Layout96::kModeButton, r), IDC_MODE_FIRST + r, panelFont);
        controls_.highBoxes[i] = child(L"BUTTON", L"High", BS_AUTOCHECKBOX | WS_TABSTOP,
                                       scale_.box(Layout96::kHighBox, r), IDC_HIGH_FIRST + r, panelFont);
        controls_.testButtons[i] = child(L"BUTTON", L"Test", BS_PUSHBUTTON | WS_TABSTOP,
                                         scale_.box(Layout96::kTestButton, r), IDC_TEST_FIRST + r, panelFont);
    }
    const std::wstring guide = win32::widen(core_.state().log.str());
    logControl_ = child(L"EDIT", guide.c_str(), ES_MULTILINE | ES_READONLY, scale_.box(Layout96::kMessageLog), 0, logFont);
    shownLog_ = core_.state().logVersion;

    for (const std::string& entry : productIdEntries())
        ::SendMessageW(controls_.productList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(win32::widen(entry).c_str()));

    created_ = true;
    const std::string& path = core_.state().filePath;
    std::optional<std::string> bytes;
    if (!path.empty()) bytes = readConfigBytes(win32::widen(path));
    carry(core_.start(bytes ? std::optional<std::string_view>(*bytes) : std::nullopt));
}

void MainWindow::readControls() {
    if (!created_) return;
    for (int r = 0; r < kChannelCount; ++r) {
        const size_t i = static_cast<size_t>(r);
        PanelRow& shown = shownRows_[i];
        shown.caption = windowTextUtf8(controls_.modeButtons[i]);
        shown.highCheck = static_cast<int>(::SendMessageW(controls_.highBoxes[i], BM_GETCHECK, 0, 0));
        core_.panelShows(r, shown.caption, shown.highCheck);
    }
    shownEntry_ = static_cast<int>(::SendMessageW(controls_.productList, CB_GETCURSEL, 0, 0));
    core_.listShows(shownEntry_);
}

void MainWindow::show() {
    if (!created_) return;
    const app::State& s = core_.state();
    for (size_t r = 0; r < s.rows.size(); ++r) {
        const PanelRow& row = s.rows[r];
        PanelRow& shown = shownRows_[r];
        if (shown.caption != row.caption) setWindowTextUtf8(controls_.modeButtons[r], row.caption);
        if (shown.highCheck != row.highCheck)
            ::SendMessageW(controls_.highBoxes[r], BM_SETCHECK, static_cast<WPARAM>(row.highCheck), 0);
        if (shown.highEnabled != row.highEnabled) ::EnableWindow(controls_.highBoxes[r], row.highEnabled);
        if (shown.testEnabled != row.testEnabled) ::EnableWindow(controls_.testButtons[r], row.testEnabled);
        shown = row;
    }
    if (shownEntry_ != s.listEntry) {
        ::SendMessageW(controls_.productList, CB_SETCURSEL, static_cast<WPARAM>(s.listEntry), 0);
        shownEntry_ = s.listEntry;
    }
    if (shownLog_ != s.logVersion) {
        setWindowTextUtf8(logControl_, s.log.str());
        shownLog_ = s.logVersion;
    }
    if (shownStatus_ != s.statusShown) {
        setPane(statusBar_, 0, s.statusShown);
        shownStatus_ = s.statusShown;
    }
    if (shownSelection_ != s.selectionShown) {
        setPane(statusBar_, 1, s.selectionShown);
        shownSelection_ = s.selectionShown;
    }
    if (shownMenus_ != s.moduleMenus) {
        shownMenus_ = s.moduleMenus;
        if (HMENU menu = ::GetMenu(window_)) {
            const UINT dataState = MF_BYCOMMAND | (shownMenus_ ? MF_ENABLED : MF_GRAYED);
            const UINT idState = MF_BYCOMMAND | (shownMenus_ ? MF_GRAYED : MF_ENABLED);
            for (UINT id : {IDM_DATA_WRITE, IDM_DATA_READ, IDM_USB_RESET}) ::EnableMenuItem(menu, id, dataState);
            for (UINT id = IDM_USB_IDCHANGE_FIRST; id <= IDM_USB_IDCHANGE_LAST; ++id) ::EnableMenuItem(menu, id, idState);
        }
    }
}

void MainWindow::carry(const app::Effects& effects) {
    show();
    if (effects.drawLabels) drawConnectorLabels(*effects.drawLabels);
    if (effects.refreshModeLabels) refreshModeLabels();
    if (effects.repaint && window_) ::InvalidateRect(window_, nullptr, TRUE);
    if (!effects.warning.empty())
        prompts_.show(effects.warning, std::string(core_.text(app::Text::MessageBoxTitle)), MB_OK | MB_ICONWARNING);
    const std::wstring path = win32::widen(core_.state().filePath);
    if (effects.askFile) {
        const auto chosen = prompts_.chooseFile(*effects.askFile, path, win32::widen(core_.state().fileTitle));
        if (!chosen) return;
        // The panel may have changed during the modal dialog.
        readControls();
        if (*effects.askFile == FileDialogKind::Open)
            carry(core_.opened(win32::narrow(chosen->path), win32::narrow(chosen->title), readConfigBytes(chosen->path)));
        else
            carry(core_.saveChosen(win32::narrow(chosen->path), win32::narrow(chosen->title)));
        return;
    }
    if (effects.saveBytes && !writeConfigBytes(path, *effects.saveBytes)) carry(core_.saveFailed());
    if (effects.quit) ::PostQuitMessage(0);
}

void MainWindow::layoutControls() const {
    HFONT panelFont = fonts_.panel.get();
    place(controls_.productList, scale_.box(Layout96::kProductList), fonts_.log.get());
    for (int r = 0; r < kChannelCount; ++r) {
        const size_t i = static_cast<size_t>(r);
        place(controls_.modeButtons[i], scale_.box(Layout96::kModeButton, r), panelFont);
        place(controls_.highBoxes[i], scale_.box(Layout96::kHighBox, r), panelFont);
        place(controls_.testButtons[i], scale_.box(Layout96::kTestButton, r), panelFont);
    }
    place(logControl_, scale_.box(Layout96::kMessageLog), fonts_.log.get());
}

void MainWindow::onDpiChanged(int dpi, const RECT& suggested) {
    scale_ = Scale(dpi);
    // The controls take the new fonts before the old ones go.
    Fonts old = std::move(fonts_);
    createFonts();
    layoutControls();
    ::SendMessageW(statusBar_, WM_SETFONT, 0, TRUE);
    ::SetWindowPos(window_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                   suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    ::InvalidateRect(window_, nullptr, TRUE);
}

void MainWindow::onCommand(WPARAM wParam, LPARAM lParam) {
    // The panel's controls are known by their IDs alone, whoever sends the
    // command. What they show counts, however it came there.
    const int id = LOWORD(wParam);
    const int code = HIWORD(wParam);
    if (id == IDC_PRODUCT_LIST) {
        if (code != CBN_SELCHANGE) return;
        readControls();
        carry(core_.selectEntry(shownEntry_));
        return;
    }
    if (id >= IDC_MODE_FIRST && id < IDC_MODE_FIRST + kChannelCount) {
        if (code != BN_CLICKED) return;
        readControls();
        carry(core_.clickMode(id - IDC_MODE_FIRST));
        return;
    }
    if (id >= IDC_TEST_FIRST && id < IDC_TEST_FIRST + kChannelCount) {
        if (code == BN_CLICKED) openOutputTest(id - IDC_TEST_FIRST);
        return;
    }
    // The High boxes check themselves; the next command reads them.
    if (id >= IDC_HIGH_FIRST && id < IDC_HIGH_FIRST + kChannelCount) return;
    // The MessageLog's own notifications are of no interest.
    if (lParam != 0) return;
    readControls();
    onMenu(id);
}

void MainWindow::onMenu(int id) {
    switch (id) {
        case IDM_FILE_NEW: carry(core_.fileNew()); break;
        case IDM_FILE_OPEN: carry(core_.fileOpen()); break;
        case IDM_FILE_SAVE: carry(core_.fileSave(false)); break;
        case IDM_FILE_SAVEAS: carry(core_.fileSave(true)); break;
        case IDM_FILE_EXIT: carry(core_.exit()); break;
        case IDM_DATA_WRITE: carry(core_.write()); break;
        case IDM_DATA_READ: carry(core_.read()); break;
        case IDM_USB_RESET: carry(core_.reset()); break;
        case IDM_USB_SEARCH: carry(core_.search()); break;
        default:
            // The ID Change items name the ZEL260's IDs in order; any other
            // command is not ours and is ignored.
            if (id >= IDM_USB_IDCHANGE_FIRST && id <= IDM_USB_IDCHANGE_LAST) carry(core_.idChange(id - IDM_USB_IDCHANGE_FIRST));
            break;
    }
}

std::vector<HWND> MainWindow::tabOrder() const {
    std::vector<HWND> order{controls_.productList};
    for (size_t r = 0; r < kChannelCount; ++r)
        order.insert(order.end(), {controls_.modeButtons[r], controls_.highBoxes[r], controls_.testButtons[r]});
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
                                    size.cy, nullptr, nullptr, main.instance(), &main);
    if (!window) return nullptr;
    ::ShowWindow(window, showCmd);
    ::UpdateWindow(window);
    return window;
}

LRESULT MainWindow::handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_NCCREATE:
            window_ = window;
            prompts_.owner = window;
            return ::DefWindowProcW(window, message, wParam, lParam);
        case WM_CREATE:
            onCreate();
            return 0;
        case WM_PAINT:
            paint();
            return 0;
        case WM_SIZE:
            onSize(wParam, lParam);
            return 0;
        case WM_DPICHANGED:
            onDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
            return 0;
        case WM_COMMAND:
            onCommand(wParam, lParam);
            return 0;
        case WM_DEVICECHANGE:
            // Only the devices-changed event is looked at.
            if (wParam == DBT_DEVNODES_CHANGED) {
                readControls();
                carry(core_.devicesChanged());
            }
            return 0;
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        case WM_NCDESTROY:
            window_ = prompts_.owner = nullptr;
            statusBar_ = logControl_ = nullptr;
            controls_ = PanelControls{};
            created_ = false;
            return ::DefWindowProcW(window, message, wParam, lParam);
        default:
            return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

void MainWindow::onSize(WPARAM wParam, LPARAM lParam) {
    if (!statusBar_) return;
    // The bar follows the window; the second pane keeps its width.
    ::SendMessageW(statusBar_, WM_SIZE, wParam, lParam);
    const int width = LOWORD(lParam);
    const int selectionWidth = scale_.px(Layout96::kSelectionPaneWidth);
    int parts[2] = {width > selectionWidth ? width - selectionWidth : 0, -1};
    ::SendMessageW(statusBar_, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
    core_.resized();
    shownStatus_.reset();
    show();
}

}  // namespace zelio::ui
