#include "app/texts.h"

#include <array>
#include <cstddef>

namespace zelio::app {
namespace {

struct Entry {
    Text id;
    std::string_view key;
    std::string_view korean;
    std::string_view english;
};

constexpr std::array<Entry, static_cast<size_t>(Text::Count)> kTable = {{
    {Text::SettingGuide, "SettingGuide",
     "                    <USB 입출력 모듈의 설정 방법>\r\n\r\n"
     " 1. ZEL280은 본체에 있는 버턴을 1초이상 길게 눌러서 적색\r\n     LED가 점등되면 세팅모드로 동작합니다.\r\n"
     "\r\n 2. ZEL260은 프로그램 메뉴 'USB'에서 장치 ID를 260으로\r\n     바꾸면 세팅모드로 동작합니다. \r\n",
     "                    <Putting a USB I/O module into setting mode>\r\n\r\n"
     " 1. ZEL280: hold the button on the module for a second or more;\r\n     the red LED lights and the module is in setting mode.\r\n"
     "\r\n 2. ZEL260: change its device ID to 260 from the 'USB' menu;\r\n     the module is then in setting mode. \r\n"},
    {Text::ConnectedAtStart, "ConnectedAtStart", "\r\n > USB I/O 모듈(ZEL%x)이 변경모드로 연결되어 있습니다.\r\n",
     "\r\n > USB I/O module (ZEL%x) is connected in setting mode.\r\n"},
    {Text::ConnectedStatus, "ConnectedStatus", " Connected USB Output Module - ZEL%X", " Connected USB Output Module - ZEL%X"},
    {Text::SelectProductId, "SelectProductId", " USB 장치번호 Product ID를 선택하세요.     ",
     " Choose the USB device's Product ID.     "},
    {Text::Choose261, "Choose261", " 연결된 장치는 Product ID를 261~269 범위에서 선택해야 됩니다.     ",
     " The connected module needs a Product ID from 261 to 269.     "},
    {Text::Choose281, "Choose281", " 연결된 장치는 Product ID를 281~289 범위에서 선택해야 됩니다.     ",
     " The connected module needs a Product ID from 281 to 289.     "},
    {Text::WriteDone, "WriteDone",
     "\r\n > 데이타 전송이 완료되었습니다.\r\n\r\n > 장치를 다시 연결하거나 'USB->Reset' 메뉴를 실행하면\r\n"
     "    USB 출력 장치로 동작합니다..",
     "\r\n > The configuration was written.\r\n\r\n > Plug the module in again or choose 'USB->Reset'\r\n"
     "    to run it as a USB output module."},
    {Text::WriteFailed, "WriteFailed", "\r\n > 데이타 전송 중에 에러가 발생하였습니다.",
     "\r\n > The configuration could not be written."},
    {Text::ReceiveFailed, "ReceiveFailed", "\r\n > 데이타 수신 중에 에러가 발생하였습니다.",
     "\r\n > The module's data could not be read."},
    {Text::FirmwareVersion, "FirmwareVersion", "\r\n > 펌웨어 버전 %d.%d\r\n", "\r\n > Firmware version %d.%d\r\n"},
    {Text::ReadDone, "ReadDone", "\r\n > 데이타 읽기를 완료하였습니다.\r\n", "\r\n > The configuration was read.\r\n"},
    {Text::ResetDone, "ResetDone", "\r\n > USB 입출력 모드로 변경되었습니다.\r\n",
     "\r\n > The module now runs in USB I/O mode.\r\n"},
    {Text::ResetFailed, "ResetFailed", "\r\n > 장치 리셋 에러가 발생하였습니다.\r\n",
     "\r\n > The module could not be reset.\r\n"},
    {Text::IdNotPresent, "IdNotPresent", "\r\n > USB 장치(ZEL%x)가 없습니다.\r\n",
     "\r\n > No USB module ZEL%x is connected.\r\n"},
    {Text::SearchResult, "SearchResult", "\r\n > USB 장치 검색\r\n\r\n   Product ID ", "\r\n > USB module search\r\n\r\n   Product ID "},
    {Text::ConnectedMessage, "ConnectedMessage", "\r\n > USB 출력 모듈(ZEL%x)이 변경모드로 연결되었습니다.\r\n",
     "\r\n > USB output module (ZEL%x) connected in setting mode.\r\n"},
    {Text::RemovedStatus, "RemovedStatus", " Removed USB Output Module", " Removed USB Output Module"},
    {Text::RemovedMessage, "RemovedMessage", "\r\n > USB 출력 모듈이 제거되었습니다.\r\n",
     "\r\n > The USB output module was removed.\r\n"},
    {Text::BlinkCall, "BlinkCall", "\r\n Function Call:\r\n\r\n ex) usb_io_output(%x,0x%02X,%d,0,0,0);",
     "\r\n Function Call:\r\n\r\n ex) usb_io_output(%x,0x%02X,%d,0,0,0);"},
    {Text::HighCall, "HighCall", "\r\n Function Call:\r\n\r\n ex) usb_io_output(%x,0,%d,0,0,0);",
     "\r\n Function Call:\r\n\r\n ex) usb_io_output(%x,0,%d,0,0,0);"},
    {Text::LowCall, "LowCall", "\r\n Function Call:\r\n\r\n ex) usb_io_output(%x,0,-%d,0,0,0);",
     "\r\n Function Call:\r\n\r\n ex) usb_io_output(%x,0,-%d,0,0,0);"},
    {Text::TimeTooLarge, "TimeTooLarge", "\r\n > 숫자값은 15이하로 입력하세요.", "\r\n > Enter times of 15 or less."},
    {Text::SendFailed, "SendFailed", "\r\n > 데이타 전송 에러가 발생하였습니다.", "\r\n > The command could not be sent."},
    {Text::NoModule, "NoModule", "\r\n > ID가 0x260 또는 0x280으로 인지되는 장치가 없습니다.",
     "\r\n > No module is connected as 0x260 or 0x280."},
    {Text::SaveFailed, "SaveFailed", " 파일을 저장할 수 없습니다.     ", " The file could not be saved.     "},
    {Text::SaveFailedNamed, "SaveFailedNamed", " '%s' 파일을 저장할 수 없습니다.     ", " '%s' could not be saved.     "},
    {Text::MessageBoxTitle, "MessageBoxTitle", "USB Output Module", "USB Output Module"},
    {Text::DeviceSelected, "DeviceSelected", "Device Selected %s", "Device Selected %s"},
    {Text::OutputTestCaption, "OutputTestCaption", "Output Test - OUT %d", "Output Test - OUT %d"},
    {Text::BlinkHint, "BlinkHint", "> 점멸 시간: 1~15 (단위 0.1초)", "> Blink times: 1-15 (0.1 s each)"},
    {Text::Connect, "Connect", "USB 장치 연결…", "Connect a USB module…"},
    {Text::DemoNote, "DemoNote", "데모: 에뮬레이션된 ZEL280과 ZEL260", "Demo: emulated ZEL280 and ZEL260"},
    {Text::FileNamePrompt, "FileNamePrompt", "파일 이름", "File name"},
    {Text::Modules, "Modules", "연결된 모듈", "Modules"},
    {Text::ModuleBench, "ModuleBench", "모듈 벤치", "Module Bench"},
    {Text::IdChangeHeading, "IdChangeHeading", "ID Change (26x->260)", "ID Change (26x->260)"},
    {Text::IdChangeItem, "IdChangeItem", "ID Change (%x->260)", "ID Change (%x->260)"},
    {Text::LanguageSwitch, "LanguageSwitch", "English", "한국어"},
}};

constexpr bool tableInOrder() {
    for (size_t i = 0; i < kTable.size(); ++i)
        if (static_cast<size_t>(kTable[i].id) != i || kTable[i].key.empty()) return false;
    return true;
}
static_assert(tableInOrder(), "one entry per text, in the order of the enumeration");

}  // namespace

std::string_view text(Text id, Language language) {
    const auto i = static_cast<size_t>(id);
    if (i >= kTable.size()) return {};
    return language == Language::English ? kTable[i].english : kTable[i].korean;
}

std::string_view textKey(Text id) {
    const auto i = static_cast<size_t>(id);
    return i < kTable.size() ? kTable[i].key : std::string_view();
}

Language pickLanguage(std::string_view stored, std::string_view browser) {
    if (stored == "ko") return Language::Korean;
    if (stored == "en") return Language::English;
    const bool korean = browser.size() >= 2 && (browser[0] | 0x20) == 'k' && (browser[1] | 0x20) == 'o' &&
                        (browser.size() == 2 || browser[2] == '-' || browser[2] == '_');
    return korean ? Language::Korean : Language::English;
}

std::string_view languageCode(Language language) { return language == Language::English ? "en" : "ko"; }

}  // namespace zelio::app
