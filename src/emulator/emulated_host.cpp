#include "emulator/emulated_host.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "link/module_link.h"
#include "ids/product_id.h"

namespace zelio {

// ---------------------------------------------------------------- module

VirtualModule::VirtualModule(Model model, int nibble, uint8_t fw) : idNibble(nibble), firmware(fw), model_(model) {}

uint16_t VirtualModule::enumeratedId() const {
    const ModuleMode mode = mode_ == ModuleMode::Unplugged ? lastPluggedMode_ : mode_;
    if (mode == ModuleMode::Setting) return family();
    return static_cast<uint16_t>(family() | (idNibble & 0xF));
}

uint16_t VirtualModule::productId() const { return plugged() ? enumeratedId() : 0; }

std::string VirtualModule::stateLine() const {
    const char* mode = mode_ == ModuleMode::Setting ? "setting" : mode_ == ModuleMode::Normal ? "normal" : "unplugged";
    std::string last;
    if (received.empty()) {
        last = "-";
    } else {
        for (uint8_t b : received.back()) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%02X", b);
            if (!last.empty()) last += ' ';
            last += hex;
        }
    }
    char line[160];
    std::snprintf(line, sizeof line, "pid=0x%03X mode=%s fw=0x%02X id=%X od=0x%02X high=0x%02X in=0x%02X last=",
                  enumeratedId(), mode, firmware, static_cast<unsigned>(idNibble & 0xF), openDrainMask, highMask,
                  inputMask);
    return line + last;
}

std::string emulatedSerial(int n) {
    char text[24];
    std::snprintf(text, sizeof text, "EMU%04d", n);
    return text;
}

// ---------------------------------------------------------------- host

using Guard = std::lock_guard<std::recursive_mutex>;

struct EmulatedHost::Entry {
    enum Kind { Module, Foreign, Locked } kind;
    VirtualModule* module = nullptr;
    HidAttributes attrs{};
    std::string path;
};

class EmulatedHandle final : public HidHandle {
public:
    EmulatedHandle(EmulatedHost* host, EmulatedHost::Entry* entry, bool overlapped)
        : host_(host), entry_(entry), overlapped_(overlapped),
          epoch_(entry->module ? entry->module->epoch_ : 0) {
        host_->handles_.push_back(this);  // open() holds the lock
    }
    ~EmulatedHandle() override {
        if (!host_) return;
        Guard lock(host_->mutex_);
        std::erase(host_->handles_, this);
    }

    bool gone(const char* call) {
        failure_ = Failure{FailureKind::Gone, call, "the device is no longer connected"};
        return false;
    }

    bool attributes(HidAttributes& out) override {
        if (!host_) return false;
        Guard lock(host_->mutex_);
        if (!live()) return false;
        out = entry_->kind == EmulatedHost::Entry::Module
                  ? HidAttributes{kModuleVendorId, entry_->module->productId()}
                  : entry_->attrs;
        return true;
    }

    bool caps(HidCaps& out) override {
        if (!host_) return false;
        Guard lock(host_->mutex_);
        if (!live()) return false;
        if (entry_->module)
            out = HidCaps{entry_->module->inputReportLength, entry_->module->outputReportLength};
        else
            out = HidCaps{9, 9};
        return true;
    }

    bool write(const uint8_t* data, size_t length) override {
        if (!host_) return gone("write");
        std::unique_lock<std::recursive_mutex> lock(host_->mutex_);
        host_->runJig();
        if (!live()) return gone("write");
        host_->arrive();
        VirtualModule* m = entry_->module;
        if (!m) return length > 0;  // another device takes whatever it is sent
        if (m->holdWrites) {
            // The writer waits its bound, cancels, and the module never saw it.
            lock.unlock();
            host_->clock_.sleepMs(kWriteTimeoutMs);
            failure_ = Failure{FailureKind::Timeout, "write",
                               "the device did not take the report within " + std::to_string(kWriteTimeoutMs) + " ms"};
            return false;
        }
        if (m->refuseWrites || length != m->outputReportLength) {
            failure_ = Failure{FailureKind::Io, "write", "the device refused the report"};
            return false;
        }
        host_->handleReport(*m, data, length);
        return true;
    }

    ReadResult read(uint8_t* buffer, size_t length, int timeoutMs) override {
        if (!host_) {
            gone("read");
            return ReadResult::Error;
        }
        Clock& clock = host_->clock_;
        const int64_t end = clock.nowMs() + std::max(timeoutMs, 0);
        if (!overlapped_) {  // reports only reach the handles opened for reads
            if (timeoutMs > 0) clock.sleepMs(timeoutMs);
            return ReadResult::Timeout;
        }
        // Let go while waiting, so that other threads' modules go on.
        std::unique_lock<std::recursive_mutex> lock(host_->mutex_, std::defer_lock);
        const auto sleep = [&](int64_t ms) {
            lock.unlock();
            clock.sleepMs(static_cast<int>(ms));
        };
        for (;;) {
            lock.lock();
            host_->runJig();
            host_->arrive();
            if (!queue_.empty()) {
                std::fill(buffer, buffer + length, uint8_t{0});
                std::copy_n(queue_.front().begin(), std::min(length, queue_.front().size()), buffer);
                queue_.pop_front();
                return ReadResult::Ok;
            }
            if (!live()) {  // the device went away
                gone("read");
                return ReadResult::Error;
            }
            // Wait for the next report of this device, if it comes in time;
            // one arriving just as the time runs out is still read.
            const int64_t next = host_->nextArrival(entry_->module, epoch_);
            const int64_t now = clock.nowMs();
            if (entry_->module && next >= 0 && next <= end) {
                if (next > now)
                    sleep(next - now);
                else
                    lock.unlock();
                continue;
            }
            if (end > now) sleep(end - now);
            return ReadResult::Timeout;
        }
    }

private:
    friend class EmulatedHost;

    bool live() const {
        if (!host_) return false;
        const VirtualModule* m = entry_->module;
        return !m || (m->plugged() && m->epoch_ == epoch_);
    }

    EmulatedHost* host_;
    EmulatedHost::Entry* entry_;
    bool overlapped_;
    unsigned epoch_;
    std::deque<std::vector<uint8_t>> queue_;
};

EmulatedHost::EmulatedHost(Clock& clock) : clock_(clock) {}

EmulatedHost::~EmulatedHost() {
    Guard lock(mutex_);
    for (EmulatedHandle* h : handles_) h->host_ = nullptr;
}

VirtualModule& EmulatedHost::addModule(Model model, int idNibble, uint8_t firmware, ModuleMode mode) {
    Guard lock(mutex_);
    modules_.push_back(std::make_unique<VirtualModule>(model, idNibble, firmware));
    VirtualModule& m = *modules_.back();
    m.port = "1-1." + std::to_string(modules_.size());
    m.mode_ = mode == ModuleMode::Unplugged ? ModuleMode::Unplugged : mode;
    m.lastPluggedMode_ = mode == ModuleMode::Unplugged ? ModuleMode::Normal : mode;
    auto entry = std::make_unique<Entry>();
    entry->kind = Entry::Module;
    entry->module = &m;
    entry->path = "emu://" + std::to_string(entries_.size());
    entries_.push_back(std::move(entry));
    ++changes_;
    return m;
}

void EmulatedHost::addForeignDevice(uint16_t vendorId, uint16_t productId) {
    Guard lock(mutex_);
    auto entry = std::make_unique<Entry>();
    entry->kind = Entry::Foreign;
    entry->attrs = HidAttributes{vendorId, productId};
    entry->path = "emu://" + std::to_string(entries_.size());
    entries_.push_back(std::move(entry));
    ++changes_;
}

void EmulatedHost::addLockedInterface() {
    Guard lock(mutex_);
    auto entry = std::make_unique<Entry>();
    entry->kind = Entry::Locked;
    entry->path = "emu://" + std::to_string(entries_.size());
    entries_.push_back(std::move(entry));
    ++changes_;
}

std::string EmulatedHost::pathOf(const VirtualModule& m) const {
    Guard lock(mutex_);
    for (const auto& e : entries_)
        if (e->module == &m) return e->path;
    return {};
}

std::vector<std::string> EmulatedHost::enumerate() {
    Guard lock(mutex_);
    runJig();
    std::vector<std::string> paths;
    for (const auto& e : entries_)
        if (!e->module || e->module->plugged()) paths.push_back(e->path);
    return paths;
}

bool EmulatedHost::attributes(const std::string& path, HidAttributes& out) {
    Guard lock(mutex_);
    runJig();
    for (const auto& e : entries_) {
        if (e->path != path) continue;
        if (e->module && !e->module->plugged()) break;
        out = e->module ? HidAttributes{kModuleVendorId, e->module->productId()} : e->attrs;
        failure_ = Failure{};
        return true;
    }
    failure_ = Failure{FailureKind::Gone, "attributes " + path, "no such device"};
    return false;
}

std::vector<HidDeviceInfo> EmulatedHost::enumerateDevices() {
    Guard lock(mutex_);
    runJig();
    std::vector<HidDeviceInfo> devices;
    for (const auto& e : entries_) {
        if (e->module && !e->module->plugged()) continue;
        HidDeviceInfo info{e->path, {}, {}, {}, {}};
        if (e->kind == Entry::Module) {
            info.ids = HidAttributes{kModuleVendorId, e->module->productId()};
            info.serial = e->module->serial;
            info.port = e->module->port;
        } else if (e->kind == Entry::Foreign) {
            info.ids = e->attrs;
        }
        devices.push_back(std::move(info));
    }
    return devices;
}

std::unique_ptr<HidHandle> EmulatedHost::open(const std::string& path, bool overlapped) {
    Guard lock(mutex_);
    runJig();
    for (const auto& e : entries_) {
        if (e->path != path) continue;
        if (e->kind == Entry::Locked || (e->module && e->module->plugged() && e->module->accessDenied)) {
            // As the system answers for a keyboard it holds, or for a node
            // the user may not open.
            failure_ = Failure{FailureKind::Access, "open " + path, "access denied"};
            return nullptr;
        }
        if (e->module && !e->module->plugged()) break;
        ++opens_;
        failure_ = Failure{};
        return std::make_unique<EmulatedHandle>(this, e.get(), overlapped);
    }
    failure_ = Failure{FailureKind::Gone, "open " + path, "no such device"};
    return nullptr;
}

void EmulatedHost::reenumerate(VirtualModule& m, ModuleMode newMode) {
    if (newMode == ModuleMode::Unplugged) {
        if (!m.plugged()) return;
        m.lastPluggedMode_ = m.mode_;
    } else {
        m.lastPluggedMode_ = newMode;
    }
    m.mode_ = newMode;
    ++m.epoch_;
    ++changes_;
    if (onChanged_) onChanged_();
}

void EmulatedHost::unplug(VirtualModule& m) {
    Guard lock(mutex_);
    reenumerate(m, ModuleMode::Unplugged);
}

void EmulatedHost::plug(VirtualModule& m) {
    Guard lock(mutex_);
    if (!m.plugged()) reenumerate(m, m.lastPluggedMode_);
}

void EmulatedHost::pressSettingButton(VirtualModule& m) {
    Guard lock(mutex_);
    if (m.model() == Model::Zel280 && m.mode() == ModuleMode::Normal) reenumerate(m, ModuleMode::Setting);
}

void EmulatedHost::deliver(VirtualModule& m, const std::vector<uint8_t>& reply) {
    if (m.silent) return;
    if (capture_) {
        capture_->push_back(reply);
        return;
    }
    inFlight_.push_back({&m, m.epoch_, clock_.nowMs() + m.replyDelayMs, reply});
    std::stable_sort(inFlight_.begin(), inFlight_.end(),
                     [](const Arrival& a, const Arrival& b) { return a.atMs < b.atMs; });
    arrive();  // a reply without delay is there before the module does anything else
}

void EmulatedHost::arrive() {
    const int64_t now = clock_.nowMs();
    while (!inFlight_.empty() && inFlight_.front().atMs <= now) {
        const Arrival& a = inFlight_.front();
        // Every read handle open on that device now gets the report; with
        // none open, or the device gone, it is lost.
        if (a.module->plugged() && a.module->epoch_ == a.epoch)
            for (EmulatedHandle* h : handles_)
                if (h->overlapped_ && h->entry_->module == a.module && h->epoch_ == a.epoch)
                    h->queue_.push_back(a.data);
        inFlight_.pop_front();
    }
}

int64_t EmulatedHost::nextArrival(const VirtualModule* m, unsigned epoch) const {
    for (const Arrival& a : inFlight_)
        if (a.module == m && a.epoch == epoch) return a.atMs;
    return -1;
}

std::vector<std::vector<uint8_t>> EmulatedHost::firmwareReplies(VirtualModule& m, const uint8_t* data,
                                                                size_t length) {
    Guard lock(mutex_);
    std::vector<std::vector<uint8_t>> replies;
    capture_ = &replies;
    handleReport(m, data, length);
    capture_ = nullptr;
    return replies;
}

void EmulatedHost::handleReport(VirtualModule& m, const uint8_t* data, size_t length) {
    std::vector<uint8_t> params(8, 0);
    for (size_t i = 1; i < length && i <= 8; ++i) params[i - 1] = data[i];
    m.received.push_back(params);
    if (m.received.size() > VirtualModule::kHistory) m.received.pop_front();
    ++m.reportCount;

    if (m.unplugOnNextCommand) {
        m.unplugOnNextCommand = false;
        unplug(m);
        return;
    }
    if (length < ModuleLink::kCommandReportLength || data[1] != 0x55 || data[2] != 0xAA) return;

    const uint8_t code = data[3];
    const uint8_t p1 = data[4], p2 = data[5], p3 = data[6], p4 = data[7], p5 = data[8];
    auto reply = [&](std::initializer_list<uint8_t> fields) {
        std::vector<uint8_t> report(m.inputReportLength, 0);
        const std::vector<uint8_t> data = m.replyOverride.empty() ? std::vector<uint8_t>(fields) : m.replyOverride;
        for (size_t i = 0; i < data.size() && i + 1 < report.size(); ++i) report[i + 1] = data[i];
        deliver(m, report);
    };

    switch (code) {
    case 0x40:
        reply({code, m.firmware, 0, 0, 0, 0});
        break;
    case 0x43:
        if (p1 == 1) {
            m.idNibble = p2 & 0xF;
            m.openDrainMask = p3;
            m.highMask = static_cast<uint8_t>(p4 ^ m.highMaskFault);
            m.inputMask = p5;
        } else if (p1 != 0) {
            break;
        }
        reply({code, p1, static_cast<uint8_t>(m.idNibble), m.openDrainMask, m.highMask, m.inputMask});
        break;
    case 0x45: {
        const int channel = static_cast<int8_t>(p2);
        if (channel >= 1 && channel <= 8) {
            OutputState& out = m.outputs[channel - 1];
            out.kind = p1 ? OutputState::Blink : OutputState::High;
            out.blinkByte = p1;
        } else if (channel <= -1 && channel >= -8) {
            m.outputs[-channel - 1] = OutputState{OutputState::Low, 0};
        }
        break;
    }
    case 0x47:
        if (p1 == 2 && m.model() == Model::Zel260 && m.mode() == ModuleMode::Normal)
            reenumerate(m, ModuleMode::Setting);
        break;
    case 0x4F:
        reply({code, 0, 0, 0, 0, 0});
        if (m.mode() == ModuleMode::Setting) {
            reenumerate(m, ModuleMode::Normal);
            if (jigSwapMs > 0) m.jigDueMs_ = clock_.nowMs() + jigSwapMs;
        }
        break;
    default:
        break;
    }
}

std::optional<ModuleDescription> parseModuleDescription(const std::string& text) {
    std::vector<std::string> parts;
    for (size_t at = 0; at <= text.size();) {
        const size_t end = std::min(text.find(':', at), text.size());
        parts.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    if (parts.size() < 2 || parts.size() > 3 || (parts[0] != "280" && parts[0] != "260") ||
        (parts[1] != "setting" && parts[1] != "normal"))
        return std::nullopt;
    ModuleDescription d;
    d.model = parts[0] == "280" ? Model::Zel280 : Model::Zel260;
    d.mode = parts[1] == "setting" ? ModuleMode::Setting : ModuleMode::Normal;
    for (size_t at = 0; parts.size() > 2 && at <= parts[2].size();) {
        const size_t end = std::min(parts[2].find(',', at), parts[2].size());
        const std::string fault = parts[2].substr(at, end - at);
        at = end + 1;
        if (fault == "silent") d.silent = true;
        else if (fault == "hold-writes") d.holdWrites = true;
        else if (fault == "wide") d.wide = true;
        else if (fault == "unplug") d.unplug = true;
        else if (fault.rfind("late=", 0) == 0) d.lateMs = std::atoi(fault.c_str() + 5);
        else if (fault.rfind("id=", 0) == 0) d.idNibble = std::atoi(fault.c_str() + 3);
        else return std::nullopt;
    }
    return d;
}

void ModuleDescription::applyTo(VirtualModule& m) const {
    m.silent = silent;
    m.replyDelayMs = lateMs;
    m.unplugOnNextCommand = unplug;
    if (wide) m.inputReportLength = m.outputReportLength = 65;
}

std::optional<uint64_t> EmulatedHost::deviceChanges() {
    Guard lock(mutex_);
    runJig();
    return changes_;
}

void EmulatedHost::runJig() {
    const int64_t now = clock_.nowMs();
    for (const auto& module : modules_) {
        VirtualModule& m = *module;
        if (m.jigDueMs_ < 0 || m.jigDueMs_ > now) continue;
        if (m.plugged()) {  // taken off; the next one comes as long after
            m.jigDueMs_ += jigSwapMs;
            unplug(m);
            if (m.jigDueMs_ > now) continue;
        }
        int last = 0;
        for (const auto& other : modules_)
            if (other->serial.rfind("EMU", 0) == 0) last = std::max(last, std::atoi(other->serial.c_str() + 3));
        m.serial = emulatedSerial(last + 1);
        m.idNibble = 1;
        m.openDrainMask = m.highMask = m.inputMask = 0;
        for (OutputState& o : m.outputs) o = OutputState{};
        m.jigDueMs_ = -1;
        reenumerate(m, ModuleMode::Setting);
    }
}

namespace {

const char* const kModeWords[] = {"setting", "io", "unplugged"};

std::string outputWord(const OutputState& o) {
    if (o.kind == OutputState::Blink) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X", o.blinkByte);
        return hex;
    }
    return o.kind == OutputState::High ? "high" : o.kind == OutputState::Low ? "low" : "off";
}

// A number in `base` that fits [0, max], all of `text` (a 0x prefix allowed in base 16).
bool number(std::string_view text, int base, int64_t max, int64_t& out, bool negativeOne = false) {
    if (negativeOne && text == "-1") return out = -1, true;
    if (base == 16 && text.rfind("0x", 0) == 0) text.remove_prefix(2);
    int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < 0 || value > max)
        return false;
    out = value;
    return true;
}

}  // namespace

std::string EmulatedHost::saveState() const {
    Guard lock(mutex_);
    std::string text = "# zelioctl's emulated modules, one a line; rewritten after every command\n";
    for (const auto& module : modules_) {
        const VirtualModule& m = *module;
        const ModuleMode mode = m.plugged() ? m.mode_ : m.lastPluggedMode_;
        char line[160];
        std::snprintf(line, sizeof line, "%s mode=%s plugged=%s id=%d firmware=0x%02X od=0x%02X high=0x%02X in=0x%02X",
                      m.model() == Model::Zel280 ? "ZEL280" : "ZEL260", kModeWords[static_cast<int>(mode)],
                      m.plugged() ? "yes" : "no", m.idNibble & 0xF, m.firmware, m.openDrainMask, m.highMask,
                      m.inputMask);
        std::string outputs;
        for (const OutputState& o : m.outputs) outputs += (outputs.empty() ? "" : ",") + outputWord(o);
        text += std::string(line) + " port=" + m.port + " serial=" + m.serial + " outputs=" + outputs +
                " jig=" + std::to_string(m.jigDueMs_) + "\n";
    }
    return text;
}

bool EmulatedHost::loadState(const std::string& text, std::string& problem) {
    Guard lock(mutex_);
    size_t lineNumber = 0;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string_view line(text.data() + start, end - start);
        start = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        std::vector<std::string_view> words;
        for (size_t at = 0; at < line.size();) {
            const size_t next = std::min(line.find_first_of(" \t", at), line.size());
            if (next > at) words.push_back(line.substr(at, next - at));
            at = next + 1;
        }
        if (words.empty() || words[0][0] == '#') continue;
        const auto bad = [&](std::string_view what) {
            problem = "line " + std::to_string(lineNumber) + ": " + std::string(what);
            return false;
        };
        if (words[0] != "ZEL280" && words[0] != "ZEL260")
            return bad("'" + std::string(words[0]) + "' is no model (ZEL280 or ZEL260)");
        const bool zel280 = words[0] == "ZEL280";
        const size_t index = modules_.size() + 1;
        VirtualModule m(zel280 ? Model::Zel280 : Model::Zel260, 1, zel280 ? 0x12 : 0x10);
        ModuleMode mode = zel280 ? ModuleMode::Setting : ModuleMode::Normal;
        bool plugged = true;
        m.serial = emulatedSerial(static_cast<int>(index));
        m.port = "1-1." + std::to_string(index);
        for (size_t i = 1; i < words.size(); ++i) {
            const size_t eq = words[i].find('=');
            const std::string_view key = words[i].substr(0, eq);
            const std::string_view value = eq == std::string_view::npos ? std::string_view() : words[i].substr(eq + 1);
            int64_t n = 0;
            bool ok = eq != std::string_view::npos;
            if (!ok) {
            } else if (key == "mode") {
                ok = value == "setting" || value == "io";
                mode = value == "setting" ? ModuleMode::Setting : ModuleMode::Normal;
            } else if (key == "plugged") {
                ok = value == "yes" || value == "no";
                plugged = value == "yes";
            } else if (key == "id" && (ok = number(value, 10, 15, n))) {
                m.idNibble = static_cast<int>(n);
            } else if (key == "firmware" && (ok = number(value, 16, 0xFF, n))) {
                m.firmware = static_cast<uint8_t>(n);
            } else if ((key == "od" || key == "high" || key == "in") && (ok = number(value, 16, 0xFF, n))) {
                (key == "od" ? m.openDrainMask : key == "high" ? m.highMask : m.inputMask) = static_cast<uint8_t>(n);
            } else if (key == "port") {
                m.port = std::string(value);
            } else if (key == "serial") {
                m.serial = std::string(value);
            } else if (key == "jig" && (ok = number(value, 10, INT64_MAX, n, true))) {
                m.jigDueMs_ = n;
            } else if (key == "outputs") {
                size_t channel = 0;
                for (size_t at = 0; ok && at <= value.size(); ++channel) {
                    const size_t comma = std::min(value.find(',', at), value.size());
                    const std::string_view word = value.substr(at, comma - at);
                    at = comma + 1;
                    OutputState& o = m.outputs[std::min<size_t>(channel, 7)];
                    if (channel >= 8) ok = false;
                    else if (word == "off") o = OutputState{};
                    else if (word == "high") o = OutputState{OutputState::High, 0};
                    else if (word == "low") o = OutputState{OutputState::Low, 0};
                    else if ((ok = number(word, 16, 0xFF, n))) o = OutputState{OutputState::Blink, static_cast<uint8_t>(n)};
                }
                ok = ok && channel == 8;
            } else if (key != "id" && key != "firmware" && key != "od" && key != "high" && key != "in" &&
                       key != "jig") {
                return bad("unknown field '" + std::string(key) + "'");
            }
            if (!ok) return bad("bad field '" + std::string(words[i]) + "'");
        }
        VirtualModule& added = addModule(m.model(), m.idNibble, m.firmware, plugged ? mode : ModuleMode::Unplugged);
        if (!plugged) added.lastPluggedMode_ = mode;
        added.openDrainMask = m.openDrainMask;
        added.highMask = m.highMask;
        added.inputMask = m.inputMask;
        added.port = m.port;
        added.serial = m.serial;
        added.jigDueMs_ = m.jigDueMs_;
        std::copy(std::begin(m.outputs), std::end(m.outputs), std::begin(added.outputs));
    }
    return true;
}

}  // namespace zelio
