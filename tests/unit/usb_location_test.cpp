#include <gtest/gtest.h>

#include "link/usb_location.h"

namespace {

TEST(UsbLocation, ThePortIsTheControllerThenTheHubPortsFromTheRootDown) {
    const struct {
        const char* path;
        const char* port;
    } rows[] = {
        {"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)#USB(4)", "0.1400-2.4"},
        {"PCIROOT(0)#PCI(1C00)#PCI(0000)#USBROOT(0)#USB(12)#USBMI(0)", "0.1C00.0000-12"},
        {"ACPI(_SB_)#ACPI(USB0)#USBROOT(0)#USB(1)#USB(3)#USB(2)", "_SB_.USB0-1.3.2"},
        {"ACPI(_SB_)#ACPI(PCI0)#ACPI(XHC_)#ACPI(RHUB)#ACPI(HS02)", ""},  // no USB root hub
        {"PCIROOT(0)#PCI(1400)#USBROOT(0)", ""},                        // the root hub itself
        {"USBROOT(0)#USB(2)", ""},                                      // no controller
        {"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2a)", ""},
        {"PCIROOT(0)#PCI(14 0)#USBROOT(0)#USB(2)", ""},
        {"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)#", ""},
        {"PCIROOT(0)PCI(1400)#USBROOT(0)#USB(2)", ""},
        {"PCIROOT(0)#PCI()#USBROOT(0)#USB(2)", ""},
        {"", ""},
    };
    for (const auto& row : rows) EXPECT_EQ(zelio::usbPortOfLocationPath(row.path), row.port) << row.path;
}

}  // namespace
