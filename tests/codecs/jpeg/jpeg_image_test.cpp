// SPDX-License-Identifier: GPL-3.0-or-later
#include "codecs/jpeg/jpeg_image.h"

#include <gtest/gtest.h>
#include <jerror.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "codecs/jpeg/jpeg_session.h"
#include "codecs/jpeg/jpeg_test_support.h"
#include "support/temp_dir.h"

namespace flipbook {
namespace {

using testing::CorpusPath;
using testing::ReadBytes;

std::vector<std::uint8_t> CorpusBytes(const std::string& name) {
    return ReadBytes(CorpusPath("jpeg/" + name));
}

void LoadBytes(TJPEGImage& image, std::vector<std::uint8_t> bytes) {
    MemoryStream stream(std::move(bytes));
    image.LoadFromStream(stream);
}

// A stream whose size promises more bytes than it delivers.
class ShortStream : public MemoryStream {
public:
    using MemoryStream::MemoryStream;
    std::int64_t Size() const override { return MemoryStream::Size() + 10; }
};

int ErrorCodeOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const EJPEG& error) {
        EXPECT_EQ(std::string(error.what()), "JPEG error #" + std::to_string(error.MessageCode()));
        return error.MessageCode();
    }
    return -1;
}

TEST(TJPEGImage_Load, ReadsOnlyTheHeaderFromThePositionToTheEnd) {
    auto file = CorpusBytes("progressive.jpg");
    std::vector<std::uint8_t> framed{'x', 'y', 'z'};
    framed.insert(framed.end(), file.begin(), file.end());
    MemoryStream stream(framed);
    stream.SetPosition(3);
    TJPEGImage image;
    int changes = 0;
    image.OnChange = [&] { ++changes; };

    image.LoadFromStream(stream);

    EXPECT_EQ(image.Width(), 500);
    EXPECT_EQ(image.Height(), 313);
    EXPECT_FALSE(image.HasCachedBitmap());
    EXPECT_EQ(image.Data().data->Bytes(), file);
    EXPECT_TRUE(image.Settings().progressiveEncoding);
    EXPECT_TRUE(image.PaletteModified());
    EXPECT_EQ(changes, 1);
    EXPECT_FALSE(image.Empty());
}

TEST(TJPEGImage_Load, FailsForANonJpegAndKeepsTheBytesWithoutASize) {
    TJPEGImage image;
    const std::vector<std::uint8_t> text{'B', 'M', 'n', 'o', 't', ' ', 'a', ' ', 'J', 'P', 'E', 'G'};
    EXPECT_EQ(ErrorCodeOf([&] { LoadBytes(image, text); }), JERR_NO_SOI);
    EXPECT_EQ(image.Width(), 0);
    EXPECT_EQ(image.Height(), 0);
    ASSERT_TRUE(image.HasJPEGForm());
    EXPECT_EQ(image.Data().data->Bytes(), text);
    EXPECT_FALSE(image.HasCachedBitmap());
}

TEST(TJPEGImage_Load, EmptyFileLoadsButDecodingFailsWithEmptyInputEveryTime) {
    testing::TempDir folder;
    std::ofstream(folder.File("empty.jpg")).close();
    TJPEGImage image;
    image.LoadFromFile(folder.File("empty.jpg"));
    EXPECT_TRUE(image.HasJPEGForm());

    Bitmap bitmap;
    EXPECT_EQ(ErrorCodeOf([&] { image.AssignTo(bitmap); }), JERR_INPUT_EMPTY);
    // The failure stays a failure: a second request does not hand out the empty picture.
    EXPECT_EQ(ErrorCodeOf([&] { image.AssignTo(bitmap); }), JERR_INPUT_EMPTY);
    EXPECT_TRUE(bitmap.Empty());
}

TEST(TJPEGImage_Load, StreamShorterThanItsSizeIsAReadError) {
    ShortStream stream(CorpusBytes("tiny_1x1.jpg"));
    TJPEGImage image;
    EXPECT_THROW(image.LoadFromStream(stream), EReadError);
}

TEST(TJPEGImage_Load, MissingFileIsAnOpenError) {
    TJPEGImage image;
    EXPECT_THROW(image.LoadFromFile("/nonexistent/folder/picture.jpg"), EFOpenError);
}

TEST(TJPEGImage_Size, CannotBeSetAndFollowsTheCachedBitmap) {
    TJPEGImage image;
    EXPECT_TRUE(image.Empty());
    EXPECT_EQ(image.Width(), 0);
    try {
        image.SetWidth(10);
        FAIL() << "SetWidth returned";
    } catch (const EInvalidGraphicOperation& error) {
        EXPECT_STREQ(error.what(), "Cannot change the size of a JPEG image");
    }
    EXPECT_THROW(image.SetHeight(10), EInvalidGraphicOperation);

    image.AssignFromBitmap(testing::MakeGradientBitmap(21, 7));
    EXPECT_EQ(image.Width(), 21);
    EXPECT_EQ(image.Height(), 7);
    EXPECT_FALSE(image.Empty());
    EXPECT_FALSE(image.HasJPEGForm());
}

TEST(TJPEGImage_Assign, SharesTheJpegFormAndCopiesTheCachedBitmap) {
    TJPEGImage first;
    LoadBytes(first, CorpusBytes("odd_17x13.jpg"));
    TJPEGImage second;
    second.AssignFromBitmap(testing::MakeGradientBitmap(4, 4));

    second.Assign(first);
    EXPECT_EQ(&second.Data(), &first.Data());
    EXPECT_FALSE(second.HasCachedBitmap());

    const Bitmap& decoded = first.GetBitmap();
    TJPEGImage third;
    third.Assign(first);
    ASSERT_TRUE(third.HasCachedBitmap());
    EXPECT_NE(&third.GetBitmap(), &decoded);
    EXPECT_EQ(third.GetBitmap().PixelColor(16, 12), decoded.PixelColor(16, 12));
}

TEST(TJPEGImage_AssignTo, HandsTheDecodedPictureOverWithoutKeepingACopy) {
    TJPEGImage image;
    LoadBytes(image, CorpusBytes("odd_17x13.jpg"));
    Bitmap bitmap;
    image.AssignTo(bitmap);
    EXPECT_EQ(bitmap.Width(), 17);
    EXPECT_FALSE(image.HasCachedBitmap());

    // A picture already decoded, for drawing, stays cached and the target gets a copy.
    const Bitmap& cached = image.GetBitmap();
    Bitmap second;
    image.AssignTo(second);
    EXPECT_NE(second.Pixels(), cached.Pixels());
    EXPECT_EQ(second.PixelColor(16, 12), bitmap.PixelColor(16, 12));
}

TEST(TJPEGImage_Progress, SignalsStartAndEndAroundEachConversion) {
    TJPEGImage image;
    std::vector<std::pair<ProgressStage, int>> events;
    image.OnProgress = [&](ProgressStage stage, int percent, bool, const Rect&) {
        events.emplace_back(stage, percent);
    };
    image.AssignFromBitmap(testing::MakeGradientBitmap(40, 30));
    MemoryStream saved;
    image.SaveToStream(saved);
    TJPEGImage loaded;
    loaded.OnProgress = image.OnProgress;
    saved.SetPosition(0);
    loaded.LoadFromStream(saved);
    EXPECT_EQ(events.size(), 2U);  // loading reads only the header, without progress
    Bitmap bitmap;
    loaded.AssignTo(bitmap);

    ASSERT_EQ(events.size(), 4U);
    EXPECT_EQ(events.front(), std::make_pair(ProgressStage::Starting, 0));
    EXPECT_EQ(events[1], std::make_pair(ProgressStage::Ending, 100));
    EXPECT_EQ(events[2], std::make_pair(ProgressStage::Starting, 0));
    EXPECT_EQ(events[3], std::make_pair(ProgressStage::Ending, 100));
}

TEST(TJPEGImage_Progress, SilentAbortStopsWithoutErrorAndOtherErrorsPassOn) {
    TJPEGImage image;
    image.AssignFromBitmap(testing::MakeGradientBitmap(40, 30));
    image.OnProgress = [](ProgressStage stage, int, bool, const Rect&) {
        if (stage == ProgressStage::Starting) throw EAbort();
    };
    MemoryStream saved;
    EXPECT_NO_THROW(image.SaveToStream(saved));
    EXPECT_EQ(saved.Size(), 0);
    EXPECT_FALSE(image.HasJPEGForm());

    TJPEGImage loaded;
    LoadBytes(loaded, CorpusBytes("baseline_q90.jpg"));
    loaded.OnProgress = image.OnProgress;
    Bitmap bitmap;
    EXPECT_NO_THROW(loaded.AssignTo(bitmap));

    std::vector<ProgressStage> stages;
    TJPEGImage failing;
    LoadBytes(failing, CorpusBytes("baseline_q90.jpg"));
    failing.OnProgress = [&](ProgressStage stage, int percent, bool, const Rect&) {
        stages.push_back(stage);
        if (stage == ProgressStage::Starting) throw std::runtime_error("handler failed");
        EXPECT_EQ(percent, 0);
    };
    EXPECT_THROW(failing.AssignTo(bitmap), std::runtime_error);
    EXPECT_EQ(stages, (std::vector{ProgressStage::Starting, ProgressStage::Ending}));
}

// A clock that moves a second on every reading, so every call of the progress monitor reports.
class TJPEGImage_FastClock : public ::testing::Test {
protected:
    static std::uint64_t Tick() { return now += 1000; }
    void SetUp() override { jpeg_detail::SetTickSource(Tick); }
    void TearDown() override { jpeg_detail::SetTickSource(nullptr); }
    static inline std::uint64_t now = 0;
};

TEST_F(TJPEGImage_FastClock, DecodingReportsRisingPercentagesAndBandsThatTileThePicture) {
    TJPEGImage image;
    LoadBytes(image, CorpusBytes("baseline_q90.jpg"));
    int lastPercent = 0;
    int nextRow = 0;
    int reports = 0;
    image.OnProgress = [&](ProgressStage stage, int percent, bool redrawNow, const Rect& band) {
        if (stage != ProgressStage::Running) return;
        ++reports;
        EXPECT_GT(percent, lastPercent);
        EXPECT_LE(percent, 100);
        lastPercent = percent;
        EXPECT_EQ(band.top, nextRow);
        EXPECT_EQ(band.left, 0);
        EXPECT_EQ(band.right, 500);
        EXPECT_EQ(redrawNow, band.Height() > 3);
        nextRow = band.bottom;
    };
    image.GetBitmap();
    EXPECT_GT(reports, 10);
    EXPECT_GT(nextRow, 250);
}

TEST_F(TJPEGImage_FastClock, AbortWhileDecodingKeepsTheRowsDecodedSoFar) {
    TJPEGImage image;
    LoadBytes(image, CorpusBytes("baseline_q90.jpg"));
    int stopAt = 0;
    image.OnProgress = [&](ProgressStage stage, int, bool, const Rect& band) {
        if (stage == ProgressStage::Running && band.bottom > 100) {
            stopAt = band.bottom;
            throw EAbort();
        }
    };
    Bitmap bitmap;
    ASSERT_NO_THROW(image.AssignTo(bitmap));
    ASSERT_EQ(bitmap.Height(), 313);
    const auto reference = testing::ReadPng(CorpusPath("jpeg/ref/baseline_q90.png"));
    const Rgb decoded = bitmap.PixelColor(250, stopAt - 1);
    const std::uint8_t* expected = &reference.samples[((stopAt - 1) * 500 + 250) * 3];
    EXPECT_EQ(decoded, (Rgb{expected[0], expected[1], expected[2]}));
    EXPECT_EQ(bitmap.PixelColor(250, 312), kBlack) << "rows below the abort stay as made";
}

TEST_F(TJPEGImage_FastClock, AbortWhileCompressingLeavesNoJpegForm) {
    TJPEGImage image;
    image.AssignFromBitmap(testing::MakeGradientBitmap(64, 256));
    image.OnProgress = [](ProgressStage stage, int, bool, const Rect& band) {
        EXPECT_EQ(band, Rect{});
        if (stage == ProgressStage::Running) throw EAbort();
    };
    MemoryStream saved;
    image.SaveToStream(saved);
    EXPECT_EQ(saved.Size(), 0);
    EXPECT_FALSE(image.HasJPEGForm());

    // Any other exception from the handler leaves the library and reaches the caller unchanged.
    image.OnProgress = [](ProgressStage stage, int, bool, const Rect&) {
        if (stage == ProgressStage::Running) throw std::logic_error("handler");
    };
    EXPECT_THROW(image.SaveToStream(saved), std::logic_error);
    EXPECT_FALSE(image.HasJPEGForm());
}

TEST(TJPEGImage_Persistence, WritesLengthAndFormAndReadsThemBack) {
    TJPEGImage image;
    MemoryStream container;
    image.WriteData(container);
    EXPECT_EQ(container.Bytes(), std::vector<std::uint8_t>(4, 0));

    const auto file = CorpusBytes("tiny_1x1.jpg");
    LoadBytes(image, file);
    container.Clear();
    image.WriteData(container);
    container.Write("tail", 4);
    container.SetPosition(0);
    TJPEGImage copy;
    copy.ReadData(container);
    EXPECT_EQ(copy.Data().data->Bytes(), file);
    EXPECT_EQ(copy.Width(), 1);
    EXPECT_EQ(container.Position(), static_cast<std::int64_t>(4 + file.size()));

    // A length beyond the container's end is refused before anything is allocated for it.
    MemoryStream bogus(std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0xD8});
    EXPECT_THROW(copy.ReadData(bogus), EReadError);
}

TEST(TJPEGImage_Registry, RegistersBothExtensions) {
    int found = 0;
    for (const PictureFormat& format : RegisteredPictureFormats()) {
        if (format.extension == "JPEG" || format.extension == "JPG") {
            EXPECT_EQ(format.description, "JPEG Image File");
            ++found;
        }
    }
    EXPECT_EQ(found, 2);
}

TEST(TJPEGDefaults, PickEightBitOutputForScreensOfAtMostEightBits) {
    const TJPEGSettings saved = JPEGDefaults();
    SetJPEGDefaultsForScreen(8, 1);
    EXPECT_EQ(TJPEGImage().Settings().pixelFormat, JPEGPixelFormat::Bit8);
    SetJPEGDefaultsForScreen(4, 4);
    EXPECT_EQ(TJPEGImage().Settings().pixelFormat, JPEGPixelFormat::Bit24);
    JPEGDefaults() = saved;
    const TJPEGImage image;
    EXPECT_EQ(image.Settings().compressionQuality, 90);
    EXPECT_TRUE(image.Settings().smoothing);
}

}  // namespace
}  // namespace flipbook
