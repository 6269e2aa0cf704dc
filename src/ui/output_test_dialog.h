// The output test dialog (resource 121): drives one output of the attached
// module high, low or blinking and reports each outcome in the MessageLog.
#pragma once

#include "ui/app.h"

#include <string_view>

namespace zelio::ui {

// What one open dialog works on: the App and the output channel of the Test
// button that opened it. Its address is the dialog's init parameter, and
// dialogProc<OutputTestDialog> (ui/window_dispatch.h) hands it the messages:
//   OutputTestDialog test(app, 3);
//   DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_OUTPUTTEST), owner,
//                   dialogProc<OutputTestDialog>, reinterpret_cast<LPARAM>(&test));
class OutputTestDialog {
public:
    OutputTestDialog(App& app, int channel) : app_(app), channel_(channel) {}

    INT_PTR handleMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

    // 1-8; read anew at every paint and command.
    int channel() const { return channel_; }
    void setChannel(int channel) { channel_ = channel; }

private:
    App& app_;
    int channel_;
};

// Characters of a time field that count.
inline constexpr int kTimeFieldChars = 3;

// Decimal conversion of a time field's text: leading white space skipped, an
// optional sign, then digits up to the first other character; 0 when there
// is no digit.
int parseTimeField(std::wstring_view text);

}  // namespace zelio::ui
