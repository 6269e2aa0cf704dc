// The steps of an atomic save on POSIX systems: open(O_EXCL) + write + fsync
// for the temporary file, rename + fsync of the folder for the replacement.
#include "config/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

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
    if (file.get() < 0) return errno == EEXIST ? TempFileResult::Exists : TempFileResult::NotCreated;
    if (!writeAll(file.get(), bytes)) return TempFileResult::Failed;
    if (::fsync(file.get()) != 0) return TempFileResult::Failed;
    return file.close() ? TempFileResult::Written : TempFileResult::Failed;
}

bool replace(const std::string& temp, const std::string& target) {
    struct stat old {};
    if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        // rename() needs only the folder's permission: refuse what an
        // in-place write would be refused.
        if (::access(target.c_str(), W_OK) != 0) return false;
        // The new file keeps the old one's permissions.
        ::chmod(temp.c_str(), old.st_mode & 07777);
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
    return file.get() >= 0 && writeAll(file.get(), bytes) && file.close();
}

std::optional<std::string> target(const std::string& path) {
    std::error_code ec;
    std::string file = path;
    if (std::filesystem::is_symlink(file, ec)) {
        std::filesystem::path resolved = std::filesystem::weakly_canonical(file, ec);
        if (!ec) file = resolved.string();
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

bool append(const std::string& path, std::string_view bytes) {
    Descriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666));
    return file.get() >= 0 && writeAll(file.get(), bytes) && file.close();
}

FileInfo info(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return FileInfo{};
    if (!S_ISREG(st.st_mode)) return FileInfo{FileInfo::Other, 0};
    return FileInfo{FileInfo::Regular, static_cast<uint64_t>(st.st_size)};
}

std::vector<std::string> list(const std::string& path) {
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename().string());
    return names;
}

}  // namespace

const AtomicFileSteps& platformAtomicFileSteps() {
    static const AtomicFileSteps steps{target, writeTemp, replace, writeInPlace, remove, readPrefix, append, info, list};
    return steps;
}

}  // namespace zelio
