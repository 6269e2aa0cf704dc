// The shipped zelio.exe (not the demo) against a virtual ZEL280 behind the
// HID class driver, driven through window messages: attach at start, Write
// then Read, and the device change after the module is pulled out.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <dbt.h>

#include "hidsim.h"
#include "win32/win32_text.h"
#include "resource.h"

namespace zelio::hidsim {
namespace {

constexpr wchar_t kMainClass[] = L"USBOUTPUTMODULE CLASS";
constexpr DWORD kBoundMs = 15000;

bool pollUntil(const std::function<bool()>& condition, DWORD boundMs = kBoundMs) {
    const ULONGLONG end = GetTickCount64() + boundMs;
    for (;;) {
        if (condition()) return true;
        if (GetTickCount64() >= end) return false;
        Sleep(50);
    }
}

bool send(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result = nullptr) {
    DWORD_PTR answer = 0;
    const LRESULT ok = SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kBoundMs, &answer);
    if (result) *result = static_cast<LRESULT>(answer);
    return ok != 0;
}

std::string textOf(HWND window) {
    LRESULT length = 0;
    if (!window || !send(window, WM_GETTEXTLENGTH, 0, 0, &length) || length < 0) return "<no answer>";
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    LRESULT copied = 0;
    if (!send(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), &copied)) return "<no answer>";
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return win32::narrow(text);
}

class Program {
public:
    ~Program() {
        if (!info_.hProcess) return;
        if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(info_.hProcess, 99);
            WaitForSingleObject(info_.hProcess, kBoundMs);
        }
        CloseHandle(info_.hThread);
        CloseHandle(info_.hProcess);
    }
    bool start(const std::wstring& name) {
        wchar_t self[MAX_PATH];
        std::wstring dir(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
        dir.erase(dir.find_last_of(L"\\/"));
        const std::wstring exe = dir + L"\\" + name;
        std::wstring commandLine = L"\"" + exe + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        return CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(),
                              &startup, &info_) != FALSE;
    }
    HWND mainWindow() const {
        HWND window = nullptr;
        while ((window = FindWindowExW(nullptr, window, kMainClass, nullptr)) != nullptr) {
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == info_.dwProcessId && IsWindowVisible(window)) return window;
        }
        return nullptr;
    }
    HANDLE handle() const { return info_.hProcess; }

private:
    PROCESS_INFORMATION info_{};
};

TEST(RealProgram, AttachesWritesReadsAndNoticesTheModuleGoing) {
    Bench bench;
    ASSERT_EQ(bench.error(), "");
    VirtualModule* m = bench.addModule(Model::Zel280, 1, 0x12, ModuleMode::Setting);
    ASSERT_NE(m, nullptr) << bench.error();

    Program zelio;
    ASSERT_TRUE(zelio.start(L"zelio.exe")) << "CreateProcessW failed, error " << GetLastError();
    HWND main = nullptr;
    ASSERT_TRUE(pollUntil([&] { return (main = zelio.mainWindow()) != nullptr; }, 30000));
    ASSERT_TRUE(send(main, WM_NULL, 0, 0));
    HWND log = FindWindowExW(main, nullptr, L"Edit", nullptr);
    HWND status = FindWindowExW(main, nullptr, L"msctls_statusbar32", nullptr);
    ASSERT_TRUE(log && status);

    auto expectText = [&](HWND window, const std::string& expected, const char* what) {
        std::string last;
        EXPECT_TRUE(pollUntil([&] { return (last = textOf(window)) == expected; })) << what << ": " << last;
    };
    expectText(status, " Connected USB Output Module - ZEL280", "status bar at start");

    // Product ID 283 from the list ("261".."269", then "281".."289"), then Write.
    HWND list = GetDlgItem(main, IDC_PRODUCT_LIST);
    ASSERT_TRUE(send(list, CB_SETCURSEL, 11, 0));
    ASSERT_TRUE(send(main, WM_COMMAND, MAKEWPARAM(IDC_PRODUCT_LIST, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list)));
    ASSERT_TRUE(send(main, WM_COMMAND, IDM_DATA_WRITE, 0));
    EXPECT_TRUE(bench.waitFor([&] { return m->idNibble == 3; }, kBoundMs)) << "the module never stored ID 3";

    ASSERT_TRUE(send(main, WM_COMMAND, IDM_DATA_READ, 0));
    expectText(log, "\r\n > 펌웨어 버전 1.2\r\n\r\n > 데이타 읽기를 완료하였습니다.\r\n", "log after Read");

    // Pulled out: the program hears of it from the system, or, where the
    // system does not say so to top-level windows, from the message posted
    // here as the system would.
    bench.unplug(*m);
    const bool told = pollUntil([&] { return textOf(status) == " Removed USB Output Module"; }, 5000);
    RecordProperty("devnodes_changed_from_the_system", told ? "yes" : "no");
    if (!told) {
        ASSERT_TRUE(PostMessageW(main, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0));
    }
    expectText(status, " Removed USB Output Module", "status bar after removal");

    ASSERT_TRUE(PostMessageW(main, WM_CLOSE, 0, 0));
    EXPECT_EQ(WaitForSingleObject(zelio.handle(), kBoundMs), WAIT_OBJECT_0);
}

}  // namespace
}  // namespace zelio::hidsim
