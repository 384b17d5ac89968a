// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/library/picture_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/graphics/bitmap.h"
#include "support/fake_desktop.h"
#include "support/temp_dir.h"

namespace flipbook {
namespace {

using testing::FakeDesktop;
using testing::TempDir;

std::vector<unsigned char> FileBytes(const std::string& path) {
    std::ifstream input(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(input), std::istreambuf_iterator<char>()};
}

bool StartsWith(const std::vector<unsigned char>& bytes, const std::vector<unsigned char>& prefix) {
    return bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

const std::vector<unsigned char> kPngSignature{0x89, 'P', 'N', 'G'};
const std::vector<unsigned char> kJpegSignature{0xFF, 0xD8};
const std::vector<unsigned char> kBmpSignature{'B', 'M'};

// A 24-bit picture with a different colour in every pixel, so a lossless round trip shows.
Bitmap Gradient(int width, int height) {
    Bitmap bitmap;
    bitmap.SetPixelFormat(PixelFormat::Bit24);
    bitmap.SetSize(width, height);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bitmap.ScanLine(y);
        for (int x = 0; x < width; ++x) {
            row[3 * x] = static_cast<std::uint8_t>(x * 7);
            row[3 * x + 1] = static_cast<std::uint8_t>(y * 11);
            row[3 * x + 2] = static_cast<std::uint8_t>(x + y);
        }
    }
    return bitmap;
}

class PictureFilesTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (HasFailure()) folder.Keep();
    }
    TempDir folder;
    FakeDesktop desktop;
};

TEST(UpperCaseExtension, TakesTheFileNamesLastDotOn) {
    EXPECT_EQ(UpperCaseExtension("/a/b/snap-1.Png"), ".PNG");
    EXPECT_EQ(UpperCaseExtension("/a/b/archive.tar.jpg"), ".JPG");
    EXPECT_EQ(UpperCaseExtension("/a/b.d/name"), "");
    EXPECT_EQ(UpperCaseExtension("name"), "");
    EXPECT_EQ(UpperCaseExtension("/a/name."), ".");
}

TEST_F(PictureFilesTest, SavePicture_ChoosesTheCodecByExtension_InAnyCase) {
    const Bitmap picture = Gradient(5, 3);
    struct Case {
        const char* name;
        const std::vector<unsigned char>& signature;
    };
    const Case cases[] = {{"a.png", kPngSignature},  {"b.PNG", kPngSignature},  {"c.Png", kPngSignature},
                          {"d.jpg", kJpegSignature}, {"e.JPG", kJpegSignature}, {"f.jpeg", kBmpSignature},
                          {"g.gif", kBmpSignature},  {"h.bmp", kBmpSignature},  {"i.x", kBmpSignature}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(SavePicture(&picture, folder.File(c.name)));
        EXPECT_TRUE(StartsWith(FileBytes(folder.File(c.name)), c.signature));
        EXPECT_EQ(desktop.cursor, Desktop::Cursor::Default);
    }
}

TEST_F(PictureFilesTest, LoadPicture_ReadsBackWhatWasSaved_InEveryFormat) {
    const Bitmap picture = Gradient(17, 9);
    for (const char* name : {"lossless.png", "lossless.bmp", "lossless.jpeg", "lossy.jpg"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(SavePicture(&picture, folder.File(name)));
        Bitmap loaded;
        ASSERT_TRUE(LoadPicture(&loaded, folder.File(name)));
        ASSERT_EQ(loaded.Width(), 17);
        ASSERT_EQ(loaded.Height(), 9);
        loaded.SetPixelFormat(PixelFormat::Bit24);
        const bool lossy = std::string(name) == "lossy.jpg";
        for (int y = 0; y < 9; ++y) {
            for (int x = 0; x < 17; ++x) {
                const Rgb expected = picture.PixelColor(x, y);
                const Rgb actual = loaded.PixelColor(x, y);
                if (lossy) {
                    EXPECT_NEAR(actual.red, expected.red, 40) << x << "," << y;
                } else {
                    ASSERT_EQ(actual, expected) << x << "," << y;
                }
            }
        }
    }
}

TEST_F(PictureFilesTest, NameWithoutDot_FailsBeforeTheCursorChanges) {
    struct CursorWatchingDesktop : FakeDesktop {
        void SetScreenCursor(Cursor newCursor) override {
            ++cursorChanges;
            FakeDesktop::SetScreenCursor(newCursor);
        }
        int cursorChanges = 0;
    } watching;
    const Bitmap picture = Gradient(2, 2);
    EXPECT_FALSE(SavePicture(&picture, folder.File("no-extension")));
    EXPECT_EQ(watching.cursorChanges, 0);
    EXPECT_FALSE(std::filesystem::exists(folder.File("no-extension")));
    EXPECT_FALSE(SavePicture(nullptr, folder.File("x.png")));
    EXPECT_EQ(watching.cursorChanges, 0);

    EXPECT_TRUE(SavePicture(&picture, folder.File("x.png")));
    EXPECT_EQ(watching.cursorChanges, 2);  // busy, then back
}

TEST_F(PictureFilesTest, FailedSave_RestoresTheCursor_AndReportsFailure) {
    const Bitmap picture = Gradient(2, 2);
    for (const char* name : {"missing/x.png", "missing/x.jpg", "missing/x.bmp"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(SavePicture(&picture, folder.File(name)));
        EXPECT_EQ(desktop.cursor, Desktop::Cursor::Default);
    }
    // A busy cursor set by someone else before the save is what comes back.
    desktop.cursor = Desktop::Cursor::Busy;
    EXPECT_FALSE(SavePicture(&picture, folder.File("missing/y.png")));
    EXPECT_EQ(desktop.cursor, Desktop::Cursor::Busy);
}

TEST_F(PictureFilesTest, CorruptFiles_LoadAsFailure_AndLeaveTheTargetUntouched) {
    for (const char* name : {"corrupt.png", "corrupt.jpg", "corrupt.bmp"}) {
        SCOPED_TRACE(name);
        std::ofstream(folder.File(name), std::ios::binary) << "this is not a picture at all";
        Bitmap target = Gradient(3, 2);
        EXPECT_FALSE(LoadPicture(&target, folder.File(name)));
        EXPECT_EQ(target.Width(), 3);
        EXPECT_EQ(target.PixelColor(1, 1), Gradient(3, 2).PixelColor(1, 1));
    }
    Bitmap target;
    EXPECT_FALSE(LoadPicture(&target, folder.File("absent.png")));
    EXPECT_FALSE(LoadPicture(nullptr, folder.File("corrupt.png")));
    EXPECT_FALSE(LoadPicture(&target, folder.File("corrupt")));
}

}  // namespace
}  // namespace flipbook
