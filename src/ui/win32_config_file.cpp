#include "ui/win32_config_file.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "config/config_file.h"
#include "link/win32_text.h"
#include "link/win32_unique.h"

namespace zelio::ui {

ChannelConfig loadConfigFileW(const std::wstring& path) {
    std::string text;
    const win32::unique_handle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) {
        char buffer[kConfigReadLimit];
        DWORD got = 0;
        if (::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) text.assign(buffer, got);
    }
    return parseConfigText(text);
}

bool saveConfigFileW(const std::wstring& path, const ChannelConfig& config) {
    // The one save of the project: a temporary file beside the target,
    // flushed, then put in its place in one step.
    return saveConfigFileUtf8(win32::narrow(path), config);
}

}  // namespace zelio::ui
