// The small parts of the main window: the MessageLog and the status bar with
// their text buffers, the file state and the prompts (message boxes and file
// dialogs).
#pragma once

#include "ui/win32_util.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>


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

inline constexpr char kMessageBoxTitle[] = "USB Output Module";

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

// The MessageLog: the log text and the edit control that shows it. Every
// change composes the text first and then shows it whole.
class MessageLog {
public:
    void attach(HWND control) { control_ = control; }
    HWND control() const { return control_; }
    const std::string& str() const { return text_.str(); }

    // The text := `text`, or += `text` (the "%s" append), then shown.
    void set(std::string_view text);
    void append(std::string_view text);
    // Empties the text without showing it.
    void clear() { text_.clear(); }
    // The control := the text.
    void show() const;

private:
    LogText text_;
    HWND control_ = nullptr;
};

// The status bar: the stored status text in pane 0 and, in pane 1, which
// product ID was chosen last.
class StatusBar {
public:
    void attach(HWND control) { control_ = control; }
    HWND control() const { return control_; }
    const std::string& str() const { return text_.str(); }

    // Stores the status text; show() puts it on the bar.
    void set(std::string_view text) { text_.set(text); }
    void clear() { text_.clear(); }
    void show() const;
    // Pane 0 empty (the stored text stays for the next show) and pane 1
    // `selection`.
    void showSelection(std::string_view selection) const;
    // WM_SIZE: the bar follows the window; pane 1 is `selectionWidth` wide.
    void follow(WPARAM wParam, LPARAM lParam, int selectionWidth) const;

private:
    StatusText text_;
    HWND control_ = nullptr;
};

// The configuration file the window works on.
struct FileState {
    std::wstring path;   // at most kMaxPathChars
    std::wstring title;  // file name of the last successful file dialog
    unsigned labelToggleCount = 0;  // New commands given without a module
};

// Message boxes and file dialogs, owned by the main window; the stand-ins
// (not owned) replace the platform's when set.
struct Prompts {
    HWND owner = nullptr;
    const FileDialogSeam* fileDialog = nullptr;
    const MessageBoxSeam* messageBox = nullptr;

    // A warning or information box titled "USB Output Module".
    int show(const std::string& text, UINT type) const;
};

}  // namespace zelio::ui
