// HID host over hidapi. Report lengths come from the report descriptor in
// sysfs when the device is a Linux hidraw node; elsewhere the module's 9-byte
// reports are assumed.
#include "link/hidapi_hid_host.h"

#include "link/failure_class.h"

#include <hidapi/hidapi.h>
#if defined(__APPLE__)
#include <hidapi/hidapi_darwin.h>
#endif

#if ZELIO_HAVE_LIBUDEV
#include <libudev.h>
#include <poll.h>
#endif

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <iterator>
#include <mutex>
#include <utility>

namespace zelio {

namespace {

// hidapi keeps process-wide state: hid_init and hid_exit, and the error text
// that hid_enumerate and hid_open_path free and replace and hid_error(NULL)
// reads. Every call that touches it runs under this lock, so that contexts
// in several threads do not free that text twice.
std::mutex& libraryMutex() {
    static std::mutex mutex;
    return mutex;
}
int libraryUsers = 0;     // guarded by libraryMutex()
bool libraryReady = false;

}  // namespace

// One user of the library: the first starts it, the last shuts it down.
struct HidapiHost::Library {
    Library() {
        std::lock_guard<std::mutex> lock(libraryMutex());
        if (libraryUsers++ == 0 || !libraryReady) {
            libraryReady = hid_init() == 0;
#if defined(__APPLE__)
            // The module link opens a device twice (writes, reads); macOS
            // opens devices exclusively unless told otherwise.
            if (libraryReady) hid_darwin_set_open_exclusive(0);
#endif
        }
        ready = libraryReady;
    }
    ~Library() {
        std::lock_guard<std::mutex> lock(libraryMutex());
        if (--libraryUsers == 0) {
            hid_exit();
            libraryReady = false;
        }
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    bool ready;
};

namespace {

struct DeviceCloser {
    void operator()(hid_device* device) const { hid_close(device); }
};
using DevicePtr = std::unique_ptr<hid_device, DeviceCloser>;

constexpr size_t kMaxDescriptorSize = 4096;

// The library's messages are wide strings; ours are UTF-8.
std::string toUtf8(const wchar_t* text) {
    std::string out;
    if (text == nullptr) return out;
    for (; *text != L'\0'; ++text) {
        auto c = static_cast<uint32_t>(*text);
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// A failed library call on an open device: the library's own message (read
// errors have their own since hidapi 0.15), classed by the system's errno.
// A read without one, or with EIO, is the poll's hang-up: the device went away.
Failure deviceError(hid_device* device, const char* call, int code, bool reading) {
#if defined(HID_API_MAKE_VERSION) && HID_API_VERSION >= HID_API_MAKE_VERSION(0, 15, 0)
    std::string message = toUtf8(reading ? hid_read_error(device) : hid_error(device));
#else
    std::string message = toUtf8(hid_error(device));
#endif
    if (message.empty()) message = "failed";
    const FailureKind kind = reading ? kindOfReadErrno(code) : code != 0 ? kindOfErrno(code) : FailureKind::Io;
    return Failure{kind, call, std::move(message)};
}

// "/dev/hidrawN" -> "hidrawN"; nullopt for any other path.
std::optional<std::string> hidrawNode(const std::string& path) {
    const std::string prefix = "/dev/";
    if (path.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
    const std::string node = path.substr(prefix.size());
    const std::string kind = "hidraw";
    if (node.size() <= kind.size() || node.compare(0, kind.size(), kind) != 0) return std::nullopt;
    if (!std::all_of(node.begin() + static_cast<std::ptrdiff_t>(kind.size()), node.end(),
                     [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return node;
}

// "/dev/hidrawN" -> its report descriptor in sysfs; nullopt for any other path.
std::optional<std::vector<uint8_t>> readSysfsDescriptor(const std::string& path) {
    const auto node = hidrawNode(path);
    if (!node) return std::nullopt;
    std::ifstream in("/sys/class/hidraw/" + *node + "/device/report_descriptor", std::ios::binary);
    if (!in) return std::nullopt;
    std::vector<uint8_t> bytes;
    char c;
    while (bytes.size() < kMaxDescriptorSize && in.get(c)) bytes.push_back(static_cast<uint8_t>(c));
    if (bytes.empty()) return std::nullopt;
    return bytes;
}

class HidapiHandle final : public HidHandle {
public:
    HidapiHandle(std::shared_ptr<HidapiHost::Library> library, DevicePtr device,
                 std::optional<HidAttributes> enumerated, std::optional<ReportDescriptorInfo> descriptor)
        : library_(std::move(library)),
          device_(std::move(device)),
          enumerated_(enumerated),
          descriptor_(descriptor) {}

    bool attributes(HidAttributes& out) override {
#if defined(HID_API_MAKE_VERSION) && HID_API_VERSION >= HID_API_MAKE_VERSION(0, 13, 0)
        if (const hid_device_info* info = hid_get_device_info(device_.get())) {
            out.vendorId = info->vendor_id;
            out.productId = info->product_id;
            return true;
        }
#endif
        if (!enumerated_) return false;
        out = *enumerated_;
        return true;
    }

    bool caps(HidCaps& out) override {
        if (descriptor_) {
            out = descriptor_->caps;
        } else {
            out.inputReportLength = HidapiHost::kDefaultReportLength;
            out.outputReportLength = HidapiHost::kDefaultReportLength;
        }
        return true;
    }

    bool write(const uint8_t* data, size_t length) override {
        if (data == nullptr || length == 0) {
            failure_ = Failure{FailureKind::Io, "hid_write", "nothing to write"};
            return false;
        }
        int written;
        do {
            errno = 0;
            written = hid_write(device_.get(), data, length);
        } while (written < 0 && errno == EINTR);  // a signal, not the device
        if (written < 0) {
            failure_ = deviceError(device_.get(), "hid_write", errno, false);
            return false;
        }
        if (static_cast<size_t>(written) != length) {
            failure_ = Failure{FailureKind::Io, "hid_write",
                               "wrote " + std::to_string(written) + " of " + std::to_string(length) + " bytes"};
            return false;
        }
        failure_ = Failure{};
        return true;
    }

    ReadResult read(uint8_t* buffer, size_t length, int timeoutMs) override {
        if (buffer == nullptr || length < 2) {
            failure_ = Failure{FailureKind::Io, "hid_read_timeout", "no room for a report"};
            return ReadResult::Error;
        }
        failure_ = Failure{};
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
        int got;
        do {
            // A signal (Ctrl-C) ends the library's poll() early: the command
            // in flight goes on waiting for its reply, for the time left.
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            const int timeout = static_cast<int>(std::max<int64_t>(left.count(), 0));
            errno = 0;
            if (descriptor_ && descriptor_->numberedReports) {
                // The library leaves the report ID in byte 0.
                got = hid_read_timeout(device_.get(), buffer, length, timeout);
            } else {
                // Without numbered reports the library drops the report-ID byte:
                // put the implied ID 0 back in front of the data.
                got = hid_read_timeout(device_.get(), buffer + 1, length - 1, timeout);
                if (got > 0) buffer[0] = 0;
            }
        } while (got < 0 && errno == EINTR);
        if (got > 0) return ReadResult::Ok;
        if (got == 0) return ReadResult::Timeout;
        failure_ = deviceError(device_.get(), "hid_read_timeout", errno, true);
        return ReadResult::Error;
    }

private:
    std::shared_ptr<HidapiHost::Library> library_;  // declared first: outlives the device
    DevicePtr device_;
    std::optional<HidAttributes> enumerated_;
    std::optional<ReportDescriptorInfo> descriptor_;
};

}  // namespace

#if ZELIO_HAVE_LIBUDEV
// hidraw nodes coming and going, from the udev monitor; polled, never waited on.
class HidapiHost::Monitor {
public:
    Monitor() : udev_(udev_new()) {
        if (!udev_) return;
        monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
        if (!monitor_ || udev_monitor_filter_add_match_subsystem_devtype(monitor_, "hidraw", nullptr) < 0 ||
            udev_monitor_enable_receiving(monitor_) < 0) {
            if (monitor_) udev_monitor_unref(monitor_);
            monitor_ = nullptr;
        }
    }
    ~Monitor() {
        if (monitor_) udev_monitor_unref(monitor_);
        if (udev_) udev_unref(udev_);
    }
    Monitor(const Monitor&) = delete;
    Monitor& operator=(const Monitor&) = delete;

    bool ready() const { return monitor_ != nullptr; }
    // The USB port ("1-1.4") of a hidraw node: the name of the USB device it
    // belongs to. Empty for any other path and a device not on USB (uhid).
    std::string port(const std::string& path) {
        const auto node = hidrawNode(path);
        udev_device* device =
            udev_ && node ? udev_device_new_from_subsystem_sysname(udev_, "hidraw", node->c_str()) : nullptr;
        if (!device) return {};
        udev_device* usb = udev_device_get_parent_with_subsystem_devtype(device, "usb", "usb_device");
        const char* name = usb ? udev_device_get_sysname(usb) : nullptr;  // owned by `device`
        std::string port = name ? name : "";
        udev_device_unref(device);
        return port;
    }
    // Takes every event queued now and returns how many were seen in all.
    uint64_t poll() {
        pollfd fd{udev_monitor_get_fd(monitor_), POLLIN, 0};
        while (::poll(&fd, 1, 0) > 0 && (fd.revents & POLLIN) != 0) {
            udev_device* device = udev_monitor_receive_device(monitor_);
            if (!device) break;
            udev_device_unref(device);
            ++seen_;
        }
        return seen_;
    }

private:
    udev* udev_;
    udev_monitor* monitor_ = nullptr;
    uint64_t seen_ = 0;
};
#else
class HidapiHost::Monitor {};
#endif

HidapiHost::HidapiHost() : library_(std::make_shared<Library>()) {
#if ZELIO_HAVE_LIBUDEV
    monitor_ = std::make_unique<Monitor>();
#endif
}
HidapiHost::~HidapiHost() = default;

std::vector<std::string> HidapiHost::enumerate() {
    std::vector<std::string> paths;
    for (HidDeviceInfo& device : enumerateDevices()) paths.push_back(std::move(device.path));
    return paths;
}

std::vector<HidDeviceInfo> HidapiHost::enumerateDevices() { return enumerateVendor(0); }

std::vector<HidDeviceInfo> HidapiHost::enumerateVendor(uint16_t vendorId) {
    std::vector<HidDeviceInfo> devices;
    enumerated_.clear();
    if (!library_->ready) {
        failure_ = Failure{FailureKind::Io, "hid_init", "the HID library could not be started"};
        return devices;
    }
    failure_ = Failure{};
    std::lock_guard<std::mutex> lock(libraryMutex());
    // The library filters by vendor (0: every device) before it looks closer.
    hid_device_info* list = hid_enumerate(vendorId, 0);
    for (const hid_device_info* info = list; info != nullptr; info = info->next) {
        if (info->path == nullptr || info->path[0] == '\0') continue;
        std::string path = info->path;
        // One device can be listed once per top-level collection.
        if (enumerated_.count(path) != 0) continue;
        const HidAttributes ids{info->vendor_id, info->product_id};
        enumerated_[path] = ids;
        HidDeviceInfo device{path, ids, toUtf8(info->serial_number), port(path), {}};
        // Report lengths from sysfs, for the family only: nothing is opened.
        if (vendorId != 0)
            if (auto bytes = readSysfsDescriptor(path))
                if (auto descriptor = parseReportDescriptor(bytes->data(), bytes->size())) device.caps = descriptor->caps;
        devices.push_back(std::move(device));
    }
    hid_free_enumeration(list);
    return devices;
}

std::string HidapiHost::port(const std::string& path) {
#if ZELIO_HAVE_LIBUDEV
    if (monitor_) return monitor_->port(path);
#endif
    (void)path;
    return {};
}

std::optional<uint64_t> HidapiHost::deviceChanges() {
#if ZELIO_HAVE_LIBUDEV
    if (monitor_ && monitor_->ready()) return monitor_->poll();
#endif
    return std::nullopt;
}

std::string hidapiVersion() { return hid_version_str(); }

bool HidapiHost::attributes(const std::string& path, HidAttributes& out) {
    const auto it = enumerated_.find(path);
    if (it == enumerated_.end()) {
        failure_ = Failure{FailureKind::NotFound, "attributes " + path, "not in the last enumeration"};
        return false;
    }
    failure_ = Failure{};
    out = it->second;
    return true;
}

std::unique_ptr<HidHandle> HidapiHost::open(const std::string& path, bool /*overlapped*/) {
    if (!library_->ready || path.empty()) {
        failure_ = Failure{FailureKind::NotFound, "open", "no such device"};
        return nullptr;
    }
    DevicePtr device;
    {
        std::lock_guard<std::mutex> lock(libraryMutex());
        errno = 0;
        device.reset(hid_open_path(path.c_str()));
        if (!device) {
            // The library opens the node itself: its errno tells why it could not.
            const int code = errno;
            failure_ = Failure{code != 0 ? kindOfErrno(code) : FailureKind::Io, "open " + path,
                               code != 0 ? std::strerror(code) : toUtf8(hid_error(nullptr))};
            return nullptr;
        }
    }
    failure_ = Failure{};
    std::optional<HidAttributes> enumerated;
    if (auto it = enumerated_.find(path); it != enumerated_.end()) enumerated = it->second;
    std::optional<ReportDescriptorInfo> descriptor;
    if (auto bytes = readSysfsDescriptor(path)) descriptor = parseReportDescriptor(bytes->data(), bytes->size());
    return std::make_unique<HidapiHandle>(library_, std::move(device), enumerated, descriptor);
}

std::optional<ReportDescriptorInfo> parseReportDescriptor(const uint8_t* data, size_t length) {
    if (data == nullptr && length != 0) return std::nullopt;

    struct Globals {
        uint64_t reportSize = 0;
        uint64_t reportCount = 0;
        uint32_t reportId = 0;
    };
    constexpr size_t kMaxStackDepth = 16;
    constexpr uint64_t kMaxReportBits = 8ull * 0xFFFE;  // the length, ID byte included, fits 16 bits

    Globals globals;
    std::vector<Globals> stack;
    std::map<uint32_t, uint64_t> inputBits, outputBits;  // by report ID
    bool numbered = false;

    size_t pos = 0;
    while (pos < length) {
        const uint8_t prefix = data[pos];
        if (prefix == 0xFE) {  // long item: prefix, data size, tag, data
            if (pos + 2 >= length) return std::nullopt;
            const size_t skip = 3 + static_cast<size_t>(data[pos + 1]);
            if (skip > length - pos) return std::nullopt;
            pos += skip;
            continue;
        }
        static constexpr size_t kDataSize[4] = {0, 1, 2, 4};
        const size_t size = kDataSize[prefix & 0x3];
        if (size > length - pos - 1) return std::nullopt;
        uint32_t value = 0;
        for (size_t i = 0; i < size; ++i) value |= static_cast<uint32_t>(data[pos + 1 + i]) << (8 * i);
        pos += 1 + size;

        const int type = (prefix >> 2) & 0x3;
        const int tag = prefix >> 4;
        if (type == 0) {  // main
            if (tag == 0x8 || tag == 0x9) {
                auto& bits = (tag == 0x8 ? inputBits : outputBits)[globals.reportId];
                bits += globals.reportSize * globals.reportCount;
                if (bits > kMaxReportBits) return std::nullopt;
            }
        } else if (type == 1) {  // global
            switch (tag) {
                case 0x7: globals.reportSize = value; break;
                case 0x8:
                    if (value == 0) return std::nullopt;  // report ID 0 is reserved
                    globals.reportId = value;
                    numbered = true;
                    break;
                case 0x9: globals.reportCount = value; break;
                case 0xA:
                    if (stack.size() >= kMaxStackDepth) return std::nullopt;
                    stack.push_back(globals);
                    break;
                case 0xB:
                    if (stack.empty()) return std::nullopt;
                    globals = stack.back();
                    stack.pop_back();
                    break;
                default: break;
            }
        }
    }

    auto longest = [](const std::map<uint32_t, uint64_t>& bitsById) -> uint16_t {
        uint64_t bytes = 0;
        for (const auto& [id, bits] : bitsById) bytes = std::max(bytes, (bits + 7) / 8);
        return bytes == 0 ? 0 : static_cast<uint16_t>(bytes + 1);
    };
    ReportDescriptorInfo info;
    info.caps.inputReportLength = longest(inputBits);
    info.caps.outputReportLength = longest(outputBits);
    info.numberedReports = numbered;
    return info;
}

}  // namespace zelio
