// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/graphics/stream.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <utility>

#include "platform/core/exception.h"

namespace flipbook {

namespace {

// The new position of a seek, or EStreamError when it would lie before the start or overflow.
std::int64_t SeekTarget(std::int64_t offset, SeekOrigin origin, std::int64_t position, std::int64_t size) {
    const std::int64_t base = origin == SeekOrigin::Begin     ? 0
                              : origin == SeekOrigin::Current ? position
                                                              : size;
    std::int64_t target = 0;
    if (__builtin_add_overflow(base, offset, &target) || target < 0) throw EStreamError("Stream seek error");
    return target;
}

// Bytes [position, position + count) of a block of `size` bytes that exist, as a count.
std::size_t Available(std::size_t position, std::size_t size, std::size_t count) {
    return position >= size ? 0 : std::min(count, size - position);
}

// Repeats a system read or write (given the bytes done so far) until all count bytes moved, the end of
// the file or an error; returns the bytes moved.
template <typename Transfer>
std::size_t TransferAll(std::size_t count, Transfer transfer) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t moved = transfer(done);
        if (moved < 0 && errno == EINTR) continue;
        if (moved <= 0) break;
        done += static_cast<std::size_t>(moved);
    }
    return done;
}

}  // namespace

std::int64_t Stream::Remaining() {
    const std::int64_t position = Position();
    const std::int64_t size = Size();
    return position >= size ? 0 : size - position;
}

void Stream::ReadBuffer(void* buffer, std::size_t count) {
    if (count != 0 && Read(buffer, count) != count) throw EReadError();
}

void Stream::WriteBuffer(const void* buffer, std::size_t count) {
    if (count != 0 && Write(buffer, count) != count) throw EWriteError();
}

std::size_t MemoryStream::Read(void* buffer, std::size_t count) {
    const std::size_t available = Available(position_, bytes_.size(), count);
    if (available != 0) std::memcpy(buffer, bytes_.data() + position_, available);
    position_ += available;
    return available;
}

std::size_t MemoryStream::Write(const void* buffer, std::size_t count) {
    if (count == 0) return 0;
    if (count > std::numeric_limits<std::size_t>::max() - position_) return 0;
    const std::size_t end = position_ + count;
    // Writing past the end (also after seeking beyond it) extends the block, gaps filled with zeros.
    if (end > bytes_.size()) bytes_.resize(end);
    std::memcpy(bytes_.data() + position_, buffer, count);
    position_ = end;
    return count;
}

std::int64_t MemoryStream::Seek(std::int64_t offset, SeekOrigin origin) {
    position_ =
        static_cast<std::size_t>(SeekTarget(offset, origin, static_cast<std::int64_t>(position_), Size()));
    return static_cast<std::int64_t>(position_);
}

std::size_t ReadOnlyMemoryStream::Read(void* buffer, std::size_t count) {
    const std::size_t available = Available(position_, size_, count);
    if (available != 0) std::memcpy(buffer, data_ + position_, available);
    position_ += available;
    return available;
}

std::size_t ReadOnlyMemoryStream::Write(const void*, std::size_t) {
    throw EWriteError();
}

std::int64_t ReadOnlyMemoryStream::Seek(std::int64_t offset, SeekOrigin origin) {
    position_ =
        static_cast<std::size_t>(SeekTarget(offset, origin, static_cast<std::int64_t>(position_), Size()));
    return static_cast<std::int64_t>(position_);
}

FileStream::FileStream(const std::string& path, FileMode mode) {
    if (mode == FileMode::Create) {
        // Truncate only once the lock is held, so a file that someone else is reading is left whole.
        descriptor_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (descriptor_ < 0) throw EFCreateError(path);
        if (::flock(descriptor_, LOCK_EX | LOCK_NB) != 0 || ::ftruncate(descriptor_, 0) != 0) {
            ::close(descriptor_);
            throw EFCreateError(path);
        }
        writing_ = true;
        return;
    }
    descriptor_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor_ < 0) throw EFOpenError(path);
    struct stat status {};
    // Other readers may share the file; a writer of ours holds it exclusively.
    if (::fstat(descriptor_, &status) != 0 || S_ISDIR(status.st_mode) ||
        ::flock(descriptor_, LOCK_SH | LOCK_NB) != 0) {
        ::close(descriptor_);
        throw EFOpenError(path);
    }
}

FileStream::~FileStream() {
    if (descriptor_ >= 0) ::close(descriptor_);
}

void FileStream::Close() {
    if (descriptor_ < 0) return;
    // Linux releases the descriptor even when close fails, so it is never closed a second time.
    const int result = ::close(std::exchange(descriptor_, -1));
    if (result != 0 && writing_) throw EWriteError();
}

std::size_t FileStream::Read(void* buffer, std::size_t count) {
    auto* target = static_cast<std::uint8_t*>(buffer);
    return TransferAll(count,
                       [&](std::size_t done) { return ::read(descriptor_, target + done, count - done); });
}

std::size_t FileStream::Write(const void* buffer, std::size_t count) {
    const auto* source = static_cast<const std::uint8_t*>(buffer);
    return TransferAll(count,
                       [&](std::size_t done) { return ::write(descriptor_, source + done, count - done); });
}

std::int64_t FileStream::Seek(std::int64_t offset, SeekOrigin origin) {
    const int whence = origin == SeekOrigin::Begin     ? SEEK_SET
                       : origin == SeekOrigin::Current ? SEEK_CUR
                                                       : SEEK_END;
    const off_t position = ::lseek(descriptor_, offset, whence);
    if (position < 0) throw EStreamError("Stream seek error");
    return position;
}

std::int64_t FileStream::Size() const {
    struct stat status {};
    if (::fstat(descriptor_, &status) != 0) throw EStreamError("Stream seek error");
    return status.st_size;
}

void SaveThroughFile(const std::string& path, const std::function<void(Stream&)>& save) {
    FileStream file(path, FileMode::Create);
    save(file);
    file.Close();
}

}  // namespace flipbook
