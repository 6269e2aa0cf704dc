// How failures are classed: the system's error numbers as failure kinds, and
// a failure kind as zelioctl's exit code and the library's error code.
#include <gtest/gtest.h>

#include <cerrno>

#include "cli/exit_codes.h"
#include "link/failure_class.h"

using namespace zelio;

namespace {

TEST(FailureClass, SystemErrorsBecomeKindsAndKindsBecomeCodes) {
    struct Row {
        int errnoValue;           // 0: no errno row
        unsigned long win32Code;  // 0: no Windows row
        FailureKind kind;
        int code;  // zelioctl exits with it, the library returns it (zelio.h holds both to it)
    };
    const Row rows[] = {
        {ENODEV, 1167, FailureKind::Gone, kExitNoModule},  // unplugged
        {EPIPE, 433, FailureKind::Gone, kExitNoModule},
        {ENOENT, 31, FailureKind::Gone, kExitNoModule},
        {EACCES, 5, FailureKind::Access, kExitAccess},
        {EPERM, 32, FailureKind::Access, kExitAccess},
        {ETIMEDOUT, 1460, FailureKind::Timeout, kExitTimeout},
        {EIO, 1117, FailureKind::Io, kExitIo},
        {0, 0, FailureKind::NotFound, kExitNoModule},
        {0, 0, FailureKind::Busy, kExitBusy},
        {0, 0, FailureKind::None, kExitIo},  // a failure without a kind is still one
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.code);
        if (row.errnoValue != 0) {
            EXPECT_EQ(kindOfErrno(row.errnoValue), row.kind) << row.errnoValue;
        }
        if (row.win32Code != 0) {
            EXPECT_EQ(kindOfWin32Error(row.win32Code), row.kind) << row.win32Code;
        }
        EXPECT_EQ(exitCodeOf(row.kind), row.code);
    }
    EXPECT_STREQ(exitCodeName(kExitBusy), "busy");
}

}  // namespace
