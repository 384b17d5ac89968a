// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/graphics/picture_loader.h"

namespace flipbook {

class Bitmap;

struct DecodeAheadSettings {
    int threads = 2;
    // Pictures decoded ahead of the one shown, at most, and their pixel memory at most (one picture is
    // always allowed, however large), so memory stays bounded for a series of any length.
    std::size_t maxFrames = 12;
    std::size_t maxBytes = std::size_t{128} << 20;
    // When both are set, pictures of another size are fitted into this size, proportions kept.
    int fitWidth = 0;
    int fitHeight = 0;
};

// Decodes the pictures of a play list ahead of the player, on worker threads, into a bounded cache.
// Positions count the frames played from 0: position p shows picture p (p modulo the list's length when
// looping). Pictures come out 24-bit, fitted to the fit size when one is set.
class TDecodeAhead {
public:
    TDecodeAhead(std::vector<std::string> pictures, PictureLoader load, bool loop,
                 DecodeAheadSettings settings);
    // Stops the workers and waits for them.
    ~TDecodeAhead();
    TDecodeAhead(const TDecodeAhead&) = delete;
    TDecodeAhead& operator=(const TDecodeAhead&) = delete;

    // The picture at the position, waiting until it is decoded; an empty Bitmap when its file could not
    // be read or its decoding failed in any way (out of memory, say); null past the end or once Stop was
    // called. Positions are taken in increasing order, and taking one drops every earlier one from the cache.
    std::shared_ptr<const Bitmap> Take(std::uint64_t position);
    // Waits until the next pictures to take are decoded: as many as given, or fewer when the series
    // or the cache's bounds end sooner, or until Stop.
    void WaitUntilAhead(std::size_t pictures);
    // Makes Take return null from now on and lets the workers end.
    void Stop();

    // Pixel bytes held in the cache at most, so far.
    std::size_t PeakBytes() const;

private:
    struct Slot {
        std::shared_ptr<const Bitmap> picture;
        std::size_t bytes = 0;
        bool ready = false;
    };

    void Work();
    bool CanClaim() const;
    std::shared_ptr<const Bitmap> Decode(std::uint64_t position) const;

    const std::vector<std::string> pictures_;
    const PictureLoader load_;
    const DecodeAheadSettings settings_;
    const std::uint64_t end_;
    // What a picture that cannot be read stands as, made beforehand so that failing needs no memory.
    const std::shared_ptr<const Bitmap> unreadable_;

    mutable std::mutex lock_;
    std::condition_variable workAvailable_;
    std::condition_variable pictureReady_;
    std::map<std::uint64_t, Slot> slots_;  // claimed positions, decoding or ready
    std::uint64_t next_ = 0;               // the next position a worker claims
    std::uint64_t taken_ = 0;              // positions before it were taken
    std::size_t heldBytes_ = 0;            // ready pictures, and the estimate for those decoding
    std::size_t peakBytes_ = 0;
    std::size_t largestPicture_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace flipbook
