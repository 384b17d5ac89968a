// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>

namespace flipbook {

// Moves the file (or folder) at the full path into the user's trash in the freedesktop.org layout,
// writing the restore information, so the desktop's trash can put it back where it was.
// Returns false when nothing was moved: the path does not exist, the file system has no trash
// that we may use, or the move failed.
bool MoveToTrash(const std::filesystem::path& fullPath);

}  // namespace flipbook
