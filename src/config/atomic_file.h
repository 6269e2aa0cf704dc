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
    NotCreated,  // the folder refuses new files (no permission, read-only medium)
    Failed,      // any other failure (full disk, quota, I/O error...); the caller removes the file
};

// How long an append waits for another program's lock on the file.
inline constexpr int kAppendLockWaitMs = 3000;

struct FileInfo {
    enum Kind { Missing, Regular, Other } kind = Missing;
    uint64_t size = 0;  // of a regular file
    // Missing: why it could not be looked at, in the system's words
    // ("No such file or directory", "Permission denied").
    std::string error;
};

// Paths are UTF-8 (the platform steps convert them), so that a program can
// save without std::filesystem::path, whose conversions bring in the locale
// machinery.
struct AtomicFileSteps {
    // The file a save of `path` writes: `path` itself, or the file a symbolic
    // link there points to (replacing the link would put a file in its
    // place) where the system lets us follow it; nothing when that file is
    // marked read-only, which a save leaves as it is even for a user the
    // system would let write it.
    std::function<std::optional<std::string>(const std::string& path)> target;
    // Creates `temp`, only if no such file exists, and writes `bytes` to disk.
    std::function<TempFileResult(const std::string& temp, std::string_view bytes)> writeTemp;
    // Puts `temp` in the place of `target` in one step and makes that durable;
    // the new file keeps what the old one had (mode without set-user-ID and
    // set-group-ID, owner and group as far as we may set them, extended
    // attributes and access list, but no security.capability or other
    // attribute that grants privilege). Fails, leaving `target` as it was, when
    // `target` is read-only.
    std::function<bool(const std::string& temp, const std::string& target)> replace;
    // The fallback where the folder refuses new files: truncate `target`
    // (creating it if need be), write `bytes` and flush them to disk; true
    // when all were written.
    std::function<bool(const std::string& target, std::string_view bytes)> writeInPlace;
    // Removes a temporary file that was not used; quietly does nothing when
    // there is none.
    std::function<void(const std::string& temp)> remove;
    // Fresh random bits from the system for each temporary name, so that no
    // name can be guessed from an earlier one.
    std::function<uint64_t()> randomBits;

    // Plain reads and appends, for the configuration file and zelioctl's files.
    // The first `maxBytes` bytes of `path` (fewer when it is shorter);
    // nullopt when it cannot be opened or read (a folder, say).
    std::function<std::optional<std::string>(const std::string& path, size_t maxBytes)> readPrefix;
    // Adds a record at the end of `path`, creating it if need be: `header`
    // first when the file is empty, then `bytes`, under an exclusive lock
    // (one writer at a time; another's is waited for kAppendLockWaitMs at
    // most, then false with errno EWOULDBLOCK) and flushed to disk. A record
    // that cannot be written whole is cut off again, so the next one starts
    // where it would have; true when all was written.
    std::function<bool(const std::string& path, std::string_view header, std::string_view bytes)> append;
    // What is at `path`: nothing, a regular file (with its size) or something else.
    std::function<FileInfo(const std::string& path)> info;
    // The names of the entries of folder `path` (no "." or ".."); empty when
    // it cannot be listed.
    std::function<std::vector<std::string>(const std::string& path)> list;
};

// The steps of the platform the program was built for.
const AtomicFileSteps& platformAtomicFileSteps();

}  // namespace zelio
