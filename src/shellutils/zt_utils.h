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

// What became of a file sent to the trash, for a caller that tells the user why it is still there.
struct TrashOutcome {
    enum class Result { Moved, NoFile, Declined, Failed };
    Result result = Result::NoFile;
    // For Failed: the reason in words that follow a colon ("trashing on system internal mounts is not
    // supported").
    std::string failure;
};
// As MoveToRecycleBin, saying what happened.
TrashOutcome SendToRecycleBin(const std::string& path, TrashConfirmation confirmation);

}  // namespace flipbook
