// The Win32 parts the main window's commands need beside the controls: the
// message boxes, the common file dialogs (with stand-ins for tests) and the
// configuration file's bytes on UTF-16 paths.
#pragma once

#include "ui/win32_util.h"

#include <commdlg.h>

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "app/bounded_text.h"
#include "app/configurator.h"

namespace zelio::ui {

using app::kMaxPathChars;
using FileDialogKind = app::FileDialog;

// Seams for tests. When set, they stand in for the platform's common file
// dialogs and message boxes, which would otherwise block a test in a modal
// loop.
struct FileDialogRequest {
    FileDialogKind kind = FileDialogKind::Open;
    HWND owner = nullptr;
    std::wstring initialPath;  // the current file path, proposed as the name
};
// The chosen full path, or nullopt when the dialog is cancelled.
using FileDialogSeam = std::function<std::optional<std::wstring>(const FileDialogRequest&)>;
// Answers like MessageBoxW; receives the text and title as UTF-8.
using MessageBoxSeam = std::function<int(HWND owner, const std::string& text, const std::string& title, UINT type)>;

// The buffers a common file dialog reads its initial name from and writes
// the chosen path and file name into (260 characters with the zero each).
struct FileDialogBuffers {
    std::array<wchar_t, kMaxPathChars + 1> file{};
    std::array<wchar_t, kMaxPathChars + 1> title{};
};
// Buffers holding `path` and `title`, each cut to kMaxPathChars.
FileDialogBuffers makeFileDialogBuffers(const std::wstring& path, const std::wstring& title);

// The OPENFILENAMEW for the dialog of `kind`, owned by `owner`, reading and
// writing `buffers` (which must outlive the dialog call).
OPENFILENAMEW fileDialogFields(FileDialogKind kind, HWND owner, FileDialogBuffers& buffers);

// A chosen file: its full path and its name.
struct ChosenFile {
    std::wstring path, title;
};

// Message boxes and file dialogs, owned by the main window; the stand-ins
// (not owned) replace the platform's when set.
struct Prompts {
    HWND owner = nullptr;
    const FileDialogSeam* fileDialog = nullptr;
    const MessageBoxSeam* messageBox = nullptr;

    // A box titled `title`.
    int show(const std::string& text, const std::string& title, UINT type) const;
    // The file dialog of `kind` proposing `path` (and `title`); nullopt when
    // it is cancelled or fails.
    std::optional<ChosenFile> chooseFile(FileDialogKind kind, const std::wstring& path, const std::wstring& title) const;
};

// The first 512 bytes of a configuration file; empty when it cannot be read.
std::string readConfigBytes(const std::wstring& path);
// Replaces the file in one step; false when nothing was saved.
bool writeConfigBytes(const std::wstring& path, std::string_view bytes);

}  // namespace zelio::ui
