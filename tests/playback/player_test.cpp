// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/graphics/bitmap.h"
#include "playback/decode_ahead.h"
#include "playback/player.h"

namespace flipbook {
namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 48;

// Pictures made in memory: picture "N" has N in every byte; "wide-N" has another size; "broken"
// cannot be read. Each load may take a while, as a large file would.
struct Loader {
    std::chrono::milliseconds delay{0};
    std::atomic<int> loads{0};

    PictureLoader Function() {
        return [this](Bitmap& target, const std::string& name) {
            ++loads;
            std::this_thread::sleep_for(delay);
            if (name == "broken") return false;
            const bool wide = name.rfind("wide-", 0) == 0;
            target.SetPixelFormat(PixelFormat::Bit24);
            target.SetSize(wide ? kWidth * 2 : kWidth, kHeight);
            std::memset(target.MutablePixels(), std::atoi(name.c_str() + (wide ? 5 : 0)),
                        target.PixelBytes());
            return true;
        };
    }
};

std::vector<std::string> Names(int count) {
    std::vector<std::string> names;
    for (int index = 0; index < count; ++index) names.push_back(std::to_string(index));
    return names;
}

int NumberOf(const Bitmap& picture) {
    // The middle: a picture fitted into another size has black bars at its edges.
    return picture.Empty() ? -1 : picture.ScanLine(picture.Height() / 2)[picture.Width() / 2 * 3];
}

// A decoder that throws (out of memory on a huge picture) costs that picture only; it would end the
// program if it escaped the worker.
TEST(DecodeAhead, DecoderThatThrows_GivesAnUnreadablePicture_AndTheSeriesGoesOn) {
    Loader loader;
    const PictureLoader load = loader.Function();
    TDecodeAhead ahead(
        {"0", "out-of-memory", "2", "bad", "4"},
        [&load](Bitmap& target, const std::string& name) {
            if (name == "out-of-memory") throw std::bad_alloc();
            if (name == "bad") throw 42;
            return load(target, name);
        },
        false, DecodeAheadSettings{});
    std::vector<int> numbers;
    for (std::uint64_t position = 0; position < 5; ++position) {
        const auto picture = ahead.Take(position);
        ASSERT_TRUE(picture);
        numbers.push_back(NumberOf(*picture));
    }
    EXPECT_EQ(numbers, (std::vector<int>{0, -1, 2, -1, 4}));
}

TEST(DecodeAhead, GivesPicturesInOrder_LoopsAndFits_AndStaysWithinItsBounds) {
    Loader loader;
    DecodeAheadSettings settings;
    settings.maxFrames = 3;
    const std::size_t frameBytes = static_cast<std::size_t>(kWidth) * 3 * kHeight;
    {
        TDecodeAhead ahead(Names(40), loader.Function(), false, settings);
        for (std::uint64_t position = 0; position < 40; ++position) {
            // A slow player: the workers run ahead as far as they may meanwhile.
            std::this_thread::sleep_for(std::chrono::milliseconds(position % 10 == 0 ? 20 : 0));
            EXPECT_LE(static_cast<std::uint64_t>(loader.loads), position + settings.maxFrames);
            const auto picture = ahead.Take(position);
            ASSERT_TRUE(picture);
            EXPECT_EQ(NumberOf(*picture), static_cast<int>(position));
        }
        EXPECT_EQ(ahead.Take(40), nullptr) << "past the end";
        EXPECT_LE(ahead.PeakBytes(), settings.maxFrames * frameBytes);
        EXPECT_GE(ahead.PeakBytes(), frameBytes);
    }

    settings.maxBytes = 2 * frameBytes;
    settings.maxFrames = 100;
    settings.threads = 1;
    settings.fitWidth = kWidth;
    settings.fitHeight = kHeight;
    TDecodeAhead looping({"0", "broken", "wide-2"}, loader.Function(), true, settings);
    for (std::uint64_t position = 0; position < 9; ++position) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        const auto picture = looping.Take(position);
        ASSERT_TRUE(picture);
        EXPECT_EQ(NumberOf(*picture), position % 3 == 1 ? -1 : static_cast<int>(position % 3));
        if (position % 3 == 1) continue;
        EXPECT_EQ(picture->Width(), kWidth);
        EXPECT_EQ(picture->Height(), kHeight);
    }
    EXPECT_LE(looping.PeakBytes(), settings.maxBytes);
    looping.Stop();
    EXPECT_EQ(looping.Take(9), nullptr) << "stopped";
}

// What a player showed: picture numbers, -2 for the live picture.
struct Shown {
    std::mutex lock;
    std::vector<int> frames;
    std::atomic<bool> ended{false};

    TPlayer::FrameShown OnFrame() {
        return [this](const Bitmap* picture) {
            std::lock_guard guard(lock);
            frames.push_back(picture ? NumberOf(*picture) : -2);
        };
    }
    std::vector<int> Frames() {
        std::lock_guard guard(lock);
        return frames;
    }
};

bool WaitFor(const std::function<bool()>& condition) {
    for (int round = 0; round < 1000 && !condition(); ++round)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return condition();
}

TEST(Player, PlaysEachPictureOnceInOrder_EndingOnTheLivePicture) {
    Loader loader;
    Shown shown;
    const auto started = std::chrono::steady_clock::now();
    TPlayer player(Names(5), loader.Function(), {30, false, true}, {}, shown.OnFrame(),
                   [&] { shown.ended = true; });
    ASSERT_TRUE(WaitFor([&] { return shown.ended.load(); }));
    // Six frames at 30 a second, and the end one frame time after the last.
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(6 * 1000 / 30));
    EXPECT_EQ(shown.Frames(), (std::vector<int>{0, 1, 2, 3, 4, -2}));
}

TEST(Player, FrameThatCannotBeShown_EndsThePlay_AndNothingEscapesTheThread) {
    Loader loader;
    std::atomic<bool> ended{false};
    TPlayer player(
        Names(5), loader.Function(), {30, true, false}, {},
        [](const Bitmap* picture) {
            if (picture && NumberOf(*picture) == 2) throw std::bad_alloc();
        },
        [&] { ended = true; });
    EXPECT_TRUE(WaitFor([&] { return ended.load(); }));
}

TEST(Player, LoopsUntilStopped_AndSlowDecodingMakesFramesLateNeverDropped) {
    Loader loader;
    loader.delay = std::chrono::milliseconds(60);  // slower than a frame at 30 a second
    Shown shown;
    DecodeAheadSettings oneThread;
    oneThread.threads = 1;
    oneThread.maxFrames = 2;  // a head start of one picture
    TPlayer player(Names(3), loader.Function(), {30, true, false}, oneThread, shown.OnFrame(),
                   [&] { shown.ended = true; });
    ASSERT_TRUE(WaitFor([&] { return shown.Frames().size() >= 7; }));
    player.Stop();
    const std::vector<int> frames = shown.Frames();
    for (std::size_t index = 0; index < frames.size(); ++index)
        EXPECT_EQ(frames[index], static_cast<int>(index % 3));
    EXPECT_GT(player.LateFrames(), 0u);
    EXPECT_FALSE(shown.ended) << "a stopped play does not end by itself";
}

}  // namespace
}  // namespace flipbook
