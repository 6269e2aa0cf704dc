#include "link/failure_class.h"

#include <cerrno>

namespace zelio {

FailureKind kindOfErrno(int code) {
    switch (code) {
        case EACCES:
        case EPERM:
        case EBUSY:  // held by another program that opened it exclusively
            return FailureKind::Access;
        case ENOENT:
        case ENODEV:
        case ENXIO:
        case EPIPE:
            return FailureKind::Gone;
        case ETIMEDOUT:
            return FailureKind::Timeout;
        default:
            return FailureKind::Io;
    }
}

FailureKind kindOfReadErrno(int code) { return code == 0 || code == EIO ? FailureKind::Gone : kindOfErrno(code); }

FailureKind kindOfWin32Error(unsigned long code) {
    switch (code) {
        case 5:   // ERROR_ACCESS_DENIED
        case 32:  // ERROR_SHARING_VIOLATION
            return FailureKind::Access;
        case 2:     // ERROR_FILE_NOT_FOUND
        case 3:     // ERROR_PATH_NOT_FOUND
        case 22:    // ERROR_BAD_COMMAND
        case 31:    // ERROR_GEN_FAILURE: the device stopped answering the driver
        case 55:    // ERROR_DEV_NOT_EXIST
        case 433:   // ERROR_NO_SUCH_DEVICE
        case 1167:  // ERROR_DEVICE_NOT_CONNECTED
            return FailureKind::Gone;
        case 121:   // ERROR_SEM_TIMEOUT
        case 1460:  // ERROR_TIMEOUT
            return FailureKind::Timeout;
        default:
            return FailureKind::Io;
    }
}

}  // namespace zelio
