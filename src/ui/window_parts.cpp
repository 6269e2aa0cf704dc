#include "ui/window_parts.h"

#include <cwchar>

#include "config/config_file.h"

namespace zelio::ui {
namespace {

// Filter pairs of the file dialogs; the save dialog's first description is
// upper case, the open and save-as dialogs' lower case. The first lists the
// files this program saves (".kbd", the default extension) besides ".zel".
constexpr wchar_t kFilterLower[] = L"USB I/O Data (*.zel)\0*.kbd;*.zel\0All Files (*.*)\0*.*\0\0";
constexpr wchar_t kFilterUpper[] = L"USB I/O Data (*.ZEL)\0*.kbd;*.zel\0All Files (*.*)\0*.*\0\0";
// Added by the dialog to a name typed without an extension.
constexpr wchar_t kDefaultExtension[] = L"kbd";

std::wstring bufferText(const std::array<wchar_t, kMaxPathChars + 1>& buffer) {
    return std::wstring(buffer.data(), ::wcsnlen(buffer.data(), buffer.size()));
}

void copyInto(std::array<wchar_t, kMaxPathChars + 1>& buffer, const std::wstring& text) {
    buffer.fill(L'\0');
    text.copy(buffer.data(), kMaxPathChars);
}

}  // namespace

FileDialogBuffers makeFileDialogBuffers(const std::wstring& path, const std::wstring& title) {
    FileDialogBuffers buffers;
    copyInto(buffers.file, path);
    copyInto(buffers.title, title);
    return buffers;
}

OPENFILENAMEW fileDialogFields(FileDialogKind kind, HWND owner, FileDialogBuffers& buffers) {
    OPENFILENAMEW fields{};
    fields.lStructSize = sizeof fields;
    fields.hwndOwner = owner;
    fields.lpstrFilter = kind == FileDialogKind::Save ? kFilterUpper : kFilterLower;
    fields.nFilterIndex = 1;
    fields.lpstrFile = buffers.file.data();
    fields.nMaxFile = static_cast<DWORD>(buffers.file.size());
    fields.lpstrFileTitle = buffers.title.data();
    fields.nMaxFileTitle = static_cast<DWORD>(buffers.title.size());
    fields.Flags = kind == FileDialogKind::Open ? (OFN_FILEMUSTEXIST | OFN_HIDEREADONLY) : OFN_PATHMUSTEXIST;
    fields.lpstrDefExt = kDefaultExtension;
    return fields;
}

int Prompts::show(const std::string& text, const std::string& title, UINT type) const {
    if (messageBox && *messageBox) return (*messageBox)(owner, text, title, type);
    return ::MessageBoxW(owner, win32::widen(text).c_str(), win32::widen(title).c_str(), type);
}

std::optional<ChosenFile> Prompts::chooseFile(FileDialogKind kind, const std::wstring& path,
                                              const std::wstring& title) const {
    if (fileDialog && *fileDialog) {
        const std::optional<std::wstring> chosen = (*fileDialog)(FileDialogRequest{kind, owner, path});
        // A path that does not fit the path buffer fails as it would in the
        // platform dialog.
        if (!chosen || chosen->empty() || chosen->size() > kMaxPathChars) return std::nullopt;
        return ChosenFile{*chosen, win32::widen(app::fileTitleOf(win32::narrow(*chosen)))};
    }
    FileDialogBuffers buffers = makeFileDialogBuffers(path, title);
    OPENFILENAMEW fields = fileDialogFields(kind, owner, buffers);
    const BOOL chosen = kind == FileDialogKind::Open ? ::GetOpenFileNameW(&fields) : ::GetSaveFileNameW(&fields);
    if (!chosen) return std::nullopt;
    return ChosenFile{bufferText(buffers.file), bufferText(buffers.title)};
}

std::string readConfigBytes(const std::wstring& path) {
    return platformAtomicFileSteps().readPrefix(win32::narrow(path), kConfigReadLimit).value_or(std::string());
}

bool writeConfigBytes(const std::wstring& path, std::string_view bytes) {
    // The one save of the project: a temporary file beside the target,
    // flushed, then put in its place in one step.
    return saveFileUtf8(win32::narrow(path), bytes);
}

}  // namespace zelio::ui
