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

// Undo brings a trashed picture back: the one trashed last of those from its path, only to a free name,
// and only what the trash holds.
TEST(Trash_RestoreFromTrash, BringsBackTheLastTrashedFromThePath_NeverReplacing) {
    testing::TempDir folder;
    const auto file = folder.Path() / "take 1 \xff.png";
    WriteFile(file, "first");
    ASSERT_TRUE(MoveToTrash(file));
    WriteFile(file, "second");
    ASSERT_TRUE(MoveToTrash(file));
    // Both went within one second: the first one's date is put back a few years.
    for (const auto& entry : std::filesystem::directory_iterator(TrashHome::Trash() / "info")) {
        std::string info = ReadFile(entry.path());
        if (ReadFile(TrashHome::Trash() / "files" / entry.path().stem()) != "first") continue;
        const auto date = info.find("DeletionDate=");
        ASSERT_NE(date, std::string::npos);
        info.replace(date + 13, 4, "1999");
        WriteFile(entry.path(), info);
    }
    const int trashed = TrashHome::TrashedCount();

    WriteFile(file, "taken");
    EXPECT_EQ(RestoreFromTrash(file), TrashRestore::NameTaken);
    EXPECT_EQ(ReadFile(file), "taken");
    EXPECT_EQ(TrashHome::TrashedCount(), trashed);

    std::filesystem::remove(file);
    EXPECT_EQ(RestoreFromTrash(file), TrashRestore::Restored);
    EXPECT_EQ(ReadFile(file), "second");
    EXPECT_EQ(TrashHome::TrashedCount(), trashed - 1);
    std::filesystem::remove(file);
    EXPECT_EQ(RestoreFromTrash(file), TrashRestore::Restored);
    EXPECT_EQ(ReadFile(file), "first");
    EXPECT_FALSE(std::filesystem::exists(TrashHome::Trash() / "info" / "take 1 \xff.png.trashinfo"));
    std::filesystem::remove(file);
    EXPECT_EQ(RestoreFromTrash(file), TrashRestore::NotInTrash);
    EXPECT_EQ(RestoreFromTrash(folder.Path() / "never.png"), TrashRestore::NotInTrash);
}

}  // namespace
}  // namespace flipbook
