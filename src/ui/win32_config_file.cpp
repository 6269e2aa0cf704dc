#include "ui/win32_config_file.h"

#include "config/config_file.h"
#include "win32/win32_text.h"

namespace zelio::ui {

ChannelConfig loadConfigFileW(const std::wstring& path) { return loadConfigFileUtf8(win32::narrow(path)); }

bool saveConfigFileW(const std::wstring& path, const ChannelConfig& config) {
    // The one save of the project: a temporary file beside the target,
    // flushed, then put in its place in one step.
    return saveConfigFileUtf8(win32::narrow(path), config);
}

}  // namespace zelio::ui
