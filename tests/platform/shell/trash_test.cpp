// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/shell/trash.h"

#include "platform/shell/trash_home.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace flipbook {
namespace {

using testing::ReadFile;
using testing::TrashHome;
using testing::WriteFile;

const auto* const kTrashHome = ::testing::AddGlobalTestEnvironment(new TrashHome);

TEST(Trash_MoveToTrash, MovesFileAndRecordsItsOriginalPath) {
    testing::TempDir folder;
    // Spaces and non-ASCII letters are escaped in the restore information and must come back intact.
    const auto file = folder.Path() / "snap 1 é.png";
    WriteFile(file, "picture");

    ASSERT_TRUE(MoveToTrash(file));

    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_EQ(ReadFile(TrashHome::TrashedFile("snap 1 é.png")), "picture");
    EXPECT_EQ(TrashHome::RestorePath("snap 1 é.png"), file.string());
}

TEST(Trash_MoveToTrash, FailsForAPathThatDoesNotExist) {
    testing::TempDir folder;
    const int before = TrashHome::TrashedCount();
    EXPECT_FALSE(MoveToTrash(folder.Path() / "missing.png"));
    EXPECT_FALSE(MoveToTrash(""));
    EXPECT_EQ(TrashHome::TrashedCount(), before);
}

}  // namespace
}  // namespace flipbook
