// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/player.h"

#include <algorithm>

#include "platform/graphics/bitmap.h"

namespace flipbook {

TPlayer::TPlayer(std::vector<std::string> pictures, PictureLoader load, PlaybackOptions options,
                 DecodeAheadSettings decoding, FrameShown onFrame, std::function<void()> onEnd)
    : pictureCount_(pictures.size()),
      options_(options),
      onFrame_(std::move(onFrame)),
      onEnd_(std::move(onEnd)),
      decodeAheadFrames_(decoding.maxFrames),
      decoder_(std::move(pictures), std::move(load), options.loop, decoding) {
    thread_ = std::thread([this] {
        // A frame that cannot be shown (out of memory copying it, say) ends the play as its end would;
        // nothing may escape the thread, which would end the program.
        try {
            Play();
        } catch (...) {
            try {
                onEnd_();
            } catch (...) {
            }
        }
    });
}

TPlayer::~TPlayer() {
    Stop();
}

void TPlayer::Stop() {
    {
        std::lock_guard guard(lock_);
        stopping_ = true;
    }
    wake_.notify_all();
    decoder_.Stop();
    if (thread_.joinable()) thread_.join();
}

bool TPlayer::WaitUntil(std::chrono::steady_clock::time_point time) {
    std::unique_lock guard(lock_);
    return !wake_.wait_until(guard, time, [this] { return stopping_; });
}

void TPlayer::Play() {
    using Clock = std::chrono::steady_clock;
    const auto frameTime = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
        1.0 /
        std::clamp(options_.framesPerSecond, PlaybackOptions::kMinimumRate, PlaybackOptions::kMaximumRate)));
    // One round: the pictures, then the live picture when the play ends on it.
    const std::uint64_t roundLength = pictureCount_ + (options_.endOnLive ? 1 : 0);
    if (roundLength == 0) return;
    // A head start of half the cache takes up the unevenness of decoding; the clock starts after it.
    decoder_.WaitUntilAhead(std::max<std::size_t>(decodeAheadFrames_ / 2, 1));
    Clock::time_point start = Clock::now();
    std::uint64_t picturePosition = 0;
    for (std::uint64_t frame = 0;; ++frame) {
        const Clock::time_point due = start + frameTime * static_cast<Clock::rep>(frame);
        if (!WaitUntil(due)) return;
        if (!options_.loop && frame == roundLength) break;
        if (frame % roundLength == pictureCount_) {
            onFrame_(nullptr);
            continue;
        }
        const std::shared_ptr<const Bitmap> picture = decoder_.Take(picturePosition++);
        if (!picture) return;
        const Clock::duration late = Clock::now() - due;
        // Half a frame late is still that frame's slot; later than that, the rest of the play moves on.
        if (late > frameTime / 2) {
            lateFrames_.fetch_add(1);
            start += late;
        }
        onFrame_(picture.get());
    }
    onEnd_();
}

}  // namespace flipbook
