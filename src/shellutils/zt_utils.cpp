// SPDX-License-Identifier: GPL-3.0-or-later
#include "shellutils/zt_utils.h"

#include "platform/shell/desktop.h"
#include "platform/shell/trash.h"

#include <exception>
#include <filesystem>
#include <system_error>

namespace flipbook {
namespace {

namespace fs = std::filesystem;

bool IsFile(const fs::path& path) {
    std::error_code error;
    const auto status = fs::status(path, error);
    return !error && fs::exists(status) && !fs::is_directory(status);
}

// The full path of the entry itself. Folders on the way are resolved by the file system, not by
// text, so "link/../x" names the same file that the existence check saw; the last part stays as it
// is, so a symbolic link goes to the trash itself rather than what it points at.
fs::path FullPath(const fs::path& path) {
    const fs::path absolute = fs::absolute(path);
    return fs::canonical(absolute.parent_path()) / absolute.filename();
}

}  // namespace

bool MoveToRecycleBin(const std::string& path, TrashConfirmation confirmation) {
    return SendToRecycleBin(path, confirmation).result == TrashOutcome::Result::Moved;
}

TrashOutcome SendToRecycleBin(const std::string& path, TrashConfirmation confirmation) {
    using Result = TrashOutcome::Result;
    if (path.empty() || !IsFile(path)) return {Result::NoFile, {}};
    try {
        const fs::path full = FullPath(path);
        if (confirmation == TrashConfirmation::Ask &&
            !TheDesktop().Ask("Delete File", "Are you sure you want to move \"" + full.filename().string() +
                                                 "\" to the trash?")) {
            return {Result::Declined, {}};
        }
        std::string failure;
        if (MoveToTrash(full, &failure)) return {Result::Moved, {}};
        return {Result::Failed, failure};
    } catch (const std::exception& error) {
        return {Result::Failed, error.what()};
    } catch (...) {
        return {Result::Failed, "the move failed"};
    }
}

}  // namespace flipbook
