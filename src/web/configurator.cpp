#include "web/configurator.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "config/config_file.h"
#include "ui/messages.h"

namespace zelio::web {
namespace {

using namespace zelio::ui;

// snprintf into a std::string, for the window's printf-style texts.
template <typename... Args>
std::string format(const char* pattern, Args... args) {
    char text[512];
    std::snprintf(text, sizeof text, pattern, args...);
    return text;
}

// A time field as the window reads it: its first three characters, as a
// decimal number (blanks, a sign, digits); 0 when there is no digit.
int timeField(std::string_view typed) {
    const std::string text(typed.substr(0, 3));
    return static_cast<int>(std::strtol(text.c_str(), nullptr, 10));
}

}  // namespace

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            out += format("\\u%04x", static_cast<unsigned>(byte));
        } else {
            out += c;
        }
    }
    return out + '"';
}

Configurator::Configurator(CommandSet& commands) : commands_(commands), log_(kSettingGuide) {}

void Configurator::start() {
    const uint16_t attached = commands_.attach();
    if (attached != 0) {
        attachedMenus_ = true;
        status_ = format(kConnectedStatus, static_cast<unsigned>(attached));
        attachedFlag_ = 1;
        setLog(format(kConnectedAtStart, static_cast<unsigned>(attached)));
    }
    refreshModules();
}

void Configurator::selectProductId(int entry) {
    const auto& entries = productIdEntries();
    selection_ = entry >= 0 && entry < static_cast<int>(entries.size()) ? entry : -1;
    selectedProductId_ = selection_ < 0 ? 0 : parseProductIdEntry(entries[static_cast<size_t>(selection_)]);
    if (const auto table = tableForFamily(selectedProductId_)) labels_ = *table;
    selectionText_ = deviceSelectedText(selectedProductId_);
}

void Configurator::clickMode(int row) {
    if (row < 0 || row >= kChannelCount) return;
    PanelRow& r = rows_[static_cast<size_t>(row)];
    const ModeTransition next = nextMode(r.caption);
    r.caption = next.newCaption;
    if (next.changesEnabling) r.highEnabled = r.testEnabled = next.enable;
}

void Configurator::setHigh(int row, bool checked) {
    if (row < 0 || row >= kChannelCount) return;
    PanelRow& r = rows_[static_cast<size_t>(row)];
    if (r.highEnabled) r.highCheck = checked ? 1 : 0;
}

void Configurator::applyConfig(const ChannelConfig& config) {
    selectedProductId_ = config.productId;
    if (const auto selection = listSelectionFor(config.productId)) selection_ = *selection;
    applyMasks(rows_, config.highMask, config.openDrainMask, config.inputMask);
}

void Configurator::write() {
    if (selection_ < 0) {
        warning_ = kSelectProductId;
        return;
    }
    const uint16_t attached = commands_.attachedModuleId();
    if (familyOf(selectedProductId_) == attached) {
        const Masks masks = collect(rows_);
        if (commands_.writeConfiguration(ChannelConfig{selectedProductId_, masks.openDrain, masks.high, masks.input}))
            setLog(kWriteDone);
        else
            appendLog(kWriteFailed);
    } else if (attached == kSettingId260) {
        warning_ = kChoose261;
    } else if (attached == kSettingId280) {
        warning_ = kChoose281;
    }
}

void Configurator::read() {
    const int version = commands_.readFirmwareVersion();
    if (version == 0) {
        setLog(kReceiveFailed);
        return;
    }
    setLog(format(kFirmwareVersion, version / 16, version % 16));
    ChannelConfig config;
    if (commands_.readConfiguration(config)) {
        applyConfig(config);
        appendLog(kReadDone);
    } else {
        setLog(kReceiveFailed);
    }
    if (const auto table = tableForFamily(selectedProductId_)) labels_ = *table;
}

void Configurator::reset() {
    if (commands_.resetToIoMode()) {
        status_.clear();
        attachedFlag_ = 0;
        setLog(kResetDone);
    } else {
        setLog(kResetFailed);
    }
}

void Configurator::changeIdTo260(int item) {
    const std::optional<uint16_t> presentId = idChangeTarget(item);
    if (!presentId) return;
    // On success the module comes back as 0x260 and the device change says so.
    if (!commands_.changeIdTo260(*presentId)) setLog(format(kIdNotPresent, static_cast<unsigned>(*presentId)));
}

void Configurator::search() {
    std::string text = kSearchResult;
    const char* separator = " ";
    for (const uint16_t id : commands_.link().listModules()) {
        text += format("%s0x%x", separator, static_cast<unsigned>(id));
        separator = ", ";
    }
    setLog(text);
}

void Configurator::outputTest(int row, OutputTestKind kind, std::string_view highTime, std::string_view lowTime) {
    if (row < 0 || row >= kChannelCount) return;
    const int channel = row + 1;
    const unsigned id = commands_.attachedModuleId();
    std::string call;
    bool sent = false;
    if (kind == OutputTestKind::Blink) {
        const int high = timeField(highTime);
        const int low = timeField(lowTime);
        if (high > kMaxBlinkTime || low > kMaxBlinkTime || high < 0 || low < 0) {
            setLog(kTimeTooLarge);
            return;
        }
        const int blinkByte = (high * 16 + low) & 0xFF;
        sent = commands_.outputTest(blinkByte, channel) != 0;
        call = format(kBlinkCall, id, static_cast<unsigned>(blinkByte), channel);
    } else {
        const bool high = kind == OutputTestKind::High;
        sent = commands_.outputTest(0, high ? channel : -channel) != 0;
        call = format(high ? kHighCall : kLowCall, id, channel);
    }
    if (sent)
        setLog(call);
    else
        setLog(commands_.attachedModuleId() != 0 ? kSendFailed : kNoModule);
}

void Configurator::devicesChanged() {
    const uint16_t attached = commands_.attach();
    if (attached != 0) {
        attachedMenus_ = true;
        // Input rows keep their Test button disabled.
        for (PanelRow& r : rows_) r.testEnabled = r.caption.empty() || r.caption.front() != 'I';
        status_ = format(kConnectedStatus, static_cast<unsigned>(attached));
        attachedFlag_ = 1;
        setLog(format(kConnectedMessage, static_cast<unsigned>(attached)));
        labels_ = attached == kSettingId260 ? LabelTable::WireColour : LabelTable::Pin;
    } else {
        attachedMenus_ = false;
        for (PanelRow& r : rows_) r.testEnabled = false;
        // The flag stays set until a Reset: every later change says it again.
        if (attachedFlag_) {
            status_ = kRemovedStatus;
            setLog(kRemovedMessage);
        }
    }
    refreshModules();
}

void Configurator::refreshModules() { modules_ = commands_.link().listModules(); }

void Configurator::fileNew() {
    log_.clear();
    applyConfig(ChannelConfig{});
    switch (commands_.attachedModuleId()) {
        case kSettingId260: labels_ = LabelTable::WireColour; break;
        case kSettingId280: labels_ = LabelTable::Pin; break;
        default:
            // No module: the tables take turns, pins first.
            labels_ = labelToggleCount_++ % 2 == 1 ? LabelTable::WireColour : LabelTable::Pin;
            break;
    }
}

void Configurator::openFile(std::string_view bytes) {
    const ChannelConfig config = parseConfigText(std::string(bytes.substr(0, kConfigReadLimit)));
    applyConfig(config);
    if (const auto table = tableForFamily(config.productId)) labels_ = *table;
}

std::optional<std::string> Configurator::saveFile() {
    if (selectedProductId_ == 0) {
        warning_ = kSelectProductId;
        return std::nullopt;
    }
    const Masks masks = collect(rows_);
    return formatConfigLine(ChannelConfig{selectedProductId_, masks.openDrain, masks.high, masks.input});
}

std::string Configurator::takeWarning() { return std::exchange(warning_, std::string()); }

std::string Configurator::view() const {
    std::string json = "{\"log\":" + jsonString(log_) + ",\"status\":" + jsonString(status_) +
                       ",\"selected\":" + jsonString(selectionText_) +
                       ",\"entry\":" + std::to_string(selection_) + ",\"entries\":[";
    const char* comma = "";
    for (const std::string& entry : productIdEntries()) {
        json += comma + jsonString(entry);
        comma = ",";
    }
    json += "],\"rows\":[";
    comma = "";
    for (int r = 0; r < kChannelCount; ++r) {
        const PanelRow& row = rows_[static_cast<size_t>(r)];
        json += std::string(comma) + "{\"caption\":" + jsonString(row.caption) +
                ",\"label\":" + jsonString(modeLabel(r, row.caption)) +
                ",\"high\":" + (row.highCheck == 1 ? "true" : "false") +
                ",\"highEnabled\":" + (row.highEnabled ? "true" : "false") +
                ",\"testEnabled\":" + (row.testEnabled ? "true" : "false") + "}";
        comma = ",";
    }
    json += "],\"labels\":[";
    comma = "";
    for (const std::string& label : labelRows(labels_)) {
        json += comma + jsonString(label);
        comma = ",";
    }
    json += "],\"attached\":" + std::string(attachedMenus_ ? "true" : "false") + ",\"modules\":[";
    comma = "";
    for (const uint16_t id : modules_) {
        json += comma + jsonString(format("0x%x %s", static_cast<unsigned>(id), std::string(modelName(id)).c_str()));
        comma = ",";
    }
    return json + "]}";
}

}  // namespace zelio::web
