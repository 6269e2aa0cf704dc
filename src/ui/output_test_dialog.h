// The output test dialog (resource 121): drives one output of the attached
// module high, low or blinking and reports each outcome in the MessageLog.
#pragma once

#include "ui/window_parts.h"

#include "protocol/command_set.h"

#include <string_view>

namespace zelio::ui {

// What one open dialog works on: the commands, the MessageLog, the log font
// for its time fields and the output channel of the Test button that opened
// it. Its address is the dialog's init parameter, and
// dialogProc<OutputTestDialog> (ui/window_dispatch.h) hands it the messages:
//   OutputTestDialog test(commands, log, logFont, 3);
//   DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_OUTPUTTEST), owner,
//                   dialogProc<OutputTestDialog>, reinterpret_cast<LPARAM>(&test));
class OutputTestDialog {
public:
    OutputTestDialog(CommandSet& commands, MessageLog& log, HFONT timeFont, int channel)
        : commands_(commands), log_(log), timeFont_(timeFont), channel_(channel) {}

    INT_PTR handleMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

    // 1-8; read anew at every paint and command.
    int channel() const { return channel_; }
    void setChannel(int channel) { channel_ = channel; }

private:
    CommandSet& commands_;
    MessageLog& log_;
    HFONT timeFont_;
    int channel_;
};

// Characters of a time field that count.
inline constexpr int kTimeFieldChars = 3;

// Decimal conversion of a time field's text: leading white space skipped, an
// optional sign, then digits up to the first other character; 0 when there
// is no digit.
int parseTimeField(std::wstring_view text);

}  // namespace zelio::ui
