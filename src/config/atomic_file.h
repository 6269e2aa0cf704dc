// The file-system steps of an atomic save, and the plain reads and appends
// of the configuration file and zelioctl's files. The save's sequence
// (temporary file in the target's folder, replace in one step, fall back to
// writing in place) is portable and lives in config_file.cpp; the steps
// themselves are platform code: atomic_file_posix.cpp (rename + fsync) or
// link/win32_atomic_file.cpp (MoveFileExW, UTF-16 paths), chosen by CMake.
// They use no iostreams, whose locale support alone costs a static program
// some 600 KB. Tests wrap the platform steps to make one of them fail.
#pragma once

#include <filesystem>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace zelio {

enum class TempFileResult {
    Written,     // created, every byte written and flushed to disk, closed
    Exists,      // a file of that name is already there; nothing was touched
    NotCreated,  // the folder does not let us create a file (no permission, read-only medium...)
    Failed,      // created, but writing or flushing failed; the caller removes it
};

struct AtomicFileSteps {
    // Creates `temp`, only if no such file exists, and writes `bytes` to disk.
    std::function<TempFileResult(const std::filesystem::path& temp, std::string_view bytes)> writeTemp;
    // Puts `temp` in the place of `target` in one step and makes that durable.
    // Fails, leaving `target` as it was, when `target` is read-only.
    std::function<bool(const std::filesystem::path& temp, const std::filesystem::path& target)> replace;
    // The fallback where no temporary file can be made: truncate `target`
    // (creating it if need be) and write `bytes`; true when all were written.
    std::function<bool(const std::filesystem::path& target, std::string_view bytes)> writeInPlace;
    // The first `maxBytes` bytes of `path` (fewer when it is shorter);
    // nullopt when it cannot be opened or read (a folder, say).
    std::function<std::optional<std::string>(const std::filesystem::path& path, size_t maxBytes)> readPrefix;
    // Adds `bytes` at the end of `path`, creating it if need be; true when
    // all were written.
    std::function<bool(const std::filesystem::path& path, std::string_view bytes)> append;
};

// The steps of the platform the program was built for.
const AtomicFileSteps& platformAtomicFileSteps();

}  // namespace zelio
