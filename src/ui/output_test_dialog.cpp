#include "ui/output_test_dialog.h"

#include <cstdint>
#include <cstdio>
#include <string>

#include "resource.h"
#include "ui/main_window.h"
#include "ui/messages.h"
#include "ui/window_dispatch.h"

namespace zelio::ui {
namespace {

constexpr char kCaption[] = "Output Test - OUT %d";
// The channel travels as a signed byte.
int signedChannel(int channel) { return static_cast<int8_t>(channel); }

// Reads the first kTimeFieldChars characters of a time field.
int readTimeField(HWND dialog, int id) {
    wchar_t text[kTimeFieldChars + 1] = {};
    ::GetDlgItemTextW(dialog, id, text, kTimeFieldChars + 1);
    return parseTimeField(text);
}

void onInit(HWND dialog, HFONT font) {
    for (int id : {IDC_LOW_TIME, IDC_HIGH_TIME}) {
        HWND field = ::GetDlgItem(dialog, id);
        if (font) ::SendMessageW(field, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        ::SetWindowTextW(field, L"5");
    }
    ::SetFocus(::GetDlgItem(dialog, IDC_HIGH_TIME));
}

void onPaint(HWND dialog, int channel) {
    setWindowTextUtf8(dialog, formatText(kCaption, signedChannel(channel)));
}

// Outcome of one output test command.
void reportResult(const CommandSet& commands, MessageLog& log, bool sent, const std::string& call) {
    if (sent)
        log.set(call);
    else
        log.set(commands.attachedModuleId() != 0 ? kSendFailed : kNoModule);
}

void onBlink(HWND dialog, CommandSet& commands, MessageLog& log, int channel) {
    const int high = readTimeField(dialog, IDC_HIGH_TIME);
    const int low = readTimeField(dialog, IDC_LOW_TIME);
    // A pasted negative number is refused as well: it would not fit a nibble.
    if (high > kMaxBlinkTime || low > kMaxBlinkTime || high < 0 || low < 0) {
        log.set(kTimeTooLarge);
        return;
    }
    const int blinkByte = (high * 16 + low) & 0xFF;
    const bool sent = commands.outputTest(blinkByte, channel) != 0;
    reportResult(commands, log, sent,
                 formatText(kBlinkCall, static_cast<unsigned>(commands.attachedModuleId()), static_cast<unsigned>(blinkByte), channel));
}

void onSteady(CommandSet& commands, MessageLog& log, int channel, bool high) {
    const bool sent = commands.outputTest(0, high ? channel : -channel) != 0;
    const unsigned id = commands.attachedModuleId();
    reportResult(commands, log, sent, formatText(high ? kHighCall : kLowCall, id, channel));
}

}  // namespace

int parseTimeField(std::wstring_view text) {
    size_t i = 0;
    auto isBlank = [](wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); };
    while (i < text.size() && isBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
    long value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        value = value * 10 + (text[i] - L'0');
        if (value > 1'000'000) break;  // far beyond any accepted time
    }
    return static_cast<int>(negative ? -value : value);
}

INT_PTR OutputTestDialog::handleMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            onInit(dialog, timeFont_);
            // Default focus: the first tab stop, which is the High-time field.
            return TRUE;
        case WM_PAINT:
            onPaint(dialog, channel_);
            return FALSE;  // the dialog paints itself as usual
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            if (id == IDOK || id == IDCANCEL) {
                ::EndDialog(dialog, id);
                return TRUE;
            }
            switch (id) {
                case IDC_BLINK:
                    onBlink(dialog, commands_, log_, signedChannel(channel_));
                    return TRUE;
                case IDC_HIGH:
                    onSteady(commands_, log_, signedChannel(channel_), true);
                    return TRUE;
                case IDC_LOW:
                    onSteady(commands_, log_, signedChannel(channel_), false);
                    return TRUE;
                default:
                    return FALSE;
            }
        }
        default:
            return FALSE;
    }
}

void openOutputTest(MainWindow& main, int row) {
    if (row < 0 || row >= kChannelCount) return;
    OutputTestDialog test(main.commands, main.log, main.fonts.log.get(), row + 1);
    ::DialogBoxParamW(main.instance, MAKEINTRESOURCEW(IDD_OUTPUTTEST), main.window(), dialogProc<OutputTestDialog>,
                      reinterpret_cast<LPARAM>(&test));
}

}  // namespace zelio::ui
