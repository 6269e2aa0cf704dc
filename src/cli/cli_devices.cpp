#include "cli/cli_devices.h"

#include <algorithm>
#include <cstdio>

#include "cli/cli_text.h"
#include "ids/product_id.h"

namespace zelio {

namespace {

std::string hexBytes(const uint8_t* data, size_t length) {
    std::string text;
    for (size_t i = 0; i < length; ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%02X", data[i]);
        if (i) text += ' ';
        text += byte;
    }
    return text;
}

// A handle that traces every report through it.
class TracingHandle final : public ForwardingHidHandle {
public:
    TracingHandle(CliHost& host, std::unique_ptr<HidHandle> inner, std::string path)
        : ForwardingHidHandle(std::move(inner)), host_(host), path_(std::move(path)) {}

    bool write(const uint8_t* data, size_t length) override {
        const bool ok = ForwardingHidHandle::write(data, length);
        host_.trace("write " + escapeForTerminal(path_) + ": " + hexBytes(data, length) +
                    (ok ? std::string() : " failed: " + lastFailure().text()));
        return ok;
    }

    ReadResult read(uint8_t* buffer, size_t length, int timeoutMs) override {
        const ReadResult result = ForwardingHidHandle::read(buffer, length, timeoutMs);
        const std::string where = "read " + escapeForTerminal(path_) + ": ";
        if (result == ReadResult::Ok)
            host_.trace(where + hexBytes(buffer, length));
        else if (result == ReadResult::Timeout)
            host_.trace(where + "nothing within " + std::to_string(timeoutMs) + " ms");
        else
            host_.trace(where + "failed: " + lastFailure().text());
        return result;
    }

private:
    CliHost& host_;
    std::string path_;
};

}  // namespace

std::optional<FamilyDevice> newDeviceWithId(const std::vector<FamilyDevice>& devices,
                                            const std::vector<FamilyDevice>& before, uint16_t id) {
    for (const FamilyDevice& d : devices) {
        const auto same = [&](const FamilyDevice& old) { return old.path == d.path && old.productId == d.productId; };
        if (d.productId == id && std::none_of(before.begin(), before.end(), same)) return d;
    }
    return std::nullopt;
}

std::vector<FamilyDevice> surveyFamily(ModuleDirectory& directory) {
    std::vector<FamilyDevice> family;
    for (const ModuleRecord& module : directory.modules()) {
        FamilyDevice device{module.path, module.port, module.serial, module.productId, false, {}};
        if (std::unique_ptr<HidHandle> handle = directory.host().open(module.path, false))
            device.opens = true;
        else
            device.openFailure = directory.host().lastFailure();
        family.push_back(std::move(device));
    }
    return family;
}

bool DeviceSelector::matches(const ModuleRecord& module) const {
    if (!path.empty() && module.path != path) return false;
    if (!port.empty() && module.port != port) return false;
    if (!serial.empty() && module.serial != serial) return false;
    return true;
}

std::string DeviceSelector::describe() const {
    if (!path.empty()) return "path '" + escapeForTerminal(path) + "'";
    if (!port.empty()) return "port '" + escapeForTerminal(port) + "'";
    return "serial '" + escapeForTerminal(serial) + "'";
}

void CliHost::trace(const std::string& text) {
    if (!trace_) return;
    const int64_t ms = clock_.nowMs() - start_;
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "[%4lld.%03lld] ", static_cast<long long>(ms / 1000),
                  static_cast<long long>(ms % 1000));
    trace_->write(stamp + text + '\n');
    trace_->flush();
}

std::vector<HidDeviceInfo> CliHost::enumerateDevices() {
    const auto lock = turn();
    return traced(ForwardingHidHost::enumerateDevices());
}

std::vector<HidDeviceInfo> CliHost::enumerateVendor(uint16_t vendorId) {
    const auto lock = turn();
    return traced(ForwardingHidHost::enumerateVendor(vendorId));
}

std::optional<uint64_t> CliHost::deviceChanges() {
    const auto lock = turn();
    return ForwardingHidHost::deviceChanges();
}

bool CliHost::attributes(const std::string& path, HidAttributes& out) {
    const auto lock = turn();
    return ForwardingHidHost::attributes(path, out);
}

std::vector<HidDeviceInfo> CliHost::traced(std::vector<HidDeviceInfo> devices) {
    if (trace_) {
        std::string line = "enumerate: " + std::to_string(devices.size()) + " HID interfaces";
        if (failure_) line += " (" + failure_.text() + ")";
        trace(line);
        for (const HidDeviceInfo& d : devices) {
            std::string entry = "  " + escapeForTerminal(d.path);
            if (d.ids) entry += " " + hexText(d.ids->vendorId, 4) + ":" + hexText(d.ids->productId, 4);
            if (!d.port.empty()) entry += " port " + escapeForTerminal(d.port);
            trace(entry);
        }
    }
    return devices;
}

std::vector<std::string> CliHost::enumerate() {
    std::vector<std::string> paths;
    for (HidDeviceInfo& device : enumerateDevices()) paths.push_back(std::move(device.path));
    return paths;
}

std::unique_ptr<HidHandle> CliHost::open(const std::string& path, bool overlapped) {
    const auto lock = turn();
    std::unique_ptr<HidHandle> handle = ForwardingHidHost::open(path, overlapped);
    if (!trace_) return handle;
    const std::string what = std::string("open ") + (overlapped ? "(reads) " : "") + escapeForTerminal(path);
    trace(handle ? what + ": ok" : what + " failed: " + failure_.text());
    if (!handle) return handle;
    return std::make_unique<TracingHandle>(*this, std::move(handle), path);
}

}  // namespace zelio
