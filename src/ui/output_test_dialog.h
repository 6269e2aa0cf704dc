// The output test dialog (resource 121): drives one output of the attached
// module high, low or blinking and reports each outcome in the MessageLog.
#pragma once

#include "ui/app.h"

#include <string_view>

namespace zelio::ui {

// Dialog procedure of resource 121. The dialog is owned by the main window
// and finds the App through it, so it needs no initialisation parameter.
INT_PTR CALLBACK outputTestDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Characters of a time field that count.
inline constexpr int kTimeFieldChars = 3;

// Decimal conversion of a time field's text: leading white space skipped, an
// optional sign, then digits up to the first other character; 0 when there
// is no digit.
int parseTimeField(std::wstring_view text);

}  // namespace zelio::ui
