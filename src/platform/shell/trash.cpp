// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/shell/trash.h"

#include <gio/gio.h>

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

bool MoveToTrash(const std::filesystem::path& fullPath) {
    if (fullPath.empty()) return false;
    FileHandle file(g_file_new_for_path(fullPath.c_str()));
    GError* rawError = nullptr;
    const bool moved = g_file_trash(file.get(), nullptr, &rawError) != FALSE;
    ErrorHandle error(rawError);
    return moved && error == nullptr;
}

}  // namespace flipbook
