// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/select_dir_files.h"

#include "widgets/select_dir_lists.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace flipbook {
namespace {

namespace fs = std::filesystem;

std::string MessageFor(int errorCode) {
    switch (errorCode) {
        case ENOENT:
            return "File not found";
        case ENOTDIR:
        case ENAMETOOLONG:
            return "Invalid filename";
        case EMFILE:
        case ENFILE:
            return "Too many open files";
        case EACCES:
        case EPERM:
            return "File access denied";
        default:
            return "I/O error " + std::to_string(errorCode);
    }
}

// The text up to and including the last "/": empty when there is none.
std::string ParentText(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool Exists(const fs::path& path) {
    std::error_code error;
    return fs::symlink_status(path, error).type() != fs::file_type::not_found && !error;
}

bool IsOnTheWayTo(const std::string& folder, const std::string& target) {
    return target == folder ||
           (target.size() > folder.size() && target.compare(0, folder.size(), folder) == 0 &&
            (folder == "/" || target[folder.size()] == '/'));
}

// The existing folder in the folder that the typed name (which names nothing) stands for, or the name.
std::string EntryReadLike(const std::string& folder, const std::string& name, const std::string& standingIn) {
    const QString shown = ShownName(name);
    // Only a name read with a replacement can stand for other bytes.
    if (!shown.contains(QChar(QChar::ReplacementCharacter))) return name;
    std::vector<std::string> alike;
    std::error_code error;
    for (auto it = fs::directory_iterator(folder.empty() ? "." : folder, error);
         !error && it != fs::directory_iterator(); it.increment(error)) {
        const std::string entry = it->path().filename().string();
        std::error_code statusError;
        if (ShownName(entry) == shown && fs::is_directory(it->status(statusError))) alike.push_back(entry);
    }
    if (alike.empty()) return name;
    SortNames(alike);
    for (const std::string& entry : alike) {
        if (IsOnTheWayTo(ExpandPath((fs::path(folder) / entry).string()), standingIn)) return entry;
    }
    return alike.front();
}

}  // namespace

EInOutError::EInOutError(int errorCode) : EInOutError(errorCode, MessageFor(errorCode)) {}

std::string ExpandPath(const std::string& path) {
    std::string full = fs::absolute(path).lexically_normal().string();
    while (full.size() > 1 && full.back() == '/') full.pop_back();
    return full;
}

bool DirectoryExists(const std::string& path) {
    if (path.empty()) return false;
    std::error_code error;
    return fs::is_directory(path, error);
}

std::string ChangeDirectory(const std::string& path) {
    if (::chdir(path.c_str()) != 0) throw EInOutError(errno);
    std::error_code error;
    const fs::path current = fs::current_path(error);
    if (error) throw EInOutError(error.value());
    return current.string();
}

std::string TypedPath(const std::string& typed, const std::string& standingIn) {
    std::string path;  // the bytes so far, with the separators as typed
    std::size_t start = 0;
    while (start <= typed.size()) {
        const std::size_t slash = std::min(typed.find('/', start), typed.size());
        const std::string name = typed.substr(start, slash - start);
        const bool plain = name.empty() || name == "." || name == "..";
        path += plain || Exists(fs::path(path) / name) ? name : EntryReadLike(path, name, standingIn);
        if (slash < typed.size()) path += '/';
        start = slash + 1;
    }
    return path;
}

void LeaveUnreadableCurrentDirectory() {
    std::error_code error;
    const fs::path current = fs::current_path(error);
    // The system gives no path for a deleted current directory; a folder whose drive went away
    // may still have one that leads nowhere, or that cannot be listed.
    if (!error && fs::is_directory(current, error)) {
        fs::directory_iterator entries(current, error);
        if (!error) return;
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0' && ::chdir(home) == 0) return;
    if (::chdir("/") != 0) throw EInOutError(errno);
}

void ForceDirectories(const std::string& path) {
    if (path.empty()) throw EInOutError(0, "Unable to create directory");
    // Every trailing "/" goes, so "a//" names the folder "a" rather than standing for its own parent.
    std::string folder = path;
    while (!folder.empty() && folder.back() == '/') folder.pop_back();
    // The root (now empty text) and existing folders need nothing; a path that is its own parent
    // cannot be made from one.
    if (folder.empty() || DirectoryExists(folder) || ParentText(folder) == folder) return;
    ForceDirectories(ParentText(folder));
    ::mkdir(folder.c_str(), 0777);
}

}  // namespace flipbook
