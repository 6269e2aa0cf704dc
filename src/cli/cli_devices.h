// What zelioctl knows about the family's devices without talking to them,
// the choice of one device by path or port, and --debug tracing: a HID host
// in front of the real one that the module link runs on.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/text_sink.h"
#include "link/hid_host.h"
#include "link/module_directory.h"

namespace zelio {

// One interface of a family module (vendor 0x1D5A, product 0x260-0x269 or
// 0x280-0x289) as found now.
struct FamilyDevice {
    std::string path;
    std::string port;    // empty when unknown
    std::string serial;  // empty when none
    uint16_t productId = 0;
    bool opens = false;
    Failure openFailure;  // why it did not open
};

// Every family module the directory lists now, in enumeration order. Each is
// opened once, to tell whether it opens; no other device is touched.
std::vector<FamilyDevice> surveyFamily(ModuleDirectory& directory);

// The first of `devices` with product ID `id` that is not among `before`
// (path and product ID): a module that was reset. Where its port is unknown
// (Windows), that is the only sign that it is the one reset, not another
// module with that ID, and on Windows it comes back under a new path.
std::optional<FamilyDevice> newDeviceWithId(const std::vector<FamilyDevice>& devices,
                                            const std::vector<FamilyDevice>& before, uint16_t id);

// --path / --port / --serial; empty fields select nothing.
struct DeviceSelector {
    std::string path;
    std::string port;
    std::string serial;
    bool active() const { return !path.empty() || !port.empty() || !serial.empty(); }
    bool matches(const ModuleRecord& module) const;
    // "path '/dev/hidraw3'" / "port '1-1.4'" / "serial 'A17'" (escaped for a terminal).
    std::string describe() const;
};

// The host the CLI's module link runs on: writes every enumeration, open and
// report with a time stamp to the trace stream when there is one.
class CliHost final : public ForwardingHidHost {
public:
    CliHost(HidHost& inner, Clock& clock) : ForwardingHidHost(inner), clock_(clock), start_(clock.nowMs()) {}

    void setTrace(TextSink* trace) { trace_ = trace; }
    // Hosts of several threads' sessions on one host: each call into it,
    // and the reading of its failure, under `mutex`.
    void share(std::mutex* mutex) { shared_ = mutex; }
    // One trace line: "[  1.234] text".
    void trace(const std::string& text);

    std::vector<std::string> enumerate() override;
    std::vector<HidDeviceInfo> enumerateDevices() override;
    std::vector<HidDeviceInfo> enumerateVendor(uint16_t vendorId) override;
    std::unique_ptr<HidHandle> open(const std::string& path, bool overlapped) override;
    std::optional<uint64_t> deviceChanges() override;
    bool attributes(const std::string& path, HidAttributes& out) override;

private:
    std::unique_lock<std::mutex> turn() { return shared_ ? std::unique_lock(*shared_) : std::unique_lock<std::mutex>(); }
    // An enumeration's result, traced.
    std::vector<HidDeviceInfo> traced(std::vector<HidDeviceInfo> devices);

    Clock& clock_;
    int64_t start_;
    TextSink* trace_ = nullptr;
    std::mutex* shared_ = nullptr;
};

}  // namespace zelio
