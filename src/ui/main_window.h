// The main window: class, creation, layout for the window's DPI, window
// procedure, painting, keyboard navigation. What it shows and decides is the
// configurator's (app/configurator.h): the window reads its controls into it
// before every command, carries out the effects the command returns and
// shows the configurator's state on its controls.
#pragma once

#include "ui/window_parts.h"

#include <array>
#include <optional>
#include <vector>

#include "app/configurator.h"
#include "protocol/command_set.h"
#include "ui/layout.h"

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

// The controls of the panel and the product-ID list.
struct PanelControls {
    HWND productList = nullptr;                     // combobox 105
    std::array<HWND, kChannelCount> modeButtons{};  // 120 + r
    std::array<HWND, kChannelCount> highBoxes{};    // 110 + r
    std::array<HWND, kChannelCount> testButtons{};  // 130 + r
};

class MainWindow {
public:
    MainWindow(CommandSet& commands, HINSTANCE instance);
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Before the window is created: the command line's file, the stand-ins.
    void setStartupPath(const std::wstring& path) { core_.setStartupPath(win32::narrow(path)); }
    void setSeams(const FileDialogSeam* fileDialog, const MessageBoxSeam* messageBox);

    HINSTANCE instance() const { return instance_; }
    HWND window() const { return window_; }
    const Scale& scale() const { return scale_; }
    const app::Configurator& core() const { return core_; }
    const PanelControls& controls() const { return controls_; }
    HWND logControl() const { return logControl_; }
    HWND statusBar() const { return statusBar_; }
    HFONT panelFont() const { return fonts_.panel.get(); }
    HFONT logFont() const { return fonts_.log.get(); }

    // Keyboard navigation for a message from the loop: Tab and Shift+Tab move
    // the focus through the product-ID list and the rows in reading order,
    // Enter on a focused button clicks it. True when the message was used.
    bool navigate(const MSG& msg);

    // Draw at once on the client area, as the next paint draws them: the
    // connector label column at (20, 100 + 25k), the mode labels at
    // (83, 125 + 25r) on a cleared column.
    void drawConnectorLabels(LabelTable table) const;
    void refreshModeLabels() const;

    // The main window's messages (window_dispatch.h).
    LRESULT handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    friend class OutputTestDialog;

    void onCreate();
    void createFonts();
    void layoutControls() const;
    void onDpiChanged(int dpi, const RECT& suggested);
    void onCommand(WPARAM wParam, LPARAM lParam);
    void onMenu(int id);
    void paint();
    void onSize(WPARAM wParam, LPARAM lParam);
    std::vector<HWND> tabOrder() const;

    // The controls' modes, High boxes and list selection, into the core.
    void readControls();
    // The core's state onto the controls, the log, the status bar, the menu.
    void show();
    // Shows the state and carries out `effects` (dialogs, drawing, files).
    void carry(const app::Effects& effects);
    void openOutputTest(int row);

    CommandSet& commands_;
    HINSTANCE instance_;
    app::Configurator core_;
    Fonts fonts_;
    PanelControls controls_;
    HWND logControl_ = nullptr;  // edit, ID 0
    HWND statusBar_ = nullptr;
    Prompts prompts_;
    HWND window_ = nullptr;
    Scale scale_;
    bool created_ = false;

    // What the controls show, as last read or set.
    PanelRows shownRows_{};
    int shownEntry_ = -1;
    unsigned shownLog_ = 0;
    std::optional<std::string> shownStatus_, shownSelection_;
    bool shownMenus_ = false;  // the resource's states: no module
};

// Registers the main window class; false when registration fails.
bool registerMainClass(HINSTANCE instance);
void unregisterMainClass(HINSTANCE instance);

// Creates the main window for `main`, sized for its DPI, shows it with
// `showCmd` and paints it at once. nullptr when creation fails. The
// window's messages go to main.handleMessage until WM_NCDESTROY.
HWND createMainWindow(MainWindow& main, int showCmd);

}  // namespace zelio::ui
