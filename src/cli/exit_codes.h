// The names of zelioctl's exit codes in its --json output. The codes and the
// map from the link's failures to them are in link/failure_class.h.
#pragma once

#include "link/failure_class.h"

namespace zelio {

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

}  // namespace zelio
