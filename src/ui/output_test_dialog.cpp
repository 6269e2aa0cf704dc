#include "ui/output_test_dialog.h"

#include <string>

#include "resource.h"
#include "ui/main_window.h"
#include "ui/window_dispatch.h"

namespace zelio::ui {
namespace {

// The first kTimeFieldChars characters of a time field.
std::string timeField(HWND dialog, int id) {
    wchar_t text[kTimeFieldChars + 1] = {};
    ::GetDlgItemTextW(dialog, id, text, kTimeFieldChars + 1);
    return win32::narrow(text);
}

}  // namespace

INT_PTR OutputTestDialog::handleMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG: {
            const app::OutputTestOpening opening = main_.core_.openOutputTest(row_);
            for (const auto& [id, text] : {std::pair{IDC_LOW_TIME, opening.lowTime}, std::pair{IDC_HIGH_TIME, opening.highTime}}) {
                HWND field = ::GetDlgItem(dialog, id);
                if (main_.logFont()) ::SendMessageW(field, WM_SETFONT, reinterpret_cast<WPARAM>(main_.logFont()), FALSE);
                setWindowTextUtf8(field, text);
            }
            ::SetFocus(::GetDlgItem(dialog, IDC_HIGH_TIME));
            // Default focus: the first tab stop, which is the High-time field.
            return TRUE;
        }
        case WM_PAINT:
            setWindowTextUtf8(dialog, main_.core_.openOutputTest(row_).caption);
            return FALSE;  // the dialog paints itself as usual
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            if (id == IDOK || id == IDCANCEL) {
                ::EndDialog(dialog, id);
                return TRUE;
            }
            app::OutputTestKind kind;
            switch (id) {
                case IDC_BLINK: kind = app::OutputTestKind::Blink; break;
                case IDC_HIGH: kind = app::OutputTestKind::High; break;
                case IDC_LOW: kind = app::OutputTestKind::Low; break;
                default: return FALSE;
            }
            main_.carry(main_.core_.outputTest(row_ + 1, kind, timeField(dialog, IDC_HIGH_TIME), timeField(dialog, IDC_LOW_TIME)));
            return TRUE;
        }
        default:
            return FALSE;
    }
}

void MainWindow::openOutputTest(int row) {
    if (row < 0 || row >= kChannelCount) return;
    OutputTestDialog test(*this, row);
    ::DialogBoxParamW(instance_, MAKEINTRESOURCEW(IDD_OUTPUTTEST), window_, dialogProc<OutputTestDialog>,
                      reinterpret_cast<LPARAM>(&test));
}

}  // namespace zelio::ui
