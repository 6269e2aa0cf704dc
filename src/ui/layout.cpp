#include "ui/layout.h"

namespace zelio::ui {
namespace {

// The per-monitor functions of Windows 10 1607 and later, looked up so the
// program still starts on older systems, where the system DPI is all there is.
template <class Function>
Function* user32Function(const char* name) {
    static HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
    return user32 ? reinterpret_cast<Function*>(reinterpret_cast<void*>(::GetProcAddress(user32, name))) : nullptr;
}

RECT frameFor(DWORD style, bool menu, int dpi, RECT client) {
    using AdjustForDpi = BOOL WINAPI(RECT*, DWORD, BOOL, DWORD, UINT);
    static AdjustForDpi* adjust = user32Function<AdjustForDpi>("AdjustWindowRectExForDpi");
    if (adjust)
        adjust(&client, style, menu, 0, static_cast<UINT>(dpi));
    else
        ::AdjustWindowRectEx(&client, style, menu, 0);
    return client;
}

}  // namespace

SIZE Scale::windowSize(DWORD style, bool menu) const {
    const RECT frame96 = frameFor(style, menu, Layout96::kDpi, RECT{0, 0, 0, 0});
    const int clientW = Layout96::kWindow.cx - (frame96.right - frame96.left);
    const int clientH = Layout96::kWindow.cy - (frame96.bottom - frame96.top);
    const RECT outer = frameFor(style, menu, dpi_, RECT{0, 0, px(clientW), px(clientH)});
    return {outer.right - outer.left, outer.bottom - outer.top};
}

int windowDpi(HWND window) {
    using GetDpi = UINT WINAPI(HWND);
    static GetDpi* getDpi = user32Function<GetDpi>("GetDpiForWindow");
    if (getDpi && window) return static_cast<int>(getDpi(window));
    WindowDc dc(window);
    return dc ? ::GetDeviceCaps(dc.get(), LOGPIXELSY) : Layout96::kDpi;
}

}  // namespace zelio::ui
