#include <gtest/gtest.h>

#include "link/usb_location.h"

TEST(UsbLocation, ThePortIsTheControllerThenTheHubPortsFromTheRootDown) {
    const char* const rows[][2] = {
        {"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)#USB(4)", "0.1400-2.4"},
        {"PCIROOT(0)#PCI(1C00)#PCI(0000)#USBROOT(0)#USB(12)#USBMI(0)", "0.1C00.0000-12"},
        {"ACPI(_SB_)#ACPI(PCI0)#ACPI(XHC_)#ACPI(RHUB)#ACPI(HS02)", ""},  // no USB root hub
        {"PCIROOT(0)#PCI(1400)#USBROOT(0)", ""},                        // the root hub itself
        {"USBROOT(0)#USB(2)", ""},                                      // no controller
        {"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2a)", ""},
        {"PCIROOT(0)#PCI(14 0)#USBROOT(0)#USB(2)", ""},
        {"PCIROOT(0)PCI(1400)#USBROOT(0)#USB(2)", ""},
        {"", ""},
    };
    for (const auto& [path, port] : rows) EXPECT_EQ(zelio::usbPortOfLocationPath(path), port) << path;
}
