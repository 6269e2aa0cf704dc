// How a window or dialog finds the object behind it: the object's address
// travels in CreateWindowExW's lpParam (or DialogBoxParamW's /
// CreateDialogParamW's init parameter), is stored in the window at
// WM_NCCREATE (GWLP_USERDATA) or WM_INITDIALOG (DWLP_USER), and every
// message from then on goes to the object's handleMessage. At WM_NCDESTROY
// the window lets go of the object before handing it that last message.
#pragma once

#include "ui/win32_util.h"

namespace zelio::ui {

// Window procedure for class T, which has
//   LRESULT handleMessage(HWND, UINT, WPARAM, LPARAM);
// Messages before WM_NCCREATE, and any for a window created without an
// object, go to DefWindowProcW.
template <class T>
LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    T* self = nullptr;
    if (message == WM_NCCREATE) {
        self = static_cast<T*>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<T*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    }
    if (!self) return ::DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    return self->handleMessage(window, message, wParam, lParam);
}

// Dialog procedure for class T, which has
//   INT_PTR handleMessage(HWND, UINT, WPARAM, LPARAM);
// returning what a dialog procedure returns. Messages before WM_INITDIALOG,
// and any for a dialog opened without an object, are left to the dialog
// manager.
template <class T>
INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    T* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<T*>(lParam);
        ::SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<T*>(::GetWindowLongPtrW(dialog, DWLP_USER));
    }
    if (!self) return FALSE;
    if (message == WM_NCDESTROY) ::SetWindowLongPtrW(dialog, DWLP_USER, 0);
    return self->handleMessage(dialog, message, wParam, lParam);
}

}  // namespace zelio::ui
