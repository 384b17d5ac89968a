// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/graphics/stream.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/core/exception.h"
#include "platform/graphics/picture.h"
#include "support/failing_close.h"
#include "support/temp_dir.h"

namespace flipbook {
namespace {

std::string Message(const std::function<void()>& action) {
    try {
        action();
    } catch (const EStreamError& error) {
        return error.what();
    }
    return "(no error)";
}

std::string Contents(const std::string& path) {
    std::string bytes(std::filesystem::file_size(path), '\0');
    std::ifstream(path, std::ios::binary).read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

TEST(FileStream_Open, ReportsTheFrameworkMessages) {
    testing::TempDir folder;
    const std::string missing = folder.File("missing.png");
    EXPECT_EQ(Message([&] { FileStream(missing, FileMode::Read); }), "Cannot open file " + missing);
    EXPECT_EQ(Message([&] { FileStream(folder.Path().string(), FileMode::Read); }),
              "Cannot open file " + folder.Path().string());

    // A plain file where a folder should be: nobody, not even root, can create beneath it.
    const std::string notAFolder = folder.File("plain");
    std::ofstream(notAFolder) << "x";
    const std::string beneath = notAFolder + "/snap.png";
    EXPECT_EQ(Message([&] { FileStream(beneath, FileMode::Create); }), "Cannot create file " + beneath);
    EXPECT_EQ(Message([&] { FileStream(folder.File("no/such/folder.bmp"), FileMode::Create); }),
              "Cannot create file " + folder.File("no/such/folder.bmp"));
}

TEST(FileStream_Create, EmptiesAnExistingFileAndWritesThrough) {
    testing::TempDir folder;
    const std::string path = folder.File("a.bin");
    std::ofstream(path) << "old content that is longer";
    {
        FileStream stream(path, FileMode::Create);
        EXPECT_EQ(stream.Size(), 0);
        stream.WriteBuffer("abc", 3);
        EXPECT_EQ(stream.Position(), 3);
    }
    EXPECT_EQ(Contents(path), "abc");

    FileStream reader(path, FileMode::Read);
    FileStream secondReader(path, FileMode::Read);  // readers share the file
    char buffer[4] = {};
    EXPECT_EQ(reader.Seek(1, SeekOrigin::Begin), 1);
    EXPECT_EQ(reader.Remaining(), 2);
    EXPECT_EQ(reader.Read(buffer, 4), 2u);
    EXPECT_EQ(std::string(buffer, 2), "bc");
    EXPECT_EQ(Message([&] { FileStream(path, FileMode::Create); }), "Cannot create file " + path);
    EXPECT_EQ(Contents(path), "abc");  // a refused writer did not empty it
}

TEST(Stream_ReadBuffer, ShortReadRaisesStreamReadError) {
    MemoryStream memory(std::vector<std::uint8_t>{1, 2, 3});
    std::uint8_t buffer[4];
    EXPECT_EQ(Message([&] { memory.ReadBuffer(buffer, 4); }), "Stream read error");

    testing::TempDir folder;
    std::ofstream(folder.File("short")) << "12";
    FileStream file(folder.File("short"), FileMode::Read);
    EXPECT_EQ(Message([&] { file.ReadBuffer(buffer, 3); }), "Stream read error");

    const std::uint8_t bytes[] = {9, 8};
    ReadOnlyMemoryStream readOnly(bytes, sizeof bytes);
    readOnly.ReadBuffer(buffer, 2);
    EXPECT_EQ(buffer[1], 8);
    EXPECT_EQ(Message([&] { readOnly.WriteBuffer(bytes, 1); }), "Stream write error");
    EXPECT_EQ(Message([&] { readOnly.ReadBuffer(buffer, 1); }), "Stream read error");
}

TEST(MemoryStream_Write, ExtendsPastTheEndAndSeeksAreChecked) {
    MemoryStream stream;
    stream.Seek(2, SeekOrigin::End);
    stream.WriteBuffer("xy", 2);
    EXPECT_EQ(stream.Bytes(), (std::vector<std::uint8_t>{0, 0, 'x', 'y'}));
    EXPECT_EQ(stream.Seek(-1, SeekOrigin::Current), 3);
    EXPECT_EQ(stream.Remaining(), 1);
    EXPECT_THROW(stream.Seek(-5, SeekOrigin::End), EStreamError);
    stream.SetPosition(10);
    EXPECT_EQ(stream.Remaining(), 0);
    std::uint8_t byte = 0;
    EXPECT_EQ(stream.Read(&byte, 1), 0u);
}

// A picture whose save writes a little and then fails, as a codec with bad input would.
class FailingPicture : public Picture {
public:
    void LoadFromStream(Stream& stream) override { loaded = static_cast<int>(stream.Remaining()); }
    void SaveToStream(Stream& stream) const override {
        stream.WriteBuffer("part", 4);
        if (failWriting) throw EWriteError();
    }
    void AssignFromBitmap(const Bitmap&) override {}
    void AssignTo(Bitmap&) const override {}
    int Width() const override { return 0; }
    int Height() const override { return 0; }
    bool Empty() const override { return true; }
    void Draw(Canvas&, const Rect&) const override {}
    int loaded = -1;
    bool failWriting = true;
};

TEST(Picture_SaveToFile, ClosesTheFileAfterAFailure) {
    testing::TempDir folder;
    const std::string path = folder.File("broken.png");
    FailingPicture picture;
    EXPECT_THROW(picture.SaveToFile(path), EWriteError);
    EXPECT_EQ(Contents(path), "part");
    // Closed and unlocked: it can be created again and read.
    EXPECT_THROW(picture.SaveToFile(path), EWriteError);
    picture.LoadFromFile(path);
    EXPECT_EQ(picture.loaded, 4);
    EXPECT_EQ(Message([&] { picture.LoadFromFile(folder.File("gone.png")); }),
              "Cannot open file " + folder.File("gone.png"));
}

TEST(Picture_SaveToFile, FailsWhenTheCloseReportsAWriteError) {
    testing::TempDir folder;
    const std::string path = folder.File("snap.png");
    FailingPicture picture;
    picture.failWriting = false;
    testing::FailNextCloseOf(path);
    EXPECT_EQ(Message([&] { picture.SaveToFile(path); }), "Stream write error");
    picture.SaveToFile(path);  // nothing of the failed save is left open or locked

    // Closing a file that was only read loses nothing, and a second close does nothing.
    FileStream reader(path, FileMode::Read);
    testing::FailNextCloseOf(path);
    reader.Close();
    reader.Close();
}

TEST(PictureRegistry, KeepsTheFirstDescriptionOfAnExtension) {
    RegisterPictureFormat({".tst", "Test picture"});
    RegisterPictureFormat({"TST", "Another"});
    int found = 0;
    for (const PictureFormat& format : RegisteredPictureFormats()) {
        if (format.extension != "TST") continue;
        ++found;
        EXPECT_EQ(format.description, "Test picture");
    }
    EXPECT_EQ(found, 1);
}

}  // namespace
}  // namespace flipbook
