#include "cli/cli_devices.h"

#include <cstdio>

#include "cli/cli_text.h"
#include "protocol/product_id.h"

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

std::vector<FamilyDevice> surveyFamily(HidHost& host) {
    std::vector<FamilyDevice> family;
    for (const HidDeviceInfo& info : host.enumerateDevices()) {
        std::optional<HidAttributes> ids = info.ids ? info.ids : idsInDevicePath(info.path);
        if (ids && (ids->vendorId != kModuleVendorId || !isModuleId(ids->productId))) continue;
        FamilyDevice device{info.path, info.port, info.serial, 0, false, {}};
        std::unique_ptr<HidHandle> handle = host.open(info.path, false);
        if (handle) {
            device.opens = true;
            HidAttributes opened;
            if (handle->attributes(opened)) ids = opened;
        } else {
            device.openFailure = host.lastFailure();
        }
        // A device whose IDs nobody could tell may be anything.
        if (!ids || ids->vendorId != kModuleVendorId || !isModuleId(ids->productId)) continue;
        device.productId = ids->productId;
        family.push_back(std::move(device));
    }
    return family;
}

bool DeviceSelector::matches(const HidDeviceInfo& device) const {
    if (!path.empty() && device.path != path) return false;
    if (!port.empty() && device.port != port) return false;
    return true;
}

std::string DeviceSelector::describe() const {
    if (!path.empty()) return "path '" + escapeForTerminal(path) + "'";
    return "port '" + escapeForTerminal(port) + "'";
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

std::vector<HidDeviceInfo> CliHost::enumerateDevices() { return shown(ForwardingHidHost::enumerateDevices()); }

std::vector<HidDeviceInfo> CliHost::enumerateVendor(uint16_t vendorId) {
    return shown(ForwardingHidHost::enumerateVendor(vendorId));
}

std::vector<HidDeviceInfo> CliHost::shown(std::vector<HidDeviceInfo> devices) {
    const size_t all = devices.size();
    if (selector_.active()) std::erase_if(devices, [&](const HidDeviceInfo& d) { return !selector_.matches(d); });
    if (trace_) {
        std::string line = "enumerate: " + std::to_string(all) + " HID interfaces";
        if (selector_.active()) line += ", " + std::to_string(devices.size()) + " at " + selector_.describe();
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
    std::unique_ptr<HidHandle> handle = ForwardingHidHost::open(path, overlapped);
    if (!trace_) return handle;
    const std::string what = std::string("open ") + (overlapped ? "(reads) " : "") + escapeForTerminal(path);
    trace(handle ? what + ": ok" : what + " failed: " + failure_.text());
    if (!handle) return handle;
    return std::make_unique<TracingHandle>(*this, std::move(handle), path);
}

}  // namespace zelio
