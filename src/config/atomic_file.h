// The file-system steps of an atomic save. The sequence (temporary file in
// the target's folder, replace in one step, fall back to writing in place)
// is portable and lives in config_file.cpp; the steps themselves are
// platform code: atomic_file_posix.cpp (rename + fsync) or
// win32/win32_atomic_file.cpp (MoveFileExW), chosen by CMake. Tests wrap the
// platform steps to make one of them fail.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelio {

enum class TempFileResult {
    Written,     // created, every byte written and flushed to disk, closed
    Exists,      // a file of that name is already there; nothing was touched
    NotCreated,  // the folder does not let us create a file (no permission, read-only medium...)
    Failed,      // created, but writing or flushing failed; the caller removes it
};

struct FileInfo {
    enum Kind { Missing, Regular, Other } kind = Missing;
    uint64_t size = 0;  // of a regular file
};

// Paths are UTF-8 (the platform steps convert them), so that a program can
// save without std::filesystem::path, whose conversions bring in the locale
// machinery.
struct AtomicFileSteps {
    // The file a save of `path` writes: `path` itself, or the file a symbolic
    // link there points to (replacing the link would put a file in its
    // place); nothing when that file is marked read-only, which a save
    // leaves as it is even for a user the system would let write it.
    std::function<std::optional<std::string>(const std::string& path)> target;
    // Creates `temp`, only if no such file exists, and writes `bytes` to disk.
    std::function<TempFileResult(const std::string& temp, std::string_view bytes)> writeTemp;
    // Puts `temp` in the place of `target` in one step and makes that durable.
    // Fails, leaving `target` as it was, when `target` is read-only.
    std::function<bool(const std::string& temp, const std::string& target)> replace;
    // The fallback where no temporary file can be made: truncate `target`
    // (creating it if need be) and write `bytes`; true when all were written.
    std::function<bool(const std::string& target, std::string_view bytes)> writeInPlace;
    // Removes a temporary file that was not used; quietly does nothing when
    // there is none.
    std::function<void(const std::string& temp)> remove;

    // Plain reads and appends, for the configuration file and zelioctl's files.
    // The first `maxBytes` bytes of `path` (fewer when it is shorter);
    // nullopt when it cannot be opened or read (a folder, say).
    std::function<std::optional<std::string>(const std::string& path, size_t maxBytes)> readPrefix;
    // Adds `bytes` at the end of `path`, creating it if need be; true when
    // all were written.
    std::function<bool(const std::string& path, std::string_view bytes)> append;
    // What is at `path`: nothing, a regular file (with its size) or something else.
    std::function<FileInfo(const std::string& path)> info;
    // The names of the entries of folder `path` (no "." or ".."); empty when
    // it cannot be listed.
    std::function<std::vector<std::string>(const std::string& path)> list;
};

// The steps of the platform the program was built for.
const AtomicFileSteps& platformAtomicFileSteps();

}  // namespace zelio
