// SPDX-License-Identifier: GPL-3.0-or-later
// The source filter and sample grabber in a real capture graph over the test camera.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

#include "capture/filter.h"
#include "capture/filter_graph.h"
#include "capture/sample_grabber.h"
#include "capture/sys_dev_enum.h"
#include "platform/mediagraph/service.h"
#include "test_camera.h"

namespace flipbook {
namespace {

const bool kCameraPrepared = (testing::PrepareTestCamera(), true);

// What the frame handler saw, shared with the test thread.
struct Frames {
    std::mutex mutex;
    std::condition_variable arrived;
    int count = 0;
    bool converted = true;
    Bitmap delivered;
    Bitmap kept;

    bool WaitFor(int frames) {
        std::unique_lock lock(mutex);
        return arrived.wait_for(lock, std::chrono::seconds(10), [&] { return count >= frames; });
    }
    int Count() {
        std::lock_guard lock(mutex);
        return count;
    }
};

// The main window's capture components, bound to the test camera's device at an index.
class CaptureGraph : public ::testing::Test {
protected:
    void SetUp() override { CoInitialize(); }
    void TearDown() override {
        graph.reset();
        CoUninitialize();
        testing::SetTestCameras("");
    }

    void Build() {
        graph = std::make_unique<Components>();
        graph->grabber.OnBuffer = [this](TSampleGrabber& sender, double, const std::uint8_t* buffer,
                                         std::uint32_t length) {
            std::lock_guard lock(frames.mutex);
            frames.converted = frames.converted && sender.GetBitmap(frames.delivered, buffer, length) &&
                               sender.GetBitmap(frames.kept);
            ++frames.count;
            frames.arrived.notify_all();
        };
    }

    // The device change of the main window: stop and clear, rebind, connect and run.
    void Select(int index) {
        graph->graph.ClearGraph();
        graph->graph.SetActive(false);
        graph->source.BaseFilter().SetMoniker(graph->devices.GetMoniker(index).Get());
        graph->graph.SetActive(true);
        ComPtr<ICaptureGraphBuilder2> builder;
        ASSERT_EQ(graph->graph.QueryInterface(builder), S_OK);
        ComPtr<IBaseFilter> sourceFilter = QueryAs<IBaseFilter>(&graph->source);
        ComPtr<IBaseFilter> grabberFilter = QueryAs<IBaseFilter>(&graph->grabber);
        ASSERT_TRUE(sourceFilter);
        ASSERT_TRUE(grabberFilter);
        EXPECT_EQ(builder->RenderStream(nullptr, nullptr, sourceFilter.Get(), nullptr, grabberFilter.Get()),
                  S_OK);
        ASSERT_TRUE(graph->graph.Run());
    }

    struct Components {
        TSysDevEnum devices{CLSID_VideoInputDeviceCategory};
        TFilterGraph graph;
        TSampleGrabber grabber{"fwSampleGrabber"};
        TFilter source{"fwFilterSource"};
        Components() {
            graph.SetMode(gmCapture);
            grabber.SetFilterGraph(&graph);
            source.SetFilterGraph(&graph);
        }
        ~Components() {
            graph.ClearGraph();
            graph.SetActive(false);
        }
    };

    Frames frames;
    std::unique_ptr<Components> graph;
};

bool Near(Rgb actual, Rgb expected) {
    auto close = [](int a, int b) { return std::abs(a - b) <= 24; };
    return close(actual.red, expected.red) && close(actual.green, expected.green) &&
           close(actual.blue, expected.blue);
}

class CaptureFormats : public CaptureGraph, public ::testing::WithParamInterface<const char*> {};

// Every format a camera may give reaches the handler as 24-bit BGR rows of the camera's size,
// showing the colour bars of the test pattern.
TEST_P(CaptureFormats, FramesReachTheHandlerAsTopDown24BitBitmaps) {
    testing::SetTestCameras(std::string("Camera:320x240@30:smpte:") + GetParam());
    Build();
    ASSERT_EQ(graph->devices.DeviceCount(), 1);
    Select(0);
    ASSERT_TRUE(frames.WaitFor(3));
    graph->graph.ClearGraph();

    std::lock_guard lock(frames.mutex);
    EXPECT_TRUE(frames.converted);
    for (Bitmap* bitmap : {&frames.delivered, &frames.kept}) {
        EXPECT_EQ(bitmap->Width(), 320);
        EXPECT_EQ(bitmap->Height(), 240);
        EXPECT_EQ(bitmap->BitsPerPixel(), 24);
        EXPECT_TRUE(bitmap->TopDown());
        // The bars from the left: white, yellow, cyan, green, magenta, red, blue.
        EXPECT_TRUE(Near(bitmap->PixelColor(20, 40), {255, 255, 255}));
        EXPECT_TRUE(Near(bitmap->PixelColor(65, 40), {255, 255, 0}));
        EXPECT_TRUE(Near(bitmap->PixelColor(110, 40), {0, 255, 255}));
        EXPECT_TRUE(Near(bitmap->PixelColor(300, 40), {0, 0, 255}));
    }
}

INSTANTIATE_TEST_SUITE_P(CameraFormats, CaptureFormats,
                         ::testing::Values("bgr", "yuy2", "i420", "nv12", "mjpeg"));

TEST_F(CaptureGraph, Deactivating_EndsTheFrames_AndReleasesTheFilters) {
    testing::SetTestCameras("Camera:160x120@60");
    Build();
    Select(0);
    ASSERT_TRUE(frames.WaitFor(2));
    graph->graph.ClearGraph();
    graph->graph.SetActive(false);
    EXPECT_FALSE(graph->grabber.GetFilter());
    EXPECT_FALSE(graph->source.GetFilter());
    const int after = frames.Count();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(frames.Count(), after);
    Bitmap bitmap;
    EXPECT_FALSE(graph->grabber.GetBitmap(bitmap));
}

TEST_F(CaptureGraph, DeviceThatIsGone_GivesNoFilterAndNoFrames) {
    testing::SetTestCameras("Camera:160x120");
    Build();
    graph->source.BaseFilter().SetMoniker(graph->devices.GetMoniker(0).Get());
    testing::SetTestCameras("");
    graph->graph.SetActive(true);
    EXPECT_FALSE(graph->source.GetFilter());
    ComPtr<IBaseFilter> filter;
    EXPECT_EQ(graph->source.QueryInterface(IBaseFilter::kIid, filter.PutVoid()), E_NOINTERFACE);
    EXPECT_EQ(frames.Count(), 0);
}

}  // namespace
}  // namespace flipbook
