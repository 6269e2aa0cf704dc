// What the page shows and does, in the window's terms: the product-ID list,
// the eight channel rows, the Data and USB commands, the File commands on
// file contents, the MessageLog, the status line and the module list. It
// keeps the window's state and texts and talks to modules through the
// command set only; the page's script renders view() and passes the user's
// clicks in. Portable: no browser in here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/panel_rules.h"
#include "protocol/command_set.h"

namespace zelio::web {

// The output test's three buttons.
enum class OutputTestKind { Blink, High, Low };

class Configurator {
public:
    explicit Configurator(CommandSet& commands);

    // The window's start: looks for a module in setting mode.
    void start();

    // The product-ID list: entry 0-17 of productIdEntries(), -1 for none.
    void selectProductId(int entry);
    // One click on row `row`'s mode button; the High box of a row.
    void clickMode(int row);
    void setHigh(int row, bool checked);

    // Data and USB.
    void write();
    void read();
    void reset();
    void changeIdTo260(int item);  // item 0 is 0x261
    void search();
    // The output test of channel row + 1; the times as typed (first three
    // characters count, as in the window's fields).
    void outputTest(int row, OutputTestKind kind, std::string_view highTime, std::string_view lowTime);

    // The platform says the device list changed.
    void devicesChanged();

    // File: New; Open with the file's bytes; Save: the bytes to store, or
    // nullopt (and a warning) while no product ID is chosen.
    void fileNew();
    void openFile(std::string_view bytes);
    std::optional<std::string> saveFile();

    // The whole view as one JSON object (see the page's script).
    std::string view() const;
    // A warning the page shows as a message box; cleared by reading it.
    std::string takeWarning();

private:
    void applyConfig(const ChannelConfig& config);
    void setLog(std::string_view text) { log_.assign(text); }
    void appendLog(std::string_view text) { log_.append(text); }
    void attachedState(uint16_t attached);
    void refreshModules();

    CommandSet& commands_;
    PanelRows rows_{};
    uint32_t selectedProductId_ = 0;
    int selection_ = -1;
    std::string log_;
    std::string status_;
    std::string selectionText_;
    std::string warning_;
    LabelTable labels_ = LabelTable::Pin;
    unsigned labelToggleCount_ = 0;
    bool attachedMenus_ = false;
    int attachedFlag_ = 0;
    std::vector<uint16_t> modules_;
};

// A JSON string literal for UTF-8 `text` (quotes included).
std::string jsonString(std::string_view text);

}  // namespace zelio::web
