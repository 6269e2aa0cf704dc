// Small Win32 helpers for the GUI: window text as UTF-8, child controls, and
// the scopes that pair two calls around a window or a context. Handles are
// owned by the zelio::win32::unique_any types of win32/win32_unique.h; text
// is converted by win32/win32_text.h.
#pragma once

#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>
#include <string_view>

#include "win32/win32_text.h"
#include "win32/win32_unique.h"

namespace zelio::ui {

// ---- text ------------------------------------------------------------------

// Window text as UTF-8 (WM_SETTEXT / WM_GETTEXT through the W functions).
void setWindowTextUtf8(HWND window, std::string_view utf8);
std::string windowTextUtf8(HWND window);
// The first character of a window's text (0 when the text is empty); reads
// no more than that one character.
wchar_t firstCharOf(HWND window);

// ---- controls ----------------------------------------------------------------

// A child control: window class, caption, style (WS_CHILD | WS_VISIBLE are
// added), position and size in the parent's client coordinates, control ID
// and the font it is given with WM_SETFONT.
struct ControlParams {
    const wchar_t* className = nullptr;
    const wchar_t* text = nullptr;
    DWORD style = 0;
    int x = 0, y = 0, w = 0, h = 0;
    int id = 0;
    HFONT font = nullptr;
};
// Creates the control on `parent`; nullptr when creation fails.
HWND createControl(HWND parent, HINSTANCE instance, const ControlParams& params);

// ---- contexts ----------------------------------------------------------------

// GetDC / ReleaseDC on a window's client area.
class WindowDc {
public:
    explicit WindowDc(HWND window) : window_(window), dc_(::GetDC(window)) {}
    ~WindowDc() {
        if (dc_) ::ReleaseDC(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

private:
    HWND window_;
    HDC dc_;
};

// BeginPaint / EndPaint; the paint is ended on every path.
class PaintScope {
public:
    explicit PaintScope(HWND window) : window_(window) { dc_ = ::BeginPaint(window, &ps_); }
    ~PaintScope() { ::EndPaint(window_, &ps_); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    HDC get() const { return dc_; }
    const PAINTSTRUCT& info() const { return ps_; }

private:
    HWND window_;
    PAINTSTRUCT ps_{};
    HDC dc_ = nullptr;
};

// SelectObject for the life of the scope; the previous object goes back in
// on destruction, so the selected one can be deleted afterwards.
class SelectScope {
public:
    SelectScope(HDC dc, HGDIOBJ object) : dc_(dc) {
        if (dc_ && object) previous_ = ::SelectObject(dc_, object);
    }
    ~SelectScope() {
        if (dc_ && previous_) ::SelectObject(dc_, previous_);
    }
    SelectScope(const SelectScope&) = delete;
    SelectScope& operator=(const SelectScope&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_ = nullptr;
};

}  // namespace zelio::ui
