// The File menu's New, Open, Save and Save As: the configuration on the
// channel panel stored as, and read back from, a one-line text file.
#pragma once

#include "ui/window_parts.h"

#include <commdlg.h>

#include <array>
#include <string>

namespace zelio::ui {

// " USB 장치번호 Product ID를 선택하세요.     ": Save/Save As with no product ID.
extern const char kSelectProductIdWarning[];
// The warning when a configuration file cannot be written, for `path`.
std::string saveFailedWarning(const std::wstring& path);

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

// The file name part of a full path ("C:\a\b.zel" -> "b.zel").
std::wstring fileTitleOf(const std::wstring& path);

// Shows the file dialog of `kind` (or asks prompts.fileDialog). On success
// the current file path and title become the chosen file and true is
// returned; a cancelled or failed dialog changes nothing and returns false.
bool chooseFile(FileState& file, const Prompts& prompts, FileDialogKind kind);

}  // namespace zelio::ui
