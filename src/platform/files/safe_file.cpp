// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/files/safe_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <memory>
#include <system_error>

namespace flipbook {

namespace {

constexpr const char* kTemporarySuffix = ".partial";
// Room for the dot, the process number, the counter and the suffix within a 255-byte file name.
constexpr std::size_t kLongestNameKept = 200;

[[noreturn]] void Fail(int error) {
    throw ESaveError(PlainReason(error), error);
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A rename's new entry survives a crash only once its folder is on the disk too. The file has its name
// whatever happens here, so a failure is the reason in plain words rather than a throw; empty when the
// folder was flushed.
std::string FlushFolder(const std::string& path) {
    const int folder = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return {};
    const int result = ::fsync(folder);
    const int error = errno;
    ::close(folder);
    // Some file systems cannot flush a folder; nothing more can be done there.
    if (result != 0 && error != EINVAL && error != EROFS && error != EBADF) return PlainReason(error);
    return {};
}

bool RefusedByFileSystem(int error) {
    return error == EINVAL || error == ENOSYS || error == ENOTSUP || error == EOPNOTSUPP || error == EPERM ||
           error == EXDEV;
}

// Whether the name is one of our temporary names, ".NAME.PID-N.partial".
bool IsTemporaryName(const std::string& name) {
    const std::size_t suffix = std::char_traits<char>::length(kTemporarySuffix);
    if (name.size() <= suffix + 1 || name[0] != '.' ||
        name.compare(name.size() - suffix, suffix, kTemporarySuffix))
        return false;
    const std::string stem = name.substr(0, name.size() - suffix);
    const auto dot = stem.find_last_of('.');
    const auto dash = stem.find_last_of('-');
    if (dot == 0 || dot == std::string::npos || dash == std::string::npos || dash < dot + 2 ||
        dash + 1 == stem.size())
        return false;
    for (std::size_t index = dot + 1; index < stem.size(); ++index)
        if (index != dash && (stem[index] < '0' || stem[index] > '9')) return false;
    return true;
}

enum class Lock { Taken, HeldByAnother, Unsupported };

// Locks the whole file through its open file description: unlike a process's record locks, this one is
// not dropped when another descriptor of the file closes (a media pipeline's), it conflicts with other
// descriptions in this process too, and it goes with the last descriptor of the description, which a
// crash or a kill closes. A write lock needs the file open for writing, a read lock for reading.
Lock TryLock(int descriptor, short type) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    if (::fcntl(descriptor, F_OFD_SETLK, &lock) == 0) return Lock::Taken;
    if (errno == EAGAIN || errno == EACCES) return Lock::HeldByAnother;
    // ENOLCK, EINVAL, EOPNOTSUPP: a file system (or kernel) that cannot lock.
    return Lock::Unsupported;
}

// Whether the path still names the open file.
bool StillNamed(int descriptor, const std::string& path) {
    struct stat opened {};
    struct stat named {};
    return ::fstat(descriptor, &opened) == 0 && ::stat(path.c_str(), &named) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

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
        case EEXIST:
            return "a file of that name already exists";
        default:
            return std::error_code(systemError, std::generic_category()).message();
    }
}

TSafeFile::TSafeFile(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    const std::string folder = path.substr(0, path.size() - NameOf(path).size());
    // A dot in front hides it, and its extension is not a picture's, so no listing shows it; the
    // process number and the counter keep the names of this computer's writers apart (whether a
    // writer lives is its lock's business, since the number means nothing on another computer).
    const std::string name = NameOf(path).substr(0, kLongestNameKept);
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporaryPath_ = folder + "." + name + "." + std::to_string(::getpid()) + "-" +
                         std::to_string(counter.fetch_add(1)) + kTemporarySuffix;
        // 0666 less the umask, the permissions any new file of the user's gets.
        const int descriptor = ::open(temporaryPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor < 0) {
            if (errno == EEXIST) continue;
            Fail(errno);
        }
        // A clean-up that opened the new file before it was locked took it for a leftover: it holds
        // the lock and removes the file now, or has already removed it and let go. Once this lock is
        // held no clean-up removes the file, so it is ours if it still has its name. Where the file
        // system cannot lock, the file goes unlocked: clean-ups there cannot lock either, and leave
        // it alone.
        if (TryLock(descriptor, F_WRLCK) == Lock::HeldByAnother || !StillNamed(descriptor, temporaryPath_)) {
            ::close(descriptor);
            continue;
        }
        descriptor_ = descriptor;
        return;
    }
    Fail(EEXIST);
}

TSafeFile::~TSafeFile() {
    // The name goes before the lock, so it never stands unlocked.
    if (!published_) ::unlink(temporaryPath_.c_str());
    if (descriptor_ >= 0) ::close(descriptor_);
}

void TSafeFile::Write(const std::uint8_t* bytes, std::size_t count) {
    if (descriptor_ < 0 || synced_) Fail(EBADF);
    while (count > 0) {
        const ssize_t written = ::write(descriptor_, bytes, count);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) Fail(written == 0 ? ENOSPC : errno);
        bytes += written;
        count -= static_cast<std::size_t>(written);
    }
}

void TSafeFile::Sync() {
    if (synced_) return;
    if (descriptor_ < 0) Fail(EBADF);
    if (::fsync(descriptor_) != 0 && errno != EINVAL && errno != EROFS) Fail(errno);
    // A network file system may report a failed write only when the file is closed, at every close of
    // it: a copy of the descriptor is closed, and the lock stays held until the temporary name goes.
    const int copy = ::fcntl(descriptor_, F_DUPFD_CLOEXEC, 0);
    if (copy < 0) Fail(errno);
    if (::close(copy) != 0 && errno != EINTR) Fail(errno);
    synced_ = true;
}

bool TSafeFile::Publish(const std::string& path, ExistingFile existing) {
    Sync();
    if (existing == ExistingFile::Replace) {
        if (::rename(temporaryPath_.c_str(), path.c_str()) != 0) Fail(errno);
    } else if (!MoveWithoutReplacing(temporaryPath_, path)) {
        return false;
    }
    published_ = true;
    // The temporary name is gone, and with it what the lock guarded.
    ::close(descriptor_);
    descriptor_ = -1;
    folderNotFlushed_ = FlushFolder(path);
    return true;
}

bool MoveWithoutReplacing(const std::string& from, const std::string& to, NoReplaceMove firstWay) {
    if (firstWay == NoReplaceMove::Rename) {
        if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
        if (errno == EEXIST) return false;
        if (!RefusedByFileSystem(errno)) Fail(errno);
        firstWay = NoReplaceMove::Link;
    }
    if (firstWay == NoReplaceMove::Link) {
        if (::link(from.c_str(), to.c_str()) == 0) {
            // The old name going is only tidiness: the file is whole under the new one either way.
            ::unlink(from.c_str());
            return true;
        }
        if (errno == EEXIST) return false;
        if (!RefusedByFileSystem(errno)) Fail(errno);
    }
    // File systems without hard links (those of memory cards): the name is reserved empty, which no
    // one else can then take, and the file renamed over its own reservation.
    const int placeholder = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (placeholder < 0) {
        if (errno == EEXIST) return false;
        Fail(errno);
    }
    ::close(placeholder);
    if (::rename(from.c_str(), to.c_str()) != 0) {
        const int error = errno;
        ::unlink(to.c_str());
        Fail(error);
    }
    return true;
}

WrittenFile WriteNewFile(const std::string& path, const std::uint8_t* bytes, std::size_t count,
                         const std::function<std::string(const std::string& taken)>& nextName) {
    TSafeFile file(path);
    file.Write(bytes, count);
    for (std::string name = path; !name.empty(); name = nextName(name)) {
        if (file.Publish(name, ExistingFile::Keep)) return {name, file.FolderNotFlushed()};
    }
    Fail(EEXIST);
}

std::string ReplaceFile(const std::string& path, const std::uint8_t* bytes, std::size_t count) {
    TSafeFile file(path);
    file.Write(bytes, count);
    file.Publish(path, ExistingFile::Replace);
    return file.FolderNotFlushed();
}

void RemoveStaleTemporaryFiles(const std::string& folder) {
    const std::unique_ptr<DIR, int (*)(DIR*)> entries(::opendir(folder.c_str()), ::closedir);
    if (!entries) return;
    const int folderDescriptor = ::dirfd(entries.get());
    while (const dirent* entry = ::readdir(entries.get())) {
        if (!IsTemporaryName(entry->d_name)) continue;
        const int file = ::openat(folderDescriptor, entry->d_name,
                                  O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (file < 0) continue;
        struct stat status {};
        // The lock taken here also keeps a writer from starting on the file while it goes: one that
        // created it a moment ago and has not locked it yet finds it held and takes another name.
        if (::fstat(file, &status) == 0 && S_ISREG(status.st_mode) && status.st_uid == ::geteuid() &&
            TryLock(file, F_RDLCK) == Lock::Taken)
            ::unlinkat(folderDescriptor, entry->d_name, 0);
        ::close(file);
    }
}

}  // namespace flipbook
