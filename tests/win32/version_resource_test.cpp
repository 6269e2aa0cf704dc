// The programs' version resources carry the project version (zelio_version.h,
// generated from the CMake project version), in numbers and in text.

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "zelio_version.h"

namespace {

std::wstring besideThisProgram(const std::wstring& name) {
    std::wstring path(MAX_PATH, L'\0');
    const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(n);
    return path.substr(0, path.find_last_of(L"\\/") + 1) + name;
}

struct VersionResource {
    bool found = false;
    DWORD fileMS = 0, fileLS = 0, productMS = 0, productLS = 0;
    std::wstring fileVersion, productVersion;
};

VersionResource readVersion(const std::wstring& path) {
    VersionResource result;
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return result;
    std::vector<char> data(size);
    if (!::GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return result;

    void* value = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(data.data(), L"\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO)) return result;
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    result.found = true;
    result.fileMS = fixed->dwFileVersionMS;
    result.fileLS = fixed->dwFileVersionLS;
    result.productMS = fixed->dwProductVersionMS;
    result.productLS = fixed->dwProductVersionLS;

    if (!::VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", &value, &length) || length < 4) return result;
    const auto* translation = static_cast<const WORD*>(value);
    wchar_t block[64];
    std::swprintf(block, 64, L"\\StringFileInfo\\%04x%04x\\", translation[0], translation[1]);
    const auto text = [&](const wchar_t* key) {
        void* found = nullptr;
        UINT chars = 0;
        const std::wstring query = std::wstring(block) + key;
        if (!::VerQueryValueW(data.data(), query.c_str(), &found, &chars) || chars == 0) return std::wstring();
        return std::wstring(static_cast<const wchar_t*>(found));
    };
    result.fileVersion = text(L"FileVersion");
    result.productVersion = text(L"ProductVersion");
    return result;
}

TEST(VersionResource, ProgramsCarryTheProjectVersion) {
    const DWORD ms = (ZELIO_VERSION_MAJOR << 16) | ZELIO_VERSION_MINOR;
    const DWORD ls = ZELIO_VERSION_PATCH << 16;
    const std::string text = ZELIO_VERSION_RC_TEXT;
    const std::wstring wideText(text.begin(), text.end());
    for (const std::string name : {"zelio.exe", "zelioctl.exe"}) {
        SCOPED_TRACE(name);
        const VersionResource version = readVersion(besideThisProgram(std::wstring(name.begin(), name.end())));
        ASSERT_TRUE(version.found) << "no version resource in the program";
        EXPECT_EQ(version.fileMS, ms);
        EXPECT_EQ(version.fileLS, ls);
        EXPECT_EQ(version.productMS, ms);
        EXPECT_EQ(version.productLS, ls);
        EXPECT_EQ(version.fileVersion, wideText);
        EXPECT_EQ(version.productVersion, wideText);
    }
}

}  // namespace
