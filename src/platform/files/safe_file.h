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
// or is absent. While the temporary name stands, a lock on it (one of its open file description, which
// other computers sharing the folder see too where the file system passes locks on) tells the clean-up
// of leftovers that its writer lives. Destroying it before it is published removes the temporary file.
class TSafeFile {
public:
    // Creates the temporary file beside the path and locks it. Raises ESaveError.
    explicit TSafeFile(const std::string& path);
    ~TSafeFile();
    TSafeFile(const TSafeFile&) = delete;
    TSafeFile& operator=(const TSafeFile&) = delete;

    // Where the bytes go until the file is published; another writer (a media pipeline) may write
    // there, under this object's lock.
    const std::string& TemporaryPath() const { return temporaryPath_; }

    // Appends the bytes. Raises ESaveError.
    void Write(const std::uint8_t* bytes, std::size_t count);
    // Flushes what was written (by this object or through TemporaryPath) to the disk; a file system that
    // reports a failed write only when the file is closed fails here too. Nothing can be written after.
    // Raises ESaveError.
    void Sync();
    // Gives the synced file its final name and flushes the folder. With ExistingFile::Keep a name
    // already taken is never replaced: the result is false and the file stays ready for another name.
    // Raises ESaveError while the file has no name; once it has one, a folder that cannot be flushed
    // is only told by FolderNotFlushed.
    bool Publish(const std::string& path, ExistingFile existing);
    // Why the published file may not be safe on the disk yet, in plain words: its folder could not be
    // flushed after the rename, so a crash now could still lose the name. Empty when it was flushed.
    const std::string& FolderNotFlushed() const { return folderNotFlushed_; }

private:
    std::string temporaryPath_;
    int descriptor_ = -1;
    bool synced_ = false;
    bool published_ = false;
    std::string folderNotFlushed_;
};

// The ways a file takes a name without replacing another: the kernel's rename that refuses to
// replace, else a hard link and unlink of the old name, else the name reserved by an exclusive create
// and renamed over. Each is tried where the file system refuses the one before; tests start later.
enum class NoReplaceMove { Rename, Link, Placeholder };

// Moves the file to the new name unless that name is taken: false then, both files left as they were.
// Raises ESaveError.
bool MoveWithoutReplacing(const std::string& from, const std::string& to,
                          NoReplaceMove firstWay = NoReplaceMove::Rename);

// A file written and given its name: the path, and why it may not be safe on the disk yet (as
// TSafeFile::FolderNotFlushed; empty when it is).
struct WrittenFile {
    std::string path;
    std::string folderNotFlushed;
};

// Writes the bytes as a new file under the path, or, where that name is taken, under the name that
// nextName gives for the taken one, and so on; a name never replaces a file. Raises ESaveError ("a
// file of that name already exists" when nextName gives "").
WrittenFile WriteNewFile(const std::string& path, const std::uint8_t* bytes, std::size_t count,
                         const std::function<std::string(const std::string& taken)>& nextName);

// Writes the bytes the same safe way under the path, replacing what it held: the path holds the whole
// new file or what it held before. Returns why it may not be safe on the disk yet, empty when it is.
// Raises ESaveError.
std::string ReplaceFile(const std::string& path, const std::uint8_t* bytes, std::size_t count);

// Removes the folder's hidden temporary files of this user that no writer holds locked any more (left
// by a crash, a power cut, a kill, on this computer or another); those still locked stay, and so does
// every one on a file system that cannot lock, where a leftover is safer than a lost picture. Failures
// are ignored.
void RemoveStaleTemporaryFiles(const std::string& folder);

}  // namespace flipbook
