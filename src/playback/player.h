// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "playback/decode_ahead.h"

namespace flipbook {

class Bitmap;

struct PlaybackOptions {
    static constexpr int kMinimumRate = 1;
    static constexpr int kMaximumRate = 30;
    static constexpr int kDefaultRate = 12;

    int framesPerSecond = kDefaultRate;
    bool loop = false;
    // After the last picture of each round the live picture takes one frame's time (the player hands
    // over null for it), so the series ends where the next picture will be taken.
    bool endOnLive = false;
};

// Plays a list of pictures at a fixed rate on a thread of its own, decoding ahead (TDecodeAhead). Frame k
// is due k frame times after the start, which comes once half the cache is decoded. A picture that is not
// decoded by its time is shown as soon as it is and the times after it move on by as much: frames come late
// rather than being dropped or repeated.
class TPlayer {
public:
    // Called on the player's thread at each frame's time: the picture (an empty Bitmap when its file
    // could not be read), or null for the live picture. Keep it short; it must not wait for the thread
    // that calls Stop.
    using FrameShown = std::function<void(const Bitmap* picture)>;

    // Starts playing at once. onEnd is called on the player's thread, one frame time after the last frame
    // of a play that does not loop, or at once when onFrame throws; a stopped play does not call it.
    TPlayer(std::vector<std::string> pictures, PictureLoader load, PlaybackOptions options,
            DecodeAheadSettings decoding, FrameShown onFrame, std::function<void()> onEnd);
    // Stops.
    ~TPlayer();
    TPlayer(const TPlayer&) = delete;
    TPlayer& operator=(const TPlayer&) = delete;

    // Stops playing and waits until the player's thread has left its callbacks, but not for a decode
    // under way: the loader may still run for a moment afterwards, as TDecodeAhead says. Not from a
    // callback.
    void Stop();

    // Frames shown later than their time because their picture was not decoded yet.
    std::uint64_t LateFrames() const { return lateFrames_.load(); }
    // Pixel bytes that decoding ahead held at most.
    std::size_t PeakCacheBytes() const { return decoder_.PeakBytes(); }

private:
    void Play();
    // Waits until the time or until stopped; false when stopped.
    bool WaitUntil(std::chrono::steady_clock::time_point time);

    const std::size_t pictureCount_;
    const PlaybackOptions options_;
    const FrameShown onFrame_;
    const std::function<void()> onEnd_;
    const std::size_t decodeAheadFrames_;
    TDecodeAhead decoder_;
    std::atomic<std::uint64_t> lateFrames_{0};
    std::mutex lock_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace flipbook
