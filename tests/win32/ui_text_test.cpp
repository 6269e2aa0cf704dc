// The UTF-8/UTF-16 conversion at the window boundary.
#include "ui_fixture.h"

#include <string>

namespace zelio::ui::test {
namespace {

TEST(TextConversion, RoundTripsKoreanAndControlCharacters) {
    const std::string text = "\r\n > USB 출력 모듈(ZEL260)이 변경모드로 연결되었습니다.\r\n";
    const std::wstring wide = win32::widen(text);
    EXPECT_EQ(wide.substr(0, 9), L"\r\n > USB ");
    EXPECT_EQ(wide[9], L'\xCD9C');  // 출
    EXPECT_EQ(win32::narrow(wide), text);
    EXPECT_EQ(win32::widen(""), L"");
    EXPECT_EQ(win32::narrow(L""), "");
}

TEST(WindowText, Utf8TextAndFirstCharacter) {
    HWND edit = ::CreateWindowExW(0, L"EDIT", L"", WS_POPUP | ES_MULTILINE, 0, 0, 100, 50, nullptr, nullptr,
                                  ::GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(edit, nullptr);
    setWindowTextUtf8(edit, "입력\r\nInput");
    EXPECT_EQ(windowTextUtf8(edit), "입력\r\nInput");
    EXPECT_EQ(firstCharOf(edit), L'\xC785');  // 입
    setWindowTextUtf8(edit, "");
    EXPECT_EQ(firstCharOf(edit), L'\0');
    EXPECT_EQ(windowTextUtf8(edit), "");
    ::DestroyWindow(edit);
}

}  // namespace
}  // namespace zelio::ui::test
