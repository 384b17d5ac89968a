// The main window's whole frame handler for one frame with the onion skin on over a snapped
// reference: the live frame's copy of the sample and the blend into the display (which then needs no
// copy of its own), beside Memcpy/W/H (one frame copy) in memcpy_bench.cpp. The sample grabber filter
// is a stand-in that reports a connected 24-bit top-down format and keeps the frame, so the figure
// holds our work alone and no camera is needed.
#include <benchmark/benchmark.h>

#include "frame_sizes.h"

#include <mutex>
#include <vector>

#include "../tests/capture/fake_sample_grabber.h"
#include "app/live_view.h"
#include "capture/sample_grabber.h"
#include "platform/graphics/bitmap.h"

namespace flipbook {
namespace {

void FrameHandler(benchmark::State& state) {
    const auto width = static_cast<int>(state.range(0));
    const auto height = static_cast<int>(state.range(1));
    testing::FakeSampleGrabberClass fakeClass;
    TSampleGrabber grabber("fwSampleGrabber");
    grabber.NotifyMember(moAdding, 0);
    grabber.NotifyMember(moAdded, 0);
    fakeClass.grabber->Connect(width, -height);  // frames arrive top-down, as the service gives them

    const std::size_t rowStride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    std::vector<std::uint8_t> frame(rowStride * static_cast<std::size_t>(height));
    for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<std::uint8_t>(i * 13);
    fakeClass.grabber->Keep(frame);

    Bitmap display;
    Bitmap liveFrame;
    Bitmap referencePicture;
    std::mutex picturesLock;
    LiveFrameState liveFrameState = LiveFrameState::None;
    const TFrameTargets targets{display, liveFrame, referencePicture, picturesLock, liveFrameState};
    // The reference is a snapped frame, as after Snap: the first frame's live picture.
    DrawFrame(grabber, frame.data(), static_cast<std::uint32_t>(frame.size()), targets, {true, 50});
    referencePicture = liveFrame;

    for (auto _ : state) {
        DrawFrame(grabber, frame.data(), static_cast<std::uint32_t>(frame.size()), targets, {true, 50});
        benchmark::DoNotOptimize(display.Pixels());
        benchmark::ClobberMemory();
    }
    if (display.Width() != width || liveFrame.Width() != width)
        state.SkipWithError("the frame was not drawn");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * frame.size()));
    grabber.NotifyMember(moRemoving, 0);
    grabber.NotifyMember(moRemoved, 0);
}
BENCHMARK(FrameHandler)->Apply(flipbook::bench::FrameSizes);

}  // namespace
}  // namespace flipbook
