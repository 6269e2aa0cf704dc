// The one-line configuration file: "%04X %02X %02X %02X\r\n" with the
// product ID, open-drain, high and input masks.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "config/atomic_file.h"
#include "config/channel_config.h"

namespace zelio {

inline constexpr size_t kConfigReadLimit = 512;

// The line as written.
std::string formatConfigLine(const ChannelConfig& config);
// Blank repair, base-16 conversion at offsets 0, 5, 8, 11 (text up to its
// first zero byte, at most 512 bytes of it).
ChannelConfig parseConfigText(const std::string& text);
// strtol(s, nullptr, 16) semantics on a bounded text, saturating at the
// 32-bit signed range.
long hexToLong(const std::string& text, size_t offset);
// Strict base 16 for typed-in values: hexadecimal digits with an optional
// "0x" prefix and nothing else; nullopt for anything else or a value above
// `max`.
std::optional<uint32_t> parseHexStrict(std::string_view text, uint32_t max);

// File I/O on UTF-8 paths (the platform's file steps convert them, so Korean
// names work on Windows).
// load: the first kConfigReadLimit bytes of the file, parsed; a file that
// cannot be opened or read gives the empty text (product 0, masks 0).
ChannelConfig loadConfigFileUtf8(const std::string& path, const AtomicFileSteps& steps = platformAtomicFileSteps());
// save: writes the line to a temporary file in the same folder, flushes it
// to disk and puts it in the file's place in one step, so the file holds
// either its old or its new contents, whatever happens. Only when the folder
// refuses new files is the file written (and flushed) in place. False when
// the file could not be written; a failed save leaves the old file as it was
// and no temporary file behind. A read-only file is never replaced.
bool saveConfigFileUtf8(const std::string& path, const ChannelConfig& config,
                        const AtomicFileSteps& steps = platformAtomicFileSteps());
// The same save for any bytes (the configurator's, zelioctl's emulated modules).
bool saveFileUtf8(const std::string& path, std::string_view bytes,
                  const AtomicFileSteps& steps = platformAtomicFileSteps());
// The temporary file a save of `target` writes first:
// "<name>.<16 hex digits>.tmp" beside it, the name shortened so that the
// whole fits kMaxFileNameBytes.
inline constexpr size_t kMaxFileNameBytes = 255;
std::string temporaryName(const std::string& target, uint64_t random);

// The same on std::filesystem::path, for callers that have one (a static
// Windows program that uses std::filesystem::path at all links the locale
// machinery, ~460 KB: the programs use the UTF-8 forms).
ChannelConfig loadConfigFile(const std::filesystem::path& path,
                             const AtomicFileSteps& steps = platformAtomicFileSteps());
bool saveConfigFile(const std::filesystem::path& path, const ChannelConfig& config,
                    const AtomicFileSteps& steps = platformAtomicFileSteps());

}  // namespace zelio
