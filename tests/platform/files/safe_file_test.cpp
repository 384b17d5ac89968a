// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/files/safe_file.h"

#include <gtest/gtest.h>
#include <sys/prctl.h>
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

#include "support/hanging_fsync.h"
#include "support/refusing_locks.h"
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
    EXPECT_EQ(WriteNewFile(folder.File("1"), Bytes("third"), 5, next).path, folder.File("3"));
    EXPECT_EQ(Content(folder.File("1")), "first");
    EXPECT_EQ(Content(folder.File("2")), "second");
    EXPECT_EQ(Content(folder.File("3")), "third");
    EXPECT_EQ(WriteNewFile(folder.File("1"), Bytes("fourth"), 6, next).path, folder.File("4"));
    try {
        WriteNewFile(folder.File("1"), Bytes("fifth"), 5, next);
        FAIL() << "a fifth file found a name";
    } catch (const ESaveError& error) {
        EXPECT_EQ(error.SystemError(), EEXIST);
        EXPECT_STREQ(error.what(), "a file of that name already exists");
    }
    EXPECT_EQ(Names(folder.Path()).size(), 4u) << "no temporary file stays";
}

std::vector<std::string> Sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

std::string NameOf(const std::string& path) {
    return std::filesystem::path(path).filename();
}

// Two writers of one name never share a temporary file. A writer's own file stays while it is written,
// also after another descriptor of it (a media pipeline's) was closed and after the flush; files that
// no writer holds any more go, whatever process number they carry (that of a crashed run, or ours
// where a container gives every run the same one).
TEST(SafeFile, TemporaryFiles_AreUniqueAndHidden_AndOnlyThoseNoWriterHoldsAreRemoved) {
    testing::TempDir folder;
    const std::string pid = std::to_string(getpid());
    const std::vector<std::string> others = {"." + pid + "-3.partial",  // no name before the number: not ours
                                             ".notes.partial", "c.png"};
    for (const std::string& name : others) Create(folder.File(name), "x");
    {
        TSafeFile first(folder.File("a.png"));
        TSafeFile second(folder.File("a.png"));
        EXPECT_NE(first.TemporaryPath(), second.TemporaryPath());
        EXPECT_EQ(NameOf(first.TemporaryPath()).rfind(".a.png." + pid + "-", 0), 0u) << first.TemporaryPath();
        std::ofstream(first.TemporaryPath(), std::ios::binary) << "written elsewhere";
        first.Sync();

        for (const std::string& leftover :
             {".a.png." + pid + "-999.partial", std::string(".b.png.1-0.partial")})
            Create(folder.File(leftover), "x");
        RemoveStaleTemporaryFiles(folder.Path().string());
        std::vector<std::string> expected = others;
        expected.push_back(NameOf(first.TemporaryPath()));
        expected.push_back(NameOf(second.TemporaryPath()));
        EXPECT_EQ(Sorted(Names(folder.Path())), Sorted(expected));

        EXPECT_TRUE(first.Publish(folder.File("a.png"), ExistingFile::Keep));
        EXPECT_EQ(Content(folder.File("a.png")), "written elsewhere");
    }
    std::vector<std::string> expected = others;
    expected.push_back("a.png");
    EXPECT_EQ(Sorted(Names(folder.Path())), Sorted(expected)) << "unpublished files are removed";
}

// A writer elsewhere (on another computer sharing the folder, or in a container) carries a process
// number that means nothing here: its file stays while its lock is held, though no process here has
// that number, and goes once the lock is gone.
TEST(SafeFile, TemporaryFileOfAWriterWhoseNumberIsNotHere_StaysWhileItsLockIsHeld) {
    testing::TempDir folder;
    // The holder below outlives its parent; as its subreaper the test can wait for it.
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    int ready[2];
    int release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t writer = fork();
    if (writer == 0) {
        // The writer ends at once; the process it starts keeps the file's description open, and with
        // it the lock, under a number that is gone.
        TSafeFile file(folder.File("a.png"));
        file.Write(Bytes("picture"), 7);
        const pid_t holder = fork();
        if (holder == 0) {
            ::close(release[1]);
            const pid_t self = getpid();
            if (write(ready[1], &self, sizeof self) != static_cast<ssize_t>(sizeof self)) _exit(1);
            char byte;
            while (read(release[0], &byte, 1) > 0) {
            }
            _exit(0);
        }
        _exit(holder > 0 ? 0 : 1);
    }
    ASSERT_GT(writer, 0);
    ::close(ready[1]);
    ::close(release[0]);
    int status = 0;
    ASSERT_EQ(waitpid(writer, &status, 0), writer);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    pid_t holder = 0;
    ASSERT_EQ(read(ready[0], &holder, sizeof holder), static_cast<ssize_t>(sizeof holder));
    ::close(ready[0]);

    const std::vector<std::string> names = Names(folder.Path());
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0].rfind(".a.png." + std::to_string(writer) + "-", 0), 0u) << names[0];
    EXPECT_NE(::kill(writer, 0), 0) << "no process here has the writer's number";
    RemoveStaleTemporaryFiles(folder.Path().string());
    EXPECT_EQ(Names(folder.Path()), names);

    ::close(release[1]);
    ASSERT_EQ(waitpid(holder, &status, 0), holder);
    prctl(PR_SET_CHILD_SUBREAPER, 0);
    RemoveStaleTemporaryFiles(folder.Path().string());
    EXPECT_TRUE(Names(folder.Path()).empty());
}

// On a file system that cannot lock, files are written all the same, and no temporary file is taken
// for a leftover: one left behind is safer than a picture lost.
TEST(SafeFile, FileSystemWithoutLocks_WritesFiles_AndKeepsEveryTemporaryFile) {
    testing::TempDir folder;
    testing::RefusedLocks refused;
    Write(folder.File("a.png"), "picture");
    EXPECT_EQ(Content(folder.File("a.png")), "picture");
    TSafeFile writing(folder.File("b.png"));
    const std::string leftover = ".c.png.1-0.partial";
    Create(folder.File(leftover), "x");
    RemoveStaleTemporaryFiles(folder.Path().string());
    EXPECT_EQ(Sorted(Names(folder.Path())), Sorted({"a.png", NameOf(writing.TemporaryPath()), leftover}));
}

// A folder that cannot be flushed after the rename: the file is there under its name, whole, and the
// result says why it may not be safe on the disk yet rather than that it failed.
TEST(SafeFile, FolderFlushFailingAfterTheRename_KeepsTheFile_AndSaysItMayNotBeSafeYet) {
    testing::TempDir folder;
    const auto noOtherName = [](const std::string&) { return std::string(); };
    testing::FailFolderFsyncOf(folder.Path().string(), EIO);
    const WrittenFile written = WriteNewFile(folder.File("a.png"), Bytes("picture"), 7, noOtherName);
    const std::string replaced = ReplaceFile(folder.File("b.png"), Bytes("other"), 5);
    testing::ReleaseHangingFsync();
    EXPECT_EQ(written.path, folder.File("a.png"));
    EXPECT_EQ(written.folderNotFlushed, "the disk reported an error");
    EXPECT_EQ(replaced, "the disk reported an error");
    EXPECT_EQ(Content(folder.File("a.png")), "picture");
    EXPECT_EQ(Content(folder.File("b.png")), "other");
    EXPECT_EQ(Sorted(Names(folder.Path())), (std::vector<std::string>{"a.png", "b.png"}));
    EXPECT_EQ(WriteNewFile(folder.File("c.png"), Bytes("c"), 1, noOtherName).folderNotFlushed, "");
}

}  // namespace
}  // namespace flipbook
