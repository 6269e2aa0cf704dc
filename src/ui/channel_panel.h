// The channel panel: the eight rows' modes and High states and the chosen
// product ID, held here and shown on the main window's controls. The rules
// come from config/panel_rules.h; nothing is read back from the controls but
// the user's own input (a High box's check, the list's selection).
#pragma once

#include "ui/win32_util.h"

#include <array>
#include <cstdint>

#include "config/channel_config.h"
#include "config/panel_rules.h"

namespace zelio::ui {

// The controls of the panel and the product-ID list, created and owned by the
// main window.
struct PanelControls {
    HWND productList = nullptr;                     // combobox 105
    std::array<HWND, kChannelCount> modeButtons{};  // 120 + r
    std::array<HWND, kChannelCount> highBoxes{};    // 110 + r
    std::array<HWND, kChannelCount> testButtons{};  // 130 + r
};

class ChannelPanel {
public:
    explicit ChannelPanel(const PanelControls& controls) : controls_(controls) {}
    ChannelPanel(const ChannelPanel&) = delete;
    ChannelPanel& operator=(const ChannelPanel&) = delete;

    // What the rows hold.
    const PanelRows& rows() const { return rows_; }
    // Collect: the three masks.
    Masks masks() const { return collect(rows_); }
    // SelectedProductId with the masks: what Write sends and Save stores.
    ChannelConfig config() const;
    // SelectedProductId: the one record of the chosen product ID (0 = none).
    uint32_t selectedProductId() const { return productId_; }
    // Whether the product-ID list shows an entry for it (Write needs one).
    bool listShowsEntry() const { return listEntry_ >= 0; }

    // Apply: SelectedProductId, the list's selection and the eight rows.
    // Draws no label.
    void apply(const ChannelConfig& config);
    // A click on mode button 120 + row: true when the row became an input or
    // stopped being one (the mode labels change).
    bool clickMode(int row);
    // BN_CLICKED from High box 110 + row: the box checked itself.
    void highClicked(int row);
    // CBN_SELCHANGE: the entry the user chose becomes SelectedProductId.
    uint32_t listSelectionChanged();
    // After a device change: the Test buttons of output rows follow whether a
    // module is there; input rows keep theirs disabled.
    void enableTests(bool moduleFound);

    // The 18 entries "261".."269", "281".."289", none selected.
    void fillList() const;

private:
    void renderRow(size_t r);

    const PanelControls& controls_;
    PanelRows rows_{};
    PanelRows shown_{};  // what the controls show: at creation, the same
    uint32_t productId_ = 0;
    int listEntry_ = -1;
};

}  // namespace zelio::ui
