// The Data and USB menu commands, File -> Exit and the devices-changed
// notification: everything on the main window that talks to a module.
#include "ui/main_window.h"

#include <dbt.h>

#include <cstdio>
#include <optional>
#include <string>

#include "resource.h"
#include "ui/channel_panel.h"
#include "ui/messages.h"

namespace zelio::ui {
namespace {

// The hourglass for the duration of a command; the arrow comes back on every
// way out.
class WaitCursor {
public:
    WaitCursor() { ::SetCursor(::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT))); }
    ~WaitCursor() { ::SetCursor(::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW))); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

void warn(App& app, const char* text) { showMessageBox(app, text, MB_OK | MB_ICONWARNING); }

// ---- Data -------------------------------------------------------------------

void writeToModule(App& app) {
    // The list's current text, at most three characters: empty when nothing
    // has been chosen.
    wchar_t shown[4] = {};
    if (app.productList) ::GetWindowTextW(app.productList, shown, 4);
    if (shown[0] == L'\0') {
        warn(app, kSelectProductId);
        return;
    }

    WaitCursor wait;
    const uint16_t attached = app.commands.attachedModuleId();
    if (familyOf(app.selectedProductId) == attached) {
        if (app.commands.writeConfiguration(panelConfig(app)))
            setLog(app, kWriteDone);
        else
            appendLog(app, kWriteFailed);
    } else if (attached == kSettingId260) {
        warn(app, kChoose261);
    } else if (attached == kSettingId280) {
        warn(app, kChoose281);
    }
}

void readFromModule(App& app) {
    WaitCursor wait;
    const int version = app.commands.readFirmwareVersion();
    if (version == 0) {
        setLog(app, kReceiveFailed);
        return;
    }
    setLog(app, formatText(kFirmwareVersion, version / 16, version % 16));

    ChannelConfig config;
    if (app.commands.readConfiguration(config)) {
        applyPanel(app, config);
        refreshModeLabels(app);
        appendLog(app, kReadDone);
    } else {
        setLog(app, kReceiveFailed);
    }

    if (const auto table = tableForFamily(app.selectedProductId)) drawConnectorLabels(app, *table);
}

// ---- USB --------------------------------------------------------------------

void resetModule(App& app) {
    if (app.commands.resetToIoMode()) {
        app.status.clear();
        showStatus(app);
        app.attachedFlag = 0;
        setLog(app, kResetDone);
    } else {
        setLog(app, kResetFailed);
    }
}

void changeIdTo260(App& app, int commandId) {
    // The menu's items name the ZEL260's IDs in order, 0x261 first.
    const std::optional<uint16_t> presentId = idChangeTarget(commandId - IDM_USB_IDCHANGE_FIRST);
    if (!presentId) return;
    if (!app.commands.changeIdTo260(*presentId))
        setLog(app, formatText(kIdNotPresent, static_cast<unsigned>(*presentId)));
    // On success the module re-enumerates as 0x260 and the device-change
    // notification announces it.
}

void searchModules(App& app) {
    WaitCursor wait;
    // The IDs follow the heading as " 0x261, 0x280".
    std::string text = kSearchResult;
    const char* separator = " ";
    for (const uint16_t id : app.link().listModules()) {
        text += formatText("%s0x%x", separator, static_cast<unsigned>(id));
        separator = ", ";
    }
    setLog(app, text);
}

}  // namespace

void onDeviceCommand(App& app, int id) {
    switch (id) {
        case IDM_DATA_WRITE:
            writeToModule(app);
            break;
        case IDM_DATA_READ:
            readFromModule(app);
            break;
        case IDM_USB_RESET:
            resetModule(app);
            break;
        case IDM_USB_SEARCH:
            searchModules(app);
            break;
        case IDM_FILE_EXIT:
            ::PostQuitMessage(0);
            break;
        default:
            if (id >= IDM_USB_IDCHANGE_FIRST && id <= IDM_USB_IDCHANGE_LAST) changeIdTo260(app, id);
            // Any other command is not ours and is ignored.
            break;
    }
}

void onDeviceChange(App& app, WPARAM event) {
    if (event != DBT_DEVNODES_CHANGED) return;

    // What the module directory knew is stale now: attach looks afresh.
    app.link().directory().drop();
    const uint16_t attached = app.commands.attach();
    if (attached != 0) {
        setAttachedMenus(app, true);
        // Input rows keep their Test button disabled.
        for (size_t r = 0; r < app.testButtons.size(); ++r) {
            const bool input = firstCharOf(app.modeButtons[r]) == L'I';
            ::EnableWindow(app.testButtons[r], input ? FALSE : TRUE);
        }
        app.status.set(formatText(kConnectedStatus, static_cast<unsigned>(attached)));
        app.attachedFlag = 1;
        setLog(app, formatText(kConnectedMessage, static_cast<unsigned>(attached)));
        drawConnectorLabels(app, attached == kSettingId260 ? LabelTable::WireColour : LabelTable::Pin);
    } else {
        setAttachedMenus(app, false);
        for (HWND button : app.testButtons) ::EnableWindow(button, FALSE);
        // The flag stays set, so every later change without a module says it
        // again; only a successful Reset clears it.
        if (app.attachedFlag) {
            app.status.set(kRemovedStatus);
            setLog(app, kRemovedMessage);
        }
    }
    showStatus(app);
}

}  // namespace zelio::ui
