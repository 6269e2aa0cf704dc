// The configuration file with UTF-16 paths: the portable loadConfigFile and
// saveConfigFile, whose file steps use the UTF-16 Windows file API.
#pragma once

#include <string>

#include "config/channel_config.h"

namespace zelio::ui {

// At most kConfigReadLimit bytes of the file, parsed; a file that cannot be
// opened or read gives the empty text (product 0, masks 0).
ChannelConfig loadConfigFileW(const std::wstring& path);
// saveConfigFile: replaces the file in one step (or, where no temporary file
// can be made beside it, writes in place); false when nothing was saved, and
// then the old file is as it was.
bool saveConfigFileW(const std::wstring& path, const ChannelConfig& config);

}  // namespace zelio::ui
