// The file functions on std::filesystem::path: kept apart from the rest of
// config_file.cpp so that a program which reads the file its own way and
// saves with UTF-8 paths (the GUI) links neither iostreams nor the path
// conversions, whose locale support costs a static program ~460 KB.
#include <fstream>

#include "config/config_file.h"

namespace zelio {

ChannelConfig loadConfigFile(const std::filesystem::path& path) {
    std::string text;
    std::ifstream in(path, std::ios::in | std::ios::binary);
    if (in) {
        char buffer[kConfigReadLimit];
        in.read(buffer, static_cast<std::streamsize>(sizeof buffer));
        const std::streamsize got = in.gcount();
        if (got > 0) text.assign(buffer, static_cast<size_t>(got));
    }
    return parseConfigText(text);
}

bool saveConfigFile(const std::filesystem::path& path, const ChannelConfig& config, const AtomicFileSteps& steps) {
    const std::u8string utf8 = path.u8string();
    return saveConfigFileUtf8(std::string(utf8.begin(), utf8.end()), config, steps);
}

}  // namespace zelio
