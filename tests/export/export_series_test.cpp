// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/export_series.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

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
// "tiny-N" one of 6 x 4 pixels, "sliver" one of 1 x 2000; "broken" cannot be read.
bool MakePicture(Bitmap& target, const std::string& name) {
    if (name == "broken") return false;
    const bool tall = name.rfind("tall-", 0) == 0;
    const bool tiny = name.rfind("tiny-", 0) == 0;
    const bool sliver = name == "sliver";
    const Rgb color = ColorOf(std::atoi(name.c_str() + (tall || tiny ? 5 : 0)));
    target = Bitmap();
    target.SetSize(tall ? 60 : tiny ? 6 : sliver ? 1 : kWidth, tiny ? 4 : sliver ? 2000 : kHeight);
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

// The encoders take nothing smaller than 16 pixels a side ("Internal data stream error." before): such
// pictures are scaled up with their proportions kept.
TEST_P(ExportSeriesTest, ExportSeries_PicturesSmallerThanTheEncodersTake_AreScaledUp) {
    const SeriesExport job = Job({"tiny-0", "tiny-1", "tiny-2"}, std::string("tiny.") + GetParam());
    ASSERT_EQ(ExportSeries(job), ExportOutcome::Written);
    const testing::DecodedVideo video = testing::DecodeVideo(job.output.string());
    ASSERT_EQ(video.error, "");
    EXPECT_EQ(video.width, 24);
    EXPECT_EQ(video.height, 16);
    ASSERT_EQ(video.frames.size(), 3u);
    for (std::size_t frame = 0; frame < 3; ++frame)
        EXPECT_TRUE(Near(video.Pixel(frame, 12, 8), ColorOf(static_cast<int>(frame)))) << "frame " << frame;
}

// With the unreadable pictures held, each takes the picture before it (the first ones, the first
// that can be read), so the video keeps its length and timing; without, one ends the export.
TEST_P(ExportSeriesTest, ExportSeries_UnreadablePicturesHeld_ThePictureBeforeStandsInTheirPlace) {
    SeriesExport job = Job({"broken", "1", "2", "broken", "4"}, std::string("held.") + GetParam());
    std::vector<std::string> held;
    job.holdUnreadable = [&held](const std::string& picture) {
        held.push_back(picture);
        return true;
    };
    ASSERT_EQ(ExportSeries(job), ExportOutcome::Written);
    EXPECT_EQ(held, (std::vector<std::string>{"broken", "broken"}));
    const testing::DecodedVideo video = testing::DecodeVideo(job.output.string());
    ASSERT_EQ(video.error, "");
    ASSERT_EQ(video.frames.size(), 5u);
    const int shown[] = {1, 1, 2, 2, 4};
    for (std::size_t frame = 0; frame < 5; ++frame)
        EXPECT_TRUE(Near(video.Pixel(frame, kWidth / 2, kHeight / 2), ColorOf(shown[frame])))
            << "frame " << frame;

    job = Job({"broken", "broken"}, std::string("none.") + GetParam());
    job.holdUnreadable = [](const std::string&) { return true; };
    try {
        ExportSeries(job);
        ADD_FAILURE() << "a series without a readable picture has nothing to show";
    } catch (const EExportError& error) {
        EXPECT_STREQ(error.what(), "None of the pictures can be read");
    }
    job = Job({"0", "broken", "2"}, std::string("refused.") + GetParam());
    job.holdUnreadable = [](const std::string&) { return false; };
    EXPECT_THROW(ExportSeries(job), EExportError);
    EXPECT_EQ(FilesInFolder(), 1u) << "only the video with the held pictures";
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

// A failure inside the pipeline keeps GStreamer's details, which say where and why; its message alone
// ("Internal data stream error.") says neither. A picture 1 pixel wide scales up past what the H.264
// encoder takes.
TEST(VideoWriter, PipelineFailure_KeepsGStreamersDetails) {
    testing::TempDir folder;
    SeriesExport job;
    job.pictures = {"sliver"};
    job.output = folder.Path() / "sliver.mp4";
    job.load = MakePicture;
    try {
        ExportSeries(job);
        ADD_FAILURE() << "16 x 32000 pixels is more than the encoder takes";
    } catch (const EExportError& error) {
        const std::string message = error.what();
        EXPECT_EQ(message.rfind("Cannot write the video " + job.output.string() + ": ", 0), 0u) << message;
        EXPECT_NE(message.find("x264enc"), std::string::npos) << message;
    }
    EXPECT_TRUE(std::filesystem::is_empty(folder.Path()));
}

TEST(VideoWriter, NamesTheFileItCannotCreate_AndRefusesOtherContainers) {
    testing::TempDir folder;
    const std::filesystem::path output = folder.Path() / "missing-folder" / "video.mp4";
    try {
        TVideoWriter writer(output, VideoFormat::Mp4H264, 12, 64, 48);
        ADD_FAILURE() << "a folder that does not exist cannot take the video";
    } catch (const EExportError& error) {
        EXPECT_EQ(error.what(), "Cannot create file " + output.string() + ": the folder is gone");
    }
    EXPECT_THROW(VideoFormatOf("video.avi"), EExportError);
    EXPECT_EQ(VideoFormatOf("VIDEO.MP4"), VideoFormat::Mp4H264);
    EXPECT_EQ(VideoFormatOf("a.WebM"), VideoFormat::WebMVp9);
}

}  // namespace
}  // namespace flipbook
