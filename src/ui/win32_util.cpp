#include "ui/win32_util.h"

#include <vector>

namespace zelio::ui {

void setWindowTextUtf8(HWND window, std::string_view utf8) {
    ::SetWindowTextW(window, win32::widen(utf8).c_str());
}

std::string windowTextUtf8(HWND window) {
    const int length = ::GetWindowTextLengthW(window);
    if (length <= 0) return {};
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
    const int copied = ::GetWindowTextW(window, buffer.data(), length + 1);
    return win32::narrow(std::wstring_view(buffer.data(), copied > 0 ? static_cast<size_t>(copied) : 0));
}

wchar_t firstCharOf(HWND window) {
    wchar_t buffer[2] = {};
    ::GetWindowTextW(window, buffer, 2);
    return buffer[0];
}

HWND createControl(HWND parent, HINSTANCE instance, const ControlParams& params) {
    HWND control = ::CreateWindowExW(0, params.className, params.text, WS_CHILD | WS_VISIBLE | params.style, params.x, params.y,
                                     params.w, params.h, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(params.id)),
                                     instance, nullptr);
    if (control) ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(params.font), FALSE);
    return control;
}

}  // namespace zelio::ui
