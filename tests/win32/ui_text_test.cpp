// The bounded text buffers behind the MessageLog and the status bar, and the
// UTF-8/UTF-16 conversion at the window boundary.
#include "ui_fixture.h"

#include <string>

namespace zelio::ui::test {
namespace {

std::string repeat(const std::string& piece, size_t count) {
    std::string out;
    for (size_t i = 0; i < count; ++i) out += piece;
    return out;
}

TEST(Cp949Length, AsciiCountsOneAndHangulTwo) {
    EXPECT_EQ(cp949Length(""), 0u);
    EXPECT_EQ(cp949Length("abc\r\n"), 5u);
    EXPECT_EQ(cp949Length("가"), 2u);
    EXPECT_EQ(cp949Length(" > 데이타 a"), 11u);
}

TEST(BoundedPrefix, StopsAtTheFirstLimitAndNeverSplitsACharacter) {
    EXPECT_EQ(boundedPrefix("가나다", 10, 5), "가나");
    EXPECT_EQ(boundedPrefix("가나다", 2, 100), "가나");
    EXPECT_EQ(boundedPrefix("a가", 10, 2), "a");
    EXPECT_EQ(boundedPrefix("abc", 0, 10), "");
    // Malformed bytes are taken one at a time and never read past the end.
    const std::string broken = "ab\xEA\xB0";
    EXPECT_EQ(boundedPrefix(broken, 10, 100), broken);
    EXPECT_EQ(boundedPrefix(broken, 3, 100), "ab\xEA");
    EXPECT_EQ(cp949Length(broken), 6u);
}

TEST(LogText, SetReplacesAndAppendAddsToTheCurrentText) {
    LogText log;
    log.set("\r\n > 펌웨어 버전 1.2\r\n");
    log.append("\r\n > 데이타 읽기를 완료하였습니다.\r\n");
    EXPECT_EQ(log.str(), "\r\n > 펌웨어 버전 1.2\r\n\r\n > 데이타 읽기를 완료하였습니다.\r\n");
    log.set("x");
    EXPECT_EQ(log.str(), "x");
    log.clear();
    EXPECT_TRUE(log.empty());
}

TEST(LogText, AMessageHoldsAtMost1024Characters) {
    LogText log;
    log.set(std::string(3000, 'a'));
    EXPECT_EQ(log.str(), std::string(1024, 'a'));

    log.set(std::string(1000, 'b'));
    log.append("\r\n > 데이타 전송 중에 에러가 발생하였습니다.");
    // 1000 + 27 characters composed, the last three cut off.
    EXPECT_EQ(log.str(), std::string(1000, 'b') + "\r\n > 데이타 전송 중에 에러가 발생하였습");
}

TEST(LogText, TheBufferHolds2047BytesInCodePage949) {
    LogText log;
    log.set(repeat("가", 1100));
    EXPECT_EQ(log.str(), repeat("가", 1023));  // 1024 would need 2048 bytes
    EXPECT_EQ(cp949Length(log.str()), 2046u);

    log.set("a" + repeat("가", 1100));
    EXPECT_EQ(log.str(), "a" + repeat("가", 1023));  // 1024 characters, 2047 bytes
    EXPECT_EQ(cp949Length(log.str()), 2047u);

    log.set(repeat("가", 1000));
    log.append(repeat("나", 100));
    EXPECT_EQ(log.str(), repeat("가", 1000) + repeat("나", 23));
}

TEST(StatusText, HoldsAt255Characters) {
    StatusText status;
    status.set(std::string(300, 's'));
    EXPECT_EQ(status.str(), std::string(255, 's'));
    status.set(" Connected USB Output Module - ZEL260");
    EXPECT_EQ(status.str(), " Connected USB Output Module - ZEL260");
}

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
