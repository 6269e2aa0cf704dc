// HID host over the hidapi library, for Linux and macOS builds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/hid_host.h"

namespace zelio {

class HidapiHost final : public HidHost {
public:
    // Report lengths used when the device's report descriptor cannot be read
    // (any platform but Linux hidraw): the module's 9-byte reports.
    static constexpr uint16_t kDefaultReportLength = 9;

    HidapiHost();
    ~HidapiHost() override;
    HidapiHost(const HidapiHost&) = delete;
    HidapiHost& operator=(const HidapiHost&) = delete;

    std::vector<std::string> enumerate() override;
    // With vendor/product ID and serial number from the library and, for a
    // Linux hidraw node, the USB port from udev.
    std::vector<HidDeviceInfo> enumerateDevices() override;
    // hid_enumerate(vendorId, 0), with report lengths from sysfs where the
    // device is a Linux hidraw node: nothing is opened.
    std::vector<HidDeviceInfo> enumerateVendor(uint16_t vendorId) override;
    // hidraw events of the udev monitor (Linux builds with libudev).
    std::optional<uint64_t> deviceChanges() override;
    // The IDs hid_enumerate gave for the path: nothing is opened (on macOS
    // opening a keyboard would ask the user for input-monitoring permission).
    bool attributes(const std::string& path, HidAttributes& out) override;
    // Both kinds of handle are the same to hidapi; `overlapped` is ignored.
    std::unique_ptr<HidHandle> open(const std::string& path, bool overlapped) override;
#if defined(__linux__)
    bool opensFasterWhileOpen() override { return true; }
#endif
    std::string lockName(const std::string& path) override { return path; }

    // hid_init on the first use, hid_exit when the last host and handle are gone.
    struct Library;

private:
    std::shared_ptr<Library> library_;
    class Monitor;
    std::unique_ptr<Monitor> monitor_;
    // The USB port of a hidraw node, from udev; empty when not known.
    std::string port(const std::string& path);
    // Vendor and product IDs seen by the last enumeration, by path; used when
    // the library cannot tell them for an open device.
    std::map<std::string, HidAttributes> enumerated_;
};

// What a HID report descriptor says about report lengths.
struct ReportDescriptorInfo {
    HidCaps caps;                 // largest input/output report, + 1 byte for the report ID
    bool numberedReports = false;  // the descriptor declares report IDs
};

// The library's version, "0.13.1", as the loaded library reports it.
std::string hidapiVersion();

// Parses a raw report descriptor; nullopt when it is malformed.
std::optional<ReportDescriptorInfo> parseReportDescriptor(const uint8_t* data, size_t length);

}  // namespace zelio
