// SPDX-License-Identifier: GPL-3.0-or-later
// The whole live view for one frame of a 1920 x 1080 or 3840 x 2160 MJPEG camera at 30 fps: the
// camera's frame decoded into BGR, grabbed and drawn by the window's frame handler with the onion skin
// on over a snapped reference, as CPU time of the process per frame (all its threads), beside
// LibjpegDecodeFrame/W/H: libjpeg-turbo alone decoding one frame of that camera to BGR with its
// default settings. The camera is the test camera, which hands out frames it made before the stream
// started, so the figure holds the graph's work.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "app/camera/live_view.h"
#include "capture/sample_grabber.h"
#include "capture/sys_dev_enum.h"
#include "libjpeg_decode.h"
#include "platform/graphics/bitmap.h"
#include "platform/mediagraph/devices.h"
#include "platform/mediagraph/graph.h"
#include "platform/mediagraph/sample_grabber.h"
#include "platform/mediagraph/service.h"
#include "process_time.h"
#include "test_camera.h"

namespace flipbook {
namespace {

// The camera makes this many frames before its stream starts and then hands them out over and over,
// so its own work is never measured; the frames before the measurement warm the graph up.
constexpr int kLoopFrames = 4;
constexpr int kWarmUpFrames = 20;

using bench::ProcessCpuSeconds;

// The test camera's first device in a graph, connected to a sample grabber filter.
class CameraGraph {
public:
    CameraGraph(int width, int height, const char* format = "mjpeg") {
        testing::PrepareTestCamera();
        testing::SetTestCameras("Bench Camera:" + std::to_string(width) + "x" + std::to_string(height) +
                                "@30:smpte:" + format + ":loop=" + std::to_string(kLoopFrames));
        CoInitialize();
        CoCreateInstance(CLSID_FilterGraph, CLSCTX_INPROC, graph);
        CoCreateInstance(CLSID_CaptureGraphBuilder2, CLSCTX_INPROC, builder);
        builder->SetFiltergraph(graph.Get());
        ComPtr<IMoniker> moniker = TSysDevEnum(CLSID_VideoInputDeviceCategory).GetMoniker(0);
        if (moniker) moniker->BindToObject(nullptr, nullptr, IBaseFilter::kIid, source.PutVoid());
        if (!source) throw std::runtime_error("the test camera is not there");
        graph->AddFilter(source.Get(), "fwFilterSource");
        control = graph.As<IMediaControl>();
    }
    ~CameraGraph() {
        if (control) control->Stop();
        graph.Reset();
        builder.Reset();
        source.Reset();
        control.Reset();
        CoUninitialize();
    }
    CameraGraph(const CameraGraph&) = delete;
    CameraGraph& operator=(const CameraGraph&) = delete;

    // Adds the sink, lets it settle in (added), connects the camera to it and runs.
    bool Connect(IBaseFilter* sink, const std::function<void()>& added = {}) {
        graph->AddFilter(sink, "fwSampleGrabber");
        if (added) added();
        return builder->RenderStream(nullptr, nullptr, source.Get(), nullptr, sink) == S_OK &&
               Succeeded(control->Run());
    }

    ComPtr<IGraphBuilder> graph;
    ComPtr<ICaptureGraphBuilder2> builder;
    ComPtr<IBaseFilter> source;
    ComPtr<IMediaControl> control;
};

class FrameCount {
public:
    void Add() {
        std::lock_guard lock(mutex_);
        ++count_;
        changed_.notify_all();
    }
    int Count() {
        std::lock_guard lock(mutex_);
        return count_;
    }
    // False when the frame has not come within the bound (a few seconds; a minute for the first
    // frames, which wait for the camera to make its loop on a busy machine).
    bool WaitFor(int count, std::chrono::seconds bound = std::chrono::seconds(5)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, bound, [&] { return count_ >= count; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int count_ = 0;
};

void LivePipeline(benchmark::State& state, const char* format) {
    const auto width = static_cast<int>(state.range(0));
    const auto height = static_cast<int>(state.range(1));
    CameraGraph camera(width, height, format);
    Bitmap display;
    Bitmap liveFrame;
    Bitmap referencePicture;
    std::mutex picturesLock;
    LiveFrameState liveFrameState = LiveFrameState::None;
    const TFrameTargets targets{display, liveFrame, referencePicture, picturesLock, liveFrameState};
    FrameCount frames;
    TSampleGrabber grabber("fwSampleGrabber");
    grabber.OnBuffer = [&](TSampleGrabber& sender, double, const std::uint8_t* buffer, std::uint32_t length) {
        DrawFrame(sender, buffer, length, targets, {true, 50});
        frames.Add();
    };
    grabber.NotifyMember(moAdding, 0);
    if (!camera.Connect(grabber.GetFilter().Get(), [&] { grabber.NotifyMember(moAdded, 0); })) {
        state.SkipWithError("the camera could not be connected");
        return;
    }
    if (!frames.WaitFor(kWarmUpFrames, std::chrono::seconds(60))) {
        state.SkipWithError("the camera delivered no frames");
        return;
    }
    {
        std::lock_guard lock(picturesLock);
        Bitmap picture;
        SnapLiveFrame(&grabber, liveFrame, referencePicture, liveFrameState, picture);
    }
    for (auto _ : state) {
        const int next = frames.Count() + 1;
        const double start = ProcessCpuSeconds();
        if (!frames.WaitFor(next)) {
            state.SkipWithError("the camera stopped");
            break;
        }
        state.SetIterationTime(ProcessCpuSeconds() - start);
    }
    if (display.Width() != width || referencePicture.Width() != width)
        state.SkipWithError("no frame was drawn");
    camera.control->Stop();
    grabber.NotifyMember(moRemoving, 0);
    grabber.NotifyMember(moRemoved, 0);
}

// One frame exactly as the camera sends it.
std::vector<std::uint8_t> CameraJpegFrame(int width, int height) {
    CameraGraph camera(width, height);
    ComPtr<IBaseFilter> grabberFilter;
    CoCreateInstance(CLSID_SampleGrabber, CLSCTX_INPROC, grabberFilter);
    ComPtr<ISampleGrabber> grabber = grabberFilter.As<ISampleGrabber>();
    AM_MEDIA_TYPE jpeg;
    jpeg.majortype = MEDIATYPE_Video;
    jpeg.subtype = MEDIASUBTYPE_MJPG;
    grabber->SetMediaType(&jpeg);
    grabber->SetBufferSamples(true);
    std::int32_t size = 0;
    if (!camera.Connect(grabberFilter.Get())) return {};
    for (int tries = 0; tries < 1200 && grabber->GetCurrentBuffer(&size, nullptr) != S_OK; ++tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(std::max(size, 0)));
    if (grabber->GetCurrentBuffer(&size, frame.data()) != S_OK) frame.clear();
    return frame;
}

void LibjpegDecodeFrame(benchmark::State& state) {
    const std::vector<std::uint8_t> frame =
        CameraJpegFrame(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    if (frame.empty()) {
        state.SkipWithError("the camera gave no frame");
        return;
    }
    std::vector<std::uint8_t> pixels;
    for (auto _ : state) {
        bench::LibjpegDecodeToBgr(frame, pixels);
        benchmark::DoNotOptimize(pixels.data());
    }
}

BENCHMARK(LibjpegDecodeFrame)
    ->ArgNames({"W", "H"})
    ->Args({1920, 1080})
    ->Args({3840, 2160})
    ->Unit(benchmark::kMillisecond);

void LivePipelineMjpeg(benchmark::State& state) {
    LivePipeline(state, "mjpeg");
}
BENCHMARK(LivePipelineMjpeg)
    ->Name("LivePipeline/mjpeg")
    ->ArgNames({"W", "H"})
    ->Args({1920, 1080})
    ->Args({3840, 2160})
    ->UseManualTime()
    ->Iterations(150)
    ->Unit(benchmark::kMillisecond);

// A webcam's raw mode, beside Memcpy/W/H: the one conversion of its frames to BGR and the rest.
void LivePipelineYuy2(benchmark::State& state) {
    LivePipeline(state, "yuy2");
}
BENCHMARK(LivePipelineYuy2)
    ->Name("LivePipeline/yuy2")
    ->ArgNames({"W", "H"})
    ->Args({1920, 1080})
    ->UseManualTime()
    ->Iterations(150)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace flipbook
