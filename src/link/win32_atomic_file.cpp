// The steps of an atomic save on Windows: CreateFileW(CREATE_NEW) +
// WriteFile + FlushFileBuffers for the temporary file, MoveFileExW with
// MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH for the replacement;
// ReadFile and FILE_APPEND_DATA writes for reading and appending. Paths go
// to the W functions as UTF-16, so Korean file names work.
#include "config/atomic_file.h"

#include <algorithm>

#include "link/win32_unique.h"

namespace zelio {

namespace {

// Writes every byte to an open file.
bool writeAll(HANDLE file, std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
        if (!::WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0) return false;
        done += written;
    }
    return true;
}

TempFileResult writeTemp(const std::filesystem::path& temp, std::string_view bytes) {
    win32::unique_handle file(::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? TempFileResult::Exists
                                                                           : TempFileResult::NotCreated;
    }
    if (!writeAll(file.get(), bytes)) return TempFileResult::Failed;
    if (!::FlushFileBuffers(file.get())) return TempFileResult::Failed;
    const HANDLE h = file.release();
    return ::CloseHandle(h) ? TempFileResult::Written : TempFileResult::Failed;
}

bool replace(const std::filesystem::path& temp, const std::filesystem::path& target) {
    // Refuses a read-only target with ERROR_ACCESS_DENIED.
    return ::MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

// The old way, for folders that take no new file: truncate, then write.
bool writeInPlace(const std::filesystem::path& target, std::string_view bytes) {
    win32::unique_handle file(::CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file || !writeAll(file.get(), bytes)) return false;
    const HANDLE h = file.release();
    return ::CloseHandle(h) != 0;
}

std::optional<std::string> readPrefix(const std::filesystem::path& path, size_t maxBytes) {
    const win32::unique_handle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::nullopt;
    std::string text(maxBytes, '\0');
    size_t done = 0;
    while (done < maxBytes) {
        DWORD got = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(maxBytes - done, 1u << 20));
        if (!::ReadFile(file.get(), text.data() + done, chunk, &got, nullptr)) return std::nullopt;
        if (got == 0) break;
        done += got;
    }
    text.resize(done);
    return text;
}

bool append(const std::filesystem::path& path, std::string_view bytes) {
    // FILE_APPEND_DATA alone: every write goes to the end of the file.
    win32::unique_handle file(::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file || !writeAll(file.get(), bytes)) return false;
    const HANDLE h = file.release();
    return ::CloseHandle(h) != 0;
}

}  // namespace

const AtomicFileSteps& platformAtomicFileSteps() {
    static const AtomicFileSteps steps{writeTemp, replace, writeInPlace, readPrefix, append};
    return steps;
}

}  // namespace zelio
