// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/decode_ahead.h"

#include <algorithm>
#include <limits>

#include "effects/fit.h"
#include "platform/graphics/bitmap.h"

namespace flipbook {

TDecodeAhead::TDecodeAhead(std::vector<std::string> pictures, PictureLoader load, bool loop,
                           DecodeAheadSettings settings)
    : pictures_(std::move(pictures)),
      load_(std::move(load)),
      settings_(settings),
      end_(pictures_.empty() ? 0
           : loop            ? std::numeric_limits<std::uint64_t>::max()
                             : pictures_.size()),
      unreadable_(std::make_shared<const Bitmap>()) {
    const int threads = std::max(1, settings_.threads);
    for (int worker = 0; worker < threads; ++worker) workers_.emplace_back([this] { Work(); });
}

TDecodeAhead::~TDecodeAhead() {
    Stop();
    for (std::thread& worker : workers_) worker.join();
}

void TDecodeAhead::Stop() {
    {
        std::lock_guard guard(lock_);
        stopping_ = true;
    }
    workAvailable_.notify_all();
    pictureReady_.notify_all();
}

bool TDecodeAhead::CanClaim() const {
    if (next_ >= end_ || next_ - taken_ >= std::max<std::size_t>(settings_.maxFrames, 1)) return false;
    return slots_.empty() || heldBytes_ + largestPicture_ <= settings_.maxBytes;
}

void TDecodeAhead::Work() {
    std::unique_lock guard(lock_);
    for (;;) {
        workAvailable_.wait(guard, [this] { return stopping_ || CanClaim(); });
        if (stopping_) return;
        const std::uint64_t position = next_++;
        // Until it is decoded, a picture counts as large as the largest so far.
        const std::size_t estimate = largestPicture_;
        slots_[position].bytes = estimate;
        heldBytes_ += estimate;

        guard.unlock();
        std::shared_ptr<const Bitmap> picture = Decode(position);
        guard.lock();

        const std::size_t bytes = picture->PixelBytes();
        largestPicture_ = std::max(largestPicture_, bytes);
        auto slot = slots_.find(position);
        // Taken past while it was decoding: not kept, and its estimate already left with its slot.
        if (slot == slots_.end()) continue;
        heldBytes_ = heldBytes_ - estimate + bytes;
        peakBytes_ = std::max(peakBytes_, heldBytes_);
        slot->second = {std::move(picture), bytes, true};
        pictureReady_.notify_all();
    }
}

std::shared_ptr<const Bitmap> TDecodeAhead::Decode(std::uint64_t position) const {
    // Anything a decoder throws (out of memory on a huge picture, say) makes that one picture
    // unreadable; escaping the worker would end the program.
    try {
        auto picture = std::make_shared<Bitmap>();
        Bitmap loaded;
        if (!load_(loaded, pictures_[position % pictures_.size()]) || loaded.Empty()) return unreadable_;
        if (settings_.fitWidth > 0 && settings_.fitHeight > 0) {
            FitToSize(loaded, *picture, settings_.fitWidth, settings_.fitHeight);
        } else {
            if (loaded.BitsPerPixel() != 24) loaded.SetPixelFormat(PixelFormat::Bit24);
            *picture = std::move(loaded);
        }
        return picture;
    } catch (...) {
        return unreadable_;
    }
}

std::shared_ptr<const Bitmap> TDecodeAhead::Take(std::uint64_t position) {
    std::unique_lock guard(lock_);
    if (position >= end_ || position < taken_) return nullptr;
    pictureReady_.wait(guard, [&] {
        if (stopping_) return true;
        const auto slot = slots_.find(position);
        return slot != slots_.end() && slot->second.ready;
    });
    if (stopping_) return nullptr;
    std::shared_ptr<const Bitmap> picture = std::move(slots_[position].picture);
    for (auto slot = slots_.begin(); slot != slots_.end() && slot->first <= position;) {
        heldBytes_ -= slot->second.bytes;
        slot = slots_.erase(slot);
    }
    taken_ = position + 1;
    next_ = std::max(next_, taken_);
    guard.unlock();
    workAvailable_.notify_all();
    return picture;
}

void TDecodeAhead::WaitUntilAhead(std::size_t pictures) {
    std::unique_lock guard(lock_);
    pictureReady_.wait(guard, [&] {
        if (stopping_) return true;
        std::size_t ready = 0;
        bool decoding = false;
        for (const auto& [position, slot] : slots_) {
            if (slot.ready && position == taken_ + ready) ++ready;
            decoding = decoding || !slot.ready;
        }
        return ready >= pictures || (!decoding && !CanClaim());
    });
}

std::size_t TDecodeAhead::PeakBytes() const {
    std::lock_guard guard(lock_);
    return peakBytes_;
}

}  // namespace flipbook
