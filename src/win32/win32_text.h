// The one place where UTF-8 (used everywhere inside the program) meets the
// UTF-16 of the Windows W functions, and where system error codes become text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zelio::win32 {

// UTF-8 <-> UTF-16. Malformed input is converted with the platform's
// replacement rules; nothing throws.
std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view utf16);

// "(5) Access is denied." for a GetLastError() code: the number in
// parentheses, then the system's own message without its line break.
std::string errorText(std::uint32_t code);

}  // namespace zelio::win32
