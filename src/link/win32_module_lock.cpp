// Module locks on Windows: a named mutex per device path, in the global
// namespace so that every session's and every user's programs take turns.
// Windows ends the ownership of a program that dies holding one; the next
// owner is told and simply goes on.
#include "link/module_lock.h"

#include "win32/win32_text.h"
#include "win32/win32_unique.h"

#include <sddl.h>

#include <string>

namespace zelio {

namespace {

// Who may use a module's mutex. With the default security a mutex gets its
// creator's default access list (the creator, SYSTEM, administrators), and
// another user's program could not open it: it would take a lock of its own
// elsewhere, and two users would no longer exclude each other. So the list is
// the lock's own: SYSTEM and administrators everything; every user signed in
// to the machine (authenticated users: interactive, remote and services; and
// interactive users, for a guest account, which is not among those) only
// waiting for the mutex and releasing it, SYNCHRONIZE | MUTEX_MODIFY_STATE,
// all a lock needs. The owner's rights are the same and no more (OW), so the
// user whose program happened to create the mutex cannot change the list to
// shut the others out. Neither right is refused by a higher integrity label,
// so an elevated program's mutex is shared with everyone else's too.
constexpr wchar_t kMutexSecurity[] =
    L"D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x00100001;;;AU)(A;;0x00100001;;;IU)(A;;0x00100001;;;OW)";
constexpr DWORD kMutexAccess = SYNCHRONIZE | MUTEX_MODIFY_STATE;

class MutexModuleLock final : public PlatformModuleLock {
public:
    explicit MutexModuleLock(win32::unique_handle mutex) : mutex_(std::move(mutex)) {}
    ~MutexModuleLock() override {
        if (owned_) ReleaseMutex(mutex_.get());
    }

    bool tryTake() override {
        // Nobody can have a mutex that this program cannot open: always busy.
        if (!mutex_) return false;
        const DWORD result = WaitForSingleObject(mutex_.get(), 0);
        if (result == WAIT_TIMEOUT) return false;
        owned_ = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
        return true;  // a failed wait cannot lock: go ahead as before
    }

private:
    win32::unique_handle mutex_;
    bool owned_ = false;
};

// Creates or opens the mutex `name` with the lock's access list, asking for
// no more than the list grants everyone (CreateMutexW would ask for all).
win32::unique_handle createMutex(const std::wstring& name) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kMutexSecurity, SDDL_REVISION_1, &descriptor, nullptr))
        descriptor = nullptr;  // the default list: still one lock for this user
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
    win32::unique_handle mutex(CreateMutexExW(descriptor ? &attributes : nullptr, name.c_str(), 0, kMutexAccess));
    const DWORD error = GetLastError();
    if (descriptor) LocalFree(descriptor);
    SetLastError(error);
    return mutex;
}

}  // namespace

std::unique_ptr<PlatformModuleLock> openPlatformModuleLock(const std::string& name) {
    const std::string word = moduleLockWord(name);
    win32::unique_handle mutex(createMutex(win32::widen("Global\\zelio-" + word)));
    if (mutex) return std::make_unique<MutexModuleLock>(std::move(mutex));
    // The name is taken by something this program may not open (a mutex
    // whose list shuts it out, another kind of object): somebody else holds
    // the module, for as long as that stays. Taking a lock elsewhere would
    // split the exclusion.
    const DWORD error = GetLastError();
    if (error == ERROR_INVALID_HANDLE ||
        (error == ERROR_ACCESS_DENIED &&
         createMutex(win32::widen("Global\\zelio-probe-" + std::to_string(GetCurrentProcessId())))))
        return std::make_unique<MutexModuleLock>(win32::unique_handle());
    // No global objects for this program at all (an app container, say): its
    // session's namespace is the one every program like it shares. Creating a
    // global mutex needs no privilege (only file mappings and links do), so a
    // program of an ordinary user never comes here.
    mutex = createMutex(win32::widen("Local\\zelio-" + word));
    if (mutex) return std::make_unique<MutexModuleLock>(std::move(mutex));
    return nullptr;
}

}  // namespace zelio
