// loadConfigFile: kept apart from the rest of config_file.cpp so that a
// program which reads the file its own way (the GUI) does not link
// iostreams, whose locale support alone costs a static program ~460 KB.
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

}  // namespace zelio
