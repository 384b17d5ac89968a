#include "snapshots/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

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

void Write(const std::string& path, const std::string& text) {
    WriteFileAtomically(path, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
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

TEST(AtomicFile, WritesTheWholeFile_AndReplacesAnOldOne) {
    testing::TempDir folder;
    Write(folder.File("a.png"), "old");
    Write(folder.File("a.png"), std::string(100000, 'n'));
    EXPECT_EQ(Content(folder.File("a.png")), std::string(100000, 'n'));
    EXPECT_EQ(Names(folder.Path()), std::vector<std::string>{"a.png"});
}

TEST(AtomicFile, FullDisk_KeepsWhatWasThere_LeavesNoTemporaryFile_AndSaysWhy) {
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

TEST(AtomicFile, VanishedFolder_SaysTheFolderIsGone) {
    testing::TempDir folder;
    const std::string path = folder.File("gone") + "/a.png";
    try {
        Write(path, "x");
        FAIL() << "a write into a missing folder succeeded";
    } catch (const ESaveError& error) {
        EXPECT_STREQ(error.what(), "the folder is gone");
    }
}

}  // namespace
}  // namespace flipbook
