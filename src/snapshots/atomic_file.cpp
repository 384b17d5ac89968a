#include "snapshots/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <system_error>

namespace flipbook {

namespace {

// Owns the temporary file until it has been renamed into place; removes it on every other path.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::string& path) {
        const auto slash = path.find_last_of('/');
        const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
        const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
        static std::atomic<unsigned> counter{0};
        // A dot in front hides it, and its extension is not a picture's, so no listing shows it.
        for (int attempt = 0; attempt < 100; ++attempt) {
            path_ = folder + "." + name + "." + std::to_string(::getpid()) + "-" +
                    std::to_string(counter.fetch_add(1)) + ".partial";
            // 0666 less the umask, the permissions any new file of the user's gets.
            descriptor_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (descriptor_ >= 0 || errno != EEXIST) break;
        }
        if (descriptor_ < 0) Fail();
    }
    ~TemporaryFile() {
        if (descriptor_ >= 0) ::close(descriptor_);
        if (!renamed_) ::unlink(path_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    void Write(const std::uint8_t* bytes, std::size_t count) {
        while (count > 0) {
            const ssize_t written = ::write(descriptor_, bytes, count);
            if (written < 0 && errno == EINTR) continue;
            if (written <= 0) Fail(written == 0 ? ENOSPC : errno);
            bytes += written;
            count -= static_cast<std::size_t>(written);
        }
    }

    // Flushes and closes; a file system that reports the failed write only now fails here.
    void Close() {
        const int syncResult = ::fsync(descriptor_);
        const int syncError = errno;
        const int closeResult = ::close(descriptor_);
        const int closeError = errno;
        descriptor_ = -1;
        if (syncResult != 0 && syncError != EINVAL && syncError != EROFS) Fail(syncError);
        if (closeResult != 0 && closeError != EINTR) Fail(closeError);
    }

    void RenameTo(const std::string& path) {
        if (::rename(path_.c_str(), path.c_str()) != 0) Fail();
        renamed_ = true;
    }

private:
    [[noreturn]] static void Fail(int error = errno) { throw ESaveError(PlainReason(error), error); }

    std::string path_;
    int descriptor_ = -1;
    bool renamed_ = false;
};

}  // namespace

std::string PlainReason(int systemError) {
    switch (systemError) {
        case ENOSPC:
            return "the disk is full";
        case EDQUOT:
            return "the disk quota is used up";
        case EFBIG:
            return "the file is larger than the disk allows";
        case ENOENT:
        case ENOTDIR:
            return "the folder is gone";
        case EACCES:
        case EPERM:
            return "there is no permission to write into the folder";
        case EROFS:
            return "the disk is read-only";
        case EIO:
            return "the disk reported an error";
        case ENOMEM:
            return "there is not enough memory";
        default:
            return std::error_code(systemError, std::generic_category()).message();
    }
}

void WriteFileAtomically(const std::string& path, const std::uint8_t* bytes, std::size_t count) {
    TemporaryFile file(path);
    file.Write(bytes, count);
    file.Close();
    file.RenameTo(path);
}

}  // namespace flipbook
