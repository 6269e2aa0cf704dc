// The system's error numbers as failure kinds, and a failure kind as the
// code zelioctl exits with and the library returns (zelio.h holds both to it).
#include <gtest/gtest.h>

#include <cerrno>

#include "cli/exit_codes.h"
#include "link/failure_class.h"

namespace zelio {
namespace {

TEST(FailureClass, SystemErrorsBecomeKindsAndKindsBecomeCodes) {
    struct Row {
        int errnoValue;           // 0: none for this kind
        unsigned long win32Code;  // 0: none for this kind
        FailureKind kind;
        int code;
    };
    for (const Row& row : std::initializer_list<Row>{
             {ENODEV, 1167, FailureKind::Gone, kExitNoModule},  // unplugged
             {EPIPE, 433, FailureKind::Gone, kExitNoModule},
             {ENOENT, 31, FailureKind::Gone, kExitNoModule},
             {ENXIO, 55, FailureKind::Gone, kExitNoModule},
             {EBUSY, 5, FailureKind::Access, kExitAccess},  // opened exclusively by another program
             {EACCES, 5, FailureKind::Access, kExitAccess},
             {EPERM, 32, FailureKind::Access, kExitAccess},
             {ETIMEDOUT, 1460, FailureKind::Timeout, kExitTimeout},
             {EIO, 1117, FailureKind::Io, kExitIo},
             {0, 0, FailureKind::NotFound, kExitNoModule},
             {0, 0, FailureKind::Busy, kExitBusy},
             {0, 0, FailureKind::None, kExitIo}}) {  // a failure without a kind is still one
        EXPECT_TRUE(row.errnoValue == 0 || kindOfErrno(row.errnoValue) == row.kind) << row.errnoValue;
        EXPECT_TRUE(row.win32Code == 0 || kindOfWin32Error(row.win32Code) == row.kind) << row.win32Code;
        EXPECT_EQ(exitCodeOf(row.kind), row.code) << row.code;
        EXPECT_TRUE(row.errnoValue == 0 || row.errnoValue == EIO || kindOfReadErrno(row.errnoValue) == row.kind);
    }
    // A read that ends in the poll's hang-up (no errno) or EIO: unplugged.
    for (const int hangUp : {0, EIO}) EXPECT_EQ(kindOfReadErrno(hangUp), FailureKind::Gone) << hangUp;
    EXPECT_STREQ(exitCodeName(kExitBusy), "busy");
}

}  // namespace
}  // namespace zelio
