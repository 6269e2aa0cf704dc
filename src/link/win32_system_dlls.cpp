#include "link/win32_system_dlls.h"

#include <type_traits>

namespace zelio::win32 {

namespace {

template <typename F>
struct Missing;
template <typename R, typename... A>
struct Missing<R(WINAPI*)(A...)> {
    static R WINAPI call(A...) {
        ::SetLastError(ERROR_MOD_NOT_FOUND);
        // The configuration manager's 0 would be CR_SUCCESS.
        if constexpr (std::is_same_v<R, CONFIGRET>) return CR_CALL_NOT_IMPLEMENTED;
        else if constexpr (!std::is_void_v<R>) return R{};
    }
};

template <typename F>
void bind(HMODULE dll, const char* name, F& slot) {
    const FARPROC found = dll ? ::GetProcAddress(dll, name) : nullptr;
    slot = found ? reinterpret_cast<F>(reinterpret_cast<void*>(found)) : &Missing<F>::call;
}

SystemHid load() {
    // Loaded for the life of the process.
    const HMODULE hid = ::LoadLibraryExW(L"hid.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    const HMODULE setupapi = ::LoadLibraryExW(L"setupapi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    const HMODULE cfgmgr32 = ::LoadLibraryExW(L"cfgmgr32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    SystemHid api{};
    bind(hid, "HidD_GetHidGuid", api.HidD_GetHidGuid);
    bind(hid, "HidD_GetAttributes", api.HidD_GetAttributes);
    bind(hid, "HidD_GetPreparsedData", api.HidD_GetPreparsedData);
    bind(hid, "HidD_FreePreparsedData", api.HidD_FreePreparsedData);
    bind(hid, "HidP_GetCaps", api.HidP_GetCaps);
    bind(hid, "HidD_GetSerialNumberString", api.HidD_GetSerialNumberString);
    bind(setupapi, "SetupDiGetClassDevsW", api.SetupDiGetClassDevsW);
    bind(setupapi, "SetupDiEnumDeviceInterfaces", api.SetupDiEnumDeviceInterfaces);
    bind(setupapi, "SetupDiGetDeviceInterfaceDetailW", api.SetupDiGetDeviceInterfaceDetailW);
    bind(setupapi, "SetupDiDestroyDeviceInfoList", api.SetupDiDestroyDeviceInfoList);
    bind(cfgmgr32, "CM_Get_Parent", api.CM_Get_Parent);
    bind(cfgmgr32, "CM_Get_DevNode_PropertyW", api.CM_Get_DevNode_PropertyW);
    return api;
}

}  // namespace

const SystemHid& systemHid() {
    static const SystemHid api = load();
    return api;
}

}  // namespace zelio::win32
