// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/library/snapshot_folder.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "platform/files/safe_file.h"
#include "support/temp_dir.h"

namespace flipbook {
namespace {

using namespace std::chrono;
using testing::TempDir;

// Sets the local time zone for the test's lifetime.
class LocalTimeZone {
public:
    explicit LocalTimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) previous_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~LocalTimeZone() {
        if (previous_.empty()) {
            unsetenv("TZ");
        } else {
            setenv("TZ", previous_.c_str(), 1);
        }
        tzset();
    }

private:
    std::string previous_;
};

TEST(SnapshotName, FormatsLocalDateAndTimeWithMilliseconds) {
    LocalTimeZone zone("UTC");
    // 2004-06-01 07:08:09.045 UTC
    const system_clock::time_point time =
        sys_days{year{2004} / 6 / 1} + hours{7} + minutes{8} + seconds{9} + milliseconds{45};
    EXPECT_EQ(SnapshotName(time, ".png"), "snap-20040601-070809045.png");
    EXPECT_EQ(SnapshotName(time + milliseconds{955}, ".jpg"), "snap-20040601-070810000.jpg");
}

TEST(SnapshotName, UsesTheLocalTimeZone_AndSortsInTheOrderTaken) {
    LocalTimeZone zone("EST5");  // five hours behind UTC, no daylight saving
    const system_clock::time_point time = sys_days{year{2026} / 1 / 1} + hours{3} + microseconds{999999};
    EXPECT_EQ(SnapshotName(time, ".bmp"), "snap-20251231-220000999.bmp");
    EXPECT_LT(SnapshotName(time, ".bmp"), SnapshotName(time + milliseconds{1}, ".bmp"));
    EXPECT_LT(SnapshotName(time + seconds{9}, ".bmp"), SnapshotName(time + seconds{10}, ".bmp"));
}

class ListPictureNamesTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (HasFailure()) folder.Keep();
    }
    void Touch(const std::string& name) { std::ofstream(folder.File(name)) << "x"; }
    std::vector<std::string> Sorted(std::vector<std::string> names) {
        std::sort(names.begin(), names.end());
        return names;
    }
    TempDir folder;
};

TEST_F(ListPictureNamesTest, ComparesTheLowerCasedExtensionExactly) {
    for (const char* name : {"a.JPG", "b.jpg", "c.jpeg", "d.png", "jpg", "e.jpg.png", ".jpg", "f.Jpg"})
        Touch(name);
    EXPECT_EQ(Sorted(ListPictureNames(folder.Path().string() + "/", ".jpg")),
              (std::vector<std::string>{".jpg", "a.JPG", "b.jpg", "f.Jpg"}));
    EXPECT_EQ(Sorted(ListPictureNames(folder.Path().string() + "/", ".png")),
              (std::vector<std::string>{"d.png", "e.jpg.png"}));
}

TEST_F(ListPictureNamesTest, ListsFoldersAndFiles_ButNoPipesSocketsOrDanglingLinks) {
    Touch("file.png");
    std::filesystem::create_directory(folder.Path() / "folder.png");
    ASSERT_EQ(mkfifo(folder.File("pipe.png").c_str(), 0600), 0);
    std::filesystem::create_symlink(folder.Path() / "absent", folder.Path() / "dangling.png");
    std::filesystem::create_symlink(folder.Path() / "file.png", folder.Path() / "link.png");

    const int socketDescriptor = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(socketDescriptor, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = folder.File("socket.png");
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::strcpy(address.sun_path, socketPath.c_str());
    ASSERT_EQ(::bind(socketDescriptor, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    EXPECT_EQ(Sorted(ListPictureNames(folder.Path().string() + "/", ".png")),
              (std::vector<std::string>{"file.png", "folder.png", "link.png"}));
    ::close(socketDescriptor);
}

// A name already taken moves on by one millisecond, so two snaps in one millisecond keep their order.
TEST(SnapshotName, NextSnapshotName_IsTheNextMillisecond_CarriedThroughTheCalendar) {
    const std::pair<const char*, const char*> cases[] = {
        {"snap-20240115-101010123.png", "snap-20240115-101010124.png"},
        {"snap-20240229-235959999.png", "snap-20240301-000000000.png"},
        {"snap-20230228-235959999.bmp", "snap-20230301-000000000.bmp"},
        {"snap-20231231-235959999.JPG", "snap-20240101-000000000.JPG"},
        {"snap-20240115-101059999.png", "snap-20240115-101100000.png"},
        {"other.png", ""},
        {"snap-2024011-1010101234.png", ""},
        {"snap-20241301-000000000.png", ""},
        {"snap-20240115-1010101x3.png", ""}};
    for (const auto& [name, next] : cases) EXPECT_EQ(NextSnapshotName(name), next) << name;
}

// Opening a folder removes the temporary files no writer holds any more, also those whose process
// number is ours (a container gives every run the same one), and keeps one still being written.
TEST_F(ListPictureNamesTest, OpeningAFolder_RemovesTemporaryFilesNoWriterHolds) {
    TSafeFile writing(folder.File("snap-1.png"));
    Touch(".snap-2.png." + std::to_string(getpid()) + "-999.partial");
    Touch(".snap-3.png.1-0.partial");
    Touch("snap-4.png");
    ListPictureNames(folder.Path().string() + "/", ".png");
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path()))
        left.push_back(entry.path().filename());
    EXPECT_EQ(Sorted(left),
              Sorted({std::filesystem::path(writing.TemporaryPath()).filename(), "snap-4.png"}));
}

// A name never sorts before the folder's newest snapshot, in whichever format or case that is, or
// before one given or saved since, so a clock set back keeps the series in order.
TEST_F(ListPictureNamesTest, SnapshotSeries_NamesAfterTheFoldersNewestSnapshot) {
    LocalTimeZone zone("UTC");
    const system_clock::time_point noon = sys_days{year{2024} / 10 / 27} + hours{12};
    for (const char* name :
         {"snap-20241027-110000000.png", "SNAP-20241027-113000000.JPG", "snap-20241027-235959999.txt",
          ".snap-20241027-235959999.png.1-0.partial", "snap-20241399-000000000.bmp"})
        Touch(name);
    const std::string path = folder.Path().string() + "/";
    TSnapshotSeries series;
    EXPECT_EQ(series.NameFor(path, noon - hours{2}, ".png"), "snap-20241027-113000001.png");
    EXPECT_EQ(series.NameFor(path, noon - hours{2}, ".bmp"), "snap-20241027-113000002.bmp");
    EXPECT_EQ(series.NameFor(path, noon, ".png"), "snap-20241027-120000000.png");
    series.Saved(path, "snap-20241027-120000005.png");  // the name given was taken
    EXPECT_EQ(series.NameFor(path, noon, ".png"), "snap-20241027-120000006.png");
    EXPECT_EQ(series.NameFor(path, noon + seconds{1}, ".png"), "snap-20241027-120001000.png");
    // Another folder has a series of its own.
    EXPECT_EQ(series.NameFor(folder.File("missing") + "/", noon - hours{2}, ".png"),
              "snap-20241027-100000000.png");
}

TEST_F(ListPictureNamesTest, UnreadableOrMissingFolder_GivesNothing) {
    EXPECT_TRUE(ListPictureNames(folder.File("missing") + "/", ".png").empty());
    EXPECT_TRUE(ListPictureNames("", ".png").empty());
}

}  // namespace
}  // namespace flipbook
