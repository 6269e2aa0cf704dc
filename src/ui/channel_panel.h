// The channel panel and product-ID list on the main window's controls. The
// decisions come from config/panel_rules.h; this file reads and writes the
// controls.
#pragma once

#include "ui/app.h"

#include "config/panel_rules.h"

namespace zelio::ui {

// What the 24 panel controls show now.
PanelRows readPanel(const App& app);
// Makes the controls show `rows` (captions, High check states, enabling).
void writePanel(App& app, const PanelRows& rows);

// Collect: the three masks from the panel.
Masks collectPanel(const App& app);
// The masks under SelectedProductId: what Write sends and Save stores.
ChannelConfig panelConfig(const App& app);
// Apply: SelectedProductId, list selection and the eight rows. Draws no label.
void applyPanel(App& app, uint32_t productId, uint8_t highMask, uint8_t openDrainMask, uint8_t inputMask);
void applyPanel(App& app, const ChannelConfig& config);

// The 18 entries "261".."269", "281".."289", none selected.
void fillProductList(App& app);

// Click on mode button 120 + row.
void onModeButton(App& app, int row);
// CBN_SELCHANGE from the product-ID list.
void onProductIdSelected(App& app);

}  // namespace zelio::ui
