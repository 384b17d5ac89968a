// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>

#include "effects/frame_average.h"
#include "platform/graphics/bitmap.h"

namespace flipbook {

class TSampleGrabber;

// "Average Frames": a Snap that takes the mean of that many consecutive camera frames, so the sensor's
// noise, which differs from frame to frame, does not make a still series boil when played. The frames
// are summed on the streaming thread as they come; the window's thread never waits for them.
class TFrameAveraging {
public:
    // The choices offered, in the order A steps through them.
    static constexpr int kChoices[] = {1, 2, 4, 8, 16};
    // Told, on the streaming thread, of the mean once the last frame is in; it must not call back
    // into this object (it posts the mean on).
    using Done = std::function<void(Bitmap mean)>;

    // Frames a Snap averages (1: the frame as it is). Window's thread.
    int Frames() const { return frames_; }
    void SetFrames(int frames);
    // The choice after the present one, back to 1 after 16.
    int NextChoice() const;

    // Starts gathering Frames() frames; false while a gathering is still going.
    bool Begin(Done done);
    bool Gathering() const;
    // The streaming thread's next frame, as delivered (a frame of another size starts the sum again:
    // the camera's mode changed). A frame that cannot be read is passed over.
    void Offer(TSampleGrabber& grabber, const std::uint8_t* buffer, std::uint32_t bufferLength);
    // The camera is lost or changed: what was gathered is dropped; true when a gathering was going.
    bool Abandon();

private:
    int frames_ = 1;
    mutable std::mutex lock_;
    int wanted_ = 0;  // 0: not gathering
    FrameSum sum_;
    Bitmap converted_;  // a frame that is not 24-bit, converted
    Done done_;
};

}  // namespace flipbook
