// The main window: class, creation, window procedure, painting and the two
// label drawing operations that other handlers call.
#pragma once

#include "ui/app.h"

#include "config/panel_rules.h"
#include "ui/messages.h"

namespace zelio::ui {

inline constexpr wchar_t kMainClassName[] = L"USBOUTPUTMODULE CLASS";
inline constexpr wchar_t kMainTitle[] = L"USB I/O Module - Ver 1.0";
inline constexpr char kMessageBoxTitle[] = "USB Output Module";

// Registers the main window class; false when registration fails.
bool registerMainClass(HINSTANCE instance);
void unregisterMainClass(HINSTANCE instance);

// Creates the main window for `app` (app.instance must be set), shows it
// with `showCmd` and paints it at once. nullptr when creation fails. The
// window's messages go to app.handleMessage until WM_NCDESTROY.
HWND createMainWindow(App& app, int showCmd);

// MessageLog control := app.log.
void showLog(App& app);
// app.log := text, or app.log += text (the "%s" append), then shown.
void setLog(App& app, std::string_view text);
void appendLog(App& app, std::string_view text);
// Status bar pane 0 := app.status.
void showStatus(App& app);
// Menu states for "module attached" (Write, Read, Reset enabled; ID Change
// grayed) or "no module" (the reverse).
void setAttachedMenus(App& app, bool attached);
// Warning and information boxes go through here (app.messageBox when set).
int showMessageBox(App& app, const std::string& text, UINT type);

// Mode labels at (83, 125 + 25r) redrawn at once on a window context.
void refreshModeLabels(App& app);
// The connector label column at (20, 100 + 25k) drawn at once.
void drawConnectorLabels(App& app, LabelTable table);

// Handlers that the window procedure routes to.
void onFileCommand(App& app, int id);            // New, Open, Save, Save As
void onDeviceCommand(App& app, int id);          // Exit, Data, USB and unknown ids
void onDeviceChange(App& app, WPARAM event);     // WM_DEVICECHANGE
void openOutputTest(App& app, int row);          // Test button of row 0-7: modal dialog for channel row + 1

}  // namespace zelio::ui
