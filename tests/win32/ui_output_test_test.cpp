// The output test dialog as a Win32 dialog: opened from a Test button of the
// real main window, its fields, focus, caption and keys (what it decides is
// in the configurator's suite).

#include "ui_fixture.h"

#include <dbt.h>

#include <memory>
#include <string>
#include <vector>


namespace zelio::ui::test {
namespace {

// Bytes 1-8 of an output-test report.
std::vector<uint8_t> outputTestReport(uint8_t blinkByte, uint8_t channel) {
    return {0x55, 0xAA, 0x45, blinkByte, channel, 0, 0, 0};
}

std::wstring dialogItemText(HWND dialog, int id) {
    wchar_t text[64] = {};
    ::GetDlgItemTextW(dialog, id, text, 64);
    return text;
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

class OutputTestModalTest : public MainWindowTest {
protected:
    // Clicks Test button `row` and lets `keys` be pressed in the dialog.
    void runModal(int row, std::vector<UINT> keys) {
        modal.owner = window;
        modal.keys = std::move(keys);
        probe = &modal;
        const UINT_PTR timer = ::SetTimer(nullptr, kProbeTimer, USER_TIMER_MINIMUM, probeTick);
        ASSERT_NE(timer, 0u);
        ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_TEST_FIRST + row, BN_CLICKED),
                       reinterpret_cast<LPARAM>(app->controls().testButtons[static_cast<size_t>(row)]));
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
    EXPECT_EQ(modal.highFont, app->logFont());
    EXPECT_EQ(modal.lowFont, app->logFont());
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
