// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/camera/frame_averaging.h"

#include <algorithm>
#include <iterator>
#include <optional>

#include "app/camera/live_view.h"
#include "capture/sample_grabber.h"

namespace flipbook {

void TFrameAveraging::SetFrames(int frames) {
    frames_ = std::clamp(frames, 1, FrameSum::kMostFrames);
}

int TFrameAveraging::NextChoice() const {
    const auto next = std::upper_bound(std::begin(kChoices), std::end(kChoices), frames_);
    return next == std::end(kChoices) ? kChoices[0] : *next;
}

bool TFrameAveraging::Begin(Done done) {
    std::lock_guard lock(lock_);
    if (wanted_ > 0) return false;
    wanted_ = frames_;
    done_ = std::move(done);
    sum_ = FrameSum();
    return true;
}

bool TFrameAveraging::Gathering() const {
    std::lock_guard lock(lock_);
    return wanted_ > 0;
}

void TFrameAveraging::Offer(TSampleGrabber& grabber, const std::uint8_t* buffer, std::uint32_t bufferLength) {
    Done done;
    Bitmap mean;
    {
        std::lock_guard lock(lock_);
        if (wanted_ == 0) return;
        try {
            std::optional<FrameRows> rows = DeliveredRows(grabber, buffer, bufferLength);
            if (!rows) {
                // The grabber converts it into a 24-bit picture.
                if (!grabber.GetBitmap(converted_, buffer, bufferLength)) return;
                rows = FrameRows{converted_.Pixels(), converted_.Width(), converted_.Height(),
                                 converted_.RowStride(), converted_.TopDown()};
            }
            if (sum_.Count() == 0 || rows->width != sum_.Width() || rows->height != sum_.Height())
                sum_.Start(rows->width, rows->height);
            sum_.Add(*rows);
            if (sum_.Count() < wanted_) return;
            sum_.Mean(mean);
        } catch (...) {
            // A frame that cannot be summed is passed over; the next one comes soon.
            return;
        }
        wanted_ = 0;
        done = std::move(done_);
        // Under the lock, so that once Gathering() says no the mean is on its way.
        done(std::move(mean));
    }
}

bool TFrameAveraging::Abandon() {
    std::lock_guard lock(lock_);
    const bool gathering = wanted_ > 0;
    wanted_ = 0;
    done_ = nullptr;
    return gathering;
}

}  // namespace flipbook
