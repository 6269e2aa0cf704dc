// The configuration file read and written through the Windows file API with
// UTF-16 paths. Same behaviour as loadConfigFile / saveConfigFile of
// config/config_file.h, without iostreams and std::filesystem: linked
// statically those two cost the GUI about 640 KB (mostly the locale facets).
#pragma once

#include <string>

#include "config/channel_config.h"

namespace zelio::ui {

// At most kConfigReadLimit bytes of the file, parsed; a file that cannot be
// opened or read gives the empty text (product 0, masks 0).
ChannelConfig loadConfigFileW(const std::wstring& path);
// Creates or truncates the file and writes the configuration line; false when
// the file could not be created or fully written.
bool saveConfigFileW(const std::wstring& path, const ChannelConfig& config);

}  // namespace zelio::ui
