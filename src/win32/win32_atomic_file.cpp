// The steps of an atomic save on Windows: CreateFileW(CREATE_NEW) +
// WriteFile + FlushFileBuffers for the temporary file, ReplaceFileW (which
// keeps the old file's access list, attributes and streams) for the
// replacement. Every path goes in the extended form, so a long name never
// makes the temporary file impossible.
#define _CRT_RAND_S  // rand_s from <stdlib.h>
#include "config/atomic_file.h"

#include <stdlib.h>

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

// "\\?\C:\folder\name" or "\\?\UNC\server\share\name": no 260-character
// limit; a relative path is made absolute first.
std::wstring longPath(const std::string& path) {
    std::wstring wide = win32::widen(path);
    if (wide.starts_with(L"\\\\?\\") || wide.starts_with(L"\\\\.\\")) return wide;
    std::wstring full(::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr), L'\0');
    const DWORD length = full.empty() ? 0 : ::GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0 || length >= full.size()) return wide;
    full.resize(length);
    if (full.starts_with(L"\\\\.\\") || full.starts_with(L"\\\\?\\")) return full;  // a device ("NUL")
    return full.starts_with(L"\\\\") ? L"\\\\?\\UNC\\" + full.substr(2) : L"\\\\?\\" + full;
}

TempFileResult writeTemp(const std::string& temp, std::string_view bytes) {
    win32::unique_handle file(::CreateFileW(longPath(temp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) return TempFileResult::Exists;
        // Only a folder that refuses new files is a reason to write in
        // place; a full disk, a quota or an I/O error fail the save.
        return error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT ? TempFileResult::NotCreated
                                                                            : TempFileResult::Failed;
    }
    if (!writeAll(file.get(), bytes)) return TempFileResult::Failed;
    if (!::FlushFileBuffers(file.get())) return TempFileResult::Failed;
    const HANDLE h = file.release();
    return ::CloseHandle(h) ? TempFileResult::Written : TempFileResult::Failed;
}

bool replace(const std::string& temp, const std::string& target) {
    const std::wstring wideTemp = longPath(temp), wideTarget = longPath(target);
    // The new file takes the old one's access list, attributes and streams
    // (refused for a read-only file); where there is no old file, a move.
    if (::ReplaceFileW(wideTarget.c_str(), wideTemp.c_str(), nullptr,
                       REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr, nullptr))
        return true;
    return ::GetLastError() == ERROR_FILE_NOT_FOUND &&
           ::MoveFileExW(wideTemp.c_str(), wideTarget.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

// The old way, for folders that take no new file: truncate, then write.
bool writeInPlace(const std::string& target, std::string_view bytes) {
    win32::unique_handle file(::CreateFileW(longPath(target).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file || !writeAll(file.get(), bytes) || !::FlushFileBuffers(file.get())) return false;
    const HANDLE h = file.release();
    return ::CloseHandle(h) != 0;
}

// Opening the path follows a symbolic link: the handle names the file that
// is really written (replacing the link would put a file in its place) and
// tells whether it has the read-only attribute, which a save respects (a
// folder is never replaced either).
std::optional<std::string> target(const std::string& path) {
    const std::wstring wide = longPath(path);
    const win32::unique_handle file(::CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES,
                                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file) return path;  // nothing there yet
    BY_HANDLE_FILE_INFORMATION data{};
    if (!::GetFileInformationByHandle(file.get(), &data) ||
        (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0)
        return std::nullopt;
    const DWORD own = ::GetFileAttributesW(wide.c_str());
    if (own == INVALID_FILE_ATTRIBUTES || (own & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return path;
    std::wstring final(::GetFinalPathNameByHandleW(file.get(), nullptr, 0, FILE_NAME_NORMALIZED), L'\0');
    const DWORD length = final.empty() ? 0 : ::GetFinalPathNameByHandleW(file.get(), final.data(), static_cast<DWORD>(final.size()), FILE_NAME_NORMALIZED);
    if (length == 0 || length >= final.size()) return path;
    final.resize(length);
    return win32::narrow(final);
}

void remove(const std::string& temp) { ::DeleteFileW(longPath(temp).c_str()); }

// rand_s: the system's generator (RtlGenRandom), fresh for each call. Not
// BCryptGenRandom: bcrypt.dll is no KnownDLL, and importing it would let a
// DLL of that name beside the program be loaded in its place.
uint64_t randomBits() {
    unsigned int high = 0, low = 0;
    if (::rand_s(&high) != 0 || ::rand_s(&low) != 0) low ^= static_cast<unsigned int>(::GetTickCount64());
    return (static_cast<uint64_t>(high) << 32) | low;
}

std::optional<std::string> readPrefix(const std::string& path, size_t maxBytes) {
    const win32::unique_handle file(::CreateFileW(longPath(path).c_str(), GENERIC_READ,
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

bool append(const std::string& path, std::string_view header, std::string_view bytes) {
    win32::unique_handle file(::CreateFileW(longPath(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
    OVERLAPPED whole{};  // the lock covers every byte; released on close
    LARGE_INTEGER size{};
    if (!file || !::LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole) ||
        !::GetFileSizeEx(file.get(), &size) || !::SetFilePointerEx(file.get(), size, nullptr, FILE_BEGIN))
        return false;
    const std::string record = (size.QuadPart == 0 ? std::string(header) : std::string()) + std::string(bytes);
    if (writeAll(file.get(), record) && ::FlushFileBuffers(file.get())) {
        const HANDLE h = file.release();
        return ::CloseHandle(h) != 0;
    }
    if (::SetFilePointerEx(file.get(), size, nullptr, FILE_BEGIN)) ::SetEndOfFile(file.get());
    return false;
}

FileInfo info(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(longPath(path).c_str(), GetFileExInfoStandard, &data))
        return FileInfo{FileInfo::Missing, 0, win32::errorText(::GetLastError())};
    if ((data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0)
        return FileInfo{FileInfo::Other, 0, {}};
    return FileInfo{FileInfo::Regular, (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow, {}};
}

std::vector<std::string> list(const std::string& path) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found{};
    const unique_hfind search(::FindFirstFileW(longPath(path + "\\*").c_str(), &found));
    if (!search) return names;
    do {
        const std::wstring_view name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(win32::narrow(name));
    } while (::FindNextFileW(search.get(), &found));
    return names;
}

}  // namespace

const AtomicFileSteps& platformAtomicFileSteps() {
    static const AtomicFileSteps steps{target, writeTemp, replace, writeInPlace, remove, randomBits,
                                       readPrefix, append, info, list};
    return steps;
}

}  // namespace zelio
