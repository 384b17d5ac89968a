// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/export_series.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "export/video_writer.h"
#include "platform/graphics/bitmap.h"
#include "support/temp_dir.h"
#include "support/video_decode.h"

namespace flipbook {
namespace {

constexpr int kWidth = 161;  // odd on purpose: the encoders take even sizes only
constexpr int kHeight = 121;

Rgb ColorOf(int index) {
    return {static_cast<std::uint8_t>(40 * (index % 6) + 20), static_cast<std::uint8_t>(index % 2 ? 220 : 30),
            static_cast<std::uint8_t>(255 - 30 * (index % 8))};
}

// Pictures made in memory: "N" is a picture of colour N of the series' size, "tall-N" a narrower one,
// "broken" cannot be read.
bool MakePicture(Bitmap& target, const std::string& name) {
    if (name == "broken") return false;
    const bool tall = name.rfind("tall-", 0) == 0;
    const Rgb color = ColorOf(std::atoi(name.c_str() + (tall ? 5 : 0)));
    target = Bitmap();
    target.SetSize(tall ? 60 : kWidth, kHeight);
    for (int y = 0; y < target.Height(); ++y) {
        std::uint8_t* row = target.ScanLine(y);
        for (int x = 0; x < target.Width(); ++x) {
            row[x * 3] = color.blue;
            row[x * 3 + 1] = color.green;
            row[x * 3 + 2] = color.red;
        }
    }
    return true;
}

bool Near(const std::uint8_t* pixel, Rgb color) {
    constexpr int kLossy = 40;
    return std::abs(pixel[0] - color.blue) < kLossy && std::abs(pixel[1] - color.green) < kLossy &&
           std::abs(pixel[2] - color.red) < kLossy;
}

class ExportSeriesTest : public ::testing::TestWithParam<const char*> {
protected:
    void TearDown() override {
        if (HasFailure()) folder_.Keep();
    }
    SeriesExport Job(std::vector<std::string> pictures, const std::string& name) {
        SeriesExport job;
        job.pictures = std::move(pictures);
        job.output = folder_.Path() / name;
        job.framesPerSecond = 8;
        job.load = MakePicture;
        return job;
    }
    std::size_t FilesInFolder() const {
        return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder_.Path()),
                                                      std::filesystem::directory_iterator()));
    }
    testing::TempDir folder_;
};

TEST_P(ExportSeriesTest, ExportSeries_DecodesBackFrameForFrame_OddSizeEvenedAndOtherSizesLetterboxed) {
    std::vector<std::string> pictures;
    for (int index = 0; index < 11; ++index) pictures.push_back(std::to_string(index));
    pictures.push_back("tall-11");
    std::vector<std::size_t> progress;
    SeriesExport job = Job(pictures, std::string("series.") + GetParam());
    job.progress = [&progress](std::size_t done, std::size_t total) {
        EXPECT_EQ(total, 12u);
        progress.push_back(done);
    };
    ASSERT_EQ(ExportSeries(job), ExportOutcome::Written);
    EXPECT_EQ(progress.size(), 12u);
    EXPECT_EQ(progress.back(), 12u);
    EXPECT_EQ(FilesInFolder(), 1u) << "no temporary file stays beside the video";

    const testing::DecodedVideo video = testing::DecodeVideo(job.output.string());
    ASSERT_EQ(video.error, "");
    EXPECT_EQ(video.width, kWidth + 1);
    EXPECT_EQ(video.height, kHeight + 1);
    ASSERT_EQ(video.frames.size(), 12u);
    const std::int64_t frameTime = GST_SECOND / 8;
    EXPECT_NEAR(static_cast<double>(video.durationNanoseconds), 12.0 * frameTime, frameTime);
    for (std::size_t frame = 0; frame < 12; ++frame)
        EXPECT_TRUE(Near(video.Pixel(frame, kWidth / 2, kHeight / 2), ColorOf(static_cast<int>(frame))))
            << "frame " << frame;
    // The narrower picture fills the height, centred between black bars.
    EXPECT_TRUE(Near(video.Pixel(11, 8, kHeight / 2), {0, 0, 0}));
    EXPECT_TRUE(Near(video.Pixel(11, kWidth - 8, kHeight / 2), {0, 0, 0}));
    EXPECT_TRUE(Near(video.Pixel(11, kWidth / 2, 4), ColorOf(11)));
}

TEST_P(ExportSeriesTest, ExportSeries_CancelledOrFailed_LeavesNoFile) {
    std::atomic<bool> cancel{false};
    SeriesExport job = Job({"0", "1", "2", "3", "4", "5"}, std::string("cancelled.") + GetParam());
    job.cancel = &cancel;
    job.progress = [&cancel](std::size_t done, std::size_t) {
        if (done == 3) cancel = true;
    };
    EXPECT_EQ(ExportSeries(job), ExportOutcome::Cancelled);
    EXPECT_EQ(FilesInFolder(), 0u);

    job = Job({"0", "1", "broken", "3"}, std::string("failed.") + GetParam());
    try {
        ExportSeries(job);
        ADD_FAILURE() << "a picture that cannot be read fails the export";
    } catch (const EExportError& error) {
        EXPECT_STREQ(error.what(), "Cannot read the picture broken");
    }
    EXPECT_EQ(FilesInFolder(), 0u);
}

// Each export writes under a temporary name of its own, so two at once to one output leave one whole
// video and nothing else, rather than two writers in one file.
TEST_P(ExportSeriesTest, ExportSeries_TwoAtOnceToOneOutput_LeaveOneWholeVideo) {
    std::vector<std::string> pictures;
    for (int index = 0; index < 8; ++index) pictures.push_back(std::to_string(index));
    const SeriesExport job = Job(pictures, std::string("shared.") + GetParam());
    std::string failures[2];
    std::thread exports[2];
    for (int which = 0; which < 2; ++which)
        exports[which] = std::thread([&job, &failures, which] {
            try {
                if (ExportSeries(job) != ExportOutcome::Written) failures[which] = "cancelled";
            } catch (const std::exception& error) {
                failures[which] = error.what();
            }
        });
    for (std::thread& running : exports) running.join();
    EXPECT_EQ(failures[0], "");
    EXPECT_EQ(failures[1], "");
    EXPECT_EQ(FilesInFolder(), 1u);
    const testing::DecodedVideo video = testing::DecodeVideo(job.output.string());
    ASSERT_EQ(video.error, "");
    ASSERT_EQ(video.frames.size(), 8u);
    for (std::size_t frame = 0; frame < 8; ++frame)
        EXPECT_TRUE(Near(video.Pixel(frame, kWidth / 2, kHeight / 2), ColorOf(static_cast<int>(frame))));
}

INSTANTIATE_TEST_SUITE_P(Containers, ExportSeriesTest, ::testing::Values("mp4", "webm"));

TEST(VideoWriter, NamesTheFileItCannotCreate_AndRefusesOtherContainers) {
    testing::TempDir folder;
    const std::filesystem::path output = folder.Path() / "missing-folder" / "video.mp4";
    try {
        TVideoWriter writer(output, VideoFormat::Mp4H264, 12, 64, 48);
        ADD_FAILURE() << "a folder that does not exist cannot take the video";
    } catch (const EExportError& error) {
        EXPECT_EQ(error.what(), "Cannot create file " + output.string());
    }
    EXPECT_THROW(VideoFormatOf("video.avi"), EExportError);
    EXPECT_EQ(VideoFormatOf("VIDEO.MP4"), VideoFormat::Mp4H264);
    EXPECT_EQ(VideoFormatOf("a.WebM"), VideoFormat::WebMVp9);
}

}  // namespace
}  // namespace flipbook
