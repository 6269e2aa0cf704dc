#include "ui/window_parts.h"

#include <commctrl.h>

#include <cstdarg>
#include <cstdio>

namespace zelio::ui {
namespace {

// Byte count of the UTF-8 sequence starting at text[i]; 1 for a byte that
// does not start a well-formed sequence, so malformed input is walked byte
// by byte and never overrun.
size_t sequenceLength(std::string_view text, size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t length = 1;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4;
    if (i + length > text.size()) return 1;
    for (size_t k = 1; k < length; ++k) {
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 1;
    }
    return length;
}

size_t cp949Cost(std::string_view text, size_t i) {
    return static_cast<unsigned char>(text[i]) < 0x80 ? 1 : 2;
}

}  // namespace

size_t cp949Length(std::string_view utf8) {
    size_t bytes = 0;
    for (size_t i = 0; i < utf8.size(); i += sequenceLength(utf8, i)) bytes += cp949Cost(utf8, i);
    return bytes;
}

std::string_view boundedPrefix(std::string_view utf8, size_t maxChars, size_t maxCp949Bytes) {
    size_t chars = 0, bytes = 0, i = 0;
    while (i < utf8.size()) {
        const size_t cost = cp949Cost(utf8, i);
        if (chars + 1 > maxChars || bytes + cost > maxCp949Bytes) break;
        ++chars;
        bytes += cost;
        i += sequenceLength(utf8, i);
    }
    return utf8.substr(0, i);
}

std::string formatText(const char* pattern, ...) {
    char buffer[2048];
    va_list args;
    va_start(args, pattern);
    const int n = std::vsnprintf(buffer, sizeof buffer, pattern, args);
    va_end(args);
    return n > 0 ? std::string(buffer) : std::string();
}

void MessageLog::set(std::string_view text) {
    text_.set(text);
    show();
}

void MessageLog::append(std::string_view text) {
    text_.append(text);
    show();
}

void MessageLog::show() const {
    if (control_) setWindowTextUtf8(control_, text_.str());
}

namespace {

void setPane(HWND bar, int pane, std::string_view text) {
    const std::wstring wide = win32::widen(text);
    ::SendMessageW(bar, SB_SETTEXTW, static_cast<WPARAM>(pane), reinterpret_cast<LPARAM>(wide.c_str()));
}

}  // namespace

void StatusBar::show() const {
    if (control_) setPane(control_, 0, text_.str());
}

void StatusBar::showSelection(std::string_view selection) const {
    if (!control_) return;
    setPane(control_, 0, "");
    setPane(control_, 1, selection);
}

void StatusBar::follow(WPARAM wParam, LPARAM lParam, int selectionWidth) const {
    if (!control_) return;
    ::SendMessageW(control_, WM_SIZE, wParam, lParam);
    const int width = LOWORD(lParam);
    int parts[2] = {width > selectionWidth ? width - selectionWidth : 0, -1};
    ::SendMessageW(control_, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
    show();
}

int Prompts::show(const std::string& text, UINT type) const {
    if (messageBox && *messageBox) return (*messageBox)(owner, text, kMessageBoxTitle, type);
    return ::MessageBoxW(owner, win32::widen(text).c_str(), win32::widen(kMessageBoxTitle).c_str(), type);
}

}  // namespace zelio::ui
