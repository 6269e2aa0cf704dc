// The configuration file functions on std::filesystem::path, kept apart
// from config_file.cpp so that the programs, which use the UTF-8 forms, do
// not link the path conversions.
#include "config/config_file.h"

namespace zelio {

namespace {

std::string utf8Of(const std::filesystem::path& path) {
    const std::u8string utf8 = path.u8string();
    return std::string(utf8.begin(), utf8.end());
}

}  // namespace

ChannelConfig loadConfigFile(const std::filesystem::path& path, const AtomicFileSteps& steps) {
    return loadConfigFileUtf8(utf8Of(path), steps);
}

bool saveConfigFile(const std::filesystem::path& path, const ChannelConfig& config, const AtomicFileSteps& steps) {
    return saveConfigFileUtf8(utf8Of(path), config, steps);
}

}  // namespace zelio
