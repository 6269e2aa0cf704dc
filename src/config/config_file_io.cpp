// loadConfigFile / saveConfigFile: kept apart from the text functions in
// config_file.cpp so that a program which only parses and formats (the
// GUI, with its own file I/O) does not link iostreams and std::filesystem.
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

bool saveConfigFile(const std::filesystem::path& path, const ChannelConfig& config) {
    std::ofstream out(path, std::ios::out | std::ios::binary | std::ios::trunc);
    if (!out) return false;
    const std::string line = formatConfigLine(config);
    out.write(line.data(), static_cast<std::streamsize>(line.size()));
    out.close();
    return !out.fail();
}

}  // namespace zelio
