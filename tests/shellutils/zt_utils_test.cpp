// SPDX-License-Identifier: GPL-3.0-or-later
#include "shellutils/zt_utils.h"

#include "platform/shell/trash_home.h"
#include "support/current_directory.h"
#include "support/temp_dir.h"
#include "support/fake_desktop.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace flipbook {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TrashHome;
using testing::WriteFile;

const auto* const kTrashHome = ::testing::AddGlobalTestEnvironment(new TrashHome);

class MoveToRecycleBinTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (HasFailure()) folder_.Keep();
    }

    testing::TempDir folder_;
    // Restore paths are full paths with linked folders resolved.
    const fs::path root_ = fs::canonical(folder_.Path());
    testing::FakeDesktop desktop_;
};

TEST_F(MoveToRecycleBinTest, MovesWithoutAQuestionWhenNotAsked) {
    const auto file = root_ / "snap-1.png";
    WriteFile(file, "one");

    EXPECT_TRUE(MoveToRecycleBin(file.string(), TrashConfirmation::DoNotAsk));

    EXPECT_TRUE(desktop_.questions.empty());
    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(ReadFile(TrashHome::TrashedFile("snap-1.png")), "one");
    EXPECT_EQ(TrashHome::RestorePath("snap-1.png"), file.string());
}

TEST_F(MoveToRecycleBinTest, AsksFirstAndMovesOnYes) {
    const auto file = root_ / "snap-2.png";
    WriteFile(file, "two");
    desktop_.answer = true;

    EXPECT_TRUE(MoveToRecycleBin(file.string(), TrashConfirmation::Ask));

    ASSERT_EQ(desktop_.questions.size(), 1u);
    EXPECT_NE(desktop_.questions[0].find("\"snap-2.png\""), std::string::npos);
    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(TrashHome::RestorePath("snap-2.png"), file.string());
}

TEST_F(MoveToRecycleBinTest, KeepsTheFileWhenTheQuestionIsDeclined) {
    const auto file = root_ / "snap-3.png";
    WriteFile(file, "three");
    const int trashed = TrashHome::TrashedCount();
    desktop_.answer = false;

    EXPECT_FALSE(MoveToRecycleBin(file.string(), TrashConfirmation::Ask));

    EXPECT_EQ(desktop_.questions.size(), 1u);
    EXPECT_EQ(ReadFile(file), "three");
    EXPECT_EQ(TrashHome::TrashedCount(), trashed);
}

TEST_F(MoveToRecycleBinTest, FailsWithoutAskingForAMissingFileOrAFolder) {
    const auto subfolder = root_ / "pictures.png";
    fs::create_directory(subfolder);
    WriteFile(subfolder / "inside.png", "kept");
    const int trashed = TrashHome::TrashedCount();
    desktop_.answer = true;  // would move it, if it were asked

    EXPECT_FALSE(MoveToRecycleBin((root_ / "missing.png").string(), TrashConfirmation::Ask));
    EXPECT_FALSE(MoveToRecycleBin(subfolder.string(), TrashConfirmation::Ask));
    EXPECT_FALSE(MoveToRecycleBin(subfolder.string(), TrashConfirmation::DoNotAsk));
    EXPECT_FALSE(MoveToRecycleBin("", TrashConfirmation::DoNotAsk));

    EXPECT_TRUE(desktop_.questions.empty());
    EXPECT_EQ(ReadFile(subfolder / "inside.png"), "kept");
    EXPECT_EQ(TrashHome::TrashedCount(), trashed);
}

TEST_F(MoveToRecycleBinTest, ExpandsARelativePathAgainstTheCurrentDirectory) {
    WriteFile(root_ / "relative.png", "rel");
    {
        testing::CurrentDirectory inFolder(root_);
        EXPECT_TRUE(MoveToRecycleBin("relative.png", TrashConfirmation::DoNotAsk));
    }
    EXPECT_FALSE(fs::exists(root_ / "relative.png"));
    EXPECT_EQ(TrashHome::RestorePath("relative.png"), (root_ / "relative.png").string());
}

// The file system decides where "link/.." leads; a purely textual reading would trash another file.
TEST_F(MoveToRecycleBinTest, FollowsLinkedFoldersAsTheFileSystemDoes) {
    fs::create_directories(root_ / "a");
    fs::create_directories(root_ / "b" / "inner");
    WriteFile(root_ / "a" / "linked.png", "textual neighbour");
    WriteFile(root_ / "b" / "linked.png", "real target");
    fs::create_directory_symlink(root_ / "b" / "inner", root_ / "a" / "link");

    EXPECT_TRUE(
        MoveToRecycleBin((root_ / "a" / "link" / ".." / "linked.png").string(), TrashConfirmation::DoNotAsk));

    EXPECT_EQ(ReadFile(root_ / "a" / "linked.png"), "textual neighbour");
    EXPECT_FALSE(fs::exists(root_ / "b" / "linked.png"));
    EXPECT_EQ(TrashHome::RestorePath("linked.png"), (root_ / "b" / "linked.png").string());
}

TEST_F(MoveToRecycleBinTest, HasNoFixedLimitOnThePathLength) {
    fs::path deep = root_;
    for (int level = 0; level < 6; ++level) deep /= std::string(120, static_cast<char>('a' + level));
    fs::create_directories(deep);
    const std::string name = std::string(200, 'p') + ".png";
    const auto file = deep / name;
    WriteFile(file, "long");
    ASSERT_GT(file.string().size(), 900u);

    EXPECT_TRUE(MoveToRecycleBin(file.string(), TrashConfirmation::DoNotAsk));

    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(TrashHome::RestorePath(name), file.string());
}

}  // namespace
}  // namespace flipbook
