#include "ui/channel_panel.h"

#include <commctrl.h>

#include "ui/main_window.h"

namespace zelio::ui {

PanelRows readPanel(const App& app) {
    PanelRows rows;
    for (size_t r = 0; r < rows.size(); ++r) {
        rows[r].caption = windowTextUtf8(app.modeButtons[r]);
        rows[r].highCheck = static_cast<int>(::SendMessageW(app.highBoxes[r], BM_GETCHECK, 0, 0));
        rows[r].highEnabled = ::IsWindowEnabled(app.highBoxes[r]) != FALSE;
        rows[r].testEnabled = ::IsWindowEnabled(app.testButtons[r]) != FALSE;
    }
    return rows;
}

void writePanel(App& app, const PanelRows& rows) {
    for (size_t r = 0; r < rows.size(); ++r) {
        if (windowTextUtf8(app.modeButtons[r]) != rows[r].caption) setWindowTextUtf8(app.modeButtons[r], rows[r].caption);
        ::SendMessageW(app.highBoxes[r], BM_SETCHECK, static_cast<WPARAM>(rows[r].highCheck), 0);
        ::EnableWindow(app.highBoxes[r], rows[r].highEnabled ? TRUE : FALSE);
        ::EnableWindow(app.testButtons[r], rows[r].testEnabled ? TRUE : FALSE);
    }
}

Masks collectPanel(const App& app) { return collect(readPanel(app)); }

ChannelConfig panelConfig(const App& app) {
    const Masks masks = collectPanel(app);
    return ChannelConfig{app.selectedProductId, masks.openDrain, masks.high, masks.input};
}

void applyPanel(App& app, uint32_t productId, uint8_t highMask, uint8_t openDrainMask, uint8_t inputMask) {
    app.selectedProductId = productId;
    if (const auto selection = listSelectionFor(productId)) {
        ::SendMessageW(app.productList, CB_SETCURSEL, static_cast<WPARAM>(*selection), 0);
    }
    PanelRows rows = readPanel(app);
    applyMasks(rows, highMask, openDrainMask, inputMask);
    writePanel(app, rows);
}

void applyPanel(App& app, const ChannelConfig& config) {
    applyPanel(app, config.productId, config.highMask, config.openDrainMask, config.inputMask);
}

void fillProductList(App& app) {
    for (const std::string& entry : productIdEntries()) {
        ::SendMessageW(app.productList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(win32::widen(entry).c_str()));
    }
}

void onModeButton(App& app, int row) {
    if (row < 0 || row >= kChannelCount) return;
    const size_t r = static_cast<size_t>(row);
    const ModeTransition next = nextMode(windowTextUtf8(app.modeButtons[r]));
    setWindowTextUtf8(app.modeButtons[r], next.newCaption);
    if (next.changesEnabling) {
        ::EnableWindow(app.highBoxes[r], next.enable ? TRUE : FALSE);
        ::EnableWindow(app.testButtons[r], next.enable ? TRUE : FALSE);
    }
    if (next.refreshLabels) refreshModeLabels(app);
}

void onProductIdSelected(App& app) {
    std::string text;
    const LRESULT selection = ::SendMessageW(app.productList, CB_GETCURSEL, 0, 0);
    if (selection != CB_ERR) {
        const LRESULT length = ::SendMessageW(app.productList, CB_GETLBTEXTLEN, static_cast<WPARAM>(selection), 0);
        if (length != CB_ERR && length >= 0) {
            std::wstring entry(static_cast<size_t>(length) + 1, L'\0');
            ::SendMessageW(app.productList, CB_GETLBTEXT, static_cast<WPARAM>(selection),
                           reinterpret_cast<LPARAM>(entry.data()));
            entry.resize(static_cast<size_t>(length));
            if (entry.size() > 4) entry.resize(4);
            text = win32::narrow(entry);
        }
    }
    app.selectedProductId = parseProductIdEntry(text);
    if (const auto table = tableForFamily(app.selectedProductId)) drawConnectorLabels(app, *table);

    if (app.statusBar) {
        // The stored status text stays; the next resize shows it again.
        ::SendMessageW(app.statusBar, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(L""));
        const std::wstring selected = win32::widen(deviceSelectedText(app.selectedProductId));
        ::SendMessageW(app.statusBar, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(selected.c_str()));
    }
}

}  // namespace zelio::ui
