// HID host over the Windows device-installation and HID class services.
// Built for Windows only; the platform headers stay inside the .cpp file.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/hid_host.h"

namespace zelio {

class Win32HidHost final : public HidHost {
public:
    Win32HidHost();
    ~Win32HidHost() override;
    Win32HidHost(const Win32HidHost&) = delete;
    Win32HidHost& operator=(const Win32HidHost&) = delete;

    // Device paths (UTF-8) of the present HID interfaces.
    std::vector<std::string> enumerate() override;
    // The vendor's interfaces: IDs read from the path, then from a handle
    // opened with no access at all, with report lengths and serial number.
    std::vector<HidDeviceInfo> enumerateVendor(uint16_t vendorId) override;
    // HID interface arrivals and removals (CM_Register_Notification).
    std::optional<uint64_t> deviceChanges() override;
    // HidD_GetAttributes on a handle opened with no access at all.
    bool attributes(const std::string& path, HidAttributes& out) override;
    // CreateFileW on the path, for overlapped I/O (writes are bounded too).
    // Reads are possible on handles opened with `overlapped` only.
    std::unique_ptr<HidHandle> open(const std::string& path, bool overlapped) override;
    std::string lockName(const std::string& path) override { return path; }

private:
    struct Notifications;
    std::unique_ptr<Notifications> notifications_;
};

}  // namespace zelio
