// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/shell/trash.h"

#include <gio/gio.h>

#include <cctype>
#include <memory>

namespace flipbook {
namespace {

struct ObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
struct ErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
using FileHandle = std::unique_ptr<GFile, ObjectUnref>;
using ErrorHandle = std::unique_ptr<GError, ErrorFree>;

}  // namespace

bool MoveToTrash(const std::filesystem::path& fullPath, std::string* failure) {
    if (fullPath.empty()) return false;
    FileHandle file(g_file_new_for_path(fullPath.c_str()));
    GError* rawError = nullptr;
    const bool moved = g_file_trash(file.get(), nullptr, &rawError) != FALSE;
    ErrorHandle error(rawError);
    if (moved && error == nullptr) return true;
    if (failure) {
        // GIO's own sentence ("Trashing on system internal mounts is not supported"), to follow a colon.
        std::string reason = error && error->message && *error->message ? error->message : "the move failed";
        const auto upper = [&](std::size_t at) {
            return at < reason.size() && std::isupper(static_cast<unsigned char>(reason[at]));
        };
        if (upper(0) && !upper(1))
            reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
        *failure = reason;
    }
    return false;
}

}  // namespace flipbook
