// The system's error numbers as the link's failure kinds, and the kinds as the
// codes of zelioctl and the library, in one place for every host. The numbers
// are given as plain values, so that the rules can be read (and tested) on
// any platform.
#pragma once

#include "link/hid_host.h"

namespace zelio {

// An errno value of a POSIX host (hidapi): a device that is no longer there
// or a broken pipe is gone, a refusal is access, a time-out is a time-out.
FailureKind kindOfErrno(int code);
// The errno value of a failed read (hidapi): a read that fails without one
// (the poll's hang-up) or with EIO is the device going away.
FailureKind kindOfReadErrno(int code);

// A GetLastError() value of the Win32 host.
FailureKind kindOfWin32Error(unsigned long code);

// The codes zelioctl exits with. The shared library reports the same failures
// with the same numbers; keep the values as they are.
enum ExitCode : int {
    kExitOk = 0,         // the command did what was asked
    kExitIo = 1,         // an I/O failure: the module, a file or the output
    kExitUsage = 2,      // bad command line or argument; nothing was done
    kExitNoModule = 3,   // no suitable module is attached
    kExitAccess = 4,     // the system refused access to a module
    kExitAmbiguous = 5,  // several candidates and nothing chose one; nothing was sent
    kExitVerify = 6,     // the module stored something other than what was written
    kExitTimeout = 7,    // no answer, or no awaited change, in time
    kExitBusy = 8,       // another program kept the module busy; the command was not sent
};

// The code for a failure of the link, for zelioctl and the library alike. A
// module that went away during a command is no longer attached.
constexpr int exitCodeOf(FailureKind kind) {
    switch (kind) {
        case FailureKind::NotFound:
        case FailureKind::Gone: return kExitNoModule;
        case FailureKind::Access: return kExitAccess;
        case FailureKind::Timeout: return kExitTimeout;
        case FailureKind::Busy: return kExitBusy;
        case FailureKind::None:
        case FailureKind::Io: break;
    }
    return kExitIo;
}

}  // namespace zelio
