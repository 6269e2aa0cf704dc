// One command at a time per module, across processes and threads: a command
// holds its module's lock from the open of the device to its close. The lock
// is named after the device path: on POSIX systems a flock on the device
// node itself (a lock file under /run/lock for names that are no device
// node), a named mutex on Windows.
#pragma once

#include <memory>
#include <string>

#include "link/hid_host.h"

namespace zelio {

// Held while it lives.
class ModuleLock {
public:
    virtual ~ModuleLock() = default;
};

// How long a command waits for another program's command on the same module.
inline constexpr int kModuleLockWaitMs = 3000;

// How often a waiting command looks whether the lock is free again.
inline constexpr int kModuleLockStepMs = 20;

// Takes the lock called `name`, looking every kModuleLockStepMs on `clock`
// for at most `waitMs`. nullptr when another holder kept it that long, with
// the failure (kind Busy) in `failure`. Where the system has no lock for the
// name (a device node this user may not open, no usable lock file), the
// command goes ahead unlocked: its own open then tells what is wrong.
std::unique_ptr<ModuleLock> lockModule(const std::string& name, Clock& clock, int waitMs, Failure& failure);

// `name` as one word for a lock file or a mutex name: letters, digits, '.',
// '-' and '_' stay, anything else becomes '_'; a long name keeps its start
// and a hash of the whole.
std::string moduleLockWord(const std::string& name);

// The platform's lock object, for lockModule: one file or mutex per name.
class PlatformModuleLock : public ModuleLock {
public:
    // Takes the lock if nobody holds it; false while somebody does.
    virtual bool tryTake() = 0;
};
// The lock object for `name`; nullptr when the system has none for it.
std::unique_ptr<PlatformModuleLock> openPlatformModuleLock(const std::string& name);

// POSIX: the lock file of a name that is no device node.
std::string moduleLockFilePath(const std::string& name);

}  // namespace zelio
