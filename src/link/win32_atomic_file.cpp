// The steps of an atomic save on Windows: CreateFileW(CREATE_NEW) +
// WriteFile + FlushFileBuffers for the temporary file, MoveFileExW with
// MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH for the replacement.
#include "config/atomic_file.h"

#include <algorithm>

#include "link/win32_text.h"
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

TempFileResult writeTemp(const std::string& temp, std::string_view bytes) {
    win32::unique_handle file(::CreateFileW(win32::widen(temp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
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

bool replace(const std::string& temp, const std::string& target) {
    // Refuses a read-only target with ERROR_ACCESS_DENIED.
    return ::MoveFileExW(win32::widen(temp).c_str(), win32::widen(target).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

// The old way, for folders that take no new file: truncate, then write.
bool writeInPlace(const std::string& target, std::string_view bytes) {
    win32::unique_handle file(::CreateFileW(win32::widen(target).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file || !writeAll(file.get(), bytes)) return false;
    const HANDLE h = file.release();
    return ::CloseHandle(h) != 0;
}

// Windows saves to a link's target by itself (MoveFileExW replaces the file
// the path names); a file with the read-only attribute is left alone.
std::optional<std::string> target(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesW(win32::widen(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
        (attributes & FILE_ATTRIBUTE_READONLY) != 0)
        return std::nullopt;
    return path;
}

void remove(const std::string& temp) { ::DeleteFileW(win32::widen(temp).c_str()); }

}  // namespace

const AtomicFileSteps& platformAtomicFileSteps() {
    static const AtomicFileSteps steps{target, writeTemp, replace, writeInPlace, remove};
    return steps;
}

}  // namespace zelio
