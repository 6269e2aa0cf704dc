// Virtual modules behind the Windows HID class driver, for tests run under
// Wine: each module is a root device served by zeliohid.sys, and a bridge
// thread per device runs the emulator's firmware on the output reports the
// driver hands over and sends its replies back as input reports.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "emulator/emulated_host.h"

namespace zelio::hidsim {

// Settings a device is installed with; the driver reads them when it adds
// the device.
struct DeviceSettings {
    uint16_t vendorId = 0x1D5A;
    uint16_t productId = 0x280;
    uint16_t reportLength = 9;  // report-ID byte included: 9 or 65
    bool holdWrites = false;    // writes are taken but never complete
};

// Installs a root device with hardware ID ZELIOHID from `inf`; `instance` is
// its whole instance ID (ROOT\ZELIOHID\...). Empty on success, else why not.
std::string installDevice(const std::wstring& inf, const std::wstring& instance, const DeviceSettings& settings);
// Removes one device; false when it was not there or would not go.
bool removeDevice(const std::wstring& instance);
// Removes every ZELIOHID device of the prefix (left over by an earlier run);
// returns how many.
int removeAllDevices();
// Present HID interfaces with these IDs, counted the way a host finds them.
int countHidInterfaces(uint16_t vendorId, uint16_t productId);
// The driver file and its INF, next to the running program.
std::wstring infNextToProgram();

// Faults of a virtual module that live outside the emulator.
struct Faults {
    bool holdWrites = false;  // the device takes writes and never completes them
};

// A set of virtual modules and foreign devices with their bridges. Every
// device is removed again when the bench goes.
class Bench {
public:
    explicit Bench(std::wstring inf = infNextToProgram());
    ~Bench();
    Bench(const Bench&) = delete;
    Bench& operator=(const Bench&) = delete;

    // Empty when the bench works, else why not (no INF, install failed...).
    const std::string& error() const { return error_; }

    // A module, installed and visible to hosts when this returns (nullptr on
    // failure, see error()). Report lengths and emulator faults are taken
    // from the module as it is set up by `configure` before installing.
    VirtualModule* addModule(Model model, int idNibble, uint8_t firmware, ModuleMode mode,
                             const std::function<void(VirtualModule&)>& configure = {}, Faults faults = {});
    // A module as zelio-hidsim's --module describes it (emulator's
    // parseModuleDescription), firmware 1.2.
    VirtualModule* addModule(const std::string& description);
    // A HID device of another vendor that takes output reports and never answers.
    bool addForeign(uint16_t vendorId, uint16_t productId);
    // Pulls the module's device out (it stays known, unplugged).
    void unplug(VirtualModule& m);

    // Held while the test looks at or changes module state; the bridges
    // hold it while they run the firmware.
    std::mutex& mutex() { return mutex_; }
    EmulatedHost& emulator() { return emulator_; }

    // Waits until `done()` (checked under the mutex) or `timeoutMs` passed.
    bool waitFor(const std::function<bool()>& done, int timeoutMs);

private:
    struct Device;
    void bridge(Device* device);
    bool install(Device& device, std::string& error);
    void uninstall(Device& device);

    std::wstring inf_;
    std::string error_;
    std::mutex mutex_;
    std::condition_variable changed_;
    EmulatedHost emulator_;
    std::vector<std::unique_ptr<Device>> devices_;
    unsigned nextInstance_ = 0;
};

}  // namespace zelio::hidsim
