// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/files/safe_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace flipbook {
namespace {

std::string Content(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::vector<std::string> Names(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename());
    return names;
}

const std::uint8_t* Bytes(const std::string& text) {
    return reinterpret_cast<const std::uint8_t*>(text.data());
}

void Write(const std::string& path, const std::string& text) {
    ReplaceFile(path, Bytes(text), text.size());
}

void Create(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// Makes files larger than the limit fail with EFBIG, as a full disk fails a write, while it lives.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &previous_);
        rlimit limited = previous_;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &previous_); }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit previous_{};
};

TEST(SafeFile, WritesTheWholeFile_AndReplacesAnOldOne) {
    testing::TempDir folder;
    Write(folder.File("a.png"), "old");
    Write(folder.File("a.png"), std::string(100000, 'n'));
    EXPECT_EQ(Content(folder.File("a.png")), std::string(100000, 'n'));
    EXPECT_EQ(Names(folder.Path()), std::vector<std::string>{"a.png"});
}

TEST(SafeFile, FullDisk_KeepsWhatWasThere_LeavesNoTemporaryFile_AndSaysWhy) {
    testing::TempDir folder;
    Write(folder.File("a.png"), "old");
    try {
        FileSizeLimit full(1000);
        Write(folder.File("a.png"), std::string(5000, 'n'));
        FAIL() << "a write beyond the limit succeeded";
    } catch (const ESaveError& error) {
        EXPECT_EQ(error.SystemError(), EFBIG);
        EXPECT_STREQ(error.what(), "the file is larger than the disk allows");
    }
    EXPECT_EQ(Content(folder.File("a.png")), "old");
    EXPECT_EQ(Names(folder.Path()), std::vector<std::string>{"a.png"});
}

TEST(SafeFile, VanishedFolder_SaysTheFolderIsGone) {
    testing::TempDir folder;
    const std::string path = folder.File("gone") + "/a.png";
    try {
        Write(path, "x");
        FAIL() << "a write into a missing folder succeeded";
    } catch (const ESaveError& error) {
        EXPECT_STREQ(error.what(), "the folder is gone");
    }
}

// Each way of taking a name without replacing: the kernel's rename, a hard link, and a reserved name
// (for file systems without links), as a new snapshot takes it.
TEST(SafeFile, NewFile_NeverReplacesATakenName_InEveryWay) {
    for (const NoReplaceMove way : {NoReplaceMove::Rename, NoReplaceMove::Link, NoReplaceMove::Placeholder}) {
        SCOPED_TRACE(static_cast<int>(way));
        testing::TempDir folder;
        Create(folder.File("new"), "new");
        Create(folder.File("taken"), "taken");
        EXPECT_FALSE(MoveWithoutReplacing(folder.File("new"), folder.File("taken"), way));
        EXPECT_EQ(Content(folder.File("taken")), "taken");
        EXPECT_EQ(Content(folder.File("new")), "new");
        EXPECT_TRUE(MoveWithoutReplacing(folder.File("new"), folder.File("free"), way));
        EXPECT_EQ(Content(folder.File("free")), "new");
        EXPECT_FALSE(std::filesystem::exists(folder.File("new")));
    }
}

TEST(SafeFile, WriteNewFile_TakesTheNextFreeName_OrSaysTheNameIsTaken) {
    testing::TempDir folder;
    Create(folder.File("1"), "first");
    Create(folder.File("2"), "second");
    const auto next = [](const std::string& taken) {
        const char last = taken.back();
        return last < '4' ? taken.substr(0, taken.size() - 1) + static_cast<char>(last + 1) : std::string();
    };
    EXPECT_EQ(WriteNewFile(folder.File("1"), Bytes("third"), 5, next), folder.File("3"));
    EXPECT_EQ(Content(folder.File("1")), "first");
    EXPECT_EQ(Content(folder.File("2")), "second");
    EXPECT_EQ(Content(folder.File("3")), "third");
    EXPECT_EQ(WriteNewFile(folder.File("1"), Bytes("fourth"), 6, next), folder.File("4"));
    try {
        WriteNewFile(folder.File("1"), Bytes("fifth"), 5, next);
        FAIL() << "a fifth file found a name";
    } catch (const ESaveError& error) {
        EXPECT_EQ(error.SystemError(), EEXIST);
        EXPECT_STREQ(error.what(), "a file of that name already exists");
    }
    EXPECT_EQ(Names(folder.Path()).size(), 4u) << "no temporary file stays";
}

// Two writers of one name never share a temporary file, and each names its process, so a later run
// can tell the leftovers of a crash from files still being written.
TEST(SafeFile, TemporaryFiles_AreUniqueHiddenAndOurs_AndStaleOnesOfGoneProcessesAreRemoved) {
    testing::TempDir folder;
    const std::string pid = std::to_string(getpid());
    {
        TSafeFile first(folder.File("a.png"));
        TSafeFile second(folder.File("a.png"));
        EXPECT_NE(first.TemporaryPath(), second.TemporaryPath());
        const std::string name = std::filesystem::path(first.TemporaryPath()).filename();
        EXPECT_EQ(name.rfind(".a.png." + pid + "-", 0), 0u) << name;
        EXPECT_EQ(Names(folder.Path()).size(), 2u);
    }
    EXPECT_TRUE(Names(folder.Path()).empty()) << "unpublished files are removed";

    const pid_t child = fork();
    if (child == 0) _exit(0);
    ASSERT_GT(child, 0);
    ASSERT_EQ(waitpid(child, nullptr, 0), child);
    const std::string gone = ".a.png." + std::to_string(child) + "-3.partial";
    const std::vector<std::string> kept = {
        ".a.png." + pid + "-7.partial",              // this process's, still being written
        ".b.png.1-0.partial",                        // a process that runs
        "." + std::to_string(child) + "-3.partial",  // no name before the number: not ours
        ".notes.partial", "c.png"};
    Create(folder.File(gone), "x");
    for (const std::string& name : kept) Create(folder.File(name), "x");
    RemoveStaleTemporaryFiles(folder.Path().string());
    std::vector<std::string> left = Names(folder.Path());
    std::sort(left.begin(), left.end());
    std::vector<std::string> expected = kept;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(left, expected);
}

}  // namespace
}  // namespace flipbook
