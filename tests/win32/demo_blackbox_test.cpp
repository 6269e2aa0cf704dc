// zelio-demo.exe as a separate process, driven from outside through window
// messages only: the module bench's controls stand in for a person at the
// modules, the main window's controls and menu commands for a person at the
// program. Everything the test learns it reads back from window texts.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "ui/win32_util.h"

namespace {

using zelio::win32::narrow;
using zelio::win32::widen;

constexpr wchar_t kMainClass[] = L"USBOUTPUTMODULE CLASS";
constexpr wchar_t kBenchClass[] = L"ZELIO MODULE BENCH";

// Generous bounds: nothing here is expected to take long, but Wine may be
// starting up cold.
constexpr DWORD kStartBoundMs = 30000;
constexpr DWORD kSendBoundMs = 15000;
constexpr DWORD kPollBoundMs = 10000;
constexpr DWORD kExitBoundMs = 15000;

// Main window controls and commands.
constexpr int kProductList = 105;
constexpr int kHighFirst = 110;
constexpr int kModeFirst = 120;
constexpr WPARAM kWrite = 40008;
constexpr WPARAM kRead = 40009;
constexpr WPARAM kReset = 40010;
// Module bench controls of the ZEL280 (module 1).
constexpr int kZel280SettingButton = 1002;
constexpr int kZel280StateLine = 1009;
constexpr int kZel260StateLine = 2009;

std::wstring ownDirectory() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

bool fileExists(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The demo process; ended by force if the test leaves it running.
class DemoProcess {
public:
    ~DemoProcess() {
        if (!process_) return;
        if (::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
            ::TerminateProcess(process_.get(), 99);
            ::WaitForSingleObject(process_.get(), kExitBoundMs);
        }
    }

    bool start(const std::wstring& exe, const std::wstring& directory) {
        std::wstring commandLine = L"\"" + exe + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (!::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, directory.c_str(),
                              &startup, &info))
            return false;
        process_.reset(info.hProcess);
        thread_.reset(info.hThread);
        id_ = info.dwProcessId;
        return true;
    }

    DWORD id() const { return id_; }
    HANDLE handle() const { return process_.get(); }

private:
    zelio::win32::unique_handle process_;
    zelio::win32::unique_handle thread_;
    DWORD id_ = 0;
};

// The demo's own top-level window of a class (other windows of the same
// class, such as one another test left open, do not count).
HWND topLevelOf(DWORD processId, const wchar_t* className) {
    HWND window = nullptr;
    while ((window = ::FindWindowExW(nullptr, window, className, nullptr)) != nullptr) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(window, &owner);
        if (owner == processId) return window;
    }
    return nullptr;
}

bool pollUntil(const std::function<bool()>& condition, DWORD boundMs = kPollBoundMs) {
    const ULONGLONG end = ::GetTickCount64() + boundMs;
    for (;;) {
        if (condition()) return true;
        if (::GetTickCount64() >= end) return false;
        ::Sleep(50);
    }
}

// SendMessage that cannot hang the test: false when the demo did not answer.
bool send(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result = nullptr) {
    DWORD_PTR answer = 0;
    const LRESULT ok = ::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendBoundMs,
                                             &answer);
    if (result) *result = static_cast<LRESULT>(answer);
    return ok != 0;
}

// A window's text through WM_GETTEXT, which the platform carries across
// processes.
std::wstring textOf(HWND window) {
    LRESULT length = 0;
    if (!window || !send(window, WM_GETTEXTLENGTH, 0, 0, &length) || length < 0) return L"<no answer>";
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    LRESULT copied = 0;
    if (!send(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), &copied)) return L"<no answer>";
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

std::string printable(const std::wstring& text) {
    std::string out;
    for (char c : narrow(text)) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

bool startsWith(const std::wstring& text, const std::wstring& prefix) { return text.rfind(prefix, 0) == 0; }
bool contains(const std::wstring& text, const std::wstring& part) { return text.find(part) != std::wstring::npos; }

class DemoBlackBox : public ::testing::Test {
protected:
    void SetUp() override {
        const std::wstring directory = ownDirectory();
        const std::wstring exe = directory + L"\\zelio-demo.exe";
        if (directory.empty() || !fileExists(exe))
            GTEST_SKIP() << "zelio-demo.exe is not next to the test program (" << narrow(exe) << ")";
        ASSERT_TRUE(demo.start(exe, directory)) << "CreateProcessW failed, error " << ::GetLastError();

        ASSERT_TRUE(pollUntil(
            [&] {
                main = topLevelOf(demo.id(), kMainClass);
                bench = topLevelOf(demo.id(), kBenchClass);
                return main && bench && ::IsWindowVisible(main) && ::IsWindowVisible(bench);
            },
            kStartBoundMs))
            << "the demo's main window and module bench did not both appear";
        // Both answer once the message loop runs.
        ASSERT_TRUE(send(main, WM_NULL, 0, 0));
        ASSERT_TRUE(send(bench, WM_NULL, 0, 0));

        // The MessageLog is the main window's only EDIT child.
        messageLog = ::FindWindowExW(main, nullptr, L"Edit", nullptr);
        ASSERT_NE(messageLog, nullptr);
        statusBar = ::FindWindowExW(main, nullptr, L"msctls_statusbar32", nullptr);
        ASSERT_NE(statusBar, nullptr);
    }

    HWND mainItem(int id) { return ::GetDlgItem(main, id); }
    HWND benchItem(int id) { return ::GetDlgItem(bench, id); }

    void clickMain(int id) {
        HWND button = mainItem(id);
        ASSERT_NE(button, nullptr) << "main window control " << id;
        ASSERT_TRUE(send(button, BM_CLICK, 0, 0)) << "control " << id;
    }

    // Waits until the control's text satisfies `check`; reports the last text.
    void expectText(HWND window, const std::function<bool(const std::wstring&)>& check, const char* what) {
        std::wstring last;
        const bool ok = pollUntil([&] {
            last = textOf(window);
            return check(last);
        });
        EXPECT_TRUE(ok) << what << ": \"" << printable(last) << "\"";
    }
    void expectTextEq(HWND window, const std::string& expectedUtf8, const char* what) {
        const std::wstring expected = widen(expectedUtf8);
        expectText(window, [&](const std::wstring& t) { return t == expected; }, what);
    }

    DemoProcess demo;
    HWND main = nullptr;
    HWND bench = nullptr;
    HWND messageLog = nullptr;
    HWND statusBar = nullptr;
};

TEST_F(DemoBlackBox, SettingModeWriteReadResetAndClose) {
    // Both modules start in normal mode: the program finds none to configure
    // and shows its setting guide.
    EXPECT_EQ(narrow(textOf(benchItem(kZel280StateLine))),
              "pid=0x281 mode=normal fw=0x12 id=1 od=0x00 high=0x00 in=0x00 last=-");
    EXPECT_EQ(narrow(textOf(benchItem(kZel260StateLine))),
              "pid=0x261 mode=normal fw=0x10 id=1 od=0x00 high=0x00 in=0x00 last=-");
    EXPECT_TRUE(contains(textOf(messageLog), widen("<USB 입출력 모듈의 설정 방법>")))
        << printable(textOf(messageLog));

    // The ZEL280's body button: it re-enumerates as 0x280 and the program
    // announces it on the devices-changed message.
    {
        SCOPED_TRACE("setting button");
        HWND button = benchItem(kZel280SettingButton);
        ASSERT_NE(button, nullptr);
        ASSERT_TRUE(send(button, BM_CLICK, 0, 0));
        expectText(
            benchItem(kZel280StateLine),
            [](const std::wstring& t) { return startsWith(t, L"pid=0x280 mode=setting "); }, "ZEL280 state");
        expectTextEq(messageLog, "\r\n > USB 출력 모듈(ZEL280)이 변경모드로 연결되었습니다.\r\n", "MessageLog");
        expectTextEq(statusBar, " Connected USB Output Module - ZEL280", "status bar");
    }

    // Product ID 283 and three changed rows: channel 1 open-drain and high,
    // channel 2 input, channel 3 push/pull and high.
    {
        SCOPED_TRACE("panel");
        HWND list = mainItem(kProductList);
        ASSERT_NE(list, nullptr);
        ASSERT_TRUE(send(list, CB_SETCURSEL, 11, 0));  // "261".."269", then "281".."289"
        ASSERT_EQ(textOf(list), L"283");
        ASSERT_TRUE(send(main, WM_COMMAND, MAKEWPARAM(kProductList, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list)));

        clickMain(kModeFirst + 0);
        clickMain(kModeFirst + 1);
        clickMain(kModeFirst + 1);
        clickMain(kHighFirst + 0);
        clickMain(kHighFirst + 2);
        EXPECT_EQ(textOf(mainItem(kModeFirst + 0)), L"open-drain Output");
        EXPECT_EQ(textOf(mainItem(kModeFirst + 1)), L"Input");
        EXPECT_EQ(textOf(mainItem(kModeFirst + 2)), L"push/pull Output");
        LRESULT check = 0;
        ASSERT_TRUE(send(mainItem(kHighFirst + 0), BM_GETCHECK, 0, 0, &check));
        EXPECT_EQ(check, BST_CHECKED);
        ASSERT_TRUE(send(mainItem(kHighFirst + 2), BM_GETCHECK, 0, 0, &check));
        EXPECT_EQ(check, BST_CHECKED);
    }

    // Data -> Write: the module stores ID nibble 3 and the masks.
    {
        SCOPED_TRACE("write");
        ASSERT_TRUE(send(main, WM_COMMAND, kWrite, 0));
        expectText(
            benchItem(kZel280StateLine),
            [](const std::wstring& t) {
                return startsWith(t, L"pid=0x280 mode=setting fw=0x12 id=3 od=0x80 high=0xA0 in=0x40 ");
            },
            "ZEL280 state");
        expectTextEq(messageLog,
                     "\r\n > 데이타 전송이 완료되었습니다.\r\n\r\n > 장치를 다시 연결하거나 'USB->Reset' 메뉴를 "
                     "실행하면\r\n    USB 출력 장치로 동작합니다..",
                     "MessageLog");
    }

    // Data -> Read: firmware 0x12 reads as version 1.2, then the configuration.
    {
        SCOPED_TRACE("read");
        ASSERT_TRUE(send(main, WM_COMMAND, kRead, 0));
        expectTextEq(messageLog, "\r\n > 펌웨어 버전 1.2\r\n\r\n > 데이타 읽기를 완료하였습니다.\r\n", "MessageLog");
        expectText(
            benchItem(kZel280StateLine), [](const std::wstring& t) { return contains(t, L" last=55 AA 43 00 "); },
            "ZEL280 state");
    }

    // USB -> Reset: the module leaves SettingMode under its new ID.
    {
        SCOPED_TRACE("reset");
        ASSERT_TRUE(send(main, WM_COMMAND, kReset, 0));
        expectText(
            benchItem(kZel280StateLine),
            [](const std::wstring& t) { return startsWith(t, L"pid=0x283 mode=normal fw=0x12 id=3 "); },
            "ZEL280 state");
        expectTextEq(messageLog, "\r\n > USB 입출력 모드로 변경되었습니다.\r\n", "MessageLog");
        // The ZEL260 saw none of it.
        EXPECT_EQ(narrow(textOf(benchItem(kZel260StateLine))),
                  "pid=0x261 mode=normal fw=0x10 id=1 od=0x00 high=0x00 in=0x00 last=-");
    }

    // Closing the main window ends the program, bench and all.
    ASSERT_TRUE(::PostMessageW(main, WM_CLOSE, 0, 0));
    ASSERT_EQ(::WaitForSingleObject(demo.handle(), kExitBoundMs), WAIT_OBJECT_0) << "the demo did not end";
    DWORD exitCode = 1;
    ASSERT_TRUE(::GetExitCodeProcess(demo.handle(), &exitCode));
    EXPECT_EQ(exitCode, 0u);
}

}  // namespace
