// Module locks on POSIX systems. A module's device node is its own lock:
// flock on the node, so only a user who may open the module can hold it, and
// every user's commands meet on the same inode. Names that are no device
// node (the emulator's modules) lock a file named after them in the system's
// lock directory. Nothing is opened in a way that can block, follow a link or
// take anything but the device or a regular file; the lock ends with the
// process should that die holding it.
#include "link/module_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace zelio {

namespace {

class FileModuleLock final : public PlatformModuleLock {
public:
    explicit FileModuleLock(int fd) : fd_(fd) {}
    ~FileModuleLock() override { ::close(fd_); }  // the lock ends with the file
    FileModuleLock(const FileModuleLock&) = delete;
    FileModuleLock& operator=(const FileModuleLock&) = delete;

    bool tryTake() override {
        int result;
        do result = ::flock(fd_, LOCK_EX | LOCK_NB);
        while (result != 0 && errno == EINTR);
        // A file system without flock cannot lock: go ahead as before.
        return result == 0 || errno != EWOULDBLOCK;
    }

private:
    int fd_;
};

constexpr int kOpenFlags = O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;

// `fd` when it is open on a file of `type` (S_IFCHR, S_IFREG), else closed and -1.
int keepIf(int fd, mode_t type) {
    struct stat st {};
    if (fd >= 0 && ::fstat(fd, &st) == 0 && (st.st_mode & S_IFMT) == type) return fd;
    if (fd >= 0) ::close(fd);
    return -1;
}

// The lock file: read-only is enough for flock, so a file another user made
// serves too. An existing file is opened without O_CREAT, which the kernel
// refuses for another user's file in a sticky directory.
int openLockFile(const std::string& path) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        int fd = ::open(path.c_str(), kOpenFlags);
        if (fd >= 0 || errno != ENOENT) return keepIf(fd, S_IFREG);
        fd = ::open(path.c_str(), kOpenFlags | O_CREAT | O_EXCL, 0666);
        if (fd >= 0) {
            ::fchmod(fd, 0666);  // whatever the umask: every user's commands take turns
            return keepIf(fd, S_IFREG);
        }
        if (errno != EEXIST) return -1;
    }
    return -1;
}

}  // namespace

std::string moduleLockFilePath(const std::string& name) {
    // One directory for every user, chosen by what the system has, not by
    // what this user may write: a fallback would split the exclusion.
    struct stat st {};
    const char* dir = ::stat("/run/lock", &st) == 0 && S_ISDIR(st.st_mode) ? "/run/lock" : "/tmp";
    return std::string(dir) + "/zelio-" + moduleLockWord(name) + ".lock";
}

std::unique_ptr<PlatformModuleLock> openPlatformModuleLock(const std::string& name) {
    if (!name.empty() && name[0] == '/') {
        // A device node is locked through itself, under its own name when
        // that is a link (so that both names share the lock). A user who
        // cannot open it goes ahead: the command's own open fails as access.
        int fd = ::open(name.c_str(), kOpenFlags);
        if (fd < 0 && errno == ELOOP)
            if (char* real = ::realpath(name.c_str(), nullptr)) {
                fd = ::open(real, kOpenFlags);
                std::free(real);
            }
        if (fd < 0) return nullptr;
        if ((fd = keepIf(fd, S_IFCHR)) >= 0) return std::make_unique<FileModuleLock>(fd);
    }
    const int fd = openLockFile(moduleLockFilePath(name));
    if (fd < 0) return nullptr;
    return std::make_unique<FileModuleLock>(fd);
}

}  // namespace zelio
