// zelio.exe: the configuration utility on the platform's HID driver.
#include "link/win32_hid_host.h"
#include "ui/startup.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int showCmd) {
    zelio::Win32HidHost host;
    return zelio::ui::runApp(instance, commandLine ? commandLine : L"", showCmd, host);
}
