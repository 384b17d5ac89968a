// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/core/exception.h"

namespace flipbook {

// A file that could not be written. The message is the reason in plain words ("the disk is full"),
// for a status line that names the file itself.
class ESaveError : public Exception {
public:
    ESaveError(const std::string& reason, int systemError) : Exception(reason), systemError_(systemError) {}
    // The errno value behind the failure, 0 when there was none.
    int SystemError() const { return systemError_; }

private:
    int systemError_;
};

// The reason for a system error number in plain words: "the disk is full", "the folder is gone", ...
std::string PlainReason(int systemError);

// What publishing does when the final name is already taken.
enum class ExistingFile { Keep, Replace };

// A new file written the one safe way: under a hidden temporary name of its own beside the final path
// (".NAME.PID-N.partial", created exclusively, so no two writers ever share one), flushed to the disk,
// then given its final name and the folder flushed too, so after a crash the name holds the whole file
// or is absent. Destroying it before it is published removes the temporary file.
class TSafeFile {
public:
    // Creates the temporary file beside the path. Raises ESaveError.
    explicit TSafeFile(const std::string& path);
    ~TSafeFile();
    TSafeFile(const TSafeFile&) = delete;
    TSafeFile& operator=(const TSafeFile&) = delete;

    // Where the bytes go until the file is published; another writer (a media pipeline) may write there.
    const std::string& TemporaryPath() const { return temporaryPath_; }

    // Appends the bytes. Raises ESaveError.
    void Write(const std::uint8_t* bytes, std::size_t count);
    // Flushes what was written (by this object or through TemporaryPath) to the disk and closes the
    // file; a file system that reports a failed write only now fails here. Raises ESaveError.
    void Sync();
    // Gives the synced file its final name and flushes the folder. With ExistingFile::Keep a name
    // already taken is never replaced: the result is false and the file stays ready for another name.
    // Raises ESaveError.
    bool Publish(const std::string& path, ExistingFile existing);

private:
    std::string temporaryPath_;
    int descriptor_ = -1;
    bool published_ = false;
};

// The ways a file takes a name without replacing another: the kernel's rename that refuses to
// replace, else a hard link and unlink of the old name, else the name reserved by an exclusive create
// and renamed over. Each is tried where the file system refuses the one before; tests start later.
enum class NoReplaceMove { Rename, Link, Placeholder };

// Moves the file to the new name unless that name is taken: false then, both files left as they were.
// Raises ESaveError.
bool MoveWithoutReplacing(const std::string& from, const std::string& to,
                          NoReplaceMove firstWay = NoReplaceMove::Rename);

// Writes the bytes as a new file under the path, or, where that name is taken, under the name that
// nextName gives for the taken one, and so on; a name never replaces a file. Returns the path used.
// Raises ESaveError ("a file of that name already exists" when nextName gives "").
std::string WriteNewFile(const std::string& path, const std::uint8_t* bytes, std::size_t count,
                         const std::function<std::string(const std::string& taken)>& nextName);

// Writes the bytes the same safe way under the path, replacing what it held: the path holds the whole
// new file or what it held before. Raises ESaveError.
void ReplaceFile(const std::string& path, const std::uint8_t* bytes, std::size_t count);

// Removes the folder's hidden temporary files left by a process of this user that is gone (a crash,
// a power cut, a kill); those of running processes stay. Failures are ignored.
void RemoveStaleTemporaryFiles(const std::string& folder);

}  // namespace flipbook
