// The steps of an atomic save on Windows: CreateFileW(CREATE_NEW) +
// WriteFile + FlushFileBuffers for the temporary file, MoveFileExW with
// MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH for the replacement.
#include "config/atomic_file.h"

#include <algorithm>

#include "win32/win32_text.h"
#include "win32/win32_unique.h"

namespace zelio {

namespace {

using unique_hfind = win32::unique_any<HANDLE, ::FindClose, win32::NotNullOrInvalid>;

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

std::optional<std::string> readPrefix(const std::string& path, size_t maxBytes) {
    const win32::unique_handle file(::CreateFileW(win32::widen(path).c_str(), GENERIC_READ,
                                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                                  FILE_ATTRIBUTE_NORMAL, nullptr));
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

bool append(const std::string& path, std::string_view bytes) {
    // FILE_APPEND_DATA alone: every write goes to the end of the file.
    win32::unique_handle file(::CreateFileW(win32::widen(path).c_str(), FILE_APPEND_DATA,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file || !writeAll(file.get(), bytes)) return false;
    const HANDLE h = file.release();
    return ::CloseHandle(h) != 0;
}

FileInfo info(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(win32::widen(path).c_str(), GetFileExInfoStandard, &data)) return FileInfo{};
    if ((data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0)
        return FileInfo{FileInfo::Other, 0};
    return FileInfo{FileInfo::Regular, (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow};
}

std::vector<std::string> list(const std::string& path) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found{};
    const unique_hfind search(::FindFirstFileW(win32::widen(path + "\\*").c_str(), &found));
    if (!search) return names;
    do {
        const std::wstring_view name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(win32::narrow(name));
    } while (::FindNextFileW(search.get(), &found));
    return names;
}

}  // namespace

const AtomicFileSteps& platformAtomicFileSteps() {
    static const AtomicFileSteps steps{target, writeTemp, replace, writeInPlace, remove, readPrefix, append, info, list};
    return steps;
}

}  // namespace zelio
