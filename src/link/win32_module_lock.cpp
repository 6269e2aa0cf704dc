// Module locks on Windows: a named mutex per device path, in the global
// namespace so that every session's programs take turns (the session's own
// when the global one cannot be had). Windows ends the ownership of a
// program that dies holding one; the next owner is told and simply goes on.
#include "link/module_lock.h"

#include "win32/win32_text.h"
#include "win32/win32_unique.h"

namespace zelio {

namespace {

class MutexModuleLock final : public PlatformModuleLock {
public:
    explicit MutexModuleLock(win32::unique_handle mutex) : mutex_(std::move(mutex)) {}
    ~MutexModuleLock() override {
        if (owned_) ReleaseMutex(mutex_.get());
    }

    bool tryTake() override {
        const DWORD result = WaitForSingleObject(mutex_.get(), 0);
        if (result == WAIT_TIMEOUT) return false;
        owned_ = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
        return true;  // a failed wait cannot lock: go ahead as before
    }

private:
    win32::unique_handle mutex_;
    bool owned_ = false;
};

}  // namespace

std::unique_ptr<PlatformModuleLock> openPlatformModuleLock(const std::string& name) {
    const std::string word = moduleLockWord(name);
    for (const char* space : {"Global\\zelio-", "Local\\zelio-"}) {
        win32::unique_handle mutex(CreateMutexW(nullptr, FALSE, win32::widen(space + word).c_str()));
        if (mutex) return std::make_unique<MutexModuleLock>(std::move(mutex));
    }
    return nullptr;
}

}  // namespace zelio
