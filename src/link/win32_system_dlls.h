// hid.dll, setupapi.dll and cfgmgr32.dll, loaded from System32 only. None is a KnownDLL,
// so importing them would let a DLL of the same name in the program's folder
// (a portable copy unpacked into Downloads, say) be loaded in their place;
// GNU ld has no delay-load, so the HID host calls them through this table.
#pragma once

// windows.h comes in through the owner types, with the project's macros.
#include "win32/win32_unique.h"

#include <cfgmgr32.h>
#include <setupapi.h>
extern "C" {
#include <hidsdi.h>
}

namespace zelio::win32 {

struct SystemHid {
    decltype(&::HidD_GetHidGuid) HidD_GetHidGuid;
    decltype(&::HidD_GetAttributes) HidD_GetAttributes;
    decltype(&::HidD_GetPreparsedData) HidD_GetPreparsedData;
    decltype(&::HidD_FreePreparsedData) HidD_FreePreparsedData;
    decltype(&::HidP_GetCaps) HidP_GetCaps;
    decltype(&::HidD_GetSerialNumberString) HidD_GetSerialNumberString;
    decltype(&::SetupDiGetClassDevsW) SetupDiGetClassDevsW;
    decltype(&::SetupDiEnumDeviceInterfaces) SetupDiEnumDeviceInterfaces;
    decltype(&::SetupDiGetDeviceInterfaceDetailW) SetupDiGetDeviceInterfaceDetailW;
    decltype(&::SetupDiDestroyDeviceInfoList) SetupDiDestroyDeviceInfoList;
    decltype(&::CM_Get_Parent) CM_Get_Parent;
    decltype(&::CM_Get_DevNode_PropertyW) CM_Get_DevNode_PropertyW;
};

// The functions, looked up once. Where a DLL cannot be loaded, its functions
// fail with ERROR_MOD_NOT_FOUND (and return 0, FALSE, a null handle or
// CR_CALL_NOT_IMPLEMENTED), so
// the caller reports that reason as for any other failed call.
const SystemHid& systemHid();

// Close functions for the owner types.
inline void destroyDeviceInfoList(HDEVINFO set) { systemHid().SetupDiDestroyDeviceInfoList(set); }
inline void freePreparsedData(PHIDP_PREPARSED_DATA data) { systemHid().HidD_FreePreparsedData(data); }

}  // namespace zelio::win32
