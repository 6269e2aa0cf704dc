#include "ui/file_commands.h"

#include <cwchar>
#include <optional>

#include "config/panel_rules.h"
#include "resource.h"
#include "ui/channel_panel.h"
#include "ui/main_window.h"
#include "ui/win32_config_file.h"

namespace zelio::ui {

const char kSelectProductIdWarning[] = " USB 장치번호 Product ID를 선택하세요.     ";

namespace {

// Filter pairs of the file dialogs; the save dialog's first description is
// upper case, the open and save-as dialogs' lower case.
constexpr wchar_t kFilterLower[] = L"USB I/O Data (*.zel)\0*.zel\0All Files (*.*)\0*.*\0\0";
constexpr wchar_t kFilterUpper[] = L"USB I/O Data (*.ZEL)\0*.zel\0All Files (*.*)\0*.*\0\0";
// Added by the dialog to a name typed without an extension.
constexpr wchar_t kDefaultExtension[] = L"kbd";

std::wstring bufferText(const std::array<wchar_t, kMaxPathChars + 1>& buffer) {
    return std::wstring(buffer.data(), ::wcsnlen(buffer.data(), buffer.size()));
}

void copyInto(std::array<wchar_t, kMaxPathChars + 1>& buffer, const std::wstring& text) {
    buffer.fill(L'\0');
    text.copy(buffer.data(), kMaxPathChars);
}

void saveTo(App& app, const std::wstring& path) {
    if (!saveConfigFileW(path, panelConfig(app))) {
        showMessageBox(app, saveFailedWarning(path), MB_ICONWARNING);
    }
}

// Save and Save As need a product ID to write.
bool productIdChosen(App& app) {
    if (app.selectedProductId != 0) return true;
    showMessageBox(app, kSelectProductIdWarning, MB_ICONWARNING);
    return false;
}

void repaintWholeWindow(App& app) {
    if (app.mainWindow) ::InvalidateRect(app.mainWindow, nullptr, TRUE);
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

bool chooseFile(App& app, FileDialogKind kind) {
    if (app.fileDialog && *app.fileDialog) {
        FileDialogRequest request;
        request.kind = kind;
        request.owner = app.mainWindow;
        request.initialPath = app.currentFilePath;
        const std::optional<std::wstring> chosen = (*app.fileDialog)(request);
        // A path that does not fit the path buffer fails as it would in the
        // platform dialog.
        if (!chosen || chosen->empty() || chosen->size() > kMaxPathChars) return false;
        app.currentFilePath = *chosen;
        app.currentFileTitle = fileTitleOf(*chosen);
        return true;
    }

    FileDialogBuffers buffers = makeFileDialogBuffers(app.currentFilePath, app.currentFileTitle);
    OPENFILENAMEW fields = fileDialogFields(kind, app.mainWindow, buffers);
    const BOOL chosen = kind == FileDialogKind::Open ? ::GetOpenFileNameW(&fields) : ::GetSaveFileNameW(&fields);
    if (!chosen) return false;
    app.currentFilePath = bufferText(buffers.file);
    app.currentFileTitle = bufferText(buffers.title);
    return true;
}

void fileNew(App& app) {
    // The path stays: the next file dialog proposes it again.
    app.currentFileTitle.clear();
    app.log.clear();
    showLog(app);
    applyPanel(app, 0, 0, 0, 0);
    refreshModeLabels(app);

    LabelTable table = LabelTable::Pin;
    switch (app.commands.attachedModuleId()) {
        case kSettingId260:
            table = LabelTable::WireColour;
            break;
        case kSettingId280:
            table = LabelTable::Pin;
            break;
        default:
            // No module: the tables take turns, pins first.
            table = app.labelToggleCount % 2 == 1 ? LabelTable::WireColour : LabelTable::Pin;
            ++app.labelToggleCount;
            break;
    }
    drawConnectorLabels(app, table);
}

void fileOpen(App& app) {
    if (!chooseFile(app, FileDialogKind::Open)) return;
    repaintWholeWindow(app);
    const ChannelConfig config = loadConfigFileW(app.currentFilePath);
    applyPanel(app, config);
    if (const auto table = tableForFamily(config.productId)) drawConnectorLabels(app, *table);
}

void fileSave(App& app) {
    if (!productIdChosen(app)) return;
    if (!app.currentFileTitle.empty()) {
        saveTo(app, app.currentFilePath);
        return;
    }
    if (!chooseFile(app, FileDialogKind::Save)) return;
    repaintWholeWindow(app);
    saveTo(app, app.currentFilePath);
}

void fileSaveAs(App& app) {
    if (!productIdChosen(app)) return;
    if (!chooseFile(app, FileDialogKind::SaveAs)) return;
    repaintWholeWindow(app);
    saveTo(app, app.currentFilePath);
}

void onFileCommand(App& app, int id) {
    switch (id) {
        case IDM_FILE_NEW:
            fileNew(app);
            break;
        case IDM_FILE_OPEN:
            fileOpen(app);
            break;
        case IDM_FILE_SAVE:
            fileSave(app);
            break;
        case IDM_FILE_SAVEAS:
            fileSaveAs(app);
            break;
        default:
            break;
    }
}

}  // namespace zelio::ui
