// The module bench window in this process, on an EmulatedHost with a ZEL280
// and a ZEL260 in normal mode (as the demo starts them). Clicks are BM_CLICK
// messages, the view is read back through the controls and the window's
// pixels. Commands go through the NotifyingHidHost as the demo wires them,
// on a manual clock so that nothing waits.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "emulator/emulated_host.h"
#include "link/module_link.h"
#include "protocol/command_set.h"
#include "demo/module_bench.h"
#include "ui/win32_util.h"
#include "manual_clock.h"

namespace zelio::demo {

using namespace ui;
namespace {

HINSTANCE self() { return ::GetModuleHandleW(nullptr); }

std::wstring classOf(HWND window) {
    wchar_t name[128] = {};
    const int n = ::GetClassNameW(window, name, 128);
    return std::wstring(name, n > 0 ? static_cast<size_t>(n) : 0);
}

std::wstring textOf(HWND window) {
    const int length = ::GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int copied = ::GetWindowTextW(window, text.data(), length + 1);
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

bool startsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

class ModuleBenchTest : public ::testing::Test {
protected:
    ModuleBenchTest()
        : host(clock),
          zel280(host.addModule(Model::Zel280, 1, 0x12, ModuleMode::Normal)),
          zel260(host.addModule(Model::Zel260, 1, 0x10, ModuleMode::Normal)),
          bench(host, {&zel280, &zel260}, clock),
          wired(host, [this] { bench.refresh(); }),
          link(wired, clock),
          commands(link) {}

    void SetUp() override {
        ASSERT_TRUE(ModuleBench::registerClass(self()));
        bench.followDeviceChanges([this] { ++deviceChanges; });
        ASSERT_NE(bench.create(self(), 420, 0, SW_SHOWNOACTIVATE), nullptr);
    }

    void TearDown() override {
        if (HWND w = bench.window()) ::DestroyWindow(w);
        ModuleBench::unregisterClass(self());
    }

    HWND control(int module, int offset) { return ::GetDlgItem(bench.window(), benchControlId(module, offset)); }
    void click(int module, int offset) {
        HWND button = control(module, offset);
        ASSERT_NE(button, nullptr) << "control " << benchControlId(module, offset);
        ::SendMessageW(button, BM_CLICK, 0, 0);
    }
    bool checked(int module, int offset) {
        return ::SendMessageW(control(module, offset), BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    std::string stateLine(int module) { return windowTextUtf8(control(module, kBenchStateLine)); }

    COLORREF lampPixel(int module, int channel) {
        ::UpdateWindow(bench.window());
        const POINT centre = ModuleBench::lampCentre(module, channel);
        WindowDc dc(bench.window());
        return ::GetPixel(dc.get(), centre.x, centre.y);
    }

    ManualClock clock;
    EmulatedHost host;
    VirtualModule& zel280;
    VirtualModule& zel260;
    ModuleBench bench;
    NotifyingHidHost wired;
    ModuleLink link;
    CommandSet commands;
    int deviceChanges = 0;
};

TEST_F(ModuleBenchTest, WindowAndControlsHaveTheirClassesIdsAndTexts) {
    HWND window = bench.window();
    EXPECT_EQ(classOf(window), kBenchClassName);
    EXPECT_EQ(textOf(window), L"Module Bench");
    EXPECT_TRUE(::IsWindowVisible(window));
    RECT frame{};
    ::GetWindowRect(window, &frame);
    EXPECT_EQ(frame.left, 420);

    struct Expected {
        int module, offset;
        const wchar_t* text;
        LONG buttonType;  // -1: a static
    };
    const Expected controls[] = {
        {1, kBenchNameLabel, L"ZEL280", -1},   {1, kBenchPlugged, L"Plugged", BS_CHECKBOX},
        {1, kBenchSettingButton, L"Setting button", BS_PUSHBUTTON},
        {1, kBenchSilent, L"Silent", BS_CHECKBOX}, {2, kBenchNameLabel, L"ZEL260", -1},
        {2, kBenchPlugged, L"Plugged", BS_CHECKBOX}, {2, kBenchSilent, L"Silent", BS_CHECKBOX},
    };
    for (const Expected& e : controls) {
        SCOPED_TRACE(testing::Message() << "control " << benchControlId(e.module, e.offset));
        HWND c = control(e.module, e.offset);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(textOf(c), e.text);
        if (e.buttonType < 0) {
            EXPECT_EQ(classOf(c), L"Static");
        } else {
            EXPECT_EQ(classOf(c), L"Button");
            const LONG type = ::GetWindowLongW(c, GWL_STYLE) & BS_TYPEMASK;
            if (e.buttonType == BS_CHECKBOX)
                EXPECT_TRUE(type == BS_CHECKBOX || type == BS_AUTOCHECKBOX) << type;
            else
                EXPECT_TRUE(type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) << type;
        }
    }
    // The ZEL260 has no body button.
    EXPECT_EQ(control(2, kBenchSettingButton), nullptr);

    // Both plugged, neither silent, and each state line is its module's.
    EXPECT_TRUE(checked(1, kBenchPlugged));
    EXPECT_TRUE(checked(2, kBenchPlugged));
    EXPECT_FALSE(checked(1, kBenchSilent));
    EXPECT_FALSE(checked(2, kBenchSilent));
    EXPECT_EQ(stateLine(1), "pid=0x281 mode=normal fw=0x12 id=1 od=0x00 high=0x00 in=0x00 last=-");
    EXPECT_EQ(stateLine(2), "pid=0x261 mode=normal fw=0x10 id=1 od=0x00 high=0x00 in=0x00 last=-");
    EXPECT_EQ(classOf(control(1, kBenchStateLine)), L"Static");
}

TEST_F(ModuleBenchTest, PluggedUnplugsAndPlugsBack) {
    ASSERT_EQ(host.enumerate().size(), 2u);

    click(1, kBenchPlugged);
    EXPECT_EQ(zel280.mode(), ModuleMode::Unplugged);
    EXPECT_EQ(host.enumerate().size(), 1u);
    EXPECT_FALSE(checked(1, kBenchPlugged));
    EXPECT_TRUE(checked(2, kBenchPlugged));
    EXPECT_NE(stateLine(1).find(" mode=unplugged "), std::string::npos) << stateLine(1);
    EXPECT_EQ(stateLine(1), zel280.stateLine());
    EXPECT_EQ(deviceChanges, 1);

    click(1, kBenchPlugged);
    EXPECT_EQ(zel280.mode(), ModuleMode::Normal);
    EXPECT_EQ(host.enumerate().size(), 2u);
    EXPECT_TRUE(checked(1, kBenchPlugged));
    EXPECT_TRUE(startsWith(stateLine(1), "pid=0x281 mode=normal ")) << stateLine(1);
    EXPECT_EQ(deviceChanges, 2);

    // The other module's box works on the other module.
    click(2, kBenchPlugged);
    EXPECT_EQ(zel260.mode(), ModuleMode::Unplugged);
    EXPECT_EQ(zel280.mode(), ModuleMode::Normal);
    EXPECT_FALSE(checked(2, kBenchPlugged));
    EXPECT_TRUE(startsWith(stateLine(2), "pid=0x261 mode=unplugged ")) << stateLine(2);
    EXPECT_EQ(deviceChanges, 3);
}

TEST_F(ModuleBenchTest, UnplugFromOutsideShowsOnTheCheckBox) {
    host.unplug(zel260);  // the device-change hook refreshes the bench
    EXPECT_FALSE(checked(2, kBenchPlugged));
    EXPECT_EQ(stateLine(2), zel260.stateLine());
    host.plug(zel260);
    EXPECT_TRUE(checked(2, kBenchPlugged));
    EXPECT_EQ(stateLine(2), zel260.stateLine());
}

TEST_F(ModuleBenchTest, SettingButtonPutsTheZel280IntoSettingMode) {
    click(1, kBenchSettingButton);
    EXPECT_EQ(zel280.mode(), ModuleMode::Setting);
    EXPECT_EQ(zel280.productId(), 0x280);
    EXPECT_TRUE(startsWith(stateLine(1), "pid=0x280 mode=setting ")) << stateLine(1);
    EXPECT_EQ(deviceChanges, 1);
    // The ZEL260 is untouched.
    EXPECT_EQ(zel260.mode(), ModuleMode::Normal);
    // The program now finds it in SettingMode.
    EXPECT_EQ(commands.attach(), 0x280);
}

TEST_F(ModuleBenchTest, SilentTogglesTheModulesSilence) {
    click(2, kBenchSilent);
    EXPECT_TRUE(zel260.silent);
    EXPECT_FALSE(zel280.silent);
    EXPECT_TRUE(checked(2, kBenchSilent));

    // A silent module takes the command and does not answer.
    const uint64_t before = zel260.reportCount;
    EXPECT_EQ(link.transact(0x261, commandReport(cmd::kFirmwareVersion)), 0);
    EXPECT_EQ(zel260.reportCount, before + 1);

    click(2, kBenchSilent);
    EXPECT_FALSE(zel260.silent);
    EXPECT_FALSE(checked(2, kBenchSilent));
    EXPECT_EQ(link.transact(0x261, commandReport(cmd::kFirmwareVersion)), 1);
}

TEST_F(ModuleBenchTest, StateLineIsCurrentWhenACommandReturns) {
    click(1, kBenchSettingButton);
    ASSERT_EQ(commands.attach(), 0x280);

    // No message is pumped between the command and the reads below.
    ASSERT_TRUE(commands.writeConfiguration(ChannelConfig{0x283, 0x80, 0xA0, 0x40}));
    EXPECT_EQ(stateLine(1), zel280.stateLine());
    EXPECT_EQ(stateLine(1),
              "pid=0x280 mode=setting fw=0x12 id=3 od=0x80 high=0xA0 in=0x40 last=55 AA 43 01 03 80 A0 40");

    ASSERT_EQ(commands.resetToIoMode(), 1);
    EXPECT_EQ(stateLine(1), zel280.stateLine());
    EXPECT_TRUE(startsWith(stateLine(1), "pid=0x283 mode=normal ")) << stateLine(1);

    // A change made to a module directly shows at the refresh message.
    zel260.firmware = 0x21;
    zel260.openDrainMask = 0x0F;
    EXPECT_NE(stateLine(2), zel260.stateLine());
    ::SendMessageW(bench.window(), kBenchRefreshMessage, 0, 0);
    EXPECT_EQ(stateLine(2), "pid=0x261 mode=normal fw=0x21 id=1 od=0x0F high=0x00 in=0x00 last=-");
}

TEST_F(ModuleBenchTest, LampsShowHighLowAndOff) {
    for (int c = 1; c <= 8; ++c) EXPECT_EQ(lampPixel(1, c), kLampOffColour) << "OUT " << c;

    // Nothing attached yet: the command finds no module and no lamp lights.
    EXPECT_EQ(commands.outputTest(0, 3), 0);
    EXPECT_EQ(lampPixel(1, 3), kLampOffColour);

    click(1, kBenchSettingButton);
    ASSERT_EQ(commands.attach(), 0x280);
    ASSERT_EQ(commands.outputTest(0, 3), 1);
    EXPECT_EQ(lampPixel(1, 3), kLampHighColour);
    ASSERT_EQ(commands.outputTest(0, -4), 1);
    EXPECT_EQ(lampPixel(1, 4), kLampLowColour);
    EXPECT_EQ(lampPixel(1, 3), kLampHighColour);
    for (int c : {1, 2, 5, 6, 7, 8}) EXPECT_EQ(lampPixel(1, c), kLampOffColour) << "OUT " << c;
    // The other module's lamps stay off.
    for (int c = 1; c <= 8; ++c) EXPECT_EQ(lampPixel(2, c), kLampOffColour) << "module 2 OUT " << c;

    // Without power every lamp is off; the outputs come back with it.
    click(1, kBenchPlugged);
    EXPECT_EQ(lampPixel(1, 3), kLampOffColour);
    EXPECT_EQ(lampPixel(1, 4), kLampOffColour);
    click(1, kBenchPlugged);
    EXPECT_EQ(lampPixel(1, 3), kLampHighColour);
    EXPECT_EQ(lampPixel(1, 4), kLampLowColour);
}

TEST_F(ModuleBenchTest, BlinkingLampFollowsTheCommandedTimes) {
    click(1, kBenchSettingButton);
    ASSERT_EQ(commands.attach(), 0x280);
    // 0.3 s lit, 0.2 s dark.
    ASSERT_EQ(commands.outputTest(0x32, 5), 1);
    auto at = [&](int64_t sinceCommandMs) {
        clock.advance(sinceCommandMs);
        ::SendMessageW(bench.window(), kBenchRefreshMessage, 0, 0);
        const COLORREF c = lampPixel(1, 5);
        clock.advance(-sinceCommandMs);
        return c;
    };
    EXPECT_EQ(at(0), kLampHighColour);
    EXPECT_EQ(at(299), kLampHighColour);
    EXPECT_EQ(at(300), kLampLowColour);
    EXPECT_EQ(at(499), kLampLowColour);
    EXPECT_EQ(at(500), kLampHighColour);
    EXPECT_EQ(at(820), kLampLowColour);

    // A new command starts a new blink: 0.1 s lit, 0.5 s dark.
    clock.advance(250);
    ASSERT_EQ(commands.outputTest(0x15, 5), 1);
    EXPECT_EQ(at(50), kLampHighColour);
    EXPECT_EQ(at(150), kLampLowColour);
    EXPECT_EQ(at(650), kLampHighColour);
}

TEST(BlinkLit, PhasesOfTheBlinkByte) {
    // High nibble: lit time, low nibble: dark time, in 100 ms.
    EXPECT_TRUE(blinkLit(0x55, 0));
    EXPECT_TRUE(blinkLit(0x55, 499));
    EXPECT_FALSE(blinkLit(0x55, 500));
    EXPECT_FALSE(blinkLit(0x55, 999));
    EXPECT_TRUE(blinkLit(0x55, 1000));
    EXPECT_TRUE(blinkLit(0xF1, 1499));
    EXPECT_FALSE(blinkLit(0xF1, 1500));
    EXPECT_TRUE(blinkLit(0xF1, 1600));
    // No dark time: always lit; no lit time: never.
    EXPECT_TRUE(blinkLit(0x30, 12345));
    EXPECT_FALSE(blinkLit(0x03, 0));
    EXPECT_FALSE(blinkLit(0x00, 0));
}

TEST(LampColour, ByOutputStateAndPower) {
    EXPECT_EQ(lampColour(OutputState{}, true, 0), kLampOffColour);
    EXPECT_EQ(lampColour(OutputState{OutputState::High, 0}, true, 0), kLampHighColour);
    EXPECT_EQ(lampColour(OutputState{OutputState::Low, 0}, true, 0), kLampLowColour);
    EXPECT_EQ(lampColour(OutputState{OutputState::High, 0}, false, 0), kLampOffColour);
    EXPECT_EQ(lampColour(OutputState{OutputState::Blink, 0x11}, true, 50), kLampHighColour);
    EXPECT_EQ(lampColour(OutputState{OutputState::Blink, 0x11}, true, 150), kLampLowColour);
}

}  // namespace
}  // namespace zelio::demo
