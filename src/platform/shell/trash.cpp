// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/shell/trash.h"

#include <fcntl.h>
#include <gio/gio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <optional>
#include <system_error>
#include <vector>

namespace flipbook {
namespace {

namespace fs = std::filesystem;

struct ObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
struct ErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
struct KeyFileFree {
    void operator()(GKeyFile* file) const { g_key_file_free(file); }
};
struct StringFree {
    void operator()(gchar* text) const { g_free(text); }
};
using FileHandle = std::unique_ptr<GFile, ObjectUnref>;
using ErrorHandle = std::unique_ptr<GError, ErrorFree>;
using KeyFileHandle = std::unique_ptr<GKeyFile, KeyFileFree>;
using StringHandle = std::unique_ptr<gchar, StringFree>;

// A system's sentence ("No such file or directory") made to follow a colon.
std::string AfterColon(std::string reason) {
    const auto upper = [&](std::size_t at) {
        return at < reason.size() && std::isupper(static_cast<unsigned char>(reason[at]));
    };
    if (upper(0) && !upper(1))
        reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
    return reason;
}

// A trash in the freedesktop.org layout: files/ holds the trashed files, info/ their restore
// information. A trash at the top of a mount records paths relative to that top, or absolute ones.
struct TrashFolder {
    fs::path root;
    fs::path top;  // empty for the home trash, whose paths are absolute
};

// The top of the mount that holds the folder: the last folder on the way up on the same device.
fs::path MountTopOf(const fs::path& folder) {
    struct stat own {};
    if (::stat(folder.c_str(), &own) != 0) return {};
    fs::path top = folder;
    while (top.has_relative_path()) {
        const fs::path parent = top.parent_path();
        struct stat above {};
        if (::stat(parent.c_str(), &above) != 0 || above.st_dev != own.st_dev) break;
        top = parent;
    }
    return top;
}

// Every trash a file from the folder may have gone to: the home trash, and the two trashes at the
// top of the folder's mount for files that cannot move to the home's device.
std::vector<TrashFolder> TrashesFor(const fs::path& folder) {
    std::vector<TrashFolder> trashes{{fs::path(g_get_user_data_dir()) / "Trash", {}}};
    const fs::path top = MountTopOf(folder);
    if (!top.empty()) {
        const std::string user = std::to_string(::getuid());
        trashes.push_back({top / ".Trash" / user, top});
        trashes.push_back({top / (".Trash-" + user), top});
    }
    return trashes;
}

std::string Unescaped(const std::string& text) {
    const StringHandle plain(g_uri_unescape_string(text.c_str(), nullptr));
    return plain ? std::string(plain.get()) : text;
}

// The trashed file that came from the path, and its restore information.
struct Trashed {
    fs::path file;
    fs::path info;
    std::string deletionDate;
};

// Whether the restore information names the path, and when the file went to the trash.
std::optional<std::string> DeletedFrom(const fs::path& info, const TrashFolder& trash, const fs::path& path) {
    const KeyFileHandle keys(g_key_file_new());
    if (!g_key_file_load_from_file(keys.get(), info.c_str(), G_KEY_FILE_NONE, nullptr)) return std::nullopt;
    const StringHandle recorded(g_key_file_get_value(keys.get(), "Trash Info", "Path", nullptr));
    if (!recorded) return std::nullopt;
    // Escaped as a URI's path by the desktop's trash; a trash that left "%" alone still matches as
    // written.
    const auto names = [&](const std::string& value) {
        if (value.empty()) return false;
        if (value.front() == '/') return fs::path(value) == path;
        return !trash.top.empty() && trash.top / value == path;
    };
    if (!names(Unescaped(recorded.get())) && !names(recorded.get())) return std::nullopt;
    const StringHandle date(g_key_file_get_value(keys.get(), "Trash Info", "DeletionDate", nullptr));
    // ISO 8601 local times in one format: their order as text is their order in time.
    return date ? std::string(date.get()) : std::string();
}

std::optional<Trashed> FindTrashed(const fs::path& path) {
    std::optional<Trashed> newest;
    for (const TrashFolder& trash : TrashesFor(path.parent_path())) {
        std::error_code error;
        for (fs::directory_iterator entry(trash.root / "info", error), end; !error && entry != end;
             entry.increment(error)) {
            const fs::path info = entry->path();
            if (info.extension() != ".trashinfo") continue;
            const std::optional<std::string> date = DeletedFrom(info, trash, path);
            if (!date) continue;
            const fs::path file = trash.root / "files" / info.stem();
            std::error_code missing;
            if (fs::symlink_status(file, missing).type() == fs::file_type::not_found) continue;
            if (!newest || *date >= newest->deletionDate) newest = Trashed{file, info, *date};
        }
    }
    return newest;
}

// Renames without ever replacing the target; EEXIST when it is taken.
int RenameWithoutReplacing(const fs::path& from, const fs::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    // A file system that cannot refuse to replace: a link refuses, and a folder is checked first.
    if (::link(from.c_str(), to.c_str()) == 0) return ::unlink(from.c_str()) == 0 ? 0 : errno;
    if (errno != EPERM && errno != EOPNOTSUPP) return errno;
    std::error_code error;
    if (fs::symlink_status(to, error).type() != fs::file_type::not_found) return EEXIST;
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

}  // namespace

bool MoveToTrash(const fs::path& fullPath, std::string* failure) {
    if (fullPath.empty()) return false;
    FileHandle file(g_file_new_for_path(fullPath.c_str()));
    GError* rawError = nullptr;
    const bool moved = g_file_trash(file.get(), nullptr, &rawError) != FALSE;
    ErrorHandle error(rawError);
    if (moved && error == nullptr) return true;
    // GIO's own sentence ("Trashing on system internal mounts is not supported"), to follow a colon.
    if (failure)
        *failure =
            AfterColon(error && error->message && *error->message ? error->message : "the move failed");
    return false;
}

TrashRestore RestoreFromTrash(const fs::path& fullPath, std::string* failure) {
    if (fullPath.empty() || !fullPath.is_absolute()) return TrashRestore::NotInTrash;
    // The trash records the path with the folders on the way resolved, as the file was moved.
    fs::path path = fullPath;
    std::error_code error;
    const fs::path folder = fs::canonical(fullPath.parent_path(), error);
    if (!error) path = folder / fullPath.filename();
    const std::optional<Trashed> trashed = FindTrashed(path);
    if (!trashed) return TrashRestore::NotInTrash;
    if (const int reason = RenameWithoutReplacing(trashed->file, path); reason != 0) {
        if (reason == EEXIST) return TrashRestore::NameTaken;
        if (failure) *failure = AfterColon(std::system_category().message(reason));
        return TrashRestore::Failed;
    }
    fs::remove(trashed->info, error);
    return TrashRestore::Restored;
}

}  // namespace flipbook
