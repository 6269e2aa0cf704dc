#include "app/configurator.h"

#include <utility>

#include "config/config_file.h"

namespace zelio::app {

// The wait cursor for the duration of a module command; the arrow comes back
// on every way out.
class Configurator::BusyScope {
public:
    BusyScope(const std::function<void(bool)>& busy, Effects& effects) : busy_(busy) {
        effects.waited = true;
        if (busy_) busy_(true);
    }
    ~BusyScope() {
        if (busy_) busy_(false);
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    const std::function<void(bool)>& busy_;
};

Configurator::Configurator(CommandSet& commands, Language language) : commands_(commands), language_(language) {
    state_.log.set(text(Text::SettingGuide));
}

void Configurator::setLanguage(Language language) {
    const bool guide = state_.log.str() == text(Text::SettingGuide);
    language_ = language;
    if (guide) setLog(text(Text::SettingGuide));
}

std::string Configurator::modeLabel(int row) const { return zelio::modeLabel(row, rowCaption(row)); }

const std::string& Configurator::rowCaption(int row) const {
    static const std::string none;
    return row >= 0 && row < kChannelCount ? state_.rows[static_cast<size_t>(row)].caption : none;
}

void Configurator::panelShows(int row, std::string_view caption, int highCheck) {
    if (row < 0 || row >= kChannelCount) return;
    PanelRow& r = state_.rows[static_cast<size_t>(row)];
    r.caption.assign(caption);
    r.highCheck = highCheck;
}

void Configurator::listShows(int entry) {
    state_.listEntry = entry >= 0 && entry < static_cast<int>(productIdEntries().size()) ? entry : -1;
}

void Configurator::setLog(std::string_view text) {
    state_.log.set(text);
    ++state_.logVersion;
}

void Configurator::appendLog(std::string_view text) {
    state_.log.append(text);
    ++state_.logVersion;
}

void Configurator::refreshModules() {
    if (trackModules_) state_.modules = commands_.link().listModules();
}

void Configurator::apply(const ChannelConfig& config) {
    state_.selectedProductId = config.productId;
    if (const auto selection = listSelectionFor(config.productId)) state_.listEntry = *selection;
    applyMasks(state_.rows, config.highMask, config.openDrainMask, config.inputMask);
}

ChannelConfig Configurator::collected() const {
    const Masks m = collect(state_.rows);
    return ChannelConfig{state_.selectedProductId, m.openDrain, m.high, m.input};
}

// ---- start-up ------------------------------------------------------------------

Effects Configurator::start(std::optional<std::string_view> startupFileBytes) {
    const uint16_t attached = commands_.attach();
    if (attached != 0) {
        state_.moduleMenus = true;
        state_.status.set(format(Text::ConnectedStatus, static_cast<unsigned>(attached)));
        state_.attachedFlag = 1;
        setLog(format(Text::ConnectedAtStart, static_cast<unsigned>(attached)));
    }
    // The window's first size message shows the status text.
    resized();
    refreshModules();
    // No label is drawn: the first paint draws them.
    if (!state_.filePath.empty() && startupFileBytes)
        apply(parseConfigText(std::string(startupFileBytes->substr(0, kConfigReadLimit))));
    state_.labels = paintTable();
    return {};
}

// ---- channel panel ---------------------------------------------------------------

Effects Configurator::selectEntry(int entry) {
    listShows(entry);
    const auto& entries = productIdEntries();
    state_.selectedProductId =
        state_.listEntry < 0 ? 0 : parseProductIdEntry(entries[static_cast<size_t>(state_.listEntry)]);
    Effects effects;
    effects.drawLabels = tableForFamily(state_.selectedProductId);
    if (effects.drawLabels) state_.labels = *effects.drawLabels;
    // The pane shows the empty text; the stored status text stays for the
    // next resize.
    state_.statusShown.clear();
    const std::string_view model = modelName(familyOf(state_.selectedProductId));
    state_.selectionShown = model.empty() ? std::string() : format(Text::DeviceSelected, std::string(model).c_str());
    return effects;
}

Effects Configurator::clickMode(int row) {
    Effects effects;
    if (row < 0 || row >= kChannelCount) return effects;
    PanelRow& r = state_.rows[static_cast<size_t>(row)];
    const ModeTransition next = nextMode(r.caption);
    r.caption = next.newCaption;
    if (next.changesEnabling) r.highEnabled = r.testEnabled = next.enable;
    effects.refreshModeLabels = next.refreshLabels;
    return effects;
}

// ---- Data ----------------------------------------------------------------------

Effects Configurator::write() {
    Effects effects;
    // A product ID must show in the list.
    if (state_.listEntry < 0) {
        effects.warning = text(Text::SelectProductId);
        return effects;
    }
    BusyScope busy(busy_, effects);
    const uint16_t attached = commands_.attachedModuleId();
    if (familyOf(state_.selectedProductId) == attached) {
        if (commands_.writeConfiguration(collected()))
            setLog(text(Text::WriteDone));
        else
            appendLog(text(Text::WriteFailed));
    } else if (attached == kSettingId260) {
        effects.warning = text(Text::Choose261);
    } else if (attached == kSettingId280) {
        effects.warning = text(Text::Choose281);
    }
    return effects;
}

Effects Configurator::read() {
    Effects effects;
    BusyScope busy(busy_, effects);
    const int version = commands_.readFirmwareVersion();
    if (version == 0) {
        setLog(text(Text::ReceiveFailed));
        return effects;
    }
    setLog(format(Text::FirmwareVersion, version / 16, version % 16));
    ChannelConfig config;
    if (commands_.readConfiguration(config)) {
        apply(config);
        effects.refreshModeLabels = true;
        appendLog(text(Text::ReadDone));
    } else {
        setLog(text(Text::ReceiveFailed));
    }
    effects.drawLabels = tableForFamily(state_.selectedProductId);
    if (effects.drawLabels) state_.labels = *effects.drawLabels;
    return effects;
}

// ---- USB ------------------------------------------------------------------------

Effects Configurator::reset() {
    if (commands_.resetToIoMode()) {
        state_.status.clear();
        state_.statusShown.clear();
        state_.attachedFlag = 0;
        setLog(text(Text::ResetDone));
    } else {
        setLog(text(Text::ResetFailed));
    }
    return {};
}

Effects Configurator::idChange(int item) {
    const std::optional<uint16_t> presentId = idChangeTarget(item);
    // On success the module comes back as 0x260 and the device change says so.
    if (presentId && !commands_.changeIdTo260(*presentId))
        setLog(format(Text::IdNotPresent, static_cast<unsigned>(*presentId)));
    return {};
}

Effects Configurator::search() {
    Effects effects;
    BusyScope busy(busy_, effects);
    // The IDs follow the heading as " 0x261, 0x280".
    std::string line(text(Text::SearchResult));
    const char* separator = " ";
    for (const uint16_t id : commands_.link().listModules()) {
        line += formatText("%s0x%x", separator, static_cast<unsigned>(id));
        separator = ", ";
    }
    setLog(line);
    return effects;
}

Effects Configurator::exit() {
    Effects effects;
    effects.quit = true;
    return effects;
}

Effects Configurator::devicesChanged() {
    // What the module directory knew is stale now: attach looks afresh.
    commands_.link().directory().drop();
    const uint16_t attached = commands_.attach();
    const bool found = attached != 0;
    state_.moduleMenus = found;
    // Input rows keep their Test button disabled.
    for (PanelRow& r : state_.rows) r.testEnabled = found && (r.caption.empty() || r.caption.front() != 'I');
    Effects effects;
    if (found) {
        state_.status.set(format(Text::ConnectedStatus, static_cast<unsigned>(attached)));
        state_.attachedFlag = 1;
        setLog(format(Text::ConnectedMessage, static_cast<unsigned>(attached)));
        effects.drawLabels = attached == kSettingId260 ? LabelTable::WireColour : LabelTable::Pin;
        state_.labels = *effects.drawLabels;
    } else if (state_.attachedFlag) {
        // The flag stays set, so every later change without a module says
        // it again; only a successful Reset clears it.
        state_.status.set(text(Text::RemovedStatus));
        setLog(text(Text::RemovedMessage));
    }
    state_.statusShown = state_.status.str();
    refreshModules();
    return effects;
}

// ---- output test ------------------------------------------------------------------

int parseTimeField(std::string_view text) {
    text = text.substr(0, 3);
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) value = value * 10 + (text[i] - '0');
    return negative ? -value : value;
}

std::string digitsOnly(std::string_view text) {
    std::string digits;
    for (const char c : text)
        if (c >= '0' && c <= '9') digits += c;
    return digits;
}

OutputTestOpening Configurator::openOutputTest(int row) const {
    // Nothing typed in an earlier opening survives it.
    const int channel = row + 1;
    return {channel, format(Text::OutputTestCaption, channel), kInitialTime, kInitialTime};
}

Effects Configurator::outputTest(int channel, OutputTestKind kind, std::string_view highTime, std::string_view lowTime) {
    // The channel travels as a signed byte.
    channel = static_cast<int8_t>(channel);
    const unsigned id = commands_.attachedModuleId();
    std::string call;
    bool sent = false;
    if (kind == OutputTestKind::Blink) {
        const int high = parseTimeField(highTime);
        const int low = parseTimeField(lowTime);
        // A pasted negative number is refused too: it does not fit a nibble.
        if (high > kMaxBlinkTime || low > kMaxBlinkTime || high < 0 || low < 0) {
            setLog(text(Text::TimeTooLarge));
            return {};
        }
        const int blinkByte = (high * 16 + low) & 0xFF;
        sent = commands_.outputTest(blinkByte, channel) != 0;
        call = format(Text::BlinkCall, id, static_cast<unsigned>(blinkByte), channel);
    } else {
        const bool high = kind == OutputTestKind::High;
        sent = commands_.outputTest(0, high ? channel : -channel) != 0;
        call = format(high ? Text::HighCall : Text::LowCall, id, channel);
    }
    // The module may have gone meanwhile: the ID as it is now decides.
    setLog(sent ? call : std::string(text(commands_.attachedModuleId() != 0 ? Text::SendFailed : Text::NoModule)));
    return {};
}

// ---- File -----------------------------------------------------------------------------

std::string fileTitleOf(std::string_view path) {
    // After the last separator, or after a drive ("C:name").
    const size_t cut = path.find_last_of("\\/:");
    return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

std::string withDefaultExtension(std::string_view name) {
    const std::string title = fileTitleOf(name);
    if (name.empty() || title.find('.') != std::string::npos) return std::string(name);
    return std::string(name) + "." + kDefaultExtension;
}

Effects Configurator::ask(FileDialog kind) const {
    Effects effects;
    effects.askFile = kind;
    return effects;
}

Effects Configurator::fileNew() {
    // The path stays: the next file dialog proposes it again.
    state_.fileTitle.clear();
    setLog("");
    apply(ChannelConfig{});
    Effects effects;
    effects.refreshModeLabels = true;
    switch (commands_.attachedModuleId()) {
        case kSettingId260: effects.drawLabels = LabelTable::WireColour; break;
        case kSettingId280: effects.drawLabels = LabelTable::Pin; break;
        default:
            // No module: the tables take turns, pins first.
            effects.drawLabels = state_.labelToggleCount++ % 2 == 1 ? LabelTable::WireColour : LabelTable::Pin;
            break;
    }
    state_.labels = *effects.drawLabels;
    return effects;
}

Effects Configurator::opened(std::string path, std::string title, std::string_view bytes) {
    if (path.empty()) return {};
    state_.filePath = std::move(path);
    state_.fileTitle = std::move(title);
    const ChannelConfig config = parseConfigText(std::string(bytes.substr(0, kConfigReadLimit)));
    apply(config);
    Effects effects;
    effects.drawLabels = tableForFamily(config.productId);
    // The repaint comes after the drawing and paints the table of the loaded ID.
    effects.repaint = true;
    state_.labels = paintTable();
    return effects;
}

Effects Configurator::fileSave(bool saveAs) {
    Effects effects;
    if (state_.selectedProductId == 0) {
        effects.warning = text(Text::SelectProductId);
        return effects;
    }
    if (!saveAs && !state_.fileTitle.empty()) return saveTo();
    return ask(saveAs ? FileDialog::SaveAs : FileDialog::Save);
}

Effects Configurator::saveChosen(std::string path, std::string title) {
    if (path.empty() || state_.selectedProductId == 0) return {};
    state_.filePath = std::move(path);
    state_.fileTitle = std::move(title);
    Effects effects = saveTo();
    effects.repaint = true;
    state_.labels = paintTable();
    return effects;
}

Effects Configurator::saveTo() {
    Effects effects;
    effects.saveBytes = formatConfigLine(collected());
    return effects;
}

Effects Configurator::saveFailed() const {
    Effects effects;
    const std::string title = fileTitleOf(state_.filePath);
    effects.warning = title.empty() ? std::string(text(Text::SaveFailed)) : format(Text::SaveFailedNamed, title.c_str());
    return effects;
}

}  // namespace zelio::app
