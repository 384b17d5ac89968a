// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's whole frame handler for one frame with the onion skin on over a snapped
// reference: the blend of the delivered sample, read where it lies, into the display; beside
// Memcpy/W/H (one frame copy) in memcpy_bench.cpp.
#include <benchmark/benchmark.h>

#include "frame_sizes.h"
#include "kept_frame_grabber.h"

#include <mutex>
#include <vector>

#include "app/camera/live_view.h"
#include "capture/sample_grabber.h"
#include "platform/graphics/bitmap.h"

namespace flipbook {
namespace {

void FrameHandler(benchmark::State& state) {
    const auto width = static_cast<int>(state.range(0));
    const auto height = static_cast<int>(state.range(1));
    bench::KeptFrameGrabber kept(width, height, 13);
    TSampleGrabber& grabber = kept.grabber;
    const std::vector<std::uint8_t>& frame = kept.frame;

    Bitmap display;
    Bitmap liveFrame;
    Bitmap referencePicture;
    std::mutex picturesLock;
    LiveFrameState liveFrameState = LiveFrameState::None;
    const TFrameTargets targets{display, liveFrame, referencePicture, picturesLock, liveFrameState};
    // The reference is a snapped frame, as after Snap: the first frame.
    Bitmap picture;
    liveFrameState = LiveFrameState::Fresh;
    SnapLiveFrame(&grabber, liveFrame, referencePicture, liveFrameState, picture);

    for (auto _ : state) {
        DrawFrame(grabber, frame.data(), static_cast<std::uint32_t>(frame.size()), targets, {true, 50});
        benchmark::DoNotOptimize(display.Pixels());
        benchmark::ClobberMemory();
    }
    if (display.Width() != width || referencePicture.Width() != width)
        state.SkipWithError("the frame was not drawn");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * frame.size()));
}
BENCHMARK(FrameHandler)->Apply(flipbook::bench::FrameSizes);

}  // namespace
}  // namespace flipbook
