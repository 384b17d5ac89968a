// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The one step between a camera and the sample grabber: each frame becomes 24-bit BGR rows in a single
// pass, written straight into the buffer the grabber receives.

#include "platform/mediagraph/gst_handles.h"

namespace flipbook {

// A new converter element. It takes MJPEG (decoded by libjpeg-turbo straight into BGR) and raw YUY2,
// NV12 and I420 (converted by libyuv with the caps' colour matrix), and gives video/x-raw BGR of the
// same size and rate, rows top-down and padded to 4 bytes. A frame that does not decode is dropped
// with a warning on the bus; kBrokenFramesInARow of them one after another end the stream with an
// error, as a camera that sends only broken frames has stopped working.
gst::ElementPtr MakeFrameConverter();

inline constexpr int kBrokenFramesInARow = 10;

}  // namespace flipbook
