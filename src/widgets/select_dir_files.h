// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/core/exception.h"

#include <string>

namespace flipbook {

// A file-system failure of the folder chooser: a directory that cannot be entered or created.
// The message is chosen by the system's error code ("File not found", "File access denied",
// "I/O error %d", ...) or is "Unable to create directory".
class EInOutError : public Exception {
public:
    // The failure the error code (an errno value) describes.
    explicit EInOutError(int errorCode);
    EInOutError(int errorCode, const std::string& message) : Exception(message), errorCode_(errorCode) {}
    int ErrorCode() const { return errorCode_; }

private:
    int errorCode_;
};

// The full path of a path against the process's current directory, by text ("." and ".." are
// resolved without looking at the disk), with "/" separators and no trailing "/" except for the root.
std::string ExpandPath(const std::string& path);

// True when the path (relative ones count from the current directory) names an existing directory.
bool DirectoryExists(const std::string& path);

// Makes the directory the process's current directory and returns that directory as the system
// reports it. Throws EInOutError when it cannot be entered.
std::string ChangeDirectory(const std::string& path);

// Moves the process out of a current directory that can no longer be read (deleted, or its drive
// gone) into the home folder, or the root when that cannot be entered either; a readable current
// directory stays. The chooser starts from the current directory and could not open otherwise.
void LeaveUnreadableCurrentDirectory();

// The path that text typed into the chooser stands for, as the file system's bytes. The chooser shows
// bytes that are not valid in the system's encoding as a replacement character, so a name typed as
// shown is other bytes: each part of the typed path that names nothing as typed, but reads like an
// existing entry of the folder before it, stands for that entry rather than for a look-alike to be
// made. Where several entries read alike, the one on the way to the chooser's own folder (standingIn)
// is taken, else the first by name. Everything else stays as typed.
std::string TypedPath(const std::string& typed, const std::string& standingIn);

// Creates the directory with all its missing parents. Throws EInOutError("Unable to create
// directory") when the path is empty or, being relative, has no existing directory to start from.
// A folder that the system refuses to make is not reported; the caller finds it missing later.
void ForceDirectories(const std::string& path);

}  // namespace flipbook
