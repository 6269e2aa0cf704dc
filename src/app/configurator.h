// The configurator: what the main window (and the page, which shows the same)
// holds and decides. The channel rows, the product-ID choice, the MessageLog,
// the status bar, the attached state and the configuration file live here;
// every command of the window is decided here, once. A face (the Win32
// window, the page) shows state() and carries out the Effects each action
// returns; before an action that reads the panel it tells the core what its
// controls show (panelShows, listShows), so what is on screen is what counts.
// Portable: no platform header.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/bounded_text.h"
#include "app/texts.h"
#include "config/panel_rules.h"
#include "protocol/command_set.h"

namespace zelio::app {

enum class FileDialog { Open, Save, SaveAs };
enum class OutputTestKind { Blink, High, Low };

// What a face must do after an action, besides showing state().
struct Effects {
    std::string warning;                   // a warning box titled Text::MessageBoxTitle
    std::optional<FileDialog> askFile;     // ask for a file, then fileChosen() / opened()
    std::optional<std::string> saveBytes;  // write them to state().filePath, then saveFailed() if that failed
    std::optional<LabelTable> drawLabels;  // draw the connector label column at once
    bool refreshModeLabels = false;        // redraw the mode labels at once
    bool repaint = false;                  // repaint the whole window (after the drawing above)
    bool waited = false;                   // the action ran under the wait cursor
    bool quit = false;                     // end the program
};

// The output test dialog as it opens.
struct OutputTestOpening {
    int channel = 0;       // 1-8
    std::string caption;   // "Output Test - OUT 3"
    std::string highTime;  // "5"
    std::string lowTime;   // "5"
};

struct State {
    PanelRows rows{};
    uint32_t selectedProductId = 0;  // SelectedProductId; 0 = none
    int listEntry = -1;              // the product-ID list's selection, -1 = none
    LogText log;
    unsigned logVersion = 0;         // counts every composed message (the log control is set)
    StatusText status;               // the stored status text
    std::string statusShown;         // what the status bar's pane shows now
    std::string selectionShown;      // the second pane: "Device Selected ZEL280"
    LabelTable labels = LabelTable::Pin;  // the connector label column as shown
    bool moduleMenus = false;        // Write, Read, Reset enabled; ID Change grayed
    int attachedFlag = 0;            // AttachedFlag
    std::string filePath;            // the current file path (UTF-8)
    std::string fileTitle;           // the current file title; empty = Save asks
    unsigned labelToggleCount = 0;   // New commands given without a module
    std::vector<uint16_t> modules;   // the module list (tracked on request)
};

class Configurator {
public:
    explicit Configurator(CommandSet& commands, Language language = Language::Korean);
    Configurator(const Configurator&) = delete;
    Configurator& operator=(const Configurator&) = delete;

    const State& state() const { return state_; }
    Language language() const { return language_; }
    // New texts in `language`; a log still showing the setting guide follows.
    void setLanguage(Language language);
    std::string_view text(Text id) const { return app::text(id, language_); }
    // The mode label of row r as painted: "[ IN bit7 ]" or "[ OUT 1 ]".
    std::string modeLabel(int row) const;
    // The table that painting draws: wire colours for family 0x260, else pins.
    LabelTable paintTable() const { return tableForPaint(state_.selectedProductId); }
    // Shown while a command talks to the module (true) and after (false).
    void onBusy(std::function<void(bool)> busy) { busy_ = std::move(busy); }
    // Keep state().modules current (the page shows it; the window does not).
    void trackModules(bool on) { trackModules_ = on; }

    // ---- what the controls show ------------------------------------------------
    // A row's mode caption and High check state (0, 1, 2 as BM_GETCHECK).
    void panelShows(int row, std::string_view caption, int highCheck);
    void listShows(int entry);

    // ---- start-up and the window ----------------------------------------------
    // Window creation: looks for a module in setting mode; then, with a
    // start-up file (filePath set, its bytes read), applies it.
    Effects start(std::optional<std::string_view> startupFileBytes = std::nullopt);
    void setStartupPath(std::string path) { state_.filePath = std::move(path); }
    // WM_SIZE: the status bar shows the stored status text again.
    void resized() { state_.statusShown = state_.status.str(); }

    // ---- channel panel ---------------------------------------------------------
    Effects selectEntry(int entry);   // the product-ID list's selection changed
    Effects clickMode(int row);
    void setHigh(int row, int check) { panelShows(row, rowCaption(row), check); }

    // ---- Data, USB, Exit, device change ---------------------------------------
    Effects write();
    Effects read();
    Effects reset();
    Effects idChange(int item);       // menu item 0 is "ID Change (261->260)"
    Effects search();
    Effects exit();
    Effects devicesChanged();

    // ---- output test -------------------------------------------------------------
    OutputTestOpening openOutputTest(int row) const;
    // The times as typed (the first three characters count).
    Effects outputTest(int channel, OutputTestKind kind, std::string_view highTime, std::string_view lowTime);

    // ---- File ----------------------------------------------------------------------
    Effects fileNew();
    Effects fileOpen() { return ask(FileDialog::Open); }
    // The file chosen for Open, with its first bytes (at most 512 count).
    Effects opened(std::string path, std::string title, std::string_view bytes);
    Effects fileSave(bool saveAs);
    // The file chosen for Save / Save As.
    Effects saveChosen(std::string path, std::string title);
    Effects saveFailed() const;

private:
    Effects ask(FileDialog kind) const;
    template <class... Args>
    std::string format(Text id, Args... args) const { return formatText(text(id).data(), args...); }
    const std::string& rowCaption(int row) const;
    void apply(const ChannelConfig& config);
    ChannelConfig collected() const;
    void setLog(std::string_view text);
    void appendLog(std::string_view text);
    void refreshModules();
    Effects saveTo();

    class BusyScope;

    CommandSet& commands_;
    Language language_;
    State state_;
    std::function<void(bool)> busy_;
    bool trackModules_ = false;
};

// Decimal conversion of a time field's text: its first three characters,
// leading white space skipped, an optional sign, digits up to the first
// other character; 0 without a digit.
int parseTimeField(std::string_view text);
// What a digits-only field keeps of typed or pasted text.
std::string digitsOnly(std::string_view text);
// Times above this do not fit the blink byte's nibbles.
inline constexpr int kMaxBlinkTime = 15;
inline constexpr char kInitialTime[] = "5";

// The extension the file dialogs add to a name typed without one.
inline constexpr char kDefaultExtension[] = "kbd";
std::string withDefaultExtension(std::string_view name);

// The file name part of a path ("C:\a\b.kbd" -> "b.kbd").
std::string fileTitleOf(std::string_view path);

}  // namespace zelio::app
