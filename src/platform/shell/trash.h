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

}  // namespace flipbook
