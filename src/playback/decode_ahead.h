// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
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
//
// A picture costs the cache its pixel memory from the moment a worker claims it: before it is decoded,
// as its file's header gives it (the full-size picture the decoder makes, and the fitted copy made from
// it), afterwards as kept. A file whose header cannot be read counts as the largest picture so far, and
// before any picture is decoded it is claimed only while nothing else is.
class TDecodeAhead {
public:
    TDecodeAhead(std::vector<std::string> pictures, PictureLoader load, bool loop,
                 DecodeAheadSettings settings);
    // Stops the workers without waiting for them: one in the middle of a decode finishes it on its own
    // and leaves, so whoever ends a play does not wait for a large picture or a slow folder. The
    // loader may therefore still be running a moment after this returns. The process waits for such
    // workers when it exits.
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

    // Pixel bytes the cache counted at most so far: pictures kept, and those being decoded as claimed.
    std::size_t PeakBytes() const;

private:
    // What the workers share with the cache; it lives as long as the last of them.
    struct State;

    std::shared_ptr<State> state_;
    std::vector<std::thread> workers_;
};

}  // namespace flipbook
