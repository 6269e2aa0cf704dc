#include "hidsim.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <winioctl.h>
#include <setupapi.h>
#include <cfgmgr32.h>
#include <initguid.h>
#include <devguid.h>
extern "C" {
#include <hidsdi.h>
}

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstddef>
#include <cwchar>
#include <cwctype>
#include <deque>

#include "hidsim_protocol.h"
#include "win32/win32_text.h"
#include "win32/win32_unique.h"

namespace zelio::hidsim {

namespace {

using Clock = std::chrono::steady_clock;

namespace detail {
inline void destroyList(HDEVINFO set) noexcept { SetupDiDestroyDeviceInfoList(set); }
inline void closeService(SC_HANDLE h) noexcept { CloseServiceHandle(h); }
}  // namespace detail

using unique_hdevinfo = win32::unique_any<HDEVINFO, detail::destroyList, win32::NotNullOrInvalid>;
using unique_service = win32::unique_any<SC_HANDLE, detail::closeService>;
using win32::unique_handle;

std::string lastError(const char* call) { return std::string(call) + ": " + win32::errorText(GetLastError()); }

bool sameText(const std::wstring& a, const wchar_t* b) {
    if (a.size() != std::wcslen(b)) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::towupper(a[i]) != std::towupper(b[i])) return false;
    return true;
}

std::wstring instanceIdOf(HDEVINFO set, SP_DEVINFO_DATA& data) {
    wchar_t id[MAX_DEVICE_ID_LEN];
    if (!SetupDiGetDeviceInstanceIdW(set, &data, id, MAX_DEVICE_ID_LEN, nullptr)) return {};
    return id;
}

// Device paths of the present interfaces of `guid`, each with the instance
// ID of its device.
std::vector<std::pair<std::wstring, std::wstring>> interfaces(const GUID& guid) {
    std::vector<std::pair<std::wstring, std::wstring>> found;
    unique_hdevinfo list(SetupDiGetClassDevsW(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!list.valid()) return found;
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA iface{};
        iface.cbSize = sizeof(iface);
        if (!SetupDiEnumDeviceInterfaces(list.get(), nullptr, &guid, index, &iface)) break;
        DWORD required = 0;
        SetupDiGetDeviceInterfaceDetailW(list.get(), &iface, nullptr, 0, &required, nullptr);
        if (required == 0) continue;
        std::vector<DWORD> storage(required / sizeof(DWORD) + 2);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof(device);
        if (!SetupDiGetDeviceInterfaceDetailW(list.get(), &iface, detail, required, nullptr, &device)) continue;
        found.emplace_back(detail->DevicePath, instanceIdOf(list.get(), device));
    }
    return found;
}

bool callInstaller(DI_FUNCTION function, HDEVINFO set, SP_DEVINFO_DATA* data, std::string& error) {
    if (SetupDiCallClassInstaller(function, set, data) || GetLastError() == ERROR_DI_DO_DEFAULT) return true;
    char call[48];
    std::snprintf(call, sizeof call, "SetupDiCallClassInstaller(0x%lx)", static_cast<unsigned long>(function));
    error = lastError(call);
    return false;
}

bool setValue(HKEY key, const wchar_t* name, DWORD value) {
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value)) ==
           ERROR_SUCCESS;
}

std::string startService() {
    unique_service manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return lastError("OpenSCManagerW");
    unique_service service(OpenServiceW(manager.get(), L"zeliohid", SERVICE_START));
    if (!service) return lastError("OpenServiceW(zeliohid)");
    if (!StartServiceW(service.get(), 0, nullptr) && GetLastError() != ERROR_SERVICE_ALREADY_RUNNING)
        return lastError("StartServiceW(zeliohid)");
    return {};
}


}  // namespace

std::wstring infNextToProgram() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    std::wstring dir(path, length);
    dir.erase(dir.find_last_of(L"\\/") + 1);
    return dir + L"zeliohid.inf";
}

std::string installDevice(const std::wstring& inf, const std::wstring& instance, const DeviceSettings& settings) {
    unique_hdevinfo list(SetupDiCreateDeviceInfoList(&GUID_DEVCLASS_SYSTEM, nullptr));
    if (!list.valid()) return lastError("SetupDiCreateDeviceInfoList");
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    if (!SetupDiCreateDeviceInfoW(list.get(), instance.c_str(), &GUID_DEVCLASS_SYSTEM, nullptr, nullptr, 0, &device))
        return lastError("SetupDiCreateDeviceInfoW");
    static const wchar_t hardwareId[] = ZELIOHID_HARDWARE_ID L"\0";
    if (!SetupDiSetDeviceRegistryPropertyW(list.get(), &device, SPDRP_HARDWAREID,
                                           reinterpret_cast<const BYTE*>(hardwareId), sizeof(hardwareId)))
        return lastError("SetupDiSetDeviceRegistryPropertyW");
    std::string error;
    if (!callInstaller(DIF_REGISTERDEVICE, list.get(), &device, error)) return error;

    // What the driver reads when it adds the device.
    HKEY key = SetupDiCreateDevRegKeyW(list.get(), &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, nullptr, nullptr);
    if (key == INVALID_HANDLE_VALUE) return lastError("SetupDiCreateDevRegKeyW");
    const bool written = setValue(key, ZELIOHID_VALUE_VENDOR, settings.vendorId) &&
                         setValue(key, ZELIOHID_VALUE_PRODUCT, settings.productId) &&
                         setValue(key, ZELIOHID_VALUE_REPORT_LENGTH, settings.reportLength) &&
                         setValue(key, ZELIOHID_VALUE_HOLD_WRITES, settings.holdWrites ? 1 : 0);
    RegCloseKey(key);
    if (!written) return "RegSetValueExW failed";

    SP_DEVINSTALL_PARAMS_W params{};
    params.cbSize = sizeof(params);
    if (!SetupDiGetDeviceInstallParamsW(list.get(), &device, &params)) return lastError("SetupDiGetDeviceInstallParamsW");
    if (inf.size() >= MAX_PATH) return "INF path too long";
    std::wcscpy(params.DriverPath, inf.c_str());
    params.Flags |= DI_ENUMSINGLEINF;
    if (!SetupDiSetDeviceInstallParamsW(list.get(), &device, &params)) return lastError("SetupDiSetDeviceInstallParamsW");
    if (!SetupDiBuildDriverInfoList(list.get(), &device, SPDIT_COMPATDRIVER))
        return lastError("SetupDiBuildDriverInfoList");

    static const DI_FUNCTION steps[] = {
        DIF_SELECTBESTCOMPATDRV, DIF_ALLOW_INSTALL,  DIF_INSTALLDEVICEFILES,          DIF_REGISTER_COINSTALLERS,
        DIF_INSTALLINTERFACES,   DIF_INSTALLDEVICE,  DIF_NEWDEVICEWIZARD_FINISHINSTALL,
    };
    for (DI_FUNCTION step : steps)
        if (!callInstaller(step, list.get(), &device, error)) return error;
    return startService();
}

bool removeDevice(const std::wstring& instance) {
    unique_hdevinfo list(SetupDiCreateDeviceInfoList(nullptr, nullptr));
    if (!list.valid()) return false;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    if (!SetupDiOpenDeviceInfoW(list.get(), instance.c_str(), nullptr, 0, &device)) return false;
    std::string error;
    return callInstaller(DIF_REMOVE, list.get(), &device, error);
}

int removeAllDevices() {
    std::vector<std::wstring> found;
    {
        unique_hdevinfo list(SetupDiGetClassDevsW(nullptr, L"ROOT", nullptr, DIGCF_ALLCLASSES));
        if (!list.valid()) return 0;
        const std::wstring prefix = ZELIOHID_INSTANCE_PREFIX;
        for (DWORD index = 0;; ++index) {
            SP_DEVINFO_DATA device{};
            device.cbSize = sizeof(device);
            if (!SetupDiEnumDeviceInfo(list.get(), index, &device)) break;
            const std::wstring id = instanceIdOf(list.get(), device);
            if (id.size() > prefix.size() && sameText(id.substr(0, prefix.size()), prefix.c_str()))
                found.push_back(id);
        }
    }
    int removed = 0;
    for (const std::wstring& id : found) removed += removeDevice(id) ? 1 : 0;
    return removed;
}

int countHidInterfaces(uint16_t vendorId, uint16_t productId) {
    GUID hid{};
    HidD_GetHidGuid(&hid);
    int count = 0;
    for (const auto& [path, instance] : interfaces(hid)) {
        unique_handle file(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                nullptr));
        if (!file.valid()) continue;
        HIDD_ATTRIBUTES attributes{};
        attributes.Size = sizeof(attributes);
        if (HidD_GetAttributes(file.get(), &attributes) && attributes.VendorID == vendorId &&
            attributes.ProductID == productId)
            ++count;
    }
    return count;
}

// ------------------------------------------------------------------ bench

struct Bench::Device {
    std::wstring instance;
    DeviceSettings settings;
    VirtualModule* module = nullptr;  // none for a foreign device
    bool installed = false;
    unique_handle stop{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::thread thread;
};

namespace {

constexpr int kVisibleTimeoutMs = 10000;

// Polls `done` every 10 ms for at most `timeoutMs`.
template <typename F>
bool poll(F done, int timeoutMs) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (done()) return true;
        if (Clock::now() >= end) return false;
        Sleep(10);
    }
}

HANDLE openControl(const std::wstring& instance) {
    HANDLE file = INVALID_HANDLE_VALUE;
    poll(
        [&] {
            for (const auto& [path, id] : interfaces(GUID_DEVINTERFACE_ZELIOHID_CONTROL)) {
                if (!sameText(id, instance.c_str())) continue;
                file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
                return file != INVALID_HANDLE_VALUE;
            }
            return false;
        },
        kVisibleTimeoutMs);
    return file;
}

// A synchronous request on the overlapped control handle.
bool control(HANDLE file, DWORD code, const void* in, DWORD inSize) {
    unique_handle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED record{};
    record.hEvent = event.get();
    DWORD done = 0;
    if (!DeviceIoControl(file, code, const_cast<void*>(in), inSize, nullptr, 0, nullptr, &record) &&
        GetLastError() != ERROR_IO_PENDING)
        return false;
    return GetOverlappedResult(file, &record, &done, TRUE) != FALSE;
}

}  // namespace

Bench::Bench(std::wstring inf) : inf_(std::move(inf)) {
    if (inf_.empty() || GetFileAttributesW(inf_.c_str()) == INVALID_FILE_ATTRIBUTES) {
        error_ = "no zeliohid.inf next to the program";
        return;
    }
    removeAllDevices();
}

Bench::~Bench() {
    for (auto& device : devices_) {
        SetEvent(device->stop.get());
        if (device->thread.joinable()) device->thread.join();
        if (device->installed) uninstall(*device);
    }
}

bool Bench::install(Device& device, std::string& error) {
    wchar_t number[16];
    std::swprintf(number, 16, L"%04u", nextInstance_++);
    device.instance = std::wstring(ZELIOHID_INSTANCE_PREFIX) + number;
    const int before = countHidInterfaces(device.settings.vendorId, device.settings.productId);
    const std::string failure = installDevice(inf_, device.instance, device.settings);
    if (!failure.empty()) {
        error = failure;
        return false;
    }
    device.installed = true;
    if (!poll([&] { return countHidInterfaces(device.settings.vendorId, device.settings.productId) > before; },
              kVisibleTimeoutMs)) {
        error = "the installed device never showed as a HID interface";
        return false;
    }
    return true;
}

void Bench::uninstall(Device& device) {
    const int before = countHidInterfaces(device.settings.vendorId, device.settings.productId);
    removeDevice(device.instance);
    device.installed = false;
    poll([&] { return countHidInterfaces(device.settings.vendorId, device.settings.productId) < before; },
         kVisibleTimeoutMs);
}

VirtualModule* Bench::addModule(Model model, int idNibble, uint8_t firmware, ModuleMode mode,
                                const std::function<void(VirtualModule&)>& configure, Faults faults) {
    if (!error_.empty()) return nullptr;
    auto device = std::make_unique<Device>();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        VirtualModule& m = emulator_.addModule(model, idNibble, firmware, mode);
        if (configure) configure(m);
        device->module = &m;
        device->settings.productId = m.productId();
        device->settings.reportLength = m.outputReportLength;
        device->settings.holdWrites = faults.holdWrites;
    }
    if (!install(*device, error_)) return nullptr;
    Device* raw = device.get();
    device->thread = std::thread([this, raw] { bridge(raw); });
    devices_.push_back(std::move(device));
    return raw->module;
}

VirtualModule* Bench::addModule(const std::string& description) {
    const std::optional<ModuleDescription> d = parseModuleDescription(description);
    if (!d) {
        error_ = "bad module " + description;
        return nullptr;
    }
    Faults faults;
    faults.holdWrites = d->holdWrites;
    return addModule(d->model, d->idNibble, 0x12, d->mode, [&](VirtualModule& m) { d->applyTo(m); }, faults);
}

bool Bench::addForeign(uint16_t vendorId, uint16_t productId) {
    if (!error_.empty()) return false;
    auto device = std::make_unique<Device>();
    device->settings.vendorId = vendorId;
    device->settings.productId = productId;
    if (!install(*device, error_)) return false;
    Device* raw = device.get();
    device->thread = std::thread([this, raw] { bridge(raw); });
    devices_.push_back(std::move(device));
    return true;
}

void Bench::unplug(VirtualModule& m) {
    for (auto& device : devices_) {
        if (device->module != &m) continue;
        SetEvent(device->stop.get());
        if (device->thread.joinable()) device->thread.join();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            emulator_.unplug(m);
        }
        if (device->installed) uninstall(*device);
        changed_.notify_all();
    }
}

bool Bench::waitFor(const std::function<bool()>& done, int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), done);
}

// Serves one device until it is stopped or goes away: output reports through
// the firmware, replies back (late ones when the module is set so), and a
// re-enumeration as the device's removal and a new device with the new ID.
void Bench::bridge(Device* device) {
    struct Due {
        Clock::time_point at;
        std::vector<uint8_t> report;
    };
    for (;;) {
        unique_handle file(openControl(device->instance));
        if (!file.valid()) return;
        unique_handle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        std::deque<Due> late;
        bool reenumerated = false;

        while (!reenumerated) {
            uint8_t report[ZELIOHID_MAX_REPORT] = {};
            OVERLAPPED record{};
            record.hEvent = event.get();
            ResetEvent(event.get());
            if (!DeviceIoControl(file.get(), IOCTL_ZELIOHID_NEXT_OUTPUT, nullptr, 0, report, sizeof(report), nullptr,
                                 &record) &&
                GetLastError() != ERROR_IO_PENDING)
                return;  // the device went away
            DWORD wait;
            for (;;) {
                DWORD timeout = INFINITE;
                if (!late.empty()) {
                    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(late.front().at -
                                                                                           Clock::now());
                    timeout = left.count() > 0 ? static_cast<DWORD>(left.count()) : 0;
                }
                HANDLE events[2] = {event.get(), device->stop.get()};
                wait = WaitForMultipleObjects(2, events, FALSE, timeout);
                if (wait != WAIT_TIMEOUT) break;
                while (!late.empty() && late.front().at <= Clock::now()) {
                    control(file.get(), IOCTL_ZELIOHID_PUT_INPUT, late.front().report.data(),
                            static_cast<DWORD>(late.front().report.size()));
                    late.pop_front();
                }
            }
            DWORD got = 0;
            if (wait != WAIT_OBJECT_0) {  // told to stop
                CancelIo(file.get());
                GetOverlappedResult(file.get(), &record, &got, TRUE);
                return;
            }
            if (!GetOverlappedResult(file.get(), &record, &got, FALSE)) return;  // the device went away
            if (!device->module) continue;  // a foreign device answers nothing

            VirtualModule& m = *device->module;
            std::vector<std::vector<uint8_t>> replies;
            int delayMs = 0;
            uint16_t before = 0, after = 0;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                before = m.productId();
                replies = emulator_.firmwareReplies(m, report, got);
                after = m.productId();
                delayMs = m.replyDelayMs;
            }
            changed_.notify_all();
            for (auto& reply : replies) {
                if (delayMs > 0) {
                    late.push_back({Clock::now() + std::chrono::milliseconds(delayMs), std::move(reply)});
                } else {
                    control(file.get(), IOCTL_ZELIOHID_PUT_INPUT, reply.data(), static_cast<DWORD>(reply.size()));
                }
            }
            if (after != before) {
                reenumerated = true;
                device->settings.productId = after;
            }
        }

        // The module left (a reset, an ID change, pulled out during a
        // command): give the reply a moment to reach the host, then take
        // the device away and, unless it was pulled out, bring it back
        // under its new product ID.
        Sleep(100);
        file.reset();
        removeDevice(device->instance);
        device->installed = false;
        if (device->settings.productId == 0) return;
        std::string error;  // a module that does not come back stays away
        if (!install(*device, error)) return;
        changed_.notify_all();
    }
}

}  // namespace zelio::hidsim
