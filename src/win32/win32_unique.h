// One owner type for every handle the Windows API gives out: a move-only
// value that closes its handle exactly once, with the close function part of
// its type. Each kind of handle is declared in one line below (or next to the
// only code that uses it, when its close function needs a header of its own).
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <utility>

namespace zelio::win32 {

// Which values of a handle type own something.
struct NotNull {
    template <typename T>
    static bool valid(T value) noexcept {
        return value != T{};
    }
};
// Kernel handles and device information sets: 0 and INVALID_HANDLE_VALUE
// both mean "none".
struct NotNullOrInvalid {
    template <typename T>
    static bool valid(T value) noexcept {
        return value != T{} && value != reinterpret_cast<T>(INVALID_HANDLE_VALUE);
    }
};

template <typename T, auto Close, typename Validity = NotNull>
class unique_any {
public:
    using pointer = T;

    unique_any() noexcept = default;
    explicit unique_any(T value) noexcept : value_(value) {}
    ~unique_any() { reset(); }

    unique_any(unique_any&& other) noexcept : value_(other.release()) {}
    unique_any& operator=(unique_any&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    unique_any(const unique_any&) = delete;
    unique_any& operator=(const unique_any&) = delete;

    // Closes what is owned now (if anything) and takes `value`.
    void reset(T value = T{}) noexcept {
        const T old = std::exchange(value_, value);
        if (Validity::valid(old)) Close(old);
    }
    // Gives the handle up without closing it.
    [[nodiscard]] T release() noexcept { return std::exchange(value_, T{}); }
    T get() const noexcept { return value_; }
    // For functions that return a handle through a pointer: closes what is
    // owned now and hands out the address of the empty slot.
    T* put() noexcept {
        reset();
        return &value_;
    }
    bool valid() const noexcept { return Validity::valid(value_); }
    explicit operator bool() const noexcept { return valid(); }

private:
    T value_{};
};

namespace detail {
inline void closeHandle(HANDLE h) noexcept { ::CloseHandle(h); }
inline void deleteObject(HGDIOBJ h) noexcept { ::DeleteObject(h); }
inline void deleteDc(HDC h) noexcept { ::DeleteDC(h); }
inline void localFree(HLOCAL h) noexcept { ::LocalFree(h); }
inline void freeLibrary(HMODULE h) noexcept { ::FreeLibrary(h); }
}  // namespace detail

using unique_handle = unique_any<HANDLE, detail::closeHandle, NotNullOrInvalid>;
using unique_hfont = unique_any<HFONT, detail::deleteObject>;
using unique_hpen = unique_any<HPEN, detail::deleteObject>;
using unique_hbitmap = unique_any<HBITMAP, detail::deleteObject>;
using unique_hbrush = unique_any<HBRUSH, detail::deleteObject>;
using unique_hdc = unique_any<HDC, detail::deleteDc>;  // CreateCompatibleDC
using unique_hlocal = unique_any<HLOCAL, detail::localFree>;
using unique_hmodule = unique_any<HMODULE, detail::freeLibrary>;

}  // namespace zelio::win32
