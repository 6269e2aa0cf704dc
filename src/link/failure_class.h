// The system's error numbers as the link's failure kinds, in one place for
// every host. The numbers are given as plain values, so that the rules can be
// read (and tested) on any platform.
#pragma once

#include "link/hid_host.h"

namespace zelio {

// An errno value of a POSIX host (hidapi): a device that is no longer there
// or a broken pipe is gone, a refusal is access, a time-out is a time-out.
FailureKind kindOfErrno(int code);

// A GetLastError() value of the Win32 host.
FailureKind kindOfWin32Error(unsigned long code);

}  // namespace zelio
