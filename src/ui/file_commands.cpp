#include "ui/file_commands.h"

#include <cwchar>
#include <optional>

#include "config/panel_rules.h"
#include "resource.h"
#include "ui/main_window.h"
#include "ui/win32_config_file.h"

namespace zelio::ui {

const char kSelectProductIdWarning[] = " USB 장치번호 Product ID를 선택하세요.     ";

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

void saveTo(const std::wstring& path, const ChannelPanel& panel, const Prompts& prompts) {
    if (!saveConfigFileW(path, panel.config())) prompts.show(saveFailedWarning(path), MB_ICONWARNING);
}

// Save and Save As need a product ID to write.
bool productIdChosen(const ChannelPanel& panel, const Prompts& prompts) {
    if (panel.selectedProductId() != 0) return true;
    prompts.show(kSelectProductIdWarning, MB_ICONWARNING);
    return false;
}

void repaintWholeWindow(HWND window) {
    if (window) ::InvalidateRect(window, nullptr, TRUE);
}

}  // namespace

std::string saveFailedWarning(const std::wstring& path) {
    const std::wstring title = fileTitleOf(path);
    if (title.empty()) return " 파일을 저장할 수 없습니다.     ";
    return " '" + win32::narrow(title) + "' 파일을 저장할 수 없습니다.     ";
}

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

std::wstring fileTitleOf(const std::wstring& path) {
    // After the last separator, or after a drive ("C:name").
    const size_t cut = path.find_last_of(L"\\/:");
    return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

bool chooseFile(FileState& file, const Prompts& prompts, FileDialogKind kind) {
    if (prompts.fileDialog && *prompts.fileDialog) {
        FileDialogRequest request;
        request.kind = kind;
        request.owner = prompts.owner;
        request.initialPath = file.path;
        const std::optional<std::wstring> chosen = (*prompts.fileDialog)(request);
        // A path that does not fit the path buffer fails as it would in the
        // platform dialog.
        if (!chosen || chosen->empty() || chosen->size() > kMaxPathChars) return false;
        file.path = *chosen;
        file.title = fileTitleOf(*chosen);
        return true;
    }

    FileDialogBuffers buffers = makeFileDialogBuffers(file.path, file.title);
    OPENFILENAMEW fields = fileDialogFields(kind, prompts.owner, buffers);
    const BOOL chosen = kind == FileDialogKind::Open ? ::GetOpenFileNameW(&fields) : ::GetSaveFileNameW(&fields);
    if (!chosen) return false;
    file.path = bufferText(buffers.file);
    file.title = bufferText(buffers.title);
    return true;
}

namespace {

void fileNew(FileState& file, ChannelPanel& panel, MessageLog& log, const LabelPainter& labels, uint16_t attached) {
    // The path stays: the next file dialog proposes it again.
    file.title.clear();
    log.clear();
    log.show();
    panel.apply(ChannelConfig{});
    labels.refreshModeLabels(panel.rows());

    LabelTable table = LabelTable::Pin;
    switch (attached) {
        case kSettingId260:
            table = LabelTable::WireColour;
            break;
        case kSettingId280:
            table = LabelTable::Pin;
            break;
        default:
            // No module: the tables take turns, pins first.
            table = file.labelToggleCount % 2 == 1 ? LabelTable::WireColour : LabelTable::Pin;
            ++file.labelToggleCount;
            break;
    }
    labels.drawConnectorLabels(table);
}

void fileOpen(FileState& file, const Prompts& prompts, ChannelPanel& panel, const LabelPainter& labels) {
    if (!chooseFile(file, prompts, FileDialogKind::Open)) return;
    repaintWholeWindow(prompts.owner);
    const ChannelConfig config = loadConfigFileW(file.path);
    panel.apply(config);
    if (const auto table = tableForFamily(config.productId)) labels.drawConnectorLabels(*table);
}

// Save (a file already chosen is written again) and Save As.
void fileSave(FileState& file, const Prompts& prompts, const ChannelPanel& panel, FileDialogKind kind) {
    if (!productIdChosen(panel, prompts)) return;
    if (kind == FileDialogKind::Save && !file.title.empty()) {
        saveTo(file.path, panel, prompts);
        return;
    }
    if (!chooseFile(file, prompts, kind)) return;
    repaintWholeWindow(prompts.owner);
    saveTo(file.path, panel, prompts);
}

}  // namespace

void onFileCommand(MainWindow& main, int id) {
    switch (id) {
        case IDM_FILE_NEW:
            fileNew(main.file, main.panel, main.log, main.labels(), main.commands.attachedModuleId());
            break;
        case IDM_FILE_OPEN:
            fileOpen(main.file, main.prompts, main.panel, main.labels());
            break;
        case IDM_FILE_SAVE:
            fileSave(main.file, main.prompts, main.panel, FileDialogKind::Save);
            break;
        case IDM_FILE_SAVEAS:
            fileSave(main.file, main.prompts, main.panel, FileDialogKind::SaveAs);
            break;
        default:
            break;
    }
}

}  // namespace zelio::ui
