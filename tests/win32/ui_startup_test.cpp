// Program start: the command-line file rule and runApp's whole run (class,
// window, start-up file, message loop, clean end).
#include "ui_fixture.h"

#include "ui/startup.h"
#include "manual_clock.h"

#include <array>
#include <string>

namespace zelio::ui::test {
namespace {

// ---- command line ------------------------------------------------------------

TEST(StartupFilePath, QuotedPathLosesItsQuotes) {
    EXPECT_EQ(startupFilePath(L"\"C:\\My Files\\panel.kbd\""), L"C:\\My Files\\panel.kbd");
}

TEST(StartupFilePath, UnquotedTextIsThePathWithItsBlanks) {
    EXPECT_EQ(startupFilePath(L"C:\\My Files\\panel.kbd"), L"C:\\My Files\\panel.kbd");
    EXPECT_EQ(startupFilePath(L"a b.kbd -x"), L"a b.kbd -x");
}

TEST(StartupFilePath, TrailingQuoteDropsTheFirstCharacterWhateverItIs) {
    EXPECT_EQ(startupFilePath(L"x.kbd\""), L".kbd");
    EXPECT_EQ(startupFilePath(L"\"x.kbd\""), L"x.kbd");
    EXPECT_EQ(startupFilePath(L"\""), L"");
    EXPECT_EQ(startupFilePath(L"\"\""), L"");
}

TEST(StartupFilePath, OnlyLowerCaseKbdAnywhereIsKept) {
    EXPECT_EQ(startupFilePath(L"C:\\data\\panel.KBD"), L"");
    EXPECT_EQ(startupFilePath(L"panel.Kbd"), L"");
    EXPECT_EQ(startupFilePath(L"panel.zel"), L"");
    EXPECT_EQ(startupFilePath(L""), L"");
    EXPECT_EQ(startupFilePath(L"a.kbd.bak"), L"a.kbd.bak");
    EXPECT_EQ(startupFilePath(L".kbd"), L".kbd");
    EXPECT_EQ(startupFilePath(L"kbd"), L"");
}

TEST(StartupFilePath, PathsBeyondTheBufferAreDropped) {
    const std::wstring fits = std::wstring(259 - 4, L'a') + L".kbd";
    ASSERT_EQ(fits.size(), 259u);
    EXPECT_EQ(startupFilePath(fits), fits);
    EXPECT_EQ(startupFilePath(L"\"" + fits + L"\""), fits);

    const std::wstring tooLong = std::wstring(260 - 4, L'a') + L".kbd";
    EXPECT_EQ(startupFilePath(tooLong), L"");
    EXPECT_EQ(startupFilePath(L"\"" + tooLong + L"\""), L"");
    EXPECT_EQ(startupFilePath(std::wstring(5000, L'b') + L".kbd"), L"");
}

// ---- runApp --------------------------------------------------------------------

// What a CBT hook saw of the main window while runApp ran.
struct Observed {
    int created = 0;
    bool destroyedSeen = false;
    bool visible = false;
    std::array<std::string, 8> captions;
    std::array<LRESULT, 8> checks{};
    std::string listText;
    std::string logText;
    std::string statusText;
};
Observed* g_observed = nullptr;

bool isMainWindow(HWND window) {
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    return std::wstring(name) == kMainClassName;
}

LRESULT CALLBACK cbtHook(int code, WPARAM wParam, LPARAM lParam) {
    if (g_observed && code == HCBT_CREATEWND) {
        const auto* create = reinterpret_cast<CBT_CREATEWNDW*>(lParam);
        if (create->lpcs->hwndParent == nullptr && isMainWindow(reinterpret_cast<HWND>(wParam)))
            ++g_observed->created;
    }
    if (g_observed && code == HCBT_DESTROYWND && isMainWindow(reinterpret_cast<HWND>(wParam))) {
        // The window is still whole here: read what it showed.
        HWND w = reinterpret_cast<HWND>(wParam);
        Observed& o = *g_observed;
        o.destroyedSeen = true;
        o.visible = ::IsWindowVisible(w) != FALSE;
        for (int r = 0; r < 8; ++r) {
            o.captions[static_cast<size_t>(r)] = textOf(::GetDlgItem(w, IDC_MODE_FIRST + r));
            o.checks[static_cast<size_t>(r)] = ::SendDlgItemMessageW(w, IDC_HIGH_FIRST + r, BM_GETCHECK, 0, 0);
        }
        o.listText = textOf(::GetDlgItem(w, IDC_PRODUCT_LIST));
        o.logText = textOf(::FindWindowExW(w, nullptr, L"Edit", nullptr));
        o.statusText = statusPane(::FindWindowExW(w, nullptr, STATUSCLASSNAMEW, nullptr), 0);
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

class RunAppTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_observed = &observed;
        hook = ::SetWindowsHookExW(WH_CBT, cbtHook, nullptr, ::GetCurrentThreadId());
        ASSERT_NE(hook, nullptr);
    }
    void TearDown() override {
        if (hook) ::UnhookWindowsHookEx(hook);
        g_observed = nullptr;
        pumpMessages();
        ::DeleteFileW(filePath.c_str());
    }
    void writeFile(const char* line) {
        wchar_t dir[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, dir);
        filePath = std::wstring(dir) + L"zelio ui start.kbd";
        win32::unique_handle file(
            ::CreateFileW(filePath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file);
        DWORD written = 0;
        ::WriteFile(file.get(), line, static_cast<DWORD>(std::strlen(line)), &written, nullptr);
    }

    ManualClock clock;
    EmulatedHost host{clock};
    Observed observed;
    HHOOK hook = nullptr;
    std::wstring filePath;
};

TEST_F(RunAppTest, RunsTheWindowWithTheCommandLineFileUntilTheQuitMessage) {
    writeFile("0283 40 C0 01\r\n");
    host.addModule(Model::Zel280, 1, 0x11, ModuleMode::Setting);
    HINSTANCE instance = ::GetModuleHandleW(nullptr);

    // The loop takes the quit message once creation's own messages are done.
    ::PostThreadMessageW(::GetCurrentThreadId(), WM_QUIT, 7, 0);
    const int code = runApp(instance, L"\"" + filePath + L"\"", SW_SHOWNORMAL, host);

    EXPECT_EQ(code, 7);
    EXPECT_EQ(observed.created, 1);
    ASSERT_TRUE(observed.destroyedSeen);  // taken down before runApp returned
    EXPECT_TRUE(observed.visible);
    EXPECT_EQ(observed.listText, "283");
    EXPECT_EQ(observed.captions[0], "push/pull Output");
    EXPECT_EQ(observed.captions[1], "open-drain Output");
    EXPECT_EQ(observed.captions[7], "Input");
    EXPECT_EQ(observed.checks[0], BST_CHECKED);
    EXPECT_EQ(observed.checks[1], BST_CHECKED);
    EXPECT_EQ(observed.checks[2], BST_UNCHECKED);
    EXPECT_EQ(observed.logText, "\r\n > USB I/O 모듈(ZEL280)이 변경모드로 연결되어 있습니다.\r\n");
    EXPECT_EQ(observed.statusText, " Connected USB Output Module - ZEL280");

    // The class is gone again, so the program can run once more.
    // (Another process, such as a demo started by another test, may have
    // a window of the same class: look at this process's windows only.)
    HWND ours = nullptr;
    for (HWND w = ::FindWindowExW(nullptr, nullptr, kMainClassName, nullptr); w && !ours;
         w = ::FindWindowExW(nullptr, w, kMainClassName, nullptr)) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(w, &pid);
        if (pid == ::GetCurrentProcessId()) ours = w;
    }
    EXPECT_EQ(ours, nullptr);
    ASSERT_TRUE(registerMainClass(instance));
    unregisterMainClass(instance);
    // No quit message is left behind for the next loop.
    MSG msg;
    EXPECT_FALSE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
}

TEST_F(RunAppTest, CommandLineWithoutKbdLoadsNothing) {
    writeFile("0283 40 C0 01\r\n");
    const std::wstring renamed = filePath.substr(0, filePath.size() - 4) + L".txt";
    ASSERT_TRUE(::MoveFileExW(filePath.c_str(), renamed.c_str(), MOVEFILE_REPLACE_EXISTING));
    filePath = renamed;

    ::PostQuitMessage(0);
    EXPECT_EQ(runApp(::GetModuleHandleW(nullptr), renamed, SW_SHOWNORMAL, host), 0);
    ASSERT_TRUE(observed.destroyedSeen);
    EXPECT_EQ(observed.listText, "");
    for (const std::string& caption : observed.captions) EXPECT_EQ(caption, "push/pull Output");
    EXPECT_EQ(observed.statusText, "");
    EXPECT_EQ(observed.logText.substr(0, 22), "                    <U");
}

TEST_F(RunAppTest, FailedRegistrationEndsWithCodeZeroAndNoWindow) {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    ASSERT_TRUE(registerMainClass(instance));  // a second registration fails
    EXPECT_EQ(runApp(instance, L"", SW_SHOWNORMAL, host), 0);
    EXPECT_EQ(observed.created, 0);
    unregisterMainClass(instance);
}

}  // namespace
}  // namespace zelio::ui::test
