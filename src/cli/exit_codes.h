// The exit codes of zelioctl. The shared library reports the same failures
// with the same numbers; keep the values as they are.
#pragma once

#include "link/hid_host.h"

namespace zelio {

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

// The code's name in --json output: "io", "usage", "no_module", "access",
// "ambiguous", "verify", "timeout", "busy"; "ok" for 0.
constexpr const char* exitCodeName(int code) {
    switch (code) {
        case kExitOk: return "ok";
        case kExitIo: return "io";
        case kExitUsage: return "usage";
        case kExitNoModule: return "no_module";
        case kExitAccess: return "access";
        case kExitAmbiguous: return "ambiguous";
        case kExitVerify: return "verify";
        case kExitTimeout: return "timeout";
        case kExitBusy: return "busy";
        default: return "io";
    }
}

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
