// Shared pieces of the main window tests: a fixture that runs the real main
// window on emulated modules, message pumping, control read-back and pixel
// capture of the client area.
#pragma once

#include <gtest/gtest.h>

#include "ui/win32_util.h"

#include <commctrl.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "emulator/emulated_host.h"
#include "link/module_link.h"
#include "protocol/command_set.h"
#include "resource.h"
#include "ui/window_parts.h"
#include "ui/main_window.h"
#include "manual_clock.h"

namespace zelio::ui::test {

// Handles every queued message, including paints. Returns true when a quit
// message was among them (its code goes to *quitCode).
inline bool pumpMessages(int* quitCode = nullptr) {
    bool quit = false;
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            quit = true;
            if (quitCode) *quitCode = static_cast<int>(msg.wParam);
            continue;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return quit;
}

// ---- pixels ------------------------------------------------------------------

// A 32-bit top-down copy of a rectangle of pixels.
class Pixels {
public:
    Pixels() = default;
    Pixels(int width, int height) : width_(width), height_(height), data_(static_cast<size_t>(width * height)) {}

    int width() const { return width_; }
    int height() const { return height_; }
    // As COLORREF (0x00BBGGRR).
    COLORREF at(int x, int y) const {
        const uint32_t v = data_[static_cast<size_t>(y * width_ + x)];
        return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
    }
    uint32_t* raw() { return data_.data(); }

    // Pixels of the rectangle [x0, x1) x [y0, y1) darker than mid-grey.
    int countDark(int x0, int y0, int x1, int y1) const {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) {
                const COLORREF c = at(x, y);
                if (GetRValue(c) + GetGValue(c) + GetBValue(c) < 3 * 128) ++n;
            }
        return n;
    }
    // Pixels of the rectangle that are not pure white.
    int countNonWhite(int x0, int y0, int x1, int y1) const {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                if (at(x, y) != RGB(255, 255, 255)) ++n;
        return n;
    }
    // Rightmost column of the rectangle with a dark pixel; x0 - 1 when none.
    int rightmostDark(int x0, int y0, int x1, int y1) const {
        for (int x = x1 - 1; x >= x0; --x)
            for (int y = y0; y < y1; ++y) {
                const COLORREF c = at(x, y);
                if (GetRValue(c) + GetGValue(c) + GetBValue(c) < 3 * 128) return x;
            }
        return x0 - 1;
    }
    // Number of pixels in which the rectangle of this copy at (x, y) differs
    // from `other` at (ox, oy), over w x h.
    int diff(int x, int y, const Pixels& other, int ox, int oy, int w, int h) const {
        int n = 0;
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i)
                if (at(x + i, y + j) != other.at(ox + i, oy + j)) ++n;
        return n;
    }

private:
    int width_ = 0, height_ = 0;
    std::vector<uint32_t> data_;
};

// Copies w x h pixels from `source` at (x, y) into a 32-bit DIB.
inline Pixels copyPixels(HDC source, int x, int y, int w, int h) {
    Pixels out(w, h);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    win32::unique_hbitmap dib(::CreateDIBSection(source, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    win32::unique_hdc memory(::CreateCompatibleDC(source));
    if (!dib || !memory || !bits) return out;
    {
        SelectScope selected(memory.get(), dib.get());
        ::BitBlt(memory.get(), 0, 0, w, h, source, x, y, SRCCOPY);
        ::GdiFlush();
    }
    std::memcpy(out.raw(), bits, static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
    return out;
}

// The whole client area of `window` as it is on screen now.
inline Pixels captureClient(HWND window) {
    RECT rc{};
    ::GetClientRect(window, &rc);
    ::GdiFlush();
    WindowDc dc(window);
    return copyPixels(dc.get(), 0, 0, rc.right, rc.bottom);
}

// `text` drawn with `font` at (0, 0) on white, opaque, black: what the window
// shows for a painted text.
inline Pixels renderText(HFONT font, const std::wstring& text, int w, int h) {
    WindowDc screen(nullptr);
    win32::unique_hdc memory(::CreateCompatibleDC(screen.get()));
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    win32::unique_hbitmap dib(::CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    Pixels out(w, h);
    if (!dib || !memory || !bits) return out;
    {
        SelectScope selected(memory.get(), dib.get());
        const RECT all{0, 0, w, h};
        ::FillRect(memory.get(), &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
        SelectScope selectedFont(memory.get(), font);
        ::SetBkMode(memory.get(), OPAQUE);
        ::TextOutW(memory.get(), 0, 0, text.c_str(), static_cast<int>(text.size()));
        ::GdiFlush();
    }
    std::memcpy(out.raw(), bits, static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
    return out;
}

// Cell width and height of a font's characters.
inline SIZE textExtent(HFONT font, const std::wstring& text) {
    WindowDc screen(nullptr);
    SelectScope selected(screen.get(), font);
    SIZE size{};
    ::GetTextExtentPoint32W(screen.get(), text.c_str(), static_cast<int>(text.size()), &size);
    return size;
}

// ---- controls ------------------------------------------------------------

inline std::string textOf(HWND window) { return windowTextUtf8(window); }

inline std::string statusPane(HWND statusBar, int pane) {
    const LRESULT info = ::SendMessageW(statusBar, SB_GETTEXTLENGTHW, static_cast<WPARAM>(pane), 0);
    std::wstring text(static_cast<size_t>(LOWORD(info)) + 1, L'\0');
    ::SendMessageW(statusBar, SB_GETTEXTW, static_cast<WPARAM>(pane), reinterpret_cast<LPARAM>(text.data()));
    text.resize(LOWORD(info));
    return win32::narrow(text);
}

inline std::string comboEntry(HWND combo, int index) {
    const LRESULT length = ::SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR) return "<none>";
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    ::SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(length));
    return win32::narrow(text);
}

inline bool menuGrayed(HWND window, UINT id) {
    const UINT state = ::GetMenuState(::GetMenu(window), id, MF_BYCOMMAND);
    return state != static_cast<UINT>(-1) && (state & MF_GRAYED) != 0;
}
inline bool menuEnabled(HWND window, UINT id) {
    const UINT state = ::GetMenuState(::GetMenu(window), id, MF_BYCOMMAND);
    return state != static_cast<UINT>(-1) && (state & (MF_GRAYED | MF_DISABLED)) == 0;
}

// A child's rectangle in its parent's client coordinates.
inline RECT childRect(HWND child) {
    RECT rc{};
    ::GetWindowRect(child, &rc);
    ::MapWindowPoints(HWND_DESKTOP, ::GetParent(child), reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

// ---- the fixture -------------------------------------------------------------

enum class Attached { None, Zel280, Zel260, Both };

class MainWindowTest : public ::testing::Test {
protected:
    // Builds the emulated modules and opens the real main window on them, the
    // way the program does: register the class, create with the App, pump.
    [[nodiscard]] bool start(Attached modules, std::wstring filePath = L"") {
        host = std::make_unique<EmulatedHost>(clock);
        if (modules == Attached::Zel280 || modules == Attached::Both)
            zel280 = &host->addModule(Model::Zel280, 3, 0x12, ModuleMode::Setting);
        if (modules == Attached::Zel260 || modules == Attached::Both)
            zel260 = &host->addModule(Model::Zel260, 5, 0x21, ModuleMode::Setting);
        return startOnHost(std::move(filePath));
    }

    // The same with modules that the test already added to `host`.
    [[nodiscard]] bool startOnHost(std::wstring filePath = L"") {
        link = std::make_unique<ModuleLink>(*host, clock);
        commands = std::make_unique<CommandSet>(*link);
        app = std::make_unique<MainWindow>(*commands, ::GetModuleHandleW(nullptr));
        app->setStartupPath(filePath);
        registered = registerMainClass(app->instance());
        if (!registered) {
            ADD_FAILURE() << "main window class not registered";
            return false;
        }
        window = createMainWindow(*app, SW_SHOWNORMAL);
        if (!window) {
            ADD_FAILURE() << "main window not created";
            return false;
        }
        pump();
        return true;
    }

    void TearDown() override {
        if (window && ::IsWindow(window)) ::DestroyWindow(window);
        pumpMessages();
        if (registered) unregisterMainClass(::GetModuleHandleW(nullptr));
    }

    void pump() {
        if (window) ::UpdateWindow(window);
        pumpMessages();
    }

    // Paints everything again, as after an uncovering.
    void repaintAll() {
        ::InvalidateRect(window, nullptr, TRUE);
        ::UpdateWindow(window);
        pumpMessages();
    }

    Pixels capture() { return captureClient(window); }

    void clickModeButton(int row) {
        ::SendMessageW(app->controls().modeButtons[static_cast<size_t>(row)], BM_CLICK, 0, 0);
        pumpMessages();
    }

    void selectProductEntry(int index) {
        ::SendMessageW(app->controls().productList, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_PRODUCT_LIST, CBN_SELCHANGE),
                       reinterpret_cast<LPARAM>(app->controls().productList));
        pumpMessages();
    }

    ManualClock clock;
    std::unique_ptr<EmulatedHost> host;
    VirtualModule* zel280 = nullptr;
    VirtualModule* zel260 = nullptr;
    std::unique_ptr<ModuleLink> link;
    std::unique_ptr<CommandSet> commands;
    std::unique_ptr<MainWindow> app;
    HWND window = nullptr;
    bool registered = false;
};

}  // namespace zelio::ui::test
