// Module locks on POSIX systems: flock on a file named after the device in
// the system's lock directory. The files stay; only the lock comes and goes,
// and it ends with the process should that die holding it.
#include "link/module_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

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

// Read-only is enough for flock, so a file another user made serves too. An
// existing file is opened without O_CREAT, which the kernel refuses for
// another user's file in a sticky directory (fs.protected_regular).
int openLockFile(const std::string& path) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd >= 0 || errno != ENOENT) return fd;
        fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd >= 0) {
            ::fchmod(fd, 0666);  // whatever the umask: every user's commands take turns
            return fd;
        }
        if (errno != EEXIST) return -1;
    }
    return -1;
}

}  // namespace

std::unique_ptr<PlatformModuleLock> openPlatformModuleLock(const std::string& word) {
    for (const char* dir : {"/run/lock", "/tmp"}) {
        const int fd = openLockFile(std::string(dir) + "/zelio-" + word + ".lock");
        if (fd >= 0) return std::make_unique<FileModuleLock>(fd);
    }
    return nullptr;
}

}  // namespace zelio
