// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace flipbook {

// Whether moving to the trash asks the user first.
enum class TrashConfirmation { Ask, DoNotAsk };

// Moves the file at the path (relative paths count from the current directory) into the trash, from
// where the user can restore it to where it was. With TrashConfirmation::Ask the user is asked first
// and may decline. Returns true when the file was moved; false when there is no file at the path (a
// folder does not count; nothing is asked then), the user declined, or the move failed. Never throws.
bool MoveToRecycleBin(const std::string& path, TrashConfirmation confirmation);

}  // namespace flipbook
