// HID host over SetupDi enumeration, HidD/HidP queries and file I/O on the
// device interface. Every handle the system gives out has its owner type, so
// nothing stays open on any return path, and every failing call leaves its
// reason for the caller.
#include "link/win32_hid_host.h"

// windows.h comes in through the owner types, with the project's macros.
#include "win32/win32_unique.h"

#include <cfgmgr32.h>
#include <setupapi.h>
extern "C" {
#include <hidsdi.h>
}

#include "link/win32_system_dlls.h"
#include "link/failure_class.h"
#include "link/module_directory.h"
#include "link/usb_location.h"
#include "win32/win32_text.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <limits>
#include <mutex>
#include <string>
#include <vector>
#include <utility>

namespace zelio {

namespace {

using win32::unique_handle;
using unique_hdevinfo = win32::unique_any<HDEVINFO, win32::destroyDeviceInfoList, win32::NotNullOrInvalid>;
using unique_preparsed = win32::unique_any<PHIDP_PREPARSED_DATA, win32::freePreparsedData>;

// The failure of `call`, with GetLastError()'s code and text.
Failure lastError(const char* call) {
    const DWORD code = GetLastError();
    return Failure{kindOfWin32Error(code), call, win32::errorText(code)};
}

// Device paths (UTF-8) of the HID interfaces present now; their device
// nodes too where `nodes` is given.
std::vector<std::string> interfacePaths(Failure& failure, std::vector<DEVINST>* nodes = nullptr) {
    std::vector<std::string> paths;
    GUID hidGuid{};
    win32::systemHid().HidD_GetHidGuid(&hidGuid);
    unique_hdevinfo set(win32::systemHid().SetupDiGetClassDevsW(&hidGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!set) {
        failure = lastError("SetupDiGetClassDevsW");
        return paths;
    }
    failure = Failure{};

    constexpr size_t kFixedPart = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath);
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA interfaceData{};
        interfaceData.cbSize = sizeof(interfaceData);
        if (!win32::systemHid().SetupDiEnumDeviceInterfaces(set.get(), nullptr, &hidGuid, index, &interfaceData)) break;

        DWORD required = 0;
        win32::systemHid().SetupDiGetDeviceInterfaceDetailW(set.get(), &interfaceData, nullptr, 0, &required, nullptr);
        if (required <= kFixedPart) continue;
        // DWORD-aligned storage for the variable-length detail record.
        std::vector<DWORD> storage((required + sizeof(DWORD) - 1) / sizeof(DWORD) + 1);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());
        // cbSize is the size of the fixed part, not of the allocation.
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        SP_DEVINFO_DATA node{};
        node.cbSize = sizeof(node);
        if (!win32::systemHid().SetupDiGetDeviceInterfaceDetailW(set.get(), &interfaceData, detail, required, nullptr, &node))
            continue;
        const size_t maxChars = (required - kFixedPart) / sizeof(wchar_t);
        std::string path = win32::narrow(std::wstring_view(detail->DevicePath, wcsnlen(detail->DevicePath, maxChars)));
        if (path.empty()) continue;
        paths.push_back(std::move(path));
        if (nodes) nodes->push_back(node.DevInst);
    }
    return paths;
}

// The USB port of a HID interface's device node (usb_location.h). The HID
// node has no location of its own: the first node above it that has location
// paths (the USB device, or a composite device's interface) decides, and only
// it, so a hub's port is never taken for the module's. Where no node has one
// (Bluetooth, or a system that tells no locations), the container ID of the
// physical device stands in, "{xxxxxxxx-...}".
std::string usbPortOfNode(DEVINST hidNode) {
    static constexpr DEVPROPKEY kLocationPaths{
        {0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}}, 37};
    static constexpr DEVPROPKEY kContainerId{
        {0x8c7ed206, 0x3f8a, 0x4827, {0xb3, 0xab, 0xae, 0x9e, 0x1f, 0xae, 0xfc, 0x6c}}, 2};
    const win32::SystemHid& api = win32::systemHid();
    DEVINST node = hidNode;
    for (int up = 0; up < 3; ++up) {
        wchar_t paths[1024];
        DEVPROPTYPE type = DEVPROP_TYPE_EMPTY;
        ULONG size = sizeof(paths);
        if (api.CM_Get_DevNode_PropertyW(node, &kLocationPaths, &type, reinterpret_cast<PBYTE>(paths), &size, 0) ==
                CR_SUCCESS &&
            type == DEVPROP_TYPE_STRING_LIST) {
            // NUL-separated, each one a path to the same device.
            std::wstring_view list(paths, std::min<size_t>(size / sizeof(wchar_t), std::size(paths)));
            while (!list.empty()) {
                const std::wstring_view one = list.substr(0, list.find(L'\0'));
                if (std::string port = usbPortOfLocationPath(win32::narrow(one)); !port.empty()) return port;
                list.remove_prefix(std::min(list.size(), one.size() + 1));
            }
            break;
        }
        DEVINST parent = 0;
        if (api.CM_Get_Parent(&parent, node, 0) != CR_SUCCESS || parent == 0) break;
        node = parent;
    }
    GUID container{};
    DEVPROPTYPE type = DEVPROP_TYPE_EMPTY;
    ULONG size = sizeof(container);
    // GUID_NULL and {00000000-0000-0000-ffff-ffffffffffff}: in no container.
    static constexpr uint8_t kNone[2][8] = {{}, {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff}};
    if (api.CM_Get_DevNode_PropertyW(hidNode, &kContainerId, &type, reinterpret_cast<PBYTE>(&container), &size, 0) !=
            CR_SUCCESS ||
        type != DEVPROP_TYPE_GUID || size != sizeof(container))
        return {};
    if (container.Data1 == 0 && container.Data2 == 0 && container.Data3 == 0 &&
        (std::memcmp(container.Data4, kNone[0], 8) == 0 || std::memcmp(container.Data4, kNone[1], 8) == 0))
        return {};
    char text[39];
    std::snprintf(text, sizeof text, "{%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}",
                  static_cast<unsigned long>(container.Data1), container.Data2, container.Data3, container.Data4[0],
                  container.Data4[1], container.Data4[2], container.Data4[3], container.Data4[4], container.Data4[5],
                  container.Data4[6], container.Data4[7]);
    return text;
}

// The failure of `call` on a handle opened earlier. Some HID stacks answer
// I/O on a device that was unplugged meanwhile with "access denied": when the
// device is no longer listed, it went away.
Failure handleError(const char* call, const std::string& path) {
    Failure failure = lastError(call);
    if (failure.kind != FailureKind::Access) return failure;
    Failure listing;
    const std::vector<std::string> present = interfacePaths(listing);
    if (!listing && std::find(present.begin(), present.end(), path) == present.end()) failure.kind = FailureKind::Gone;
    return failure;
}

}  // namespace

namespace {

// How long a cancelled write may take to end before the command gives up on it.
constexpr DWORD kCancelWaitMs = 200;

// One overlapped read or write: what the system may still write to until it ends.
struct PendingOperation {
    OVERLAPPED record{};
    unique_handle event;
    std::vector<uint8_t> bytes;
    bool ended() const { return WaitForSingleObject(event.get(), 0) == WAIT_OBJECT_0; }
};

// Reads and writes that outlived their cancellation, kept until the system
// ends them.
// Never destroyed: one may still be pending when the program exits.
std::mutex& parkedMutex() {
    static std::mutex* mutex = new std::mutex;
    return *mutex;
}
std::vector<std::unique_ptr<PendingOperation>>& parkedOperations() {
    static auto* writes = new std::vector<std::unique_ptr<PendingOperation>>;
    return *writes;
}

void parkOperation(std::unique_ptr<PendingOperation> op) {
    std::lock_guard<std::mutex> lock(parkedMutex());
    parkedOperations().push_back(std::move(op));
}

void reapEndedOperations() {
    std::lock_guard<std::mutex> lock(parkedMutex());
    std::erase_if(parkedOperations(), [](const std::unique_ptr<PendingOperation>& op) { return op->ended(); });
}

// Vendor and product ID of an open device; the failure's reason otherwise.
bool readAttributes(HANDLE file, HidAttributes& out, Failure& failure) {
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof(attributes);
    if (!win32::systemHid().HidD_GetAttributes(file, &attributes)) {
        failure = lastError("HidD_GetAttributes");
        return false;
    }
    failure = Failure{};
    out.vendorId = attributes.VendorID;
    out.productId = attributes.ProductID;
    return true;
}

class Win32HidHandle final : public HidHandle {
public:
    Win32HidHandle(unique_handle file, bool forReads, std::string path)
        : file_(std::move(file)), forReads_(forReads), path_(std::move(path)) {}

    bool attributes(HidAttributes& out) override {
        return readAttributes(file_.get(), out, failure_);
    }

    bool caps(HidCaps& out) override {
        unique_preparsed preparsed;
        if (!win32::systemHid().HidD_GetPreparsedData(file_.get(), preparsed.put()) || !preparsed) {
            failure_ = lastError("HidD_GetPreparsedData");
            return false;
        }
        HIDP_CAPS caps{};
        if (win32::systemHid().HidP_GetCaps(preparsed.get(), &caps) != HIDP_STATUS_SUCCESS) {
            failure_ = Failure{FailureKind::Io, "HidP_GetCaps", "the report descriptor could not be parsed"};
            return false;
        }
        failure_ = Failure{};
        out.inputReportLength = caps.InputReportByteLength;
        out.outputReportLength = caps.OutputReportByteLength;
        return true;
    }

    bool write(const uint8_t* data, size_t length) override {
        if (data == nullptr || length == 0 || length > std::numeric_limits<DWORD>::max()) {
            failure_ = Failure{FailureKind::Io, "WriteFile", "nothing to write"};
            return false;
        }
        reapEndedOperations();
        // Record, event and bytes of this write live on the heap: should the
        // device hold the write past its cancellation, they stay allocated
        // until it ends (see parkWrite), never freed or reused under it.
        auto op = std::make_unique<PendingOperation>();
        op->bytes.assign(data, data + length);
        op->event.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!op->event) {
            failure_ = lastError("CreateEventW");
            return false;
        }
        op->record.hEvent = op->event.get();
        const DWORD wanted = static_cast<DWORD>(length);
        if (!WriteFile(file_.get(), op->bytes.data(), wanted, nullptr, &op->record) &&
            GetLastError() != ERROR_IO_PENDING) {
            failure_ = handleError("WriteFile", path_);
            return false;
        }
        if (WaitForSingleObject(op->event.get(), kWriteTimeoutMs) != WAIT_OBJECT_0) {
            // Not taken in time (a busy, resetting or hung device): cancel,
            // and wait for the cancellation only so long. Some HID stacks
            // pass the write on in a request of their own that a cancel
            // does not reach; the command fails on time all the same.
            CancelIoEx(file_.get(), &op->record);
            if (WaitForSingleObject(op->event.get(), kCancelWaitMs) != WAIT_OBJECT_0) {
                parkOperation(std::move(op));
                failure_ = Failure{FailureKind::Timeout, "WriteFile",
                                   "the device did not take the report within " + std::to_string(kWriteTimeoutMs) +
                                       " ms"};
                return false;
            }
        }
        DWORD written = 0;
        if (!GetOverlappedResult(file_.get(), &op->record, &written, FALSE)) {
            failure_ = GetLastError() == ERROR_OPERATION_ABORTED
                           ? Failure{FailureKind::Timeout, "WriteFile",
                                     "the device did not take the report within " + std::to_string(kWriteTimeoutMs) +
                                         " ms"}
                           : handleError("WriteFile", path_);
            return false;
        }
        failure_ = Failure{};
        return checkWritten(written, wanted);
    }

    ~Win32HidHandle() override {
        // A read left pending by a poll: cancelled, and its record kept until
        // it has ended.
        if (pending_) {
            CancelIoEx(file_.get(), &pending_->record);
            parkOperation(std::move(pending_));
        }
    }

    ReadResult read(uint8_t* buffer, size_t length, int timeoutMs) override {
        // Reads are for the handle opened for them.
        if (!forReads_ || buffer == nullptr || length == 0 || length > std::numeric_limits<DWORD>::max()) {
            failure_ = Failure{FailureKind::Io, "ReadFile", "this handle cannot read"};
            return ReadResult::Error;
        }
        failure_ = Failure{};
        if (!pending_) {
            // Into a buffer of the handle's own: a poll (time-out 0) leaves
            // the read pending for the next call instead of cancelling it.
            auto op = std::make_unique<PendingOperation>();
            op->bytes.assign(length, 0);
            op->event.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
            if (!op->event) {
                failure_ = lastError("CreateEventW");
                return ReadResult::Error;
            }
            op->record.hEvent = op->event.get();
            if (!ReadFile(file_.get(), op->bytes.data(), static_cast<DWORD>(length), nullptr, &op->record) &&
                GetLastError() != ERROR_IO_PENDING) {
                failure_ = handleError("ReadFile", path_);
                return ReadResult::Error;  // the read never started
            }
            pending_ = std::move(op);
        }
        const DWORD wait = WaitForSingleObject(pending_->event.get(), static_cast<DWORD>(timeoutMs > 0 ? timeoutMs : 0));
        if (wait == WAIT_TIMEOUT && timeoutMs <= 0) return ReadResult::Timeout;  // still pending
        if (wait != WAIT_OBJECT_0) {
            // Cancel, then wait until the cancelled read has really ended. A
            // read that completed just as the time ran out is a reply; only
            // an aborted one is a time-out.
            CancelIoEx(file_.get(), &pending_->record);
        }
        DWORD transferred = 0;
        const bool completed = GetOverlappedResult(file_.get(), &pending_->record, &transferred, TRUE) != FALSE;
        const DWORD error = completed ? ERROR_SUCCESS : GetLastError();
        std::unique_ptr<PendingOperation> op = std::move(pending_);
        if (completed) {
            std::fill(buffer, buffer + length, uint8_t{0});
            std::copy_n(op->bytes.begin(), std::min<size_t>({length, transferred, op->bytes.size()}), buffer);
            return ReadResult::Ok;
        }
        if (error == ERROR_OPERATION_ABORTED && wait == WAIT_TIMEOUT) return ReadResult::Timeout;
        SetLastError(error);
        failure_ = handleError(wait == WAIT_FAILED ? "WaitForSingleObject" : "ReadFile", path_);
        return ReadResult::Error;
    }

private:
    bool checkWritten(DWORD written, DWORD wanted) {
        if (written == wanted) return true;
        failure_ = Failure{FailureKind::Io, "WriteFile",
                           "wrote " + std::to_string(written) + " of " + std::to_string(wanted) + " bytes"};
        return false;
    }

    unique_handle file_;
    bool forReads_;
    std::string path_;
    std::unique_ptr<PendingOperation> pending_;  // a read a poll left pending
};

}  // namespace

// HID interfaces arriving and leaving, counted by the configuration
// manager's callback on a thread of its own. Looked up at run time: systems
// without CM_Register_Notification simply have no such events.
struct Win32HidHost::Notifications {
    using Register = CONFIGRET(WINAPI*)(PCM_NOTIFY_FILTER, PVOID, PCM_NOTIFY_CALLBACK, PHCMNOTIFICATION);
    using Unregister = CONFIGRET(WINAPI*)(HCMNOTIFICATION);

    Notifications() {
        // From System32 only, as hid.dll and setupapi.dll; stays loaded: the
        // callback lives in it.
        HMODULE library = ::LoadLibraryExW(L"cfgmgr32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (!library) return;
        // Through void*: FARPROC is no function type of theirs.
        const auto reg =
            reinterpret_cast<Register>(reinterpret_cast<void*>(::GetProcAddress(library, "CM_Register_Notification")));
        unregister = reinterpret_cast<Unregister>(
            reinterpret_cast<void*>(::GetProcAddress(library, "CM_Unregister_Notification")));
        if (!reg || !unregister) return;
        CM_NOTIFY_FILTER filter{};
        filter.cbSize = sizeof(filter);
        filter.FilterType = CM_NOTIFY_FILTER_TYPE_DEVICEINTERFACE;
        win32::systemHid().HidD_GetHidGuid(&filter.u.DeviceInterface.ClassGuid);
        if (reg(&filter, this, &Notifications::onEvent, &handle) != CR_SUCCESS) handle = nullptr;
    }
    ~Notifications() {
        if (handle) unregister(handle);
    }
    Notifications(const Notifications&) = delete;
    Notifications& operator=(const Notifications&) = delete;

    static DWORD CALLBACK onEvent(HCMNOTIFICATION, PVOID context, CM_NOTIFY_ACTION action, PCM_NOTIFY_EVENT_DATA,
                                  DWORD) {
        if (action == CM_NOTIFY_ACTION_DEVICEINTERFACEARRIVAL || action == CM_NOTIFY_ACTION_DEVICEINTERFACEREMOVAL)
            ++static_cast<Notifications*>(context)->count;
        return ERROR_SUCCESS;
    }

    HCMNOTIFICATION handle = nullptr;
    Unregister unregister = nullptr;
    std::atomic<uint64_t> count{0};
};

Win32HidHost::Win32HidHost() : notifications_(std::make_unique<Notifications>()) {}
Win32HidHost::~Win32HidHost() = default;

std::optional<uint64_t> Win32HidHost::deviceChanges() {
    if (!notifications_->handle) return std::nullopt;
    return notifications_->count.load();
}

std::vector<std::string> Win32HidHost::enumerate() { return interfacePaths(failure_); }

std::vector<HidDeviceInfo> Win32HidHost::enumerateVendor(uint16_t vendorId) {
    std::vector<HidDeviceInfo> devices;
    std::vector<DEVINST> nodes;
    const std::vector<std::string> paths = interfacePaths(failure_, &nodes);
    const Failure enumeration = failure_;
    for (size_t i = 0; i < paths.size(); ++i) {
        const std::string& path = paths[i];
        // The IDs in the path decide first: no other vendor's device is opened.
        const std::optional<HidAttributes> named = idsInDevicePath(path);
        if (named && named->vendorId != vendorId) continue;
        // The rest from a handle without access rights: the IDs as the driver
        // tells them, the report lengths and the serial number.
        unique_handle file(CreateFileW(win32::widen(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                       OPEN_EXISTING, 0, nullptr));
        HidAttributes ids;
        Failure ignored;
        if (!file || !readAttributes(file.get(), ids, ignored) || ids.vendorId != vendorId) continue;
        HidDeviceInfo device{path, ids, {}, usbPortOfNode(nodes[i]), {}};
        unique_preparsed preparsed;
        HIDP_CAPS caps{};
        if (win32::systemHid().HidD_GetPreparsedData(file.get(), preparsed.put()) && preparsed &&
            win32::systemHid().HidP_GetCaps(preparsed.get(), &caps) == HIDP_STATUS_SUCCESS)
            device.caps = HidCaps{caps.InputReportByteLength, caps.OutputReportByteLength};
        wchar_t serial[128] = {};
        if (win32::systemHid().HidD_GetSerialNumberString(file.get(), serial, sizeof(serial) - sizeof(wchar_t)))
            device.serial = win32::narrow(std::wstring_view(serial, wcsnlen(serial, 127)));
        devices.push_back(std::move(device));
    }
    failure_ = enumeration;
    return devices;
}

bool Win32HidHost::attributes(const std::string& path, HidAttributes& out) {
    // No access asked for: enough for the IDs, and granted for devices the
    // system keeps to itself (keyboards, mice).
    unique_handle file(CreateFileW(win32::widen(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
    if (!file) {
        failure_ = lastError("CreateFileW");
        return false;
    }
    return readAttributes(file.get(), out, failure_);
}

std::unique_ptr<HidHandle> Win32HidHost::open(const std::string& path, bool overlapped) {
    const std::wstring widePath = win32::widen(path);
    if (widePath.empty()) {
        failure_ = Failure{FailureKind::NotFound, "CreateFileW", "empty device path"};
        return nullptr;
    }
    // Overlapped either way: writes are bounded too.
    unique_handle file(CreateFileW(widePath.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    if (!file) {
        failure_ = lastError("CreateFileW");
        return nullptr;
    }
    failure_ = Failure{};
    return std::make_unique<Win32HidHandle>(std::move(file), overlapped, path);
}

}  // namespace zelio
