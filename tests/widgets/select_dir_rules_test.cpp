// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/select_dir_drives.h"
#include "widgets/select_dir_files.h"

#include "support/current_directory.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

namespace flipbook {
namespace {

namespace fs = std::filesystem;

std::string NoLabel(const std::string&) {
    return {};
}

TEST(SelectDirDrives_FromMountTable, KeepsUserFileSystemsSortedWithTheirLabels) {
    const std::string table =
        "proc /proc proc rw 0 0\n"
        "sysfs /sys sysfs rw 0 0\n"
        "tmpfs /dev/shm tmpfs rw 0 0\n"
        "cgroup /sys/fs/cgroup/cpu cgroup rw 0 0\n"
        "/dev/sdb1 /media/me/CARD\\040ONE vfat rw 0 0\n"
        "//server/Share /srv/photos cifs rw 0 0\n"
        "tmpfs /tmp tmpfs rw 0 0\n"
        "/dev/sr0 /mnt/cd iso9660 ro 0 0\n"
        "/dev/sda1 / ext4 rw 0 0\n"
        "/dev/sda2 /home ext4 rw 0 0\n"
        "/dev/sda3 /home xfs rw 0 0\n"
        "garbage\n";
    const auto drives = DrivesFromMountTable(table, [](const std::string& device) {
        return device == "/dev/sda1" ? std::string("System") : std::string();
    });

    const std::vector<Drive> expected{
        {"/", DriveKind::Fixed, "System"},
        {"/home", DriveKind::Fixed, "sda3"},  // the later mount hides the earlier one
        {"/media/me/CARD ONE", DriveKind::Removable, ""},
        {"/mnt/cd", DriveKind::CD, "sr0"},
        {"/srv/photos", DriveKind::Network, "//server/Share"},
        {"/tmp", DriveKind::Ram, "tmpfs"},
    };
    EXPECT_EQ(drives, expected);
    EXPECT_EQ(DriveText(drives[0]), "/ [system]");
    EXPECT_EQ(DriveText(drives[2]), "/media/me/CARD ONE");
    EXPECT_EQ(DriveText(drives[4]), "/srv/photos //server/share");
}

TEST(SelectDirDrives_FromMountTable, ContainerRootCounts) {
    const auto drives = DrivesFromMountTable("overlay / overlay rw 0 0\n", NoLabel);
    ASSERT_EQ(drives.size(), 1u);
    EXPECT_EQ(drives[0].mountPoint, "/");
    EXPECT_EQ(drives[0].kind, DriveKind::Fixed);
}

TEST(SelectDirDrives_SystemDrives, AlwaysOfferTheRoot) {
    const auto drives = SystemDrives();
    ASSERT_FALSE(drives.empty());
    EXPECT_EQ(drives.front().mountPoint, "/");
}

TEST(SelectDirDrives_DriveIndexOf, TakesTheLongestMountPointOnWholeNames) {
    const std::vector<Drive> drives{{"/", DriveKind::Fixed, ""}, {"/media/card", DriveKind::Removable, ""}};
    EXPECT_EQ(DriveIndexOf(drives, "/media/card/pics"), 1);
    EXPECT_EQ(DriveIndexOf(drives, "/media/card"), 1);
    EXPECT_EQ(DriveIndexOf(drives, "/media/cardigan"), 0);
    EXPECT_EQ(DriveIndexOf(drives, "/"), 0);
    EXPECT_EQ(DriveIndexOf({{"/media/card", DriveKind::Removable, ""}}, "/home"), -1);
}

TEST(SelectDirDrives_CurrentDirectory, EachDriveRemembersItsLastDirectory) {
    testing::TempDir temp;
    const fs::path root = fs::canonical(temp.Path());
    fs::create_directories(root / "a" / "deep");
    fs::create_directories(root / "b");
    const std::vector<Drive> drives{{(root / "a").string(), DriveKind::Fixed, ""},
                                    {(root / "b").string(), DriveKind::Fixed, ""}};
    testing::CurrentDirectory inA(root / "a" / "deep");

    // Where the process stands is its drive's current directory; another drive starts at its root.
    EXPECT_EQ(DriveCurrentDirectory(drives, drives[0]), (root / "a" / "deep").string());
    EXPECT_EQ(DriveCurrentDirectory(drives, drives[1]), (root / "b").string());

    RememberDriveDirectory(drives, (root / "a" / "deep").string());
    fs::current_path(root / "b");
    EXPECT_EQ(DriveCurrentDirectory(drives, drives[0]), (root / "a" / "deep").string());
}

TEST(SelectDirFiles_ChangeDirectory, NamesTheReasonItFailed) {
    testing::TempDir temp;
    testing::CurrentDirectory inTemp(temp.Path());
    std::ofstream(temp.Path() / "file.txt") << "x";

    try {
        ChangeDirectory((temp.Path() / "gone").string());
        FAIL() << "entered a missing directory";
    } catch (const EInOutError& error) {
        EXPECT_STREQ(error.what(), "File not found");
    }
    EXPECT_THROW(ChangeDirectory((temp.Path() / "file.txt").string()), EInOutError);
    EXPECT_EQ(fs::current_path(), fs::canonical(temp.Path()));
    EXPECT_STREQ(EInOutError(EACCES).what(), "File access denied");
    EXPECT_STREQ(EInOutError(EIO).what(), ("I/O error " + std::to_string(EIO)).c_str());
}

TEST(SelectDirFiles_ForceDirectories, CreatesEveryMissingParent) {
    testing::TempDir temp;
    const fs::path deep = temp.Path() / "one" / "two" / "three";

    ForceDirectories(deep.string() + "/");
    EXPECT_TRUE(fs::is_directory(deep));
    ForceDirectories(deep.string());  // already there: nothing to do
    ForceDirectories("/");

    // Doubled separators at the end still name the folder before them.
    ForceDirectories((temp.Path() / "four").string() + "//");
    EXPECT_TRUE(fs::is_directory(temp.Path() / "four"));
}

TEST(SelectDirFiles_ForceDirectories, RefusesEmptyAndUnanchoredRelativePaths) {
    testing::TempDir temp;
    testing::CurrentDirectory inTemp(temp.Path());

    EXPECT_THROW(ForceDirectories(""), EInOutError);
    try {
        ForceDirectories("new/folder");
        FAIL() << "created a relative path";
    } catch (const EInOutError& error) {
        EXPECT_STREQ(error.what(), "Unable to create directory");
    }
    EXPECT_FALSE(fs::exists(temp.Path() / "new"));

    // A relative path that starts at an existing folder of the current directory can be made.
    fs::create_directory(temp.Path() / "there");
    ForceDirectories("there/below");
    EXPECT_TRUE(fs::is_directory(temp.Path() / "there" / "below"));
}

TEST(SelectDirFiles_ForceDirectories, DoesNotReportAFolderItCannotMake) {
    testing::TempDir temp;
    std::ofstream(temp.Path() / "file") << "x";
    // A file stands where a parent folder should be: nothing can be made, and nothing is said.
    EXPECT_NO_THROW(ForceDirectories((temp.Path() / "file" / "sub").string()));
    EXPECT_FALSE(fs::exists(temp.Path() / "file" / "sub"));
}

}  // namespace
}  // namespace flipbook
