// The window's message texts: the MessageLog's, the status bar's and the
// warnings. Portable (no platform header), so every front end that shows
// the window's messages (the Win32 window, the web page) uses these.
#pragma once

namespace zelio::ui {

// The MessageLog's first text: how to put either module into SettingMode.
inline constexpr char kSettingGuide[] =
    "                    <USB 입출력 모듈의 설정 방법>\r\n\r\n"
    " 1. ZEL280은 본체에 있는 버턴을 1초이상 길게 눌러서 적색\r\n     LED가 점등되면 세팅모드로 동작합니다.\r\n"
    "\r\n 2. ZEL260은 프로그램 메뉴 'USB'에서 장치 ID를 260으로\r\n     바꾸면 세팅모드로 동작합니다. \r\n";
// A module in setting mode found when the program starts (%x: its ID).
inline constexpr char kConnectedAtStart[] = "\r\n > USB I/O 모듈(ZEL%x)이 변경모드로 연결되어 있습니다.\r\n";
// Status text while a module in setting mode is attached (%X: its ID).
inline constexpr char kConnectedStatus[] = " Connected USB Output Module - ZEL%X";

// ---- Data and USB commands, device changes ----------------------------------

inline constexpr char kSelectProductId[] = " USB 장치번호 Product ID를 선택하세요.     ";
inline constexpr char kChoose261[] = " 연결된 장치는 Product ID를 261~269 범위에서 선택해야 됩니다.     ";
inline constexpr char kChoose281[] = " 연결된 장치는 Product ID를 281~289 범위에서 선택해야 됩니다.     ";

inline constexpr char kWriteDone[] =
    "\r\n > 데이타 전송이 완료되었습니다.\r\n\r\n > 장치를 다시 연결하거나 'USB->Reset' 메뉴를 실행하면\r\n"
    "    USB 출력 장치로 동작합니다..";
inline constexpr char kWriteFailed[] = "\r\n > 데이타 전송 중에 에러가 발생하였습니다.";  // appended
inline constexpr char kReceiveFailed[] = "\r\n > 데이타 수신 중에 에러가 발생하였습니다.";
inline constexpr char kFirmwareVersion[] = "\r\n > 펌웨어 버전 %d.%d\r\n";
inline constexpr char kReadDone[] = "\r\n > 데이타 읽기를 완료하였습니다.\r\n";  // appended

inline constexpr char kResetDone[] = "\r\n > USB 입출력 모드로 변경되었습니다.\r\n";
inline constexpr char kResetFailed[] = "\r\n > 장치 리셋 에러가 발생하였습니다.\r\n";
inline constexpr char kIdNotPresent[] = "\r\n > USB 장치(ZEL%x)가 없습니다.\r\n";
inline constexpr char kSearchResult[] = "\r\n > USB 장치 검색\r\n\r\n   Product ID ";

inline constexpr char kConnectedMessage[] = "\r\n > USB 출력 모듈(ZEL%x)이 변경모드로 연결되었습니다.\r\n";
inline constexpr char kRemovedStatus[] = " Removed USB Output Module";
inline constexpr char kRemovedMessage[] = "\r\n > USB 출력 모듈이 제거되었습니다.\r\n";

// ---- Output test ------------------------------------------------------------

inline constexpr char kBlinkCall[] = "\r\n Function Call:\r\n\r\n ex) usb_io_output(%x,0x%02X,%d,0,0,0);";
inline constexpr char kHighCall[] = "\r\n Function Call:\r\n\r\n ex) usb_io_output(%x,0,%d,0,0,0);";
inline constexpr char kLowCall[] = "\r\n Function Call:\r\n\r\n ex) usb_io_output(%x,0,-%d,0,0,0);";
inline constexpr char kTimeTooLarge[] = "\r\n > 숫자값은 15이하로 입력하세요.";
inline constexpr char kSendFailed[] = "\r\n > 데이타 전송 에러가 발생하였습니다.";
inline constexpr char kNoModule[] = "\r\n > ID가 0x260 또는 0x280으로 인지되는 장치가 없습니다.";
// Times above this do not fit the blink byte's nibbles.
inline constexpr int kMaxBlinkTime = 15;

}  // namespace zelio::ui
