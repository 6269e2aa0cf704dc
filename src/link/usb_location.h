// The USB port of a module on Windows, as zelioctl shows it and --port
// takes it, from the device's location path. Portable: the Windows HID host
// reads the path, this names the port.
#pragma once

#include <string>
#include <string_view>

namespace zelio {

// One of a device's location paths, "PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)#USB(4)",
// as a port, "0.1400-2.4": the USB controller (the values of the parts before
// USBROOT, joined by '.'), '-', then the hub ports from the root hub down
// (joined by '.'), in the shape of Linux's "1-1.4". Parts after the last
// USB(n) (USBMI(n), a composite device's interface) are not the port's.
// Empty when the path runs through no USB root hub or is malformed.
std::string usbPortOfLocationPath(std::string_view locationPath);

}  // namespace zelio
