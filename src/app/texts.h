// Every text the configurator shows its user, in one table: the window's
// Korean texts as the window has always shown them, and English. The
// printf-style texts take the same arguments in both languages.
#pragma once

#include <string_view>

namespace zelio::app {

enum class Language { Korean, English };

enum class Text {
    // MessageLog, status bar, warnings
    SettingGuide,
    ConnectedAtStart,   // %x the module's ID
    ConnectedStatus,    // %X
    SelectProductId,
    Choose261,
    Choose281,
    WriteDone,
    WriteFailed,        // appended
    ReceiveFailed,
    FirmwareVersion,    // %d.%d
    ReadDone,           // appended
    ResetDone,
    ResetFailed,
    IdNotPresent,       // %x
    SearchResult,
    ConnectedMessage,   // %x
    RemovedStatus,
    RemovedMessage,
    BlinkCall,          // %x, 0x%02X, %d
    HighCall,           // %x, %d
    LowCall,            // %x, %d
    TimeTooLarge,
    SendFailed,
    NoModule,
    SaveFailed,
    SaveFailedNamed,    // %s the file name
    MessageBoxTitle,
    DeviceSelected,     // %s the model
    OutputTestCaption,  // %d the channel
    BlinkHint,
    // the page's own
    Connect,
    DemoNote,
    FileNamePrompt,
    Modules,
    ModuleBench,
    IdChangeHeading,
    IdChangeItem,       // %x the present ID
    LanguageSwitch,     // the switch to the other language
    Count
};

// The text in `language`.
std::string_view text(Text id, Language language);
// The table's key of a text ("SelectProductId"), for the page's labels.
std::string_view textKey(Text id);

// Korean when the browser's language tag is Korean ("ko", "ko-KR"), English
// otherwise; a choice the user stored ("ko", "en") wins.
Language pickLanguage(std::string_view stored, std::string_view browser);
std::string_view languageCode(Language language);

}  // namespace zelio::app
