// HID host over SetupDi enumeration, HidD/HidP queries and file I/O on the
// device interface. Every handle the system gives out is owned by a small
// wrapper, so nothing stays open on any return path.
#include "link/win32_hid_host.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <setupapi.h>
extern "C" {
#include <hidsdi.h>
}

#include <cstddef>
#include <cwchar>
#include <limits>
#include <utility>

namespace zelio {

namespace {

// A kernel object handle; both 0 and INVALID_HANDLE_VALUE mean "none".
class KernelHandle {
public:
    KernelHandle() = default;
    explicit KernelHandle(HANDLE handle) : handle_(handle) {}
    ~KernelHandle() { reset(); }
    KernelHandle(KernelHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    KernelHandle& operator=(KernelHandle&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }
    KernelHandle(const KernelHandle&) = delete;
    KernelHandle& operator=(const KernelHandle&) = delete;

    bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }
    void reset() {
        if (valid()) CloseHandle(handle_);
        handle_ = nullptr;
    }

private:
    HANDLE handle_ = nullptr;
};

// A device information set from SetupDiGetClassDevsW.
class DeviceInfoSet {
public:
    explicit DeviceInfoSet(HDEVINFO set) : set_(set) {}
    ~DeviceInfoSet() {
        if (valid()) SetupDiDestroyDeviceInfoList(set_);
    }
    DeviceInfoSet(const DeviceInfoSet&) = delete;
    DeviceInfoSet& operator=(const DeviceInfoSet&) = delete;

    bool valid() const { return set_ != INVALID_HANDLE_VALUE && set_ != nullptr; }
    HDEVINFO get() const { return set_; }

private:
    HDEVINFO set_;
};

// Preparsed HID data from HidD_GetPreparsedData.
class PreparsedData {
public:
    PreparsedData() = default;
    ~PreparsedData() {
        if (data_ != nullptr) HidD_FreePreparsedData(data_);
    }
    PreparsedData(const PreparsedData&) = delete;
    PreparsedData& operator=(const PreparsedData&) = delete;

    PHIDP_PREPARSED_DATA* receive() { return &data_; }
    PHIDP_PREPARSED_DATA get() const { return data_; }

private:
    PHIDP_PREPARSED_DATA data_ = nullptr;
};

std::string toUtf8(const wchar_t* text, size_t length) {
    if (length == 0 || length > static_cast<size_t>(std::numeric_limits<int>::max())) return {};
    const int wideLength = static_cast<int>(length);
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, wideLength, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string out(static_cast<size_t>(bytes), '\0');
    if (WideCharToMultiByte(CP_UTF8, 0, text, wideLength, out.data(), bytes, nullptr, nullptr) != bytes)
        return {};
    return out;
}

std::wstring fromUtf8(const std::string& text) {
    if (text.empty() || text.size() > static_cast<size_t>(std::numeric_limits<int>::max())) return {};
    const int length = static_cast<int>(text.size());
    const int chars = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
    if (chars <= 0) return {};
    std::wstring out(static_cast<size_t>(chars), L'\0');
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, out.data(), chars) != chars)
        return {};
    return out;
}

}  // namespace

struct Win32HidHost::CompletionEvent {
    KernelHandle handle;
};

namespace {

class Win32HidHandle final : public HidHandle {
public:
    Win32HidHandle(KernelHandle file, bool overlapped, std::shared_ptr<Win32HidHost::CompletionEvent> event)
        : file_(std::move(file)), overlapped_(overlapped), event_(std::move(event)) {}

    bool attributes(HidAttributes& out) override {
        HIDD_ATTRIBUTES attributes{};
        attributes.Size = sizeof(attributes);
        if (!HidD_GetAttributes(file_.get(), &attributes)) return false;
        out.vendorId = attributes.VendorID;
        out.productId = attributes.ProductID;
        return true;
    }

    bool caps(HidCaps& out) override {
        PreparsedData preparsed;
        if (!HidD_GetPreparsedData(file_.get(), preparsed.receive()) || preparsed.get() == nullptr) return false;
        HIDP_CAPS caps{};
        if (HidP_GetCaps(preparsed.get(), &caps) != HIDP_STATUS_SUCCESS) return false;
        out.inputReportLength = caps.InputReportByteLength;
        out.outputReportLength = caps.OutputReportByteLength;
        return true;
    }

    bool write(const uint8_t* data, size_t length) override {
        if (data == nullptr || length == 0 || length > std::numeric_limits<DWORD>::max()) return false;
        const DWORD wanted = static_cast<DWORD>(length);
        DWORD written = 0;
        if (!overlapped_) {
            return WriteFile(file_.get(), data, wanted, &written, nullptr) && written == wanted;
        }
        // A handle opened for overlapped I/O needs an OVERLAPPED record even
        // for a blocking write; wait for the write to end before returning.
        HANDLE event = event_->handle.get();
        ResetEvent(event);
        OVERLAPPED record{};
        record.hEvent = event;
        BOOL ok = WriteFile(file_.get(), data, wanted, nullptr, &record);
        if (!ok && GetLastError() == ERROR_IO_PENDING) ok = GetOverlappedResult(file_.get(), &record, &written, TRUE);
        else if (ok) ok = GetOverlappedResult(file_.get(), &record, &written, FALSE);
        ResetEvent(event);
        return ok && written == wanted;
    }

    ReadResult read(uint8_t* buffer, size_t length, int timeoutMs) override {
        // A read needs the overlapped handle: on a synchronous one it could
        // block for ever.
        if (!overlapped_ || buffer == nullptr || length == 0 || length > std::numeric_limits<DWORD>::max())
            return ReadResult::Error;
        HANDLE event = event_->handle.get();
        ResetEvent(event);
        OVERLAPPED record{};
        record.hEvent = event;
        DWORD transferred = 0;
        ReadResult result;
        if (!ReadFile(file_.get(), buffer, static_cast<DWORD>(length), nullptr, &record) &&
            GetLastError() != ERROR_IO_PENDING) {
            result = ReadResult::Error;  // the read never started
        } else {
            const DWORD wait = WaitForSingleObject(event, static_cast<DWORD>(timeoutMs > 0 ? timeoutMs : 0));
            if (wait == WAIT_OBJECT_0) {
                result = GetOverlappedResult(file_.get(), &record, &transferred, FALSE) ? ReadResult::Ok
                                                                                        : ReadResult::Error;
            } else {
                // Cancel, then wait until the cancelled read has really ended:
                // `buffer` and `record` must not be written after we return.
                CancelIo(file_.get());
                GetOverlappedResult(file_.get(), &record, &transferred, TRUE);
                result = wait == WAIT_TIMEOUT ? ReadResult::Timeout : ReadResult::Error;
            }
        }
        ResetEvent(event);
        return result;
    }

private:
    KernelHandle file_;
    bool overlapped_;
    std::shared_ptr<Win32HidHost::CompletionEvent> event_;
};

}  // namespace

Win32HidHost::Win32HidHost() = default;
Win32HidHost::~Win32HidHost() = default;

std::vector<std::string> Win32HidHost::enumerate() {
    std::vector<std::string> paths;
    GUID hidGuid{};
    HidD_GetHidGuid(&hidGuid);
    DeviceInfoSet set(SetupDiGetClassDevsW(&hidGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!set.valid()) return paths;

    constexpr size_t kFixedPart = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath);
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA interfaceData{};
        interfaceData.cbSize = sizeof(interfaceData);
        if (!SetupDiEnumDeviceInterfaces(set.get(), nullptr, &hidGuid, index, &interfaceData)) break;

        DWORD required = 0;
        SetupDiGetDeviceInterfaceDetailW(set.get(), &interfaceData, nullptr, 0, &required, nullptr);
        if (required <= kFixedPart) continue;
        // DWORD-aligned storage for the variable-length detail record.
        std::vector<DWORD> storage((required + sizeof(DWORD) - 1) / sizeof(DWORD) + 1);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());
        // cbSize is the size of the fixed part, not of the allocation.
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (!SetupDiGetDeviceInterfaceDetailW(set.get(), &interfaceData, detail, required, nullptr, nullptr))
            continue;
        const size_t maxChars = (required - kFixedPart) / sizeof(wchar_t);
        std::string path = toUtf8(detail->DevicePath, wcsnlen(detail->DevicePath, maxChars));
        if (!path.empty()) paths.push_back(std::move(path));
    }
    return paths;
}

std::unique_ptr<HidHandle> Win32HidHost::open(const std::string& path, bool overlapped) {
    const std::wstring widePath = fromUtf8(path);
    if (widePath.empty()) return nullptr;
    KernelHandle file(CreateFileW(widePath.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, overlapped ? FILE_FLAG_OVERLAPPED : 0, nullptr));
    if (!file.valid()) return nullptr;
    if (!event_) {
        // Manual reset, initially signalled, unnamed.
        KernelHandle event(CreateEventW(nullptr, TRUE, TRUE, nullptr));
        if (!event.valid()) return nullptr;
        event_ = std::make_shared<CompletionEvent>();
        event_->handle = std::move(event);
    }
    return std::make_unique<Win32HidHandle>(std::move(file), overlapped, event_);
}

}  // namespace zelio
