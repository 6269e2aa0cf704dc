// The Data and USB menu commands, File -> Exit and the devices-changed
// notification: everything on the main window that talks to a module.
#include "ui/main_window.h"

#include <dbt.h>

#include <cstdio>
#include <optional>
#include <string>

#include "resource.h"
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

void warn(const Prompts& prompts, const char* text) { prompts.show(text, MB_OK | MB_ICONWARNING); }

// ---- Data -------------------------------------------------------------------

void writeToModule(CommandSet& commands, const ChannelPanel& panel, MessageLog& log, const Prompts& prompts) {
    // A product ID must show in the list.
    if (!panel.listShowsEntry()) {
        warn(prompts, kSelectProductId);
        return;
    }

    WaitCursor wait;
    const uint16_t attached = commands.attachedModuleId();
    if (familyOf(panel.selectedProductId()) == attached) {
        if (commands.writeConfiguration(panel.config()))
            log.set(kWriteDone);
        else
            log.append(kWriteFailed);
    } else if (attached == kSettingId260) {
        warn(prompts, kChoose261);
    } else if (attached == kSettingId280) {
        warn(prompts, kChoose281);
    }
}

void readFromModule(CommandSet& commands, ChannelPanel& panel, MessageLog& log, const LabelPainter& labels) {
    WaitCursor wait;
    const int version = commands.readFirmwareVersion();
    if (version == 0) {
        log.set(kReceiveFailed);
        return;
    }
    log.set(formatText(kFirmwareVersion, version / 16, version % 16));

    ChannelConfig config;
    if (commands.readConfiguration(config)) {
        panel.apply(config);
        labels.refreshModeLabels(panel.rows());
        log.append(kReadDone);
    } else {
        log.set(kReceiveFailed);
    }

    if (const auto table = tableForFamily(panel.selectedProductId())) labels.drawConnectorLabels(*table);
}

// ---- USB --------------------------------------------------------------------

void resetModule(CommandSet& commands, StatusBar& status, MessageLog& log, int& attachedFlag) {
    if (commands.resetToIoMode()) {
        status.clear();
        status.show();
        attachedFlag = 0;
        log.set(kResetDone);
    } else {
        log.set(kResetFailed);
    }
}

void changeIdTo260(CommandSet& commands, MessageLog& log, int commandId) {
    // The menu's items name the ZEL260's IDs in order, 0x261 first.
    const std::optional<uint16_t> presentId = idChangeTarget(commandId - IDM_USB_IDCHANGE_FIRST);
    if (!presentId) return;
    if (!commands.changeIdTo260(*presentId)) log.set(formatText(kIdNotPresent, static_cast<unsigned>(*presentId)));
    // On success the module re-enumerates as 0x260 and the device-change
    // notification announces it.
}

void searchModules(ModuleLink& link, MessageLog& log) {
    WaitCursor wait;
    // The IDs follow the heading as " 0x261, 0x280".
    std::string text = kSearchResult;
    const char* separator = " ";
    for (const uint16_t id : link.listModules()) {
        text += formatText("%s0x%x", separator, static_cast<unsigned>(id));
        separator = ", ";
    }
    log.set(text);
}

}  // namespace

void onDeviceCommand(MainWindow& main, int id) {
    switch (id) {
        case IDM_DATA_WRITE:
            writeToModule(main.commands, main.panel, main.log, main.prompts);
            break;
        case IDM_DATA_READ:
            readFromModule(main.commands, main.panel, main.log, main.labels());
            break;
        case IDM_USB_RESET:
            resetModule(main.commands, main.status, main.log, main.attachedFlag);
            break;
        case IDM_USB_SEARCH:
            searchModules(main.commands.link(), main.log);
            break;
        case IDM_FILE_EXIT:
            ::PostQuitMessage(0);
            break;
        default:
            if (id >= IDM_USB_IDCHANGE_FIRST && id <= IDM_USB_IDCHANGE_LAST) changeIdTo260(main.commands, main.log, id);
            // Any other command is not ours and is ignored.
            break;
    }
}

void onDeviceChange(MainWindow& main, WPARAM event) {
    if (event != DBT_DEVNODES_CHANGED) return;

    // What the module directory knew is stale now: attach looks afresh.
    main.commands.link().directory().drop();
    const uint16_t attached = main.commands.attach();
    main.setAttachedMenus(attached != 0);
    main.panel.enableTests(attached != 0);
    if (attached != 0) {
        main.status.set(formatText(kConnectedStatus, static_cast<unsigned>(attached)));
        main.attachedFlag = 1;
        main.log.set(formatText(kConnectedMessage, static_cast<unsigned>(attached)));
        main.labels().drawConnectorLabels(attached == kSettingId260 ? LabelTable::WireColour : LabelTable::Pin);
    } else if (main.attachedFlag) {
        // The flag stays set, so every later change without a module says it
        // again; only a successful Reset clears it.
        main.status.set(kRemovedStatus);
        main.log.set(kRemovedMessage);
    }
    main.status.show();
}

}  // namespace zelio::ui
