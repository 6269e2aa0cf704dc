#include "ui/startup.h"

#include "link/module_link.h"
#include "protocol/command_set.h"
#include "ui/app.h"
#include "ui/main_window.h"

namespace zelio::ui {

std::wstring startupFilePath(std::wstring_view commandLine) {
    std::wstring_view path = commandLine;
    if (!path.empty() && path.back() == L'"') {
        path.remove_suffix(1);
        if (!path.empty()) path.remove_prefix(1);
    }
    if (path.size() > kMaxPathChars) return {};
    if (path.find(L".kbd") == std::wstring_view::npos) return {};
    return std::wstring(path);
}

namespace {

int runMessageLoop() {
    MSG msg{};
    for (;;) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) return static_cast<int>(msg.wParam);
        if (got == -1) return 0;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

}  // namespace

int runApp(HINSTANCE instance, std::wstring_view commandLine, int showCmd, HidHost& host) {
    ModuleLink link(host, systemClock());
    CommandSet commands(link);
    App app(commands);
    app.instance = instance;
    app.attachedFlag = 0;
    app.currentFilePath = startupFilePath(commandLine);

    if (!registerMainClass(instance)) return 0;
    if (!createMainWindow(app, showCmd)) {
        unregisterMainClass(instance);
        return 0;
    }
    const int exitCode = runMessageLoop();

    // File -> Exit ends the loop with the window still there: take it down
    // here, while the App it points to is alive, and drop the quit message
    // that its destruction posts.
    if (app.mainWindow) ::DestroyWindow(app.mainWindow);
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    unregisterMainClass(instance);
    return exitCode;
}

}  // namespace zelio::ui
