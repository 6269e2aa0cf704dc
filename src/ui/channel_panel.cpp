#include "ui/channel_panel.h"

#include <string>

namespace zelio::ui {

ChannelConfig ChannelPanel::config() const {
    const Masks m = masks();
    return ChannelConfig{productId_, m.openDrain, m.high, m.input};
}

void ChannelPanel::apply(const ChannelConfig& config) {
    productId_ = config.productId;
    if (const auto selection = listSelectionFor(config.productId)) {
        listEntry_ = *selection;
        ::SendMessageW(controls_.productList, CB_SETCURSEL, static_cast<WPARAM>(listEntry_), 0);
    }
    applyMasks(rows_, config.highMask, config.openDrainMask, config.inputMask);
    for (size_t r = 0; r < rows_.size(); ++r) renderRow(r);
}

bool ChannelPanel::clickMode(int row) {
    if (row < 0 || row >= kChannelCount) return false;
    const size_t r = static_cast<size_t>(row);
    const ModeTransition next = nextMode(rows_[r].caption);
    rows_[r].caption = next.newCaption;
    if (next.changesEnabling) rows_[r].highEnabled = rows_[r].testEnabled = next.enable;
    renderRow(r);
    return next.refreshLabels;
}

void ChannelPanel::highClicked(int row) {
    if (row < 0 || row >= kChannelCount) return;
    const size_t r = static_cast<size_t>(row);
    rows_[r].highCheck = shown_[r].highCheck =
        static_cast<int>(::SendMessageW(controls_.highBoxes[r], BM_GETCHECK, 0, 0));
}

uint32_t ChannelPanel::listSelectionChanged() {
    const LRESULT selection = ::SendMessageW(controls_.productList, CB_GETCURSEL, 0, 0);
    const auto& entries = productIdEntries();
    const bool valid = selection >= 0 && static_cast<size_t>(selection) < entries.size();
    listEntry_ = valid ? static_cast<int>(selection) : -1;
    productId_ = valid ? parseProductIdEntry(entries[static_cast<size_t>(selection)]) : 0;
    return productId_;
}

void ChannelPanel::enableTests(bool moduleFound) {
    for (size_t r = 0; r < rows_.size(); ++r) {
        rows_[r].testEnabled = moduleFound && rows_[r].caption != kCaptionInput;
        renderRow(r);
    }
}

void ChannelPanel::fillList() const {
    for (const std::string& entry : productIdEntries()) {
        ::SendMessageW(controls_.productList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(win32::widen(entry).c_str()));
    }
}

void ChannelPanel::renderRow(size_t r) {
    const PanelRow& row = rows_[r];
    PanelRow& shown = shown_[r];
    if (shown.caption != row.caption) setWindowTextUtf8(controls_.modeButtons[r], row.caption);
    if (shown.highCheck != row.highCheck)
        ::SendMessageW(controls_.highBoxes[r], BM_SETCHECK, static_cast<WPARAM>(row.highCheck), 0);
    ::EnableWindow(controls_.highBoxes[r], row.highEnabled ? TRUE : FALSE);
    ::EnableWindow(controls_.testButtons[r], row.testEnabled ? TRUE : FALSE);
    shown = row;
}

}  // namespace zelio::ui
