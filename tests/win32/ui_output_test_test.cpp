// The output test dialog: opened from a Test button of the real main window,
// driving emulated modules.

#include "ui_fixture.h"

#include <dbt.h>

#include <memory>
#include <string>
#include <vector>

#include "ui/output_test_dialog.h"
#include "ui/window_dispatch.h"

namespace zelio::ui::test {
namespace {

const std::string kTooLarge = "\r\n > 숫자값은 15이하로 입력하세요.";
const std::string kSendFailed = "\r\n > 데이타 전송 에러가 발생하였습니다.";
const std::string kNoModule = "\r\n > ID가 0x260 또는 0x280으로 인지되는 장치가 없습니다.";

std::string call(const std::string& arguments) {
    return "\r\n Function Call:\r\n\r\n ex) usb_io_output(" + arguments + ",0,0,0);";
}

// Bytes 1-8 of an output-test report.
std::vector<uint8_t> outputTestReport(uint8_t blinkByte, uint8_t channel) {
    return {0x55, 0xAA, 0x45, blinkByte, channel, 0, 0, 0};
}

std::wstring dialogItemText(HWND dialog, int id) {
    wchar_t text[64] = {};
    ::GetDlgItemTextW(dialog, id, text, 64);
    return text;
}

class OutputTestDialogTest : public MainWindowTest {
protected:
    void TearDown() override {
        if (dialog && ::IsWindow(dialog)) ::DestroyWindow(dialog);
        MainWindowTest::TearDown();
    }

    // The dialog of `row`, created without its modal loop so that a test can
    // drive it command by command; same template, procedure, owner and
    // dialog object.
    void openModeless(int row) {
        test = std::make_unique<OutputTestDialog>(app->commands, app->log, app->fonts.log.get(), row + 1);
        dialog = ::CreateDialogParamW(app->instance, MAKEINTRESOURCEW(IDD_OUTPUTTEST), window,
                                      dialogProc<OutputTestDialog>, reinterpret_cast<LPARAM>(test.get()));
        ASSERT_NE(dialog, nullptr);
        pumpMessages();
    }

    void setFields(const wchar_t* high, const wchar_t* low) {
        ::SetDlgItemTextW(dialog, IDC_HIGH_TIME, high);
        ::SetDlgItemTextW(dialog, IDC_LOW_TIME, low);
    }

    void press(int id) {
        ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
        pumpMessages();
    }

    // Blink with the given field texts; the log text afterwards.
    std::string blink(const wchar_t* high, const wchar_t* low) {
        setFields(high, low);
        press(IDC_BLINK);
        return textOf(app->log.control());
    }

    std::unique_ptr<OutputTestDialog> test;
    HWND dialog = nullptr;
};

// ---- actions --------------------------------------------------------------------

TEST_F(OutputTestDialogTest, BlinkWithTheDefaultTimesSends0x55ToTheRowsChannel) {
    ASSERT_TRUE(start(Attached::Zel280));
    openModeless(2);
    EXPECT_EQ(dialogItemText(dialog, IDC_HIGH_TIME), L"5");
    EXPECT_EQ(dialogItemText(dialog, IDC_LOW_TIME), L"5");
    press(IDC_BLINK);

    ASSERT_EQ(zel280->reportCount, 1u);
    EXPECT_EQ(zel280->received.back(), outputTestReport(0x55, 3));
    EXPECT_EQ(zel280->outputs[2].kind, OutputState::Blink);
    EXPECT_EQ(textOf(app->log.control()), "\r\n Function Call:\r\n\r\n ex) usb_io_output(280,0x55,3,0,0,0);");
    EXPECT_EQ(app->log.str(), textOf(app->log.control()));
    EXPECT_TRUE(::IsWindow(dialog));
}

TEST_F(OutputTestDialogTest, BlinkBytesCoverTheWholeAcceptedRange) {
    ASSERT_TRUE(start(Attached::Zel260));
    openModeless(0);
    EXPECT_EQ(blink(L"15", L"1"), call("260,0xF1,1"));
    EXPECT_EQ(zel260->received.back(), outputTestReport(0xF1, 1));
    EXPECT_EQ(blink(L"0", L"0"), call("260,0x00,1"));
    EXPECT_EQ(zel260->received.back(), outputTestReport(0x00, 1));
    EXPECT_EQ(blink(L"15", L"15"), call("260,0xFF,1"));
    EXPECT_EQ(zel260->received.back(), outputTestReport(0xFF, 1));
    EXPECT_EQ(blink(L"", L""), call("260,0x00,1"));  // an empty field counts as 0
    EXPECT_EQ(zel260->reportCount, 4u);
}

TEST_F(OutputTestDialogTest, OnlyTheFirstThreeCharactersOfAFieldCount) {
    ASSERT_TRUE(start(Attached::Zel280));
    openModeless(4);
    EXPECT_EQ(blink(L"0012", L"5"), call("280,0x15,5"));  // "001"
    EXPECT_EQ(zel280->received.back(), outputTestReport(0x15, 5));
    EXPECT_EQ(blink(L"2", L"0079"), call("280,0x27,5"));  // "007"
    EXPECT_EQ(zel280->received.back(), outputTestReport(0x27, 5));

    const uint64_t sent = zel280->reportCount;
    EXPECT_EQ(blink(L"1234", L"1"), kTooLarge);  // "123"
    EXPECT_EQ(zel280->reportCount, sent);
}

TEST_F(OutputTestDialogTest, TimesAreReadLikeDecimalNumbers) {
    ASSERT_TRUE(start(Attached::Zel280));
    openModeless(0);
    EXPECT_EQ(blink(L" 7", L"+9"), call("280,0x79,1"));
    EXPECT_EQ(blink(L"9x", L"x9"), call("280,0x90,1"));
    EXPECT_EQ(blink(L"\t3", L"-0"), call("280,0x30,1"));
}

TEST_F(OutputTestDialogTest, TimesOutsideZeroToFifteenAreRefusedAndNothingIsSent) {
    ASSERT_TRUE(start(Attached::Zel280));
    openModeless(2);
    struct Case {
        const wchar_t *high, *low;
    };
    for (const Case& c : {Case{L"16", L"5"}, Case{L"5", L"16"}, Case{L"999", L"0"}, Case{L"-3", L"5"},
                          Case{L"5", L"-1"}, Case{L"-15", L"-15"}}) {
        app->log.set("before");
        app->log.show();
        EXPECT_EQ(blink(c.high, c.low), kTooLarge) << win32::narrow(c.high) << "/" << win32::narrow(c.low);
    }
    EXPECT_EQ(zel280->reportCount, 0u);
    EXPECT_EQ(zel280->outputs[2].kind, OutputState::Off);
}

TEST_F(OutputTestDialogTest, HighAndLowDriveTheChannelSteady) {
    ASSERT_TRUE(start(Attached::Zel280));
    openModeless(0);
    press(IDC_HIGH);
    EXPECT_EQ(zel280->received.back(), outputTestReport(0, 0x01));
    EXPECT_EQ(textOf(app->log.control()), "\r\n Function Call:\r\n\r\n ex) usb_io_output(280,0,1,0,0,0);");
    EXPECT_EQ(zel280->outputs[0].kind, OutputState::High);
    ::DestroyWindow(dialog);

    openModeless(7);
    press(IDC_LOW);
    EXPECT_EQ(zel280->received.back(), outputTestReport(0, 0xF8));
    EXPECT_EQ(textOf(app->log.control()), "\r\n Function Call:\r\n\r\n ex) usb_io_output(280,0,-8,0,0,0);");
    EXPECT_EQ(zel280->outputs[7].kind, OutputState::Low);

    test->setChannel(1);  // read anew at every command
    press(IDC_LOW);
    EXPECT_EQ(zel280->received.back(), outputTestReport(0, 0xFF));
    EXPECT_EQ(textOf(app->log.control()), call("280,0,-1"));
}

TEST_F(OutputTestDialogTest, WithoutAModuleEveryActionSaysNoDevice) {
    ASSERT_TRUE(start(Attached::None));
    openModeless(3);
    for (int id : {IDC_HIGH, IDC_LOW, IDC_BLINK}) {
        app->log.set("before");
        app->log.show();
        press(id);
        EXPECT_EQ(textOf(app->log.control()), kNoModule) << id;
    }
    EXPECT_TRUE(::IsWindow(dialog));
}

TEST_F(OutputTestDialogTest, ALinkFailureWithAModuleSaysTransmissionError) {
    ASSERT_TRUE(start(Attached::Zel260));
    zel260->refuseWrites = true;
    openModeless(1);
    for (int id : {IDC_HIGH, IDC_LOW, IDC_BLINK}) {
        app->log.set("before");
        app->log.show();
        press(id);
        EXPECT_EQ(textOf(app->log.control()), kSendFailed) << id;
    }
    // The module went away after the attach: the same text.
    zel260->refuseWrites = false;
    host->unplug(*zel260);
    press(IDC_HIGH);
    EXPECT_EQ(textOf(app->log.control()), kSendFailed);
}

TEST_F(OutputTestDialogTest, ADeviceChangeWhileOpenRetargetsTheNextAction) {
    ASSERT_TRUE(start(Attached::Zel280));
    openModeless(2);
    host->unplug(*zel280);
    zel260 = &host->addModule(Model::Zel260, 5, 0x21, ModuleMode::Setting);
    ::SendMessageW(window, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
    pumpMessages();
    press(IDC_HIGH);
    EXPECT_EQ(textOf(app->log.control()), call("260,0,3"));
    EXPECT_EQ(zel260->received.back(), outputTestReport(0, 3));
    EXPECT_EQ(zel280->reportCount, 0u);
}

TEST_F(OutputTestDialogTest, OtherCommandsAreIgnored) {
    ASSERT_TRUE(start(Attached::Zel280));
    openModeless(0);
    app->log.set("before");
    app->log.show();
    for (int id : {IDC_HIGH_TIME, IDC_LOW_TIME, 1097, 1103, 3, 0}) {
        ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, EN_CHANGE), 0);
        pumpMessages();
    }
    EXPECT_EQ(textOf(app->log.control()), "before");
    EXPECT_EQ(zel280->reportCount, 0u);
    EXPECT_TRUE(::IsWindow(dialog));
}

TEST_F(OutputTestDialogTest, EveryPaintTitlesTheDialogWithTheChannel) {
    ASSERT_TRUE(start(Attached::None));
    openModeless(2);
    const std::string log = textOf(app->log.control());
    ::ShowWindow(dialog, SW_SHOWNA);
    ::UpdateWindow(dialog);
    pumpMessages();
    EXPECT_EQ(textOf(dialog), "Output Test - OUT 3");

    test->setChannel(7);
    ::InvalidateRect(dialog, nullptr, TRUE);
    ::UpdateWindow(dialog);
    EXPECT_EQ(textOf(dialog), "Output Test - OUT 7");
    EXPECT_EQ(textOf(app->log.control()), log);
    ::ShowWindow(dialog, SW_HIDE);
}

TEST(OutputTestParseTest, DecimalConversionOfAField) {
    EXPECT_EQ(parseTimeField(L""), 0);
    EXPECT_EQ(parseTimeField(L"15"), 15);
    EXPECT_EQ(parseTimeField(L"  \t\r\n\v\f8"), 8);
    EXPECT_EQ(parseTimeField(L"-4"), -4);
    EXPECT_EQ(parseTimeField(L"+4"), 4);
    EXPECT_EQ(parseTimeField(L"- 4"), 0);
    EXPECT_EQ(parseTimeField(L"--4"), 0);
    EXPECT_EQ(parseTimeField(L"12a3"), 12);
    EXPECT_EQ(parseTimeField(L"\uFF11"), 0);  // only ASCII digits are digits
}

// ---- the modal dialog from the Test button --------------------------------------

// What a timer saw inside the dialog's modal loop.
struct ModalProbe {
    HWND owner = nullptr;
    std::vector<UINT> keys;  // keys to press in the dialog, in turn
    int ticks = 0;
    HWND dialog = nullptr;
    std::string caption;
    std::wstring highText, lowText;
    HFONT highFont = nullptr, lowFont = nullptr;
    int focusId = 0;  // control that had the keyboard focus
    bool focusInDialog = false;
    bool clickedRadios = false;
    bool openAfterRadios = false;
};
ModalProbe* probe = nullptr;
constexpr UINT_PTR kProbeTimer = 0x5A1;

BOOL CALLBACK findDialog(HWND window, LPARAM) {
    wchar_t cls[16] = {};
    ::GetClassNameW(window, cls, 16);
    if (std::wstring(cls) == L"#32770" && ::GetWindow(window, GW_OWNER) == probe->owner) {
        probe->dialog = window;
        return FALSE;
    }
    return TRUE;
}

// Runs in the dialog's modal loop: waits until the dialog is up, records
// what it shows, tries the radio buttons, then presses the keys one by one.
void CALLBACK probeTick(HWND, UINT, UINT_PTR, DWORD) {
    ModalProbe& p = *probe;
    if (++p.ticks > 2000) {  // give up: whatever is open gets closed
        if (p.dialog) ::PostMessageW(p.dialog, WM_COMMAND, IDCANCEL, 0);
        return;
    }
    if (!p.dialog) ::EnumThreadWindows(::GetCurrentThreadId(), findDialog, 0);
    if (!p.dialog || !::IsWindowVisible(p.dialog)) return;
    if (p.caption.empty()) {
        ::UpdateWindow(p.dialog);
        p.caption = windowTextUtf8(p.dialog);
        p.highText = dialogItemText(p.dialog, IDC_HIGH_TIME);
        p.lowText = dialogItemText(p.dialog, IDC_LOW_TIME);
        p.highFont = reinterpret_cast<HFONT>(::SendDlgItemMessageW(p.dialog, IDC_HIGH_TIME, WM_GETFONT, 0, 0));
        p.lowFont = reinterpret_cast<HFONT>(::SendDlgItemMessageW(p.dialog, IDC_LOW_TIME, WM_GETFONT, 0, 0));
        HWND focus = ::GetFocus();
        p.focusId = focus ? ::GetDlgCtrlID(focus) : 0;
        p.focusInDialog = focus && ::GetParent(focus) == p.dialog;
        return;
    }
    if (!p.clickedRadios) {
        p.clickedRadios = true;
        for (int id : {IDC_BLINK, IDC_HIGH, IDC_LOW}) ::SendDlgItemMessageW(p.dialog, id, BM_CLICK, 0, 0);
        p.openAfterRadios = ::IsWindow(p.dialog) && ::IsWindowVisible(p.dialog);
        ::SetFocus(::GetDlgItem(p.dialog, IDC_HIGH_TIME));
        return;
    }
    if (!p.keys.empty()) {
        const UINT key = p.keys.front();
        p.keys.erase(p.keys.begin());
        HWND target = ::GetFocus() ? ::GetFocus() : p.dialog;
        ::PostMessageW(target, WM_KEYDOWN, key, 1);
        ::PostMessageW(target, WM_KEYUP, key, 0xC0000001);
    }
}

class OutputTestModalTest : public OutputTestDialogTest {
protected:
    // Clicks Test button `row` and lets `keys` be pressed in the dialog.
    void runModal(int row, std::vector<UINT> keys) {
        modal.owner = window;
        modal.keys = std::move(keys);
        probe = &modal;
        const UINT_PTR timer = ::SetTimer(nullptr, kProbeTimer, USER_TIMER_MINIMUM, probeTick);
        ASSERT_NE(timer, 0u);
        ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_TEST_FIRST + row, BN_CLICKED),
                       reinterpret_cast<LPARAM>(app->controls.testButtons[static_cast<size_t>(row)]));
        ::KillTimer(nullptr, timer);
        probe = nullptr;
        pumpMessages();
    }
    ModalProbe modal;
};

TEST_F(OutputTestModalTest, TestButtonOpensTheDialogForItsRowAndEscCloses) {
    ASSERT_TRUE(start(Attached::Zel280));
    runModal(2, {VK_ESCAPE});

    ASSERT_NE(modal.dialog, nullptr);
    EXPECT_LT(modal.ticks, 2000) << "the dialog did not close by itself";
    EXPECT_FALSE(::IsWindow(modal.dialog));
    EXPECT_EQ(modal.caption, "Output Test - OUT 3");
    EXPECT_EQ(modal.highText, L"5");
    EXPECT_EQ(modal.lowText, L"5");
    EXPECT_EQ(modal.highFont, app->fonts.log.get());
    EXPECT_EQ(modal.lowFont, app->fonts.log.get());
    EXPECT_TRUE(modal.focusInDialog);
    EXPECT_EQ(modal.focusId, IDC_HIGH_TIME);
    // The radio buttons act but do not close the dialog.
    EXPECT_TRUE(modal.openAfterRadios);
    ASSERT_GE(zel280->reportCount, 3u);
    EXPECT_EQ(zel280->received.back(), outputTestReport(0, 0xFD));  // Low, channel 3
}

TEST_F(OutputTestModalTest, EnterClosesTheDialog) {
    ASSERT_TRUE(start(Attached::None));
    runModal(7, {VK_RETURN});
    ASSERT_NE(modal.dialog, nullptr);
    EXPECT_LT(modal.ticks, 2000) << "the dialog did not close by itself";
    EXPECT_FALSE(::IsWindow(modal.dialog));
    EXPECT_EQ(modal.caption, "Output Test - OUT 8");
}

}  // namespace
}  // namespace zelio::ui::test
