// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace flipbook {

// Where Seek counts from.
enum class SeekOrigin { Begin, Current, End };

// A sequential byte stream with a position. Read and Write move as many bytes as they can and return
// the count; ReadBuffer and WriteBuffer demand all of them and raise EReadError / EWriteError.
class Stream {
public:
    virtual ~Stream() = default;

    virtual std::size_t Read(void* buffer, std::size_t count) = 0;
    virtual std::size_t Write(const void* buffer, std::size_t count) = 0;
    // Moves the position and returns the new one; a position before the start raises EStreamError.
    virtual std::int64_t Seek(std::int64_t offset, SeekOrigin origin) = 0;
    virtual std::int64_t Size() const = 0;

    std::int64_t Position() { return Seek(0, SeekOrigin::Current); }
    void SetPosition(std::int64_t position) { Seek(position, SeekOrigin::Begin); }
    // Bytes between the position and the end (0 when the position is beyond the end).
    std::int64_t Remaining();

    void ReadBuffer(void* buffer, std::size_t count);
    void WriteBuffer(const void* buffer, std::size_t count);

protected:
    Stream() = default;
};

// A stream over a growable block of memory; writing past the end extends it.
class MemoryStream : public Stream {
public:
    MemoryStream() = default;
    explicit MemoryStream(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
    std::int64_t Size() const override { return static_cast<std::int64_t>(bytes_.size()); }

    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
    std::vector<std::uint8_t> TakeBytes() { position_ = 0; return std::move(bytes_); }
    void Clear() { bytes_.clear(); position_ = 0; }

private:
    std::vector<std::uint8_t> bytes_;
    std::size_t position_ = 0;
};

// A read-only stream over bytes owned by someone else, which must outlive it; writing raises EWriteError.
class ReadOnlyMemoryStream : public Stream {
public:
    ReadOnlyMemoryStream(const void* data, std::size_t size)
        : data_(static_cast<const std::uint8_t*>(data)), size_(size) {}

    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
    std::int64_t Size() const override { return static_cast<std::int64_t>(size_); }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

// How a file stream opens its file.
enum class FileMode {
    Create,  // create or empty the file, for writing; failure raises EFCreateError
    Read,    // open an existing file for reading, others may read but not write; EFOpenError
};

// A stream over a file; the file is closed when the stream is destroyed, on every path.
class FileStream : public Stream {
public:
    FileStream(const std::string& path, FileMode mode);
    // Closes the file if Close() did not, ignoring any error: a path that already failed has no use
    // for a second one.
    ~FileStream() override;
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    // Closes the file; a second call does nothing. Some file systems report a failed write only when
    // the file is closed, so a close that fails after writing raises EWriteError.
    void Close();

    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
    std::int64_t Size() const override;

private:
    int descriptor_ = -1;
    bool writing_ = false;
};

// Creates or empties the file (EFCreateError), runs save on a stream over it and closes it, also after
// a failure; a save is complete only when the close succeeded too (EWriteError).
void SaveThroughFile(const std::string& path, const std::function<void(Stream&)>& save);

}  // namespace flipbook
