// The main window: class, creation, layout for the window's DPI, window
// procedure, painting, keyboard navigation, and the parts that the handlers
// are given (channel panel, MessageLog, status bar, file state, prompts).
#pragma once

#include "ui/window_parts.h"

#include <vector>

#include "config/panel_rules.h"
#include "protocol/command_set.h"
#include "ui/channel_panel.h"
#include "ui/layout.h"
#include "ui/messages.h"

namespace zelio::ui {

inline constexpr wchar_t kMainClassName[] = L"USBOUTPUTMODULE CLASS";
inline constexpr wchar_t kMainTitle[] = L"USB I/O Module - Ver 1.0";

// Panel font (height 12): channel panel controls and every painted text.
// Log font (height 13): product-ID list, MessageLog, output test fields.
// Both are made for the window's DPI.
struct Fonts {
    win32::unique_hfont panel;
    win32::unique_hfont log;
};

// Draws the label columns at once on the window's client area, as the next
// paint draws them.
class LabelPainter {
public:
    LabelPainter(HWND window, HFONT font, const Scale& scale) : window_(window), font_(font), scale_(scale) {}
    // The mode labels of `rows` at (83, 125 + 25r) on a cleared column.
    void refreshModeLabels(const PanelRows& rows) const;
    // The connector label column at (20, 100 + 25k).
    void drawConnectorLabels(LabelTable table) const;

private:
    HWND window_;
    HFONT font_;
    Scale scale_;
};

class MainWindow {
public:
    MainWindow(CommandSet& commandSet, HINSTANCE instance) : commands(commandSet), instance(instance) {}
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Module access. AttachedModuleId is commands.attachedModuleId().
    CommandSet& commands;
    HINSTANCE instance;

    Fonts fonts;
    PanelControls controls;
    ChannelPanel panel{controls};
    MessageLog log;   // edit, ID 0
    StatusBar status;
    FileState file;
    Prompts prompts;
    int attachedFlag = 0;

    HWND window() const { return window_; }
    const Scale& scale() const { return scale_; }
    LabelPainter labels() const { return LabelPainter(window_, fonts.panel.get(), scale_); }

    // Menu states for "module attached" (Write, Read, Reset enabled; ID
    // Change grayed) or "no module" (the reverse).
    void setAttachedMenus(bool attached) const;

    // Keyboard navigation for a message from the loop: Tab and Shift+Tab move
    // the focus through the product-ID list and the rows in reading order,
    // Enter on a focused button clicks it. True when the message was used.
    bool navigate(const MSG& msg);

    // The main window's messages (window_dispatch.h).
    LRESULT handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    void onCreate();
    void createFonts();
    void layoutControls() const;
    void onDpiChanged(int dpi, const RECT& suggested);
    void onCommand(WPARAM wParam, LPARAM lParam);
    void paint() const;
    std::vector<HWND> tabOrder() const;

    HWND window_ = nullptr;
    Scale scale_;
};

// Registers the main window class; false when registration fails.
bool registerMainClass(HINSTANCE instance);
void unregisterMainClass(HINSTANCE instance);

// Creates the main window for `main`, sized for its DPI, shows it with
// `showCmd` and paints it at once. nullptr when creation fails. The
// window's messages go to main.handleMessage until WM_NCDESTROY.
HWND createMainWindow(MainWindow& main, int showCmd);

// Handlers that the window procedure routes to.
void onFileCommand(MainWindow& main, int id);         // New, Open, Save, Save As
void onDeviceCommand(MainWindow& main, int id);       // Exit, Data, USB and unknown ids
void onDeviceChange(MainWindow& main, WPARAM event);  // WM_DEVICECHANGE
void openOutputTest(MainWindow& main, int row);       // Test button of row 0-7: modal dialog for channel row + 1

}  // namespace zelio::ui
