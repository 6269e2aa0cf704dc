// HID host over SetupDi enumeration, HidD/HidP queries and file I/O on the
// device interface. Every handle the system gives out has its owner type, so
// nothing stays open on any return path, and every failing call leaves its
// reason for the caller.
#include "link/win32_hid_host.h"

// windows.h comes in through the owner types, with the project's macros.
#include "link/win32_unique.h"

#include <setupapi.h>
extern "C" {
#include <hidsdi.h>
}

#include "link/win32_text.h"

#include <cstddef>
#include <cwchar>
#include <limits>
#include <utility>

namespace zelio {

namespace {

using win32::unique_handle;
using unique_hdevinfo = win32::unique_any<HDEVINFO, ::SetupDiDestroyDeviceInfoList, win32::NotNullOrInvalid>;
using unique_preparsed = win32::unique_any<PHIDP_PREPARSED_DATA, ::HidD_FreePreparsedData>;

// The failure of `call`, with GetLastError()'s code and text.
Failure lastError(const char* call) {
    const DWORD code = GetLastError();
    FailureKind kind = FailureKind::Io;
    switch (code) {
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            kind = FailureKind::Access;
            break;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_DEV_NOT_EXIST:
        case ERROR_BAD_COMMAND:
            kind = FailureKind::Gone;
            break;
        default:
            break;
    }
    return Failure{kind, call, win32::errorText(code)};
}

}  // namespace

struct Win32HidHost::CompletionEvent {
    unique_handle handle;
};

namespace {

class Win32HidHandle final : public HidHandle {
public:
    Win32HidHandle(unique_handle file, bool overlapped, std::shared_ptr<Win32HidHost::CompletionEvent> event)
        : file_(std::move(file)), overlapped_(overlapped), event_(std::move(event)) {}

    bool attributes(HidAttributes& out) override {
        HIDD_ATTRIBUTES attributes{};
        attributes.Size = sizeof(attributes);
        if (!HidD_GetAttributes(file_.get(), &attributes)) {
            failure_ = lastError("HidD_GetAttributes");
            return false;
        }
        failure_ = Failure{};
        out.vendorId = attributes.VendorID;
        out.productId = attributes.ProductID;
        return true;
    }

    bool caps(HidCaps& out) override {
        unique_preparsed preparsed;
        if (!HidD_GetPreparsedData(file_.get(), preparsed.put()) || !preparsed) {
            failure_ = lastError("HidD_GetPreparsedData");
            return false;
        }
        HIDP_CAPS caps{};
        if (HidP_GetCaps(preparsed.get(), &caps) != HIDP_STATUS_SUCCESS) {
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
        const DWORD wanted = static_cast<DWORD>(length);
        DWORD written = 0;
        if (!overlapped_) {
            if (!WriteFile(file_.get(), data, wanted, &written, nullptr)) {
                failure_ = lastError("WriteFile");
                return false;
            }
            return checkWritten(written, wanted);
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
        if (!ok) failure_ = lastError("WriteFile");
        ResetEvent(event);
        return ok && checkWritten(written, wanted);
    }

    ReadResult read(uint8_t* buffer, size_t length, int timeoutMs) override {
        // A read needs the overlapped handle: on a synchronous one it could
        // block for ever.
        if (!overlapped_ || buffer == nullptr || length == 0 || length > std::numeric_limits<DWORD>::max()) {
            failure_ = Failure{FailureKind::Io, "ReadFile", "this handle cannot read"};
            return ReadResult::Error;
        }
        failure_ = Failure{};
        HANDLE event = event_->handle.get();
        ResetEvent(event);
        OVERLAPPED record{};
        record.hEvent = event;
        DWORD transferred = 0;
        ReadResult result;
        if (!ReadFile(file_.get(), buffer, static_cast<DWORD>(length), nullptr, &record) &&
            GetLastError() != ERROR_IO_PENDING) {
            failure_ = lastError("ReadFile");
            result = ReadResult::Error;  // the read never started
        } else {
            const DWORD wait = WaitForSingleObject(event, static_cast<DWORD>(timeoutMs > 0 ? timeoutMs : 0));
            if (wait == WAIT_OBJECT_0) {
                if (GetOverlappedResult(file_.get(), &record, &transferred, FALSE)) {
                    result = ReadResult::Ok;
                } else {
                    failure_ = lastError("ReadFile");
                    result = ReadResult::Error;
                }
            } else {
                // Cancel, then wait until the cancelled read has really ended:
                // `buffer` and `record` must not be written after we return.
                CancelIo(file_.get());
                GetOverlappedResult(file_.get(), &record, &transferred, TRUE);
                if (wait == WAIT_TIMEOUT) {
                    result = ReadResult::Timeout;
                } else {
                    failure_ = lastError("WaitForSingleObject");
                    result = ReadResult::Error;
                }
            }
        }
        ResetEvent(event);
        return result;
    }

private:
    bool checkWritten(DWORD written, DWORD wanted) {
        if (written == wanted) return true;
        failure_ = Failure{FailureKind::Io, "WriteFile",
                           "wrote " + std::to_string(written) + " of " + std::to_string(wanted) + " bytes"};
        return false;
    }

    unique_handle file_;
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
    unique_hdevinfo set(SetupDiGetClassDevsW(&hidGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!set) {
        failure_ = lastError("SetupDiGetClassDevsW");
        return paths;
    }
    failure_ = Failure{};

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
        std::string path = win32::narrow(std::wstring_view(detail->DevicePath, wcsnlen(detail->DevicePath, maxChars)));
        if (!path.empty()) paths.push_back(std::move(path));
    }
    return paths;
}

std::unique_ptr<HidHandle> Win32HidHost::open(const std::string& path, bool overlapped) {
    const std::wstring widePath = win32::widen(path);
    if (widePath.empty()) {
        failure_ = Failure{FailureKind::NotFound, "CreateFileW", "empty device path"};
        return nullptr;
    }
    unique_handle file(CreateFileW(widePath.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, overlapped ? FILE_FLAG_OVERLAPPED : 0, nullptr));
    if (!file) {
        failure_ = lastError("CreateFileW");
        return nullptr;
    }
    if (!event_) {
        // Manual reset, initially signalled, unnamed.
        unique_handle event(CreateEventW(nullptr, TRUE, TRUE, nullptr));
        if (!event) {
            failure_ = lastError("CreateEventW");
            return nullptr;
        }
        event_ = std::make_shared<CompletionEvent>();
        event_->handle = std::move(event);
    }
    failure_ = Failure{};
    return std::make_unique<Win32HidHandle>(std::move(file), overlapped, event_);
}

}  // namespace zelio
