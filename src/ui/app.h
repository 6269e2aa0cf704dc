// Process-wide state of the main window: its controls, fonts, text buffers
// and the configuration shown on the channel panel. One App lives for the
// whole run; it travels in the main window's creation parameter and the
// window's messages reach App::handleMessage (ui/window_dispatch.h).
#pragma once

#include "ui/win32_util.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "config/channel_config.h"
#include "protocol/command_set.h"

namespace zelio::ui {

// Length of a UTF-8 text in code page 949 bytes: ASCII counts 1, every
// other character (Hangul syllables and the rest) counts 2.
size_t cp949Length(std::string_view utf8);

// printf into a std::string of at most LogText's buffer size; the texts that
// are stored cut it further to their own capacity.
std::string formatText(const char* pattern, ...);

// The longest prefix of `utf8` that holds at most `maxChars` characters and at
// most `maxCp949Bytes` code page 949 bytes; never splits a character.
std::string_view boundedPrefix(std::string_view utf8, size_t maxChars, size_t maxCp949Bytes);

// A text buffer of fixed capacity. Every change is cut to the capacity, so
// nothing ever runs past it.
class BoundedText {
public:
    constexpr BoundedText(size_t maxChars, size_t maxCp949Bytes)
        : maxChars_(maxChars), maxBytes_(maxCp949Bytes) {}

    void set(std::string_view text) { text_.assign(boundedPrefix(text, maxChars_, maxBytes_)); }
    void clear() { text_.clear(); }
    const std::string& str() const { return text_; }
    bool empty() const { return text_.empty(); }
    size_t maxChars() const { return maxChars_; }
    size_t maxCp949Bytes() const { return maxBytes_; }

protected:
    std::string text_;
    size_t maxChars_;
    size_t maxBytes_;
};

// The MessageLog's text: a 2048-byte buffer (2047 bytes of text and the
// terminating zero). A message is composed into at most 1024 characters and
// then stored.
class LogText : public BoundedText {
public:
    static constexpr size_t kBufferBytes = 2048;
    static constexpr size_t kMessageChars = 1024;

    LogText() : BoundedText(kMessageChars, kBufferBytes - 1) {}

    // Replaces the text with `message`.
    using BoundedText::set;
    // "%s<message>": the current text followed by `message`.
    void append(std::string_view message) {
        std::string composed = text_;
        composed.append(message);
        set(composed);
    }
};

// The status bar's text: a 256-byte buffer, at most 255 characters.
class StatusText : public BoundedText {
public:
    static constexpr size_t kBufferBytes = 256;
    StatusText() : BoundedText(kBufferBytes - 1, kBufferBytes - 1) {}
};

// The path buffers hold 260 characters with the terminating zero.
inline constexpr size_t kMaxPathChars = 259;

// Seams for tests. When set, they stand in for the platform's common file
// dialogs and message boxes, which would otherwise block a test in a modal
// loop.
enum class FileDialogKind { Open, Save, SaveAs };
struct FileDialogRequest {
    FileDialogKind kind = FileDialogKind::Open;
    HWND owner = nullptr;
    std::wstring initialPath;  // the current file path, proposed as the name
};
// The chosen full path, or nullopt when the dialog is cancelled.
using FileDialogSeam = std::function<std::optional<std::wstring>(const FileDialogRequest&)>;
// Answers like MessageBoxW; receives the text and title as UTF-8.
using MessageBoxSeam = std::function<int(HWND owner, const std::string& text, const std::string& title, UINT type)>;

struct App {
    explicit App(CommandSet& commandSet) : commands(commandSet) {}
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    // Module access. AttachedModuleId is commands.attachedModuleId().
    CommandSet& commands;
    ModuleLink& link() { return commands.link(); }

    HINSTANCE instance = nullptr;
    HWND mainWindow = nullptr;

    // Panel font (height 12): channel panel controls and every painted text.
    // Log font (height 13): product-ID list, MessageLog, output test fields.
    win32::unique_hfont panelFont;
    win32::unique_hfont logFont;

    HWND statusBar = nullptr;
    HWND productList = nullptr;                 // combobox 105
    std::array<HWND, kChannelCount> modeButtons{};  // 120 + r
    std::array<HWND, kChannelCount> highBoxes{};    // 110 + r
    std::array<HWND, kChannelCount> testButtons{};  // 130 + r
    HWND messageLog = nullptr;                  // edit, ID 0

    LogText log;
    StatusText status;

    std::wstring currentFilePath;   // at most kMaxPathChars
    std::wstring currentFileTitle;  // file name of the last successful file dialog
    unsigned labelToggleCount = 0;  // New commands given without a module
    int attachedFlag = 0;
    uint32_t selectedProductId = 0;

    // Optional stand-ins (not owned); nullptr = the real platform dialogs.
    const FileDialogSeam* fileDialog = nullptr;
    const MessageBoxSeam* messageBox = nullptr;

    // The main window's messages (defined with the window, main_window.cpp).
    LRESULT handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};

}  // namespace zelio::ui
