// zelio-demo.exe: the configuration utility wired to two virtual modules
// instead of the HID driver, with the module bench window next to it to plug
// and unplug them and press the ZEL280's body button.
#include "ui/win32_util.h"

#include <dbt.h>

#include "emulator/emulated_host.h"
#include "ui/layout.h"
#include "ui/main_window.h"
#include "demo/module_bench.h"
#include "ui/startup.h"

namespace {

// Left edge of the bench: just right of the 400-pixel main window.
constexpr int kBenchX = 420;
constexpr int kBenchY = 0;

// This process's top-level window of `className`, or nullptr.
HWND findOwnWindow(const wchar_t* className) {
    const DWORD self = ::GetCurrentProcessId();
    HWND window = nullptr;
    while ((window = ::FindWindowExW(nullptr, window, className, nullptr)) != nullptr) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(window, &owner);
        if (owner == self) return window;
    }
    return nullptr;
}

// As the platform announces a plugged or unplugged device: posted, so a
// command handler that caused the change (Reset, ID Change) finishes first.
void postDevicesChanged() {
    if (HWND main = findOwnWindow(zelio::ui::kMainClassName))
        ::PostMessageW(main, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int showCmd) {
    using namespace zelio;

    EmulatedHost host;  // on the real clock
    VirtualModule& zel280 = host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Normal);
    VirtualModule& zel260 = host.addModule(Model::Zel260, 1, 0x10, ModuleMode::Normal);

    demo::ModuleBench bench(host, {&zel280, &zel260});
    bench.followDeviceChanges(postDevicesChanged);
    // Every report the program writes shows on the bench before the command
    // that wrote it returns.
    demo::NotifyingHidHost wired(host, [&bench] { bench.refresh(); });

    if (demo::ModuleBench::registerClass(instance)) {
        // The bench is laid out in 96-DPI pixels: where the system can, it
        // scales the bench as a DPI-unaware window. Its left edge leaves room
        // for the main window at the system's scaling, whether or not the
        // system scales the bench's position too.
        const ui::Scale scale(ui::windowDpi(nullptr));
        using SetContext = DPI_AWARENESS_CONTEXT WINAPI(DPI_AWARENESS_CONTEXT);
        auto* setContext = reinterpret_cast<SetContext*>(reinterpret_cast<void*>(
            ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "SetThreadDpiAwarenessContext")));
        const DPI_AWARENESS_CONTEXT previous = setContext ? setContext(DPI_AWARENESS_CONTEXT_UNAWARE) : nullptr;
        bench.create(instance, scale.px(kBenchX), scale.px(kBenchY), SW_SHOWNOACTIVATE);
        if (previous) setContext(previous);
    }

    const int exitCode = ui::runApp(instance, commandLine ? commandLine : L"", showCmd, wired);
    return exitCode;
}
