// The module bench: a second top-level window of the demo build that shows
// the virtual modules behind an EmulatedHost and lets a person (or a test)
// plug, unplug, silence them and press the ZEL280's body button.
//
// Controls of module m (1-based, in the order the bench was given them),
// base = 1000 * m:
//   base + 0  static      the model name, "ZEL280" or "ZEL260"
//   base + 1  check box   "Plugged"   checked while plugged; a click plugs or unplugs
//   base + 2  push button "Setting button" (ZEL280 only): the body button held
//   base + 3  check box   "Silent"    the module takes commands but never replies
//   base + 9  static      exactly VirtualModule::stateLine()
// Below the buttons each module's eight outputs are drawn as lamps.
//
// The view is re-read from the modules (refresh()):
//   - after every report written to a module through a NotifyingHidHost whose
//     callback calls refresh() (so the state line is current as soon as the
//     command that changed it returns),
//   - after every device-list change once followDeviceChanges() is in effect,
//   - after each click on the bench's own controls,
//   - whenever the window receives kBenchRefreshMessage,
//   - and on a 50 ms timer, which also drives the blinking lamps and catches
//     changes made to a module directly.
#pragma once

#include "ui/win32_util.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "emulator/emulated_host.h"
#include "link/hid_host.h"

namespace zelio::demo {


inline constexpr wchar_t kBenchClassName[] = L"ZELIO MODULE BENCH";
inline constexpr wchar_t kBenchTitle[] = L"Module Bench";

// Sent or posted to the bench window: re-read every module now.
inline constexpr UINT kBenchRefreshMessage = WM_USER + 1;

// Control offsets within a module's block of ids.
inline constexpr int kBenchNameLabel = 0;
inline constexpr int kBenchPlugged = 1;
inline constexpr int kBenchSettingButton = 2;
inline constexpr int kBenchSilent = 3;
inline constexpr int kBenchStateLine = 9;

// Id of a control of module `module` (1-based).
constexpr int benchControlId(int module, int offset) { return 1000 * module + offset; }

// Lamp colours: an output never driven, driven high (and the lit phase of a
// blink), driven low (and the dark phase of a blink).
inline constexpr COLORREF kLampOffColour = RGB(150, 150, 150);
inline constexpr COLORREF kLampHighColour = RGB(0, 220, 60);
inline constexpr COLORREF kLampLowColour = RGB(30, 45, 30);

// Whether a blinking output is lit `elapsedMs` after its blink began: lit for
// (high nibble) x 100 ms, then dark for (low nibble) x 100 ms, repeating. A
// high time of 0 is never lit; a low time of 0 (with a high time) always is.
bool blinkLit(uint8_t blinkByte, int64_t elapsedMs);

// The colour of a lamp for output state `out`, `elapsedMs` after that state
// was first seen. An unplugged module has no power: every lamp is off.
COLORREF lampColour(const OutputState& out, bool plugged, int64_t elapsedMs);

// A HidHost that forwards everything to another one and calls `onReport`
// after every output report written to any device (successful or not). The
// callback runs on the writer's thread, inside the command that wrote.
class NotifyingHidHost final : public ForwardingHidHost {
public:
    NotifyingHidHost(HidHost& inner, std::function<void()> onReport);

    std::unique_ptr<HidHandle> open(const std::string& path, bool overlapped) override;

private:
    // Shared with every handle, so a handle that outlives the host is safe.
    std::shared_ptr<std::function<void()>> onReport_;
};

class ModuleBench {
public:
    // `modules` belong to `host` and must outlive the bench. `clock` times the
    // blinking lamps.
    ModuleBench(EmulatedHost& host, std::vector<VirtualModule*> modules, Clock& clock = systemClock());
    ~ModuleBench();  // destroys the window and drops the device-change hook
    ModuleBench(const ModuleBench&) = delete;
    ModuleBench& operator=(const ModuleBench&) = delete;

    // Registers the window class; true also when it is registered already.
    static bool registerClass(HINSTANCE instance);
    static void unregisterClass(HINSTANCE instance);

    // Creates the window with its top-left corner at (x, y) in screen
    // coordinates and shows it with `showCmd`. nullptr on failure.
    HWND create(HINSTANCE instance, int x, int y, int showCmd);
    HWND window() const { return window_; }

    // The window's messages, from windowProc<ModuleBench> (ui/window_dispatch.h).
    LRESULT handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    // Hooks the host's device-change callback: the bench refreshes, then
    // `after` runs (the demo posts the devices-changed message there).
    void followDeviceChanges(std::function<void()> after);

    // Re-reads every module into the state lines, check boxes and lamps.
    void refresh();

    // Centre of the lamp of output `channel` (1-8) of module `module`
    // (1-based), in client coordinates, and the lamps' radius.
    static POINT lampCentre(int module, int channel);
    static constexpr int kLampRadius = 11;

private:
    struct Lamp {
        OutputState state;
        bool plugged = true;
        int64_t since = 0;   // when `state` was first seen
        COLORREF colour = kLampOffColour;
    };
    struct Slot {
        VirtualModule* module = nullptr;
        HWND plugged = nullptr;
        HWND silent = nullptr;
        HWND stateLine = nullptr;
        std::string shownLine;  // the state line's text as last set
        std::array<Lamp, 8> lamps{};
    };

    void onCreate();
    void onCommand(int id, int code);
    void paint();
    void updateLamps(Slot& slot, int module, int64_t now);

    EmulatedHost& host_;
    Clock& clock_;
    std::vector<Slot> slots_;
    HINSTANCE instance_ = nullptr;
    HWND window_ = nullptr;
    bool hooked_ = false;

    win32::unique_hfont nameFont_;
    win32::unique_hfont lineFont_;
    win32::unique_hbrush offBrush_, highBrush_, lowBrush_;
    win32::unique_hpen rimPen_, rulePen_;
};

}  // namespace zelio::demo
