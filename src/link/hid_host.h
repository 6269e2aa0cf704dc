// The small HID host interface that the module link runs on. The Win32
// (SetupDi/HidD) and hidapi back ends and the emulator implement it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zelio {

struct HidAttributes {
    uint16_t vendorId = 0;
    uint16_t productId = 0;
};

// Report lengths in bytes, report-ID byte included.
struct HidCaps {
    uint16_t inputReportLength = 0;
    uint16_t outputReportLength = 0;
};

// Why a step failed, kept for callers that report it: the call that failed
// and the system's own words ("CreateFileW" / "(5) Access is denied.",
// "open /dev/hidraw3" / "Permission denied").
enum class FailureKind {
    None,
    NotFound,  // no such module or device
    Access,    // the system refused access
    Gone,      // the device went away
    Timeout,   // no answer in time
    Io,        // any other I/O failure
    Busy,      // another program kept the module for longer than a command waits
};

struct Failure {
    FailureKind kind = FailureKind::None;
    std::string call;
    std::string reason;

    // "call: reason" (or whichever of the two is there).
    std::string text() const {
        if (call.empty()) return reason;
        if (reason.empty()) return call;
        return call + ": " + reason;
    }
    explicit operator bool() const { return kind != FailureKind::None; }
};

enum class ReadResult {
    Ok,       // one whole input report was received
    Timeout,  // nothing within the time-out; the read was cancelled and has ended
    Error     // the read failed (device gone, I/O error)
};

// One opened HID device interface.
class HidHandle {
public:
    virtual ~HidHandle() = default;
    // Why the last call on this handle failed (kind None after a success).
    // A handle that wraps another one answers with the inner handle's.
    virtual const Failure& lastFailure() const { return failure_; }
    virtual bool attributes(HidAttributes& out) = 0;
    virtual bool caps(HidCaps& out) = 0;
    // Writes one output report (byte 0 is the report ID), waiting at most
    // kWriteTimeoutMs for the device to take it. A write that did not end in
    // time is cancelled and fails (kind Timeout); its buffer may be the
    // caller's again at once, even should the device still hold the write.
    static constexpr int kWriteTimeoutMs = 1000;
    virtual bool write(const uint8_t* data, size_t length) = 0;
    // Reads one input report (byte 0 is the report ID) into `buffer`, waiting
    // at most `timeoutMs`; 0 only takes what is queued already. `buffer` is
    // the caller's again when this returns, whatever the result (a back end
    // may keep a poll's read pending in a buffer of its own for the next call).
    virtual ReadResult read(uint8_t* buffer, size_t length, int timeoutMs) = 0;

protected:
    Failure failure_;
};

// A handle in front of another one; it answers with the inner handle's
// failure. A wrapper overrides only what it watches or changes.
class ForwardingHidHandle : public HidHandle {
public:
    explicit ForwardingHidHandle(std::unique_ptr<HidHandle> inner) : inner_(std::move(inner)) {}

    const Failure& lastFailure() const override { return inner_->lastFailure(); }
    bool attributes(HidAttributes& out) override { return inner_->attributes(out); }
    bool caps(HidCaps& out) override { return inner_->caps(out); }
    bool write(const uint8_t* data, size_t length) override { return inner_->write(data, length); }
    ReadResult read(uint8_t* buffer, size_t length, int timeoutMs) override {
        return inner_->read(buffer, length, timeoutMs);
    }

private:
    std::unique_ptr<HidHandle> inner_;
};

// One HID interface as enumeration describes it, before anything opens it.
struct HidDeviceInfo {
    std::string path;
    // Vendor and product ID, when the back end tells them without opening.
    std::optional<HidAttributes> ids;
    std::string serial;  // empty when the device has none or it is unknown
    std::string port;    // USB port ("1-1.4" on Linux), empty when unknown
    // Report lengths, when the back end tells them without opening for I/O.
    std::optional<HidCaps> caps;
};

class HidHost {
public:
    virtual ~HidHost() = default;
    // Device paths of the HID interfaces present now, in enumeration order.
    virtual std::vector<std::string> enumerate() = 0;
    // The same interfaces with whatever the back end knows of them without
    // opening them; by default only their paths.
    virtual std::vector<HidDeviceInfo> enumerateDevices() {
        std::vector<HidDeviceInfo> devices;
        for (std::string& path : enumerate()) devices.push_back(HidDeviceInfo{std::move(path), {}, {}, {}, {}});
        return devices;
    }
    // The interfaces of one vendor only, with their IDs. A back end that can
    // filter before it opens anything overrides this; the default takes
    // enumerateDevices() and asks attributes() where it gave no IDs.
    virtual std::vector<HidDeviceInfo> enumerateVendor(uint16_t vendorId);
    // How many hot-plug events (an interface came or went) the host has seen
    // so far, polled without waiting; nullopt when it has no source of them.
    virtual std::optional<uint64_t> deviceChanges() { return std::nullopt; }
    // Vendor and product ID of an interface without opening it for reading
    // or writing (keyboards and mice refuse that, and on some systems asking
    // costs the user a permission prompt). This default opens it.
    virtual bool attributes(const std::string& path, HidAttributes& out);
    // Opens an interface for reading and writing; `overlapped` asks for the
    // handle used for reads. nullptr when the interface cannot be opened
    // (e.g. held by the system), with the reason in lastFailure().
    virtual std::unique_ptr<HidHandle> open(const std::string& path, bool overlapped) = 0;
    // Why the last enumerate() or open() failed (kind None after a success).
    virtual const Failure& lastFailure() const { return failure_; }
    // What commands to the device at `path` take turns under, across
    // processes (link/module_lock.h): the path on the system's hosts; empty
    // (no turns) by default.
    virtual std::string lockName(const std::string& /*path*/) { return {}; }
    // True where the first open of a device costs far more than an open
    // while another handle to it is held (a Linux USB HID node sleeps ~50 ms
    // in the kernel): a link then keeps one idle handle between commands.
    virtual bool opensFasterWhileOpen() { return false; }

protected:
    Failure failure_;
};

inline bool HidHost::attributes(const std::string& path, HidAttributes& out) {
    std::unique_ptr<HidHandle> handle = open(path, false);
    return handle && handle->attributes(out);
}

inline std::vector<HidDeviceInfo> HidHost::enumerateVendor(uint16_t vendorId) {
    std::vector<HidDeviceInfo> devices = enumerateDevices();
    const Failure enumeration = failure_;
    std::erase_if(devices, [&](HidDeviceInfo& device) {
        if (!device.ids) {
            HidAttributes ids;
            if (!attributes(device.path, ids)) return true;
            device.ids = ids;
        }
        return device.ids->vendorId != vendorId;
    });
    failure_ = enumeration;
    return devices;
}

// A host in front of another one (the demo's notifying host, zelioctl's
// selecting and tracing host, the library's context): every call passes
// through and leaves the inner host's failure readable here. A wrapper
// overrides only what it changes.
class ForwardingHidHost : public HidHost {
public:
    explicit ForwardingHidHost(HidHost& inner) : inner_(inner) {}

    std::vector<std::string> enumerate() override {
        std::vector<std::string> paths = inner_.enumerate();
        failure_ = inner_.lastFailure();
        return paths;
    }
    std::vector<HidDeviceInfo> enumerateDevices() override {
        std::vector<HidDeviceInfo> devices = inner_.enumerateDevices();
        failure_ = inner_.lastFailure();
        return devices;
    }
    std::vector<HidDeviceInfo> enumerateVendor(uint16_t vendorId) override {
        std::vector<HidDeviceInfo> devices = inner_.enumerateVendor(vendorId);
        failure_ = inner_.lastFailure();
        return devices;
    }
    std::optional<uint64_t> deviceChanges() override { return inner_.deviceChanges(); }
    bool attributes(const std::string& path, HidAttributes& out) override {
        const bool known = inner_.attributes(path, out);
        failure_ = inner_.lastFailure();
        return known;
    }
    std::unique_ptr<HidHandle> open(const std::string& path, bool overlapped) override {
        std::unique_ptr<HidHandle> handle = inner_.open(path, overlapped);
        failure_ = inner_.lastFailure();
        return handle;
    }
    std::string lockName(const std::string& path) override { return inner_.lockName(path); }
    bool opensFasterWhileOpen() override { return inner_.opensFasterWhileOpen(); }

protected:
    HidHost& inner() { return inner_; }

private:
    HidHost& inner_;
};

// Pause and time source, injectable so tests need not wait for real.
class Clock {
public:
    virtual ~Clock() = default;
    virtual void sleepMs(int ms) = 0;
    virtual int64_t nowMs() = 0;
};

// The real clock (std::chrono::steady_clock and std::this_thread::sleep_for).
Clock& systemClock();
// The wall clock (std::chrono::system_clock): its times mean the same to the
// next process, as an emulated bench kept in a file needs.
Clock& wallClock();

}  // namespace zelio
