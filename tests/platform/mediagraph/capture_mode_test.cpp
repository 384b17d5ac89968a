// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/mediagraph/capture_mode.h"

#include <gtest/gtest.h>

namespace flipbook {
namespace {

CaptureMode Raw(int width, int height, int rate) {
    return {"YUY2", false, width, height, rate, 1};
}
CaptureMode Jpeg(int width, int height, int rate, int rateDenominator = 1) {
    return {"image/jpeg", true, width, height, rate, rateDenominator};
}

struct ModeCase {
    const char* camera;
    std::vector<CaptureMode> modes;
    std::size_t expected;
};

// Mode tables as common cameras publish them, largest first and in the opposite order.
TEST(ChooseCaptureMode, TakesTheLargestLivePicture_ElseTheFastestLargest_RawAtEqualSizeAndRate) {
    const ModeCase cases[] = {
        {"1080p webcam, raw first",
         {Raw(640, 480, 30), Raw(1280, 720, 10), Raw(1920, 1080, 5), Jpeg(640, 480, 30), Jpeg(1280, 720, 30),
          Jpeg(1920, 1080, 30)},
         5},
        {"1080p webcam, largest first",
         {Raw(2304, 1536, 2), Raw(1920, 1080, 5), Jpeg(1920, 1080, 30), Raw(160, 90, 30), Jpeg(160, 90, 30)},
         2},
        {"4K webcam: live 4K only compressed",
         {Jpeg(3840, 2160, 30), Raw(3840, 2160, 2), Raw(1920, 1080, 5), Jpeg(1920, 1080, 60)},
         0},
        {"raw and compressed alike", {Jpeg(1280, 720, 30), Raw(1280, 720, 30)}, 1},
        {"same size, the faster wins over raw", {Raw(1280, 720, 25), Jpeg(1280, 720, 30)}, 1},
        {"25 fps counts as live", {Raw(1920, 1080, 25), Jpeg(1280, 720, 60)}, 0},
        {"NTSC rate counts as live", {{"YUY2", false, 1280, 720, 30000, 1001}, Raw(640, 480, 30)}, 0},
        {"30000/1001 is 30: raw wins", {Jpeg(1280, 720, 30), {"YUY2", false, 1280, 720, 30000, 1001}}, 1},
        {"25000/1001 counts as live", {{"YUY2", false, 1920, 1080, 25000, 1001}, Jpeg(1280, 720, 60)}, 0},
        {"a rate 1 % higher still wins", {{"YUY2", false, 1280, 720, 30, 1}, Jpeg(1280, 720, 3030, 100)}, 1},
        {"nothing live: fastest at the largest size",
         {Raw(640, 480, 20), Raw(1600, 1200, 5), Raw(1600, 1200, 10), Raw(1280, 720, 15)},
         2},
        {"one mode", {Raw(320, 240, 30)}, 0},
        {"first of equals", {Raw(640, 480, 30), Raw(640, 480, 30)}, 0},
    };
    for (const ModeCase& test : cases) {
        SCOPED_TRACE(test.camera);
        std::optional<std::size_t> chosen = ChooseCaptureMode(test.modes);
        ASSERT_TRUE(chosen.has_value());
        EXPECT_EQ(*chosen, test.expected);
    }
    EXPECT_FALSE(ChooseCaptureMode({}).has_value());
}

}  // namespace
}  // namespace flipbook
