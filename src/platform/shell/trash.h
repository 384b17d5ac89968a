// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>

namespace flipbook {

// Moves the file (or folder) at the full path into the user's trash in the freedesktop.org layout,
// writing the restore information, so the desktop's trash can put it back where it was.
// Returns false when nothing was moved: the path does not exist, the file system has no trash
// that we may use, or the move failed; the reason then goes to failure, when given.
bool MoveToTrash(const std::filesystem::path& fullPath, std::string* failure = nullptr);

// What became of a file asked back from the trash.
enum class TrashRestore { Restored, NotInTrash, NameTaken, Failed };

// Moves the file that went to the trash from the full path back to that path, with its restore
// information gone from the trash, as the desktop's trash does. Where the trash holds several files
// from that path, the one trashed last comes back. Nothing is ever replaced: when the path is taken
// by now, nothing moves (NameTaken). The reason of Failed goes to failure, when given.
TrashRestore RestoreFromTrash(const std::filesystem::path& fullPath, std::string* failure = nullptr);

}  // namespace flipbook
