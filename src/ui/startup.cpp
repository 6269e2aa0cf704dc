#include "ui/startup.h"

#include "link/module_link.h"
#include "protocol/command_set.h"
#include "ui/main_window.h"
#include "ui/window_parts.h"

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

void dispatchLoopMessage(MainWindow& main, MSG& msg) {
    // The main window's own tab order first, then the platform's dialog keys.
    if (main.navigate(msg) || (main.window() && ::IsDialogMessageW(main.window(), &msg))) return;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
}

namespace {

int runMessageLoop(MainWindow& main) {
    MSG msg{};
    for (;;) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) return static_cast<int>(msg.wParam);
        if (got == -1) return 0;
        dispatchLoopMessage(main, msg);
    }
}

}  // namespace

int runApp(HINSTANCE instance, std::wstring_view commandLine, int showCmd, HidHost& host) {
    ModuleLink link(host, systemClock());
    CommandSet commands(link);
    MainWindow main(commands, instance);
    main.setStartupPath(startupFilePath(commandLine));

    if (!registerMainClass(instance)) return 0;
    if (!createMainWindow(main, showCmd)) {
        unregisterMainClass(instance);
        return 0;
    }
    const int exitCode = runMessageLoop(main);

    // File -> Exit ends the loop with the window still there: take it down
    // here, while the MainWindow it points to is alive, and drop the quit
    // message that its destruction posts.
    if (main.window()) ::DestroyWindow(main.window());
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    unregisterMainClass(instance);
    return exitCode;
}

}  // namespace zelio::ui
