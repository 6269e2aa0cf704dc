// HID host over the Windows device-installation and HID class services.
// Built for Windows only; the platform headers stay inside the .cpp file.
#pragma once

#include <memory>
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
    // HidD_GetAttributes on a handle opened with no access at all.
    bool attributes(const std::string& path, HidAttributes& out) override;
    // CreateFileW on the path, for overlapped I/O (writes are bounded too).
    // Reads are possible on handles opened with `overlapped` only.
    std::unique_ptr<HidHandle> open(const std::string& path, bool overlapped) override;
    std::string lockName(const std::string& path) override { return path; }
};

}  // namespace zelio
