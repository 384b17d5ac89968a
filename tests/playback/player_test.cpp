// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/graphics/bitmap.h"
#include "playback/decode_ahead.h"
#include "playback/player.h"
#include "support/temp_dir.h"

namespace flipbook {
namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 48;

// Pictures made in memory: picture "N" has N in every byte; "wide-N" has another size; "broken"
// cannot be read. Each load may take a while, as a large file would. What the loads count is shared
// with them, since a worker may finish its last load after the cache that started it is gone.
struct Loader {
    struct Counts {
        std::chrono::milliseconds delay{0};
        std::atomic<int> loads{0};
    };
    std::shared_ptr<Counts> counts = std::make_shared<Counts>();

    int Loads() const { return counts->loads; }
    PictureLoader Function() const {
        return [counts = counts](Bitmap& target, const std::string& name) {
            ++counts->loads;
            std::this_thread::sleep_for(counts->delay);
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
            EXPECT_LE(static_cast<std::uint64_t>(loader.Loads()), position + settings.maxFrames);
            const auto picture = ahead.Take(position);
            ASSERT_TRUE(picture);
            EXPECT_EQ(NumberOf(*picture), static_cast<int>(position));
        }
        EXPECT_EQ(ahead.Take(40), nullptr) << "past the end";
        EXPECT_LE(ahead.PeakBytes(), settings.maxFrames * frameBytes);
        EXPECT_GE(ahead.PeakBytes(), frameBytes);
    }

    // Room for the wide picture's decoding: its full size, and beside it the fitted copy.
    settings.maxBytes = 3 * frameBytes;
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

// Large pictures as files whose headers say their size (3000 x 1000, 9 MB decoded), read by a loader
// that makes a picture of that size and notes how many decode at once.
class LargePictures {
public:
    static constexpr int kLargeWidth = 3000;
    static constexpr int kLargeHeight = 1000;
    static constexpr std::size_t kLargeBytes = std::size_t{kLargeWidth} * 3 * kLargeHeight;

    explicit LargePictures(int count) {
        for (int index = 0; index < count; ++index) {
            names_.push_back(folder_.File(std::to_string(index) + ".bmp"));
            std::ofstream file(names_.back(), std::ios::binary);
            const auto put = [&file](std::uint32_t value, int bytes) {
                for (int byte = 0; byte < bytes; ++byte) file.put(static_cast<char>(value >> (8 * byte)));
            };
            file << "BM";
            for (const auto& [value, bytes] :
                 std::vector<std::pair<std::uint32_t, int>>{{54 + kLargeBytes, 4},
                                                            {0, 4},
                                                            {54, 4},
                                                            {40, 4},
                                                            {kLargeWidth, 4},
                                                            {kLargeHeight, 4},
                                                            {1, 2},
                                                            {24, 2},
                                                            {0, 4},
                                                            {kLargeBytes, 4},
                                                            {0, 4},
                                                            {0, 4},
                                                            {0, 4},
                                                            {0, 4}})
                put(value, bytes);
        }
    }
    const std::vector<std::string>& Names() const { return names_; }
    int MostAtOnce() const { return state_->most; }

    PictureLoader Function() const {
        return [state = state_](Bitmap& target, const std::string& path) {
            const int now = ++state->decoding;
            for (int most = state->most; now > most && !state->most.compare_exchange_weak(most, now);) {
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(40));
            target.SetPixelFormat(PixelFormat::Bit24);
            target.SetSize(kLargeWidth, kLargeHeight);
            const std::string name = std::filesystem::path(path).stem();
            std::memset(target.MutablePixels(), std::atoi(name.c_str()), target.PixelBytes());
            --state->decoding;
            return true;
        };
    }

private:
    struct State {
        std::atomic<int> decoding{0};
        std::atomic<int> most{0};
    };
    testing::TempDir folder_;
    std::vector<std::string> names_;
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

// Four workers on an empty cache used to claim four pictures at once, each counted as nothing until
// decoded, and the full-size picture each one holds while fitting was never counted at all.
TEST(DecodeAhead, CountsEachPictureFromItsHeaderBeforeDecoding_WithTheFullSizeCopyWhileFitting) {
    DecodeAheadSettings settings;
    settings.threads = 4;
    settings.maxBytes = 2 * LargePictures::kLargeBytes + LargePictures::kLargeBytes / 2;
    {
        const LargePictures large(6);
        TDecodeAhead ahead(large.Names(), large.Function(), false, settings);
        for (std::uint64_t position = 0; position < 6; ++position) {
            const auto picture = ahead.Take(position);
            ASSERT_TRUE(picture);
            EXPECT_EQ(NumberOf(*picture), static_cast<int>(position));
        }
        EXPECT_LE(ahead.PeakBytes(), settings.maxBytes);
        EXPECT_LE(large.MostAtOnce(), 2);
    }
    // Fitted into a small frame, each kept picture is small, yet its decoding holds the large one.
    settings.fitWidth = kWidth;
    settings.fitHeight = kHeight;
    const LargePictures large(6);
    TDecodeAhead ahead(large.Names(), large.Function(), false, settings);
    for (std::uint64_t position = 0; position < 6; ++position) {
        const auto picture = ahead.Take(position);
        ASSERT_TRUE(picture);
        EXPECT_EQ(picture->Width(), kWidth);
        EXPECT_EQ(NumberOf(*picture), static_cast<int>(position));
    }
    EXPECT_LE(ahead.PeakBytes(), settings.maxBytes);
    EXPECT_GE(ahead.PeakBytes(), LargePictures::kLargeBytes);
    EXPECT_LE(large.MostAtOnce(), 2);
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

// The play ends at the frame that could not be shown: the pictures after it are never shown, and the
// end is said once.
TEST(Player, FrameThatCannotBeShown_EndsThePlay_AndNothingEscapesTheThread) {
    Loader loader;
    Shown shown;
    std::atomic<int> ends{0};
    std::atomic<long> playerThread{0};
    const TPlayer::FrameShown record = shown.OnFrame();
    TPlayer player(
        Names(5), loader.Function(), PlaybackOptions{30, false, false}, DecodeAheadSettings{},
        [&](const Bitmap* picture) {
            playerThread = static_cast<long>(::gettid());
            record(picture);
            if (picture && NumberOf(*picture) == 2) throw std::bad_alloc();
        },
        [&] { ++ends; });
    ASSERT_TRUE(WaitFor([&] { return ends > 0; }));
    // The player's thread leaves by itself once the play has ended; a play that went on past the
    // failed frame would first show 3 and 4.
    EXPECT_TRUE(WaitFor(
        [&] { return !std::filesystem::exists("/proc/self/task/" + std::to_string(playerThread.load())); }));
    EXPECT_EQ(shown.Frames(), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(ends, 1);
}

TEST(Player, LoopsUntilStopped_AndSlowDecodingMakesFramesLateNeverDropped) {
    Loader loader;
    loader.counts->delay = std::chrono::milliseconds(60);  // slower than a frame at 30 a second
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

// A decode that takes long (a large picture, a slow network folder) must not hold up whoever stops the
// play: that is the window's thread.
TEST(Player, Stopped_DuringADecode_ReturnsAtOnce_AndTheDecodeFinishesOnItsOwn) {
    struct Gate {
        std::mutex lock;
        std::condition_variable opened;
        bool open = false;
        std::atomic<int> entered{0};
        std::atomic<int> finished{0};
    };
    const auto gate = std::make_shared<Gate>();
    Shown shown;
    DecodeAheadSettings oneThread;
    oneThread.threads = 1;
    auto player = std::make_unique<TPlayer>(
        Names(3),
        [gate](Bitmap& target, const std::string&) {
            ++gate->entered;
            std::unique_lock guard(gate->lock);
            // Bounded, so that a stop which waits for the decode fails this test rather than hangs it.
            gate->opened.wait_for(guard, std::chrono::seconds(10), [&] { return gate->open; });
            target.SetPixelFormat(PixelFormat::Bit24);
            target.SetSize(kWidth, kHeight);
            ++gate->finished;
            return true;
        },
        PlaybackOptions{30, false, false}, oneThread, shown.OnFrame(), [] {});
    ASSERT_TRUE(WaitFor([&] { return gate->entered > 0; }));
    player.reset();
    EXPECT_EQ(gate->finished, 0) << "the stop waited for the decode";
    {
        std::lock_guard guard(gate->lock);
        gate->open = true;
    }
    gate->opened.notify_all();
    EXPECT_TRUE(WaitFor([&] { return gate->finished == 1; }));
    EXPECT_EQ(gate->entered, 1) << "a stopped play starts no other decode";
    EXPECT_TRUE(shown.Frames().empty());
}

}  // namespace
}  // namespace flipbook
