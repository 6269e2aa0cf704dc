#include "ui/win32_config_file.h"

#include "config/config_file.h"

namespace zelio::ui {

ChannelConfig loadConfigFileW(const std::wstring& path) { return loadConfigFile(std::filesystem::path(path)); }

bool saveConfigFileW(const std::wstring& path, const ChannelConfig& config) {
    // The one save of the project: a temporary file beside the target,
    // flushed, then put in its place in one step.
    return saveConfigFile(std::filesystem::path(path), config);
}

}  // namespace zelio::ui
