// The output test dialog (resource 121): drives one output of the attached
// module high, low or blinking; the configurator decides and reports each
// outcome in the MessageLog.
#pragma once

#include "ui/win32_util.h"

namespace zelio::ui {

class MainWindow;

// One open dialog for the output channel of the Test button that opened it.
// Its address is the dialog's init parameter, and dialogProc<OutputTestDialog>
// (ui/window_dispatch.h) hands it the messages.
class OutputTestDialog {
public:
    OutputTestDialog(MainWindow& main, int row) : main_(main), row_(row) {}

    INT_PTR handleMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

private:
    MainWindow& main_;
    int row_;
};

// Characters of a time field that count.
inline constexpr int kTimeFieldChars = 3;

}  // namespace zelio::ui
