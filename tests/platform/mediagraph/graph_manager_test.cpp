// SPDX-License-Identifier: GPL-3.0-or-later
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <thread>

#include "platform/mediagraph/devices.h"
#include "platform/mediagraph/graph.h"
#include "platform/mediagraph/sample_grabber.h"
#include "platform/mediagraph/service.h"
#include "support/temp_dir.h"
#include "test_camera.h"

namespace flipbook {
namespace {

const bool kCameraPrepared = (testing::PrepareTestCamera(/*trackLeaks=*/true), true);

// Counts the samples it is handed and on which thread.
class FrameCounter : public ComObject<ISampleGrabberCB> {
public:
    HRESULT SampleCB(double, IMediaSample*) override { return S_OK; }
    HRESULT BufferCB(double, std::uint8_t* buffer, std::int32_t length) override {
        std::lock_guard lock(mutex_);
        ++frames_;
        lastLength_ = length;
        firstByte_ = buffer ? buffer[0] : 0;
        onMainThread_ = onMainThread_ || std::this_thread::get_id() == mainThread_;
        changed_.notify_all();
        return S_OK;
    }
    // Waits (at most ten seconds, as a guard against a stuck pipeline) for that many frames.
    bool WaitForFrames(int count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return frames_ >= count; });
    }
    int Frames() {
        std::lock_guard lock(mutex_);
        return frames_;
    }
    std::int32_t LastLength() {
        std::lock_guard lock(mutex_);
        return lastLength_;
    }
    bool SawMainThread() {
        std::lock_guard lock(mutex_);
        return onMainThread_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int frames_ = 0;
    std::int32_t lastLength_ = 0;
    std::uint8_t firstByte_ = 0;
    bool onMainThread_ = false;
    std::thread::id mainThread_ = std::this_thread::get_id();
};

// Records the posts of the service, from whichever thread they come.
class PostCounter : public INotifyTarget {
public:
    void PostNotify(std::uint32_t message, std::intptr_t instance) override {
        std::lock_guard lock(mutex_);
        ++posts_;
        lastMessage_ = message;
        lastInstance_ = instance;
        changed_.notify_all();
    }
    bool WaitForPosts(int count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return posts_ >= count; });
    }
    int Posts() {
        std::lock_guard lock(mutex_);
        return posts_;
    }
    std::uint32_t lastMessage_ = 0;
    std::intptr_t lastInstance_ = 0;

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int posts_ = 0;
};

AM_MEDIA_TYPE Rgb24() {
    AM_MEDIA_TYPE type;
    type.majortype = MEDIATYPE_Video;
    type.subtype = MEDIASUBTYPE_RGB24;
    type.formattype = FORMAT_VideoInfo;
    type.bFixedSizeSamples = -1;
    type.lSampleSize = 1;
    return type;
}

// A capture graph from the first test camera into a sample grabber asking for 24-bit RGB.
struct CaptureGraph {
    ComPtr<IGraphBuilder> graph;
    ComPtr<ICaptureGraphBuilder2> builder;
    ComPtr<IBaseFilter> source;
    ComPtr<IBaseFilter> grabberFilter;
    ComPtr<ISampleGrabber> grabber;
    ComPtr<IMediaControl> control;

    CaptureGraph() {
        CoCreateInstance(CLSID_FilterGraph, CLSCTX_INPROC, graph);
        CoCreateInstance(CLSID_CaptureGraphBuilder2, CLSCTX_INPROC, builder);
        builder->SetFiltergraph(graph.Get());
        ComPtr<ICreateDevEnum> devices;
        CoCreateInstance(CLSID_SystemDeviceEnum, CLSCTX_INPROC, devices);
        ComPtr<IEnumMoniker> enumerator;
        devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, enumerator, 0);
        ComPtr<IMoniker> moniker;
        if (enumerator) enumerator->Next(1, moniker.Put(), nullptr);
        if (moniker) moniker->BindToObject(nullptr, nullptr, IBaseFilter::kIid, source.PutVoid());
        CoCreateInstance(CLSID_SampleGrabber, CLSCTX_INPROC, grabberFilter);
        grabber = grabberFilter.As<ISampleGrabber>();
        AM_MEDIA_TYPE type = Rgb24();
        grabber->SetMediaType(&type);
        graph->AddFilter(grabberFilter.Get(), "fwSampleGrabber");
        graph->AddFilter(source.Get(), "fwFilterSource");
        control = graph.As<IMediaControl>();
    }
};

class MediaPipeline : public ::testing::Test {
protected:
    void SetUp() override { CoInitialize(); }
    void TearDown() override {
        testing::SetTestCameras("");
        CoUninitialize();
    }
};

TEST_F(MediaPipeline, RenderStream_ConvertsCameraFramesTo24BitRowsOnTheStreamingThread) {
    testing::SetTestCameras("Camera:320x240@30:smpte:yuy2");
    auto counter = MakeCom<FrameCounter>();
    {
        CaptureGraph capture;
        ASSERT_TRUE(capture.source);
        capture.grabber->SetBufferSamples(true);
        capture.grabber->SetCallback(counter.Get(), 1);
        AM_MEDIA_TYPE connected;
        EXPECT_EQ(capture.grabber->GetConnectedMediaType(&connected), VFW_E_NOT_CONNECTED);

        ASSERT_EQ(capture.builder->RenderStream(nullptr, nullptr, capture.source.Get(), nullptr,
                                                capture.grabberFilter.Get()),
                  S_OK);
        std::string description = capture.graph.As<IGraphDescription>()->Describe();
        EXPECT_NE(description.find("filter Color Space Converter\n"), std::string::npos) << description;
        EXPECT_NE(description.find("connection fwFilterSource.src -> Capture Mode.sink\n"), std::string::npos)
            << description;
        EXPECT_NE(description.find("connection Capture Mode.src -> Color Space Converter.sink\n"),
                  std::string::npos)
            << description;
        EXPECT_NE(description.find("connection Color Space Converter.src -> fwSampleGrabber.in\n"),
                  std::string::npos)
            << description;

        ASSERT_TRUE(Succeeded(capture.control->Run()));
        ASSERT_TRUE(counter->WaitForFrames(3));
        EXPECT_FALSE(counter->SawMainThread());
        EXPECT_EQ(counter->LastLength(), 320 * 3 * 240);

        ASSERT_EQ(capture.grabber->GetConnectedMediaType(&connected), S_OK);
        EXPECT_EQ(connected.majortype, MEDIATYPE_Video);
        EXPECT_EQ(connected.subtype, MEDIASUBTYPE_RGB24);
        EXPECT_EQ(connected.formattype, FORMAT_VideoInfo);
        VideoImageHeader header;
        ASSERT_TRUE(ReadVideoImageHeader(connected, kVideoInfoImageHeaderOffset, header));
        EXPECT_EQ(header.width, 320);
        EXPECT_EQ(header.height, -240);  // top-down rows
        EXPECT_EQ(header.bitCount, 24);
        EXPECT_EQ(header.sizeImage, 230400u);
        FreeMediaType(connected);

        std::int32_t size = 0;
        ASSERT_EQ(capture.grabber->GetCurrentBuffer(&size, nullptr), S_OK);
        EXPECT_EQ(size, 230400);
        std::vector<std::uint8_t> frame(static_cast<std::size_t>(size));
        std::int32_t tooSmall = size - 1;
        EXPECT_EQ(capture.grabber->GetCurrentBuffer(&tooSmall, frame.data()), E_OUTOFMEMORY);
        EXPECT_EQ(capture.grabber->GetCurrentBuffer(&size, frame.data()), S_OK);

        EXPECT_EQ(capture.control->Stop(), S_OK);
        capture.grabber->SetCallback(nullptr, 1);
        // Keeping switched off and on again forgets the kept sample.
        capture.grabber->SetBufferSamples(false);
        capture.grabber->SetBufferSamples(true);
        EXPECT_EQ(capture.grabber->GetCurrentBuffer(&size, nullptr), VFW_E_WRONG_STATE);
    }
}

// Cameras whose frames must be decoded: a plain MJPEG one whose rows need padding (321 * 3 = 963,
// padded to 964), and a webcam whose best mode is not its first: it lists raw 640 x 480 first, and its
// 1920 x 1080 at 30 fps comes only as MJPEG.
TEST_F(MediaPipeline, RenderStream_DecodesMjpegCameras_InTheirLargestLiveMode) {
    const struct {
        const char* camera;
        std::int32_t frameBytes;
    } cases[] = {{"Webcam:321x240@30:ball:mjpeg", 964 * 240}, {"HD Webcam:webcam1080", 1920 * 3 * 1080}};
    for (const auto& test : cases) {
        SCOPED_TRACE(test.camera);
        testing::SetTestCameras(test.camera);
        auto counter = MakeCom<FrameCounter>();
        CaptureGraph capture;
        ASSERT_TRUE(capture.source);
        capture.grabber->SetCallback(counter.Get(), 1);
        ASSERT_EQ(capture.builder->RenderStream(nullptr, nullptr, capture.source.Get(), nullptr,
                                                capture.grabberFilter.Get()),
                  S_OK);
        ComPtr<IBaseFilter> decoder;
        EXPECT_EQ(capture.graph->FindFilterByName("MJPEG Decompressor", decoder), S_OK);
        ASSERT_TRUE(Succeeded(capture.control->Run()));
        ASSERT_TRUE(counter->WaitForFrames(2));
        EXPECT_EQ(counter->LastLength(), test.frameBytes);
        capture.control->Stop();
        capture.grabber->SetCallback(nullptr, 1);
    }
}

// Takes the graph's events until one of the code comes (at most ten seconds); the codes seen, and
// that event's parameters as they are before FreeEventParams.
struct SeenEvents {
    std::vector<std::int32_t> codes;
    std::intptr_t param1 = 0;
    std::string text;  // param2 of EC_ERRORABORT
};
SeenEvents WaitForEvent(IMediaEventEx& events, std::int32_t wanted) {
    SeenEvents seen;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        std::int32_t code = 0;
        std::intptr_t param1 = 0;
        std::intptr_t param2 = 0;
        if (events.GetEvent(code, param1, param2, 0) != S_OK) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        seen.codes.push_back(code);
        if (code == EC_ERRORABORT) seen.text = reinterpret_cast<const char*>(param2);
        if (code == EC_DEVICE_LOST) {
            EXPECT_EQ(param2, 1);  // removed
        }
        if (code == wanted) seen.param1 = param1;
        events.FreeEventParams(code, param1, param2);
        if (code == wanted) break;
    }
    return seen;
}

bool Contains(const std::vector<std::int32_t>& codes, std::int32_t code) {
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}

std::size_t VideoDeviceCount() {
    ComPtr<ICreateDevEnum> devices;
    CoCreateInstance(CLSID_SystemDeviceEnum, CLSCTX_INPROC, devices);
    ComPtr<IEnumMoniker> enumerator;
    devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, enumerator, 0);
    std::size_t count = 0;
    ComPtr<IMoniker> moniker;
    while (enumerator && enumerator->Next(1, moniker.Put(), nullptr) == S_OK) ++count;
    return count;
}

// A camera another program holds fails as it starts: Run says so, and the abort carries the cause
// and the camera's own words; nothing reports the stream as complete.
TEST_F(MediaPipeline, Run_FailsForACameraInUse_AndTheAbortKeepsItsCause) {
    testing::SetTestCameras("HD Webcam:webcam1080:busy");
    CaptureGraph capture;
    ASSERT_EQ(capture.builder->RenderStream(nullptr, nullptr, capture.source.Get(), nullptr,
                                            capture.grabberFilter.Get()),
              S_OK);
    EXPECT_EQ(capture.control->Run(), E_DEVICE_BUSY);
    ComPtr<IMediaEventEx> events = capture.graph.As<IMediaEventEx>();
    SeenEvents seen = WaitForEvent(*events, EC_ERRORABORT);
    ASSERT_TRUE(Contains(seen.codes, EC_ERRORABORT));
    EXPECT_EQ(static_cast<HRESULT>(seen.param1), E_DEVICE_BUSY);
    EXPECT_EQ(seen.text, "Device '/dev/video0' is busy");
    EXPECT_FALSE(Contains(seen.codes, EC_COMPLETE));
    std::int32_t code = 0;
    std::intptr_t param1 = 0;
    std::intptr_t param2 = 0;
    // The errors that follow the first (the source's "streaming stopped") are not reported again.
    while (events->GetEvent(code, param1, param2, 0) == S_OK) {
        EXPECT_NE(code, EC_ERRORABORT);
        EXPECT_NE(code, EC_COMPLETE);
        events->FreeEventParams(code, param1, param2);
    }
}

// A camera pulled out while it streams is a lost device, named by its filter, and gone from the
// device list until it is plugged in again.
TEST_F(MediaPipeline, PulledOutCamera_IsALostDevice_UntilPluggedInAgain) {
    testing::SetTestCameras("HD Webcam:webcam1080:unplug=5");
    auto counter = MakeCom<FrameCounter>();
    CaptureGraph capture;
    capture.grabber->SetCallback(counter.Get(), 1);
    capture.builder->RenderStream(nullptr, nullptr, capture.source.Get(), nullptr,
                                  capture.grabberFilter.Get());
    EXPECT_EQ(capture.control->Run(), S_OK);
    SeenEvents seen = WaitForEvent(*capture.graph.As<IMediaEventEx>(), EC_DEVICE_LOST);
    ASSERT_TRUE(Contains(seen.codes, EC_DEVICE_LOST));
    EXPECT_EQ(seen.param1, reinterpret_cast<std::intptr_t>(static_cast<IUnknown*>(capture.source.Get())));
    EXPECT_FALSE(Contains(seen.codes, EC_ERRORABORT));
    EXPECT_FALSE(Contains(seen.codes, EC_COMPLETE));
    EXPECT_EQ(counter->Frames(), 5);
    EXPECT_EQ(VideoDeviceCount(), 0u);
    capture.control->Stop();
    capture.grabber->SetCallback(nullptr, 1);

    testing::PlugInTestCamera("HD Webcam:webcam1080");
    EXPECT_EQ(VideoDeviceCount(), 1u);
}

void RunCaptureOnce() {
    auto counter = MakeCom<FrameCounter>();
    CaptureGraph capture;
    capture.grabber->SetCallback(counter.Get(), 1);
    capture.builder->RenderStream(nullptr, nullptr, capture.source.Get(), nullptr,
                                  capture.grabberFilter.Get());
    capture.control->Run();
    EXPECT_TRUE(counter->WaitForFrames(2));
    capture.control->Stop();
    capture.grabber->SetCallback(nullptr, 1);
}

TEST_F(MediaPipeline, RunAndStop_LeaveNoGStreamerObjectBehind) {
    testing::SetTestCameras("Camera:160x120@30");
    // The first run makes what GStreamer keeps for the whole process (device providers, pad
    // templates, the system clock); a second run must not add to it.
    RunCaptureOnce();
    testing::GstLeakCheck leaks;
    ASSERT_TRUE(leaks.Available());
    RunCaptureOnce();
    std::vector<std::string> live = leaks.LiveObjectsAfterThreadsEnd();
    std::string names;
    for (const std::string& name : live) names += name + " ";
    EXPECT_TRUE(live.empty()) << names;
}

TEST_F(MediaPipeline, Events_ArePostedFromTheThreadThatQueuesThem_WhileEnabled) {
    testing::SetTestCameras("Camera:160x120@30");
    PostCounter target;
    CaptureGraph capture;
    ComPtr<IMediaEventEx> events = capture.graph.As<IMediaEventEx>();
    ASSERT_TRUE(events);
    events->SetNotifyWindow(&target, WM_APP + 1, 42);
    events->SetNotifyFlags(0);

    // A one-shot grabber ends the stream after its first sample: the end comes as EC_COMPLETE.
    capture.grabber->SetOneShot(true);
    capture.builder->RenderStream(nullptr, nullptr, capture.source.Get(), nullptr,
                                  capture.grabberFilter.Get());
    capture.control->Run();
    std::int32_t code = 0;
    std::intptr_t param1 = 0;
    std::intptr_t param2 = 0;
    bool complete = false;
    for (int posts = 1; !complete && target.WaitForPosts(posts); ++posts) {
        while (!complete && events->GetEvent(code, param1, param2, 0) == S_OK) complete = code == EC_COMPLETE;
    }
    EXPECT_TRUE(complete);
    EXPECT_EQ(target.lastMessage_, WM_APP + 1);
    EXPECT_EQ(target.lastInstance_, 42);
    capture.control->Stop();
    while (events->GetEvent(code, param1, param2, 0) == S_OK) {
    }

    ComPtr<IMediaEventSink> sink = capture.graph.As<IMediaEventSink>();
    int before = target.Posts();
    std::thread([&] { sink->Notify(EC_VIDEO_SIZE_CHANGED, 0x00F000A0, 0); }).join();
    EXPECT_EQ(target.Posts(), before + 1);
    events->SetNotifyFlags(1);
    sink->Notify(EC_GRAPH_CHANGED, 0, 0);
    EXPECT_EQ(target.Posts(), before + 1);
    ASSERT_EQ(events->GetEvent(code, param1, param2, 0), S_OK);
    EXPECT_EQ(code, EC_VIDEO_SIZE_CHANGED);
    EXPECT_EQ(param1, 0x00F000A0);
    ASSERT_EQ(events->GetEvent(code, param1, param2, 0), S_OK);
    EXPECT_EQ(code, EC_GRAPH_CHANGED);
    EXPECT_EQ(events->GetEvent(code, param1, param2, 0), E_ABORT);
}

TEST_F(MediaPipeline, RenderStream_FailsAndLeavesNoConverter_WhenTheSinkTakesNothingTheSourceGives) {
    testing::SetTestCameras("Camera:160x120@30");
    CaptureGraph capture;
    AM_MEDIA_TYPE audio;
    audio.majortype = MakeGuid("{73647561-0000-0010-8000-00AA00389B71}");
    capture.grabber->SetMediaType(&audio);
    EXPECT_EQ(capture.builder->RenderStream(nullptr, nullptr, capture.source.Get(), nullptr,
                                            capture.grabberFilter.Get()),
              VFW_E_CANNOT_CONNECT);
    std::vector<ComPtr<IBaseFilter>> filters;
    capture.graph->EnumFilters(filters);
    EXPECT_EQ(filters.size(), 2u);
    EXPECT_EQ(capture.builder->RenderStream(nullptr, nullptr, capture.source.Get(), nullptr, nullptr),
              VFW_E_CANNOT_RENDER);
    ComPtr<IBaseFilter> outside;
    CoCreateInstance(CLSID_SampleGrabber, CLSCTX_INPROC, outside);
    EXPECT_EQ(capture.builder->RenderStream(nullptr, nullptr, capture.source.Get(), nullptr, outside.Get()),
              VFW_E_NOT_IN_GRAPH);
}

TEST_F(MediaPipeline, FilterGraph_NamesFiltersUniquely_AndAnswersForForeignOnes) {
    ComPtr<IGraphBuilder> graph;
    CoCreateInstance(CLSID_FilterGraph, CLSCTX_INPROC, graph);
    ComPtr<IBaseFilter> first;
    ComPtr<IBaseFilter> second;
    CoCreateInstance(CLSID_SampleGrabber, CLSCTX_INPROC, first);
    CoCreateInstance(CLSID_SampleGrabber, CLSCTX_INPROC, second);
    EXPECT_EQ(graph->AddFilter(nullptr, "none"), E_POINTER);
    EXPECT_EQ(graph->AddFilter(first.Get(), "Grabber"), S_OK);
    EXPECT_EQ(graph->AddFilter(first.Get(), "Again"), E_INVALIDARG);  // already in a graph
    EXPECT_EQ(graph->AddFilter(second.Get(), "Grabber"), S_OK);
    ComPtr<IBaseFilter> found;
    EXPECT_EQ(graph->FindFilterByName("Grabber 0001", found), S_OK);
    EXPECT_EQ(found, second);

    std::vector<ComPtr<IPin>> pins;
    ASSERT_EQ(first->EnumPins(pins), S_OK);
    ASSERT_EQ(pins.size(), 2u);
    PinDirection direction;
    pins[0]->QueryDirection(direction);
    EXPECT_EQ(direction, PinDirection::Input);
    pins[1]->QueryDirection(direction);
    EXPECT_EQ(direction, PinDirection::Output);
    EXPECT_EQ(pins[0]->Disconnect(), S_FALSE);
    ComPtr<IPin> peer;
    EXPECT_EQ(pins[0]->ConnectedTo(peer), VFW_E_NOT_CONNECTED);

    EXPECT_EQ(graph->RemoveFilter(first.Get()), S_OK);
    EXPECT_EQ(graph->RemoveFilter(first.Get()), VFW_E_NOT_FOUND);
    std::vector<ComPtr<IBaseFilter>> filters;
    graph->EnumFilters(filters);
    ASSERT_EQ(filters.size(), 1u);
    EXPECT_EQ(filters[0], second);
}

TEST_F(MediaPipeline, SetLogFile_WritesItsOwnGraphsDebugLog_OnlyWhileSet) {
    testing::TempDir folder;
    testing::SetTestCameras("Camera:160x120@30");
    std::string path = folder.File("graph.log");
    int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(descriptor, 0);
    auto counter = MakeCom<FrameCounter>();
    CaptureGraph capture;
    capture.grabber->SetCallback(counter.Get(), 1);
    EXPECT_EQ(capture.graph->SetLogFile(-5), E_INVALIDARG);
    ASSERT_EQ(capture.graph->SetLogFile(descriptor), S_OK);
    close(descriptor);  // the graph keeps its own
    capture.builder->RenderStream(nullptr, nullptr, capture.source.Get(), nullptr,
                                  capture.grabberFilter.Get());
    capture.control->Run();
    ASSERT_TRUE(counter->WaitForFrames(1));
    capture.control->Stop();
    auto logged = std::filesystem::file_size(path);
    EXPECT_GT(logged, 0u);
    {
        // Another graph running meanwhile leaves this graph's log alone.
        CaptureGraph other;
        other.builder->RenderStream(nullptr, nullptr, other.source.Get(), nullptr, other.grabberFilter.Get());
        other.control->Run();
        other.control->Stop();
    }
    EXPECT_EQ(std::filesystem::file_size(path), logged);
    ASSERT_EQ(capture.graph->SetLogFile(0), S_OK);
    capture.control->Run();
    capture.control->Stop();
    EXPECT_EQ(std::filesystem::file_size(path), logged);
}

}  // namespace
}  // namespace flipbook
