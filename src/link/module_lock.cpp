#include "link/module_lock.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace zelio {

std::string moduleLockWord(const std::string& name) {
    constexpr size_t kMaxLength = 120;
    std::string word;
    for (const char c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                           c == '-' || c == '_';
        word += plain ? c : '_';
    }
    if (word.size() <= kMaxLength) return word;
    uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (const char c : name) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    char tail[20];
    std::snprintf(tail, sizeof tail, "-%016llx", static_cast<unsigned long long>(hash));
    return word.substr(0, kMaxLength - 17) + tail;
}

std::unique_ptr<ModuleLock> lockModule(const std::string& name, Clock& clock, int waitMs, Failure& failure) {
    std::unique_ptr<PlatformModuleLock> lock = openPlatformModuleLock(name);
    if (!lock) return std::make_unique<ModuleLock>();
    const int64_t deadline = clock.nowMs() + waitMs;
    while (!lock->tryTake()) {
        const int64_t left = deadline - clock.nowMs();
        if (left <= 0) {
            failure = Failure{FailureKind::Busy, "lock " + name,
                              "another program has kept the module busy for " + std::to_string((waitMs + 999) / 1000) +
                                  " s"};
            return nullptr;
        }
        clock.sleepMs(static_cast<int>(std::min<int64_t>(left, kModuleLockStepMs)));
    }
    return lock;
}

}  // namespace zelio
