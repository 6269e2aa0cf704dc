// The steps of an atomic save on POSIX systems: open(O_EXCL) + write + fsync
// for the temporary file, rename + fsync of the folder for the replacement.
#include "config/atomic_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/random.h>
#include <sys/xattr.h>
#endif

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>
#include <string_view>
#include <system_error>
#include <thread>

namespace zelio {

namespace {

// Closes the descriptor on every way out.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    // Closes now; false when the close reported a failed write.
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

// Writes every byte to an open file.
bool writeAll(int fd, std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

TempFileResult writeTemp(const std::string& temp, std::string_view bytes) {
    Descriptor file(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (file.get() < 0) {
        if (errno == EEXIST) return TempFileResult::Exists;
        // Only a folder that refuses new files is a reason to write in
        // place; a full disk, a quota or an I/O error fail the save.
        return errno == EACCES || errno == EPERM || errno == EROFS ? TempFileResult::NotCreated
                                                                   : TempFileResult::Failed;
    }
    if (!writeAll(file.get(), bytes)) return TempFileResult::Failed;
    if (::fsync(file.get()) != 0) return TempFileResult::Failed;
    return file.close() ? TempFileResult::Written : TempFileResult::Failed;
}

#ifdef __linux__
// Whether the new file gets the old one's extended attribute `name`. What
// grants privilege goes, as set-user-ID does: security.capability, and the
// other security.* attributes but the labels that say who may use the file
// (security.selinux, security.SMACK64), since the rest is privilege on exec
// (security.SMACK64EXEC, ...) or vouches for the old content
// (security.ima, security.evm). trusted.overlay.* describe the old file's
// place in an overlay. The rest is kept: user.*, the access list
// (system.posix_acl_access), other trusted.* where the process may set them
// itself (CAP_SYS_ADMIN; the system refuses with EPERM otherwise, and does
// not even list them to such a process).
bool keepAttribute(std::string_view name) {
    if (name.starts_with("security.")) return name == "security.selinux" || name == "security.SMACK64";
    return !name.starts_with("trusted.overlay.");
}
#endif

// Gives the new file what the old one had: owner and group as far as we may
// set them, the extended attributes but those that grant privilege (see
// keepAttribute) and the mode without set-user-ID and set-group-ID. Each
// step is best effort.
void keepAttributes(int fd, const std::string& target, const struct stat& old) {
    if (::fchown(fd, old.st_uid, old.st_gid) != 0) (void)!::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
#ifdef __linux__
    const ssize_t size = ::llistxattr(target.c_str(), nullptr, 0);
    std::string names(size > 0 ? static_cast<size_t>(size) : 0, '\0');
    if (size > 0 && ::llistxattr(target.c_str(), names.data(), names.size()) == size) {
        for (size_t at = 0; at < names.size(); at += std::strlen(names.c_str() + at) + 1) {
            const char* name = names.c_str() + at;
            if (!keepAttribute(name)) continue;
            std::string value(static_cast<size_t>(std::max<ssize_t>(::lgetxattr(target.c_str(), name, nullptr, 0), 0)), '\0');
            const ssize_t got = ::lgetxattr(target.c_str(), name, value.data(), value.size());
            if (got >= 0) ::fsetxattr(fd, name, value.data(), static_cast<size_t>(got), 0);
        }
    }
#else
    (void)target;
#endif
    ::fchmod(fd, old.st_mode & 01777);
}

bool replace(const std::string& temp, const std::string& target) {
    struct stat old {};
    if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        // rename() needs only the folder's permission: refuse what an
        // in-place write would be refused.
        if (::access(target.c_str(), W_OK) != 0) return false;
        Descriptor file(::open(temp.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        if (file.get() < 0) return false;
        keepAttributes(file.get(), target, old);
        if (::fsync(file.get()) != 0) return false;
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) return false;
    // Make the new directory entry durable. The file is already replaced by
    // now, so a folder that cannot be synced (some file systems refuse)
    // does not make the save a failure.
    std::filesystem::path folder = std::filesystem::path(target).parent_path();
    if (folder.empty()) folder = ".";
    Descriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) ::fsync(dir.get());
    return true;
}

// The old way, for folders that take no new file: truncate, then write.
bool writeInPlace(const std::string& target, std::string_view bytes) {
    Descriptor file(::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    return file.get() >= 0 && writeAll(file.get(), bytes) && ::fsync(file.get()) == 0 && file.close();
}

#ifndef O_PATH
#define O_PATH (O_RDONLY | O_NONBLOCK)
#endif

std::optional<std::string> target(const std::string& path) {
    std::error_code ec;
    std::string file = path;
    // A link is followed only where the system would follow it for us: a
    // link another user left in a sticky folder (fs.protected_symlinks) or
    // one that leads nowhere is replaced itself, its target left alone.
    if (std::filesystem::is_symlink(file, ec)) {
        const Descriptor followed(::open(file.c_str(), O_PATH | O_CLOEXEC));
        std::filesystem::path resolved = std::filesystem::canonical(file, ec);
        if (followed.get() >= 0 && !ec) file = resolved.string();
    }
    struct stat st {};
    if (::stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 0222) == 0) return std::nullopt;
    return file;
}

void remove(const std::string& temp) { ::unlink(temp.c_str()); }

std::optional<std::string> readPrefix(const std::string& path, size_t maxBytes) {
    Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) return std::nullopt;
    std::string text(maxBytes, '\0');
    size_t done = 0;
    while (done < maxBytes) {
        const ssize_t n = ::read(file.get(), text.data() + done, maxBytes - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    text.resize(done);
    return text;
}

bool append(const std::string& path, std::string_view header, std::string_view bytes) {
    // Without blocking: a FIFO without a reader is refused, not waited on.
    Descriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NONBLOCK, 0666));
    if (file.get() < 0) return false;
    // Released on close. Another program's lock is looked at every 20 ms,
    // for kAppendLockWaitMs at most; then errno EWOULDBLOCK says why. Where
    // the file system has no locks, we go on without.
    for (int waited = 0; ::flock(file.get(), LOCK_EX | LOCK_NB) != 0; waited += 20) {
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) break;
        if (waited >= kAppendLockWaitMs) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    struct stat st {};
    if (::fstat(file.get(), &st) != 0) return false;
    const std::string record = (st.st_size == 0 ? std::string(header) : std::string()) + std::string(bytes);
    if (writeAll(file.get(), record) && ::fsync(file.get()) == 0) return file.close();
    (void)!::ftruncate(file.get(), st.st_size);
    return false;
}

FileInfo info(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return FileInfo{FileInfo::Missing, 0, std::strerror(errno)};
    if (!S_ISREG(st.st_mode)) return FileInfo{FileInfo::Other, 0, {}};
    return FileInfo{FileInfo::Regular, static_cast<uint64_t>(st.st_size), {}};
}

std::vector<std::string> list(const std::string& path) {
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename().string());
    return names;
}

uint64_t randomBits() {
    uint64_t bits = 0;
#ifdef __linux__
    if (::getrandom(&bits, sizeof bits, 0) == static_cast<ssize_t>(sizeof bits)) return bits;
#endif
    std::random_device device;  // reads the system's source on each call
    return (static_cast<uint64_t>(device()) << 32) | device();
}

}  // namespace

const AtomicFileSteps& platformAtomicFileSteps() {
    static const AtomicFileSteps steps{target, writeTemp, replace, writeInPlace, remove, randomBits,
                                       readPrefix, append, info, list};
    return steps;
}

}  // namespace zelio
