// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/sample_grabber.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "capture/filter.h"
#include "capture/filter_graph.h"
#include "fake_sample_grabber.h"
#include "platform/mediagraph/service.h"

namespace flipbook {
namespace {

using testing::FakeSampleGrabber;
using testing::FakeSampleGrabberClass;

std::vector<std::uint8_t> Ramp(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 31 + 7);
    return bytes;
}

// A grabber added by hand (as an active graph would add it) over the fake filter.
class SampleGrabberTest : public ::testing::Test {
protected:
    void Add() {
        grabber.NotifyMember(moAdding, 0);
        grabber.NotifyMember(moAdded, 0);
    }
    void Remove() {
        grabber.NotifyMember(moRemoving, 0);
        grabber.NotifyMember(moRemoved, 0);
    }

    FakeSampleGrabberClass fakeClass;
    FakeSampleGrabber& fake = *fakeClass.grabber;
    TSampleGrabber grabber{"fwSampleGrabber"};
};

TEST_F(SampleGrabberTest, NotifyMember_SetsUpAndTearsDownTheFilter) {
    grabber.OnBuffer = [](TSampleGrabber&, double, const std::uint8_t*, std::uint32_t) {};
    Add();
    EXPECT_EQ(grabber.GetFilter().Get(), static_cast<IBaseFilter*>(&fake));
    EXPECT_EQ(fake.mediaTypesSet, 1);
    EXPECT_EQ(fake.lastSubtype, MEDIASUBTYPE_RGB24);
    EXPECT_EQ(fake.stops, 1);  // the media type is set on a stopped, disconnected input
    EXPECT_EQ(fake.input->disconnects, 1);
    EXPECT_EQ(fake.output->disconnects, 0);
    EXPECT_TRUE(fake.bufferSamples);
    EXPECT_EQ(fake.callback, static_cast<ISampleGrabberCB*>(&grabber));
    EXPECT_EQ(fake.callbackWhich, 1);

    grabber.MediaType().MediaType().subtype = MEDIASUBTYPE_RGB32;
    grabber.NotifyMember(moRefresh, 0);
    EXPECT_EQ(fake.mediaTypesSet, 2);
    EXPECT_EQ(fake.lastSubtype, MEDIASUBTYPE_RGB32);

    grabber.NotifyMember(moRemoving, 0);
    EXPECT_EQ(fake.stops, 3);
    EXPECT_EQ(fake.input->disconnects, 3);
    EXPECT_EQ(fake.output->disconnects, 1);
    grabber.NotifyMember(moRemoved, 0);
    EXPECT_EQ(fake.callback, nullptr);
    EXPECT_FALSE(fake.bufferSamples);
    EXPECT_FALSE(grabber.GetFilter());
    Bitmap bitmap;
    std::uint8_t byte = 0;
    EXPECT_FALSE(grabber.GetBitmap(bitmap, &byte, 1));  // no grabber interface any more
}

TEST_F(SampleGrabberTest, OnBufferUnassignedWhenAdded_RegistersNoCallbackButKeepsSamples) {
    Add();
    EXPECT_EQ(fake.callbacksSet, 0);
    EXPECT_TRUE(fake.bufferSamples);
    // Assigning it later changes nothing until the grabber is added again.
    grabber.OnBuffer = [](TSampleGrabber&, double, const std::uint8_t*, std::uint32_t) {};
    EXPECT_EQ(fake.callback, nullptr);
    fake.Connect(2, 2);
    fake.Keep(Ramp(16));
    Bitmap bitmap;
    EXPECT_TRUE(grabber.GetBitmap(bitmap));
    Remove();
    Add();
    EXPECT_EQ(fake.callback, static_cast<ISampleGrabberCB*>(&grabber));
}

TEST_F(SampleGrabberTest, QueryInterface_OwnInterfacesFirst_ThenTheFilters) {
    ComPtr<IUnknown> answer;
    EXPECT_EQ(grabber.QueryInterface(IGraphMember::kIid, answer.PutVoid()), S_OK);
    EXPECT_EQ(grabber.QueryInterface(ISampleGrabberCB::kIid, answer.PutVoid()), S_OK);
    EXPECT_EQ(grabber.QueryInterface(IBaseFilter::kIid, answer.PutVoid()), E_NOINTERFACE);
    EXPECT_FALSE(answer);
    Add();
    EXPECT_EQ(grabber.QueryInterface(IBaseFilter::kIid, answer.PutVoid()), S_OK);
    EXPECT_EQ(answer.Get(), static_cast<IUnknown*>(static_cast<IBaseFilter*>(&fake)));
    EXPECT_EQ(grabber.QueryInterface(ISampleGrabber::kIid, answer.PutVoid()), S_OK);
    Remove();
}

TEST_F(SampleGrabberTest, GetBitmap_WithoutAFrameOrOutsideAGraph_LeavesTheBitmapUntouched) {
    Bitmap bitmap;
    bitmap.SetSize(5, 7);
    const std::uint8_t byte = 1;
    fake.Connect(320, 240);
    EXPECT_FALSE(grabber.GetBitmap(bitmap, &byte, 1));  // not added: no grabber interface
    EXPECT_FALSE(grabber.GetBitmap(bitmap));
    Add();
    EXPECT_FALSE(grabber.GetBitmap(bitmap, nullptr, 100));
    EXPECT_FALSE(grabber.GetBitmap(bitmap, &byte, 0));
    fake.connectedResult = VFW_E_NOT_CONNECTED;
    EXPECT_FALSE(grabber.GetBitmap(bitmap, &byte, 1));
    EXPECT_FALSE(grabber.GetBitmap(bitmap));
    fake.Connect(320, 240);
    fake.Connected().majortype = MakeGuid("{73647561-0000-0010-8000-00AA00389B71}");  // audio
    EXPECT_FALSE(grabber.GetBitmap(bitmap, &byte, 1));
    fake.Connect(320, 240, 24,
                 MakeGuid("{05589F81-C356-11CE-BF01-00AA0055595A}"));  // a format type we do not know
    EXPECT_FALSE(grabber.GetBitmap(bitmap, &byte, 1));
    fake.Connect(320, 240);
    fake.Connected().cbFormat = kVideoInfoImageHeaderOffset + kImageHeaderSize - 1;  // header cut short
    EXPECT_FALSE(grabber.GetBitmap(bitmap, &byte, 1));
    EXPECT_EQ(bitmap.Width(), 5);
    EXPECT_EQ(bitmap.Height(), 7);
    Remove();
}

struct SizeCase {
    std::int32_t width;
    std::int32_t height;
    std::size_t rowStride;
};

TEST_F(SampleGrabberTest, GetBitmap_TakesTheConnectedSizeWithPaddedRows) {
    Add();
    for (const SizeCase& c : {SizeCase{320, 240, 960}, SizeCase{321, 240, 964}, SizeCase{1, 1, 4}}) {
        fake.Connect(c.width, c.height);
        const std::vector<std::uint8_t> frame = Ramp(c.rowStride * static_cast<std::size_t>(c.height));
        Bitmap bitmap;
        ASSERT_TRUE(grabber.GetBitmap(bitmap, frame.data(), static_cast<std::uint32_t>(frame.size())))
            << c.width;
        EXPECT_EQ(bitmap.Width(), c.width);
        EXPECT_EQ(bitmap.Height(), c.height);
        EXPECT_EQ(bitmap.BitsPerPixel(), 24);
        EXPECT_EQ(bitmap.RowStride(), c.rowStride);
        EXPECT_FALSE(bitmap.TopDown());
        ASSERT_EQ(bitmap.PixelBytes(), frame.size());
        EXPECT_TRUE(std::equal(frame.begin(), frame.end(), bitmap.Pixels()));
    }
    Remove();
}

TEST_F(SampleGrabberTest, GetBitmap_NegativeHeightMakesATopDownSection_BytesCopiedUnchanged) {
    Add();
    fake.Connect(4, -3);
    const std::vector<std::uint8_t> frame = Ramp(12 * 3);
    Bitmap bitmap;
    ASSERT_TRUE(grabber.GetBitmap(bitmap, frame.data(), static_cast<std::uint32_t>(frame.size())));
    EXPECT_TRUE(bitmap.TopDown());
    EXPECT_EQ(bitmap.Height(), 3);
    EXPECT_TRUE(std::equal(frame.begin(), frame.end(), bitmap.Pixels()));
    EXPECT_EQ(bitmap.ScanLine(0)[0], frame[0]);  // the first stored row is the top one
    Remove();
}

TEST_F(SampleGrabberTest, GetBitmap_FindsTheHeaderOfVideoInfo2) {
    Add();
    fake.Connect(8, 2, 24, FORMAT_VideoInfo2);
    const std::vector<std::uint8_t> frame = Ramp(48);
    Bitmap bitmap;
    ASSERT_TRUE(grabber.GetBitmap(bitmap, frame.data(), 48));
    EXPECT_EQ(bitmap.Width(), 8);
    EXPECT_EQ(bitmap.Height(), 2);
    Remove();
}

TEST_F(SampleGrabberTest, GetBitmap_CopiesAtMostTheSection_AndZeroesWhatAShortFrameLeaves) {
    Add();
    fake.Connect(4, 2);
    Bitmap bitmap;
    const std::vector<std::uint8_t> longFrame = Ramp(100);
    ASSERT_TRUE(grabber.GetBitmap(bitmap, longFrame.data(), 100));
    ASSERT_EQ(bitmap.PixelBytes(), 24u);
    EXPECT_TRUE(std::equal(bitmap.Pixels(), bitmap.Pixels() + 24, longFrame.begin()));

    // The same description reuses the memory, which must not show the previous frame's tail.
    const std::uint8_t* memory = bitmap.Pixels();
    const std::vector<std::uint8_t> shortFrame(10, 0xAB);
    ASSERT_TRUE(grabber.GetBitmap(bitmap, shortFrame.data(), 10));
    EXPECT_EQ(bitmap.Pixels(), memory);
    EXPECT_TRUE(std::all_of(bitmap.Pixels(), bitmap.Pixels() + 10, [](std::uint8_t b) { return b == 0xAB; }));
    EXPECT_TRUE(
        std::all_of(bitmap.Pixels() + 10, bitmap.Pixels() + 24, [](std::uint8_t b) { return b == 0; }));
    Remove();
}

TEST_F(SampleGrabberTest, GetBitmap_FormatWithoutABitmapSection_LeavesTheBitmapEmpty) {
    Add();
    fake.Connect(320, 240, 16, FORMAT_VideoInfo, 0x32595559);  // YUY2: no section for it
    Bitmap bitmap;
    bitmap.SetSize(3, 3);
    const std::uint8_t byte = 1;
    EXPECT_FALSE(grabber.GetBitmap(bitmap, &byte, 1));
    EXPECT_TRUE(bitmap.Empty());
    Remove();
}

TEST_F(SampleGrabberTest, GetBitmapOfTheKeptSample_FalseWithAZeroSectionWhenNoneFits) {
    Add();
    fake.Connect(2, -2);
    Bitmap bitmap;
    EXPECT_FALSE(grabber.GetBitmap(bitmap));  // nothing kept yet
    EXPECT_EQ(bitmap.Width(), 2);
    EXPECT_TRUE(std::all_of(bitmap.Pixels(), bitmap.Pixels() + bitmap.PixelBytes(),
                            [](std::uint8_t b) { return b == 0; }));

    const std::vector<std::uint8_t> sample = Ramp(16);
    fake.Keep(sample);
    ASSERT_TRUE(grabber.GetBitmap(bitmap));
    EXPECT_TRUE(std::equal(sample.begin(), sample.end(), bitmap.Pixels()));

    fake.Keep(Ramp(17));  // larger than the section
    EXPECT_FALSE(grabber.GetBitmap(bitmap));
    EXPECT_TRUE(std::all_of(bitmap.Pixels(), bitmap.Pixels() + bitmap.PixelBytes(),
                            [](std::uint8_t b) { return b == 0; }));
    Remove();
}

TEST_F(SampleGrabberTest, BufferCB_RaisesOnBufferWithTheFrame) {
    std::vector<std::uint8_t> frame = Ramp(6);
    int calls = 0;
    grabber.OnBuffer = [&](TSampleGrabber& sender, double time, const std::uint8_t* buffer,
                           std::uint32_t length) {
        ++calls;
        EXPECT_EQ(&sender, &grabber);
        EXPECT_DOUBLE_EQ(time, 1.5);
        EXPECT_EQ(buffer, frame.data());
        EXPECT_EQ(length, 6u);
    };
    EXPECT_EQ(grabber.BufferCB(1.5, frame.data(), 6), S_OK);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(grabber.SampleCB(1.5, nullptr), S_OK);
    EXPECT_EQ(calls, 1);
    grabber.SetOnBuffer(nullptr);  // cleared while frames flow: the callback still comes, to no effect
    EXPECT_EQ(grabber.BufferCB(2.0, frame.data(), 6), S_OK);
    EXPECT_EQ(calls, 1);
}

TEST_F(SampleGrabberTest, BufferCB_ContainsAFailingHandler_AndLeavesTheFrameLock) {
    grabber.OnBuffer = [](TSampleGrabber&, double, const std::uint8_t*, std::uint32_t) {
        throw std::runtime_error("frame lost");
    };
    std::uint8_t byte = 0;
    EXPECT_EQ(grabber.BufferCB(0, &byte, 1), S_OK);
    grabber.OnBuffer = [](TSampleGrabber&, double, const std::uint8_t*, std::uint32_t) { throw 42; };
    EXPECT_EQ(grabber.BufferCB(0, &byte, 1), S_OK);
    // The lock is free again: another thread gets through.
    bool delivered = false;
    grabber.SetOnBuffer(
        [&](TSampleGrabber&, double, const std::uint8_t*, std::uint32_t) { delivered = true; });
    std::thread other([&] { grabber.BufferCB(0, &byte, 1); });
    other.join();
    EXPECT_TRUE(delivered);
}

TEST_F(SampleGrabberTest, BufferCB_FromSeveralThreads_RunsOneHandlerAtATime) {
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};
    int calls = 0;  // written only inside the frame lock
    grabber.OnBuffer = [&](TSampleGrabber&, double, const std::uint8_t*, std::uint32_t) {
        if (inside.fetch_add(1) != 0) overlapped = true;
        ++calls;
        std::this_thread::yield();
        inside.fetch_sub(1);
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            std::uint8_t byte = 0;
            for (int i = 0; i < 500; ++i) grabber.BufferCB(0, &byte, 1);
        });
    for (std::thread& thread : threads) thread.join();
    EXPECT_FALSE(overlapped);
    EXPECT_EQ(calls, 2000);
}

// Member components joining and leaving a graph.
class GraphMembership : public ::testing::Test {
protected:
    void SetUp() override { CoInitialize(); }
    void TearDown() override { CoUninitialize(); }
};

TEST_F(GraphMembership, FilterGraph_AttachesAndDetaches_AddingTheFilterWhileActive) {
    FakeSampleGrabberClass fakeClass;
    TFilterGraph graph;
    TFilterGraph otherGraph;
    TSampleGrabber grabber("fwSampleGrabber");
    grabber.SetFilterGraph(&graph);
    EXPECT_EQ(graph.MemberCount(), 1u);
    EXPECT_FALSE(grabber.GetFilter());  // inactive: nothing added

    graph.SetActive(true);
    EXPECT_TRUE(grabber.GetFilter());
    EXPECT_TRUE(fakeClass.grabber->bufferSamples);

    grabber.SetFilterGraph(&graph);  // the same graph: nothing happens
    EXPECT_EQ(fakeClass.grabber->stops, 1);

    grabber.SetFilterGraph(&otherGraph);
    EXPECT_EQ(graph.MemberCount(), 0u);
    EXPECT_EQ(otherGraph.MemberCount(), 1u);
    EXPECT_FALSE(grabber.GetFilter());  // taken out of the active graph
    EXPECT_FALSE(fakeClass.grabber->bufferSamples);

    grabber.GraphRemoved(graph);  // not its graph: kept
    EXPECT_EQ(grabber.FilterGraph(), &otherGraph);
    grabber.GraphRemoved(otherGraph);
    EXPECT_EQ(grabber.FilterGraph(), nullptr);
    EXPECT_EQ(otherGraph.MemberCount(), 1u);  // forgotten without detaching
    otherGraph.DetachMember(&grabber);
}

TEST_F(GraphMembership, Filter_WithoutAMoniker_AddsNoFilterAndAnswersNoFilterInterface) {
    TFilterGraph graph;
    graph.SetMode(gmCapture);
    TFilter source("fwFilterSource");
    source.SetFilterGraph(&graph);
    graph.SetActive(true);
    EXPECT_FALSE(source.GetFilter());
    ComPtr<IBaseFilter> filter;
    EXPECT_EQ(source.QueryInterface(IBaseFilter::kIid, filter.PutVoid()), E_NOINTERFACE);
    ComPtr<IGraphMember> member;
    EXPECT_EQ(source.QueryInterface(IGraphMember::kIid, member.PutVoid()), S_OK);
    source.NotifyMember(moRefresh, 0);
    EXPECT_EQ(graph.MemberCount(), 1u);
    graph.SetActive(false);
}

TEST_F(GraphMembership, Destruction_LeavesTheGraph) {
    FakeSampleGrabberClass fakeClass;
    TFilterGraph graph;
    {
        TSampleGrabber grabber("fwSampleGrabber");
        grabber.OnBuffer = [](TSampleGrabber&, double, const std::uint8_t*, std::uint32_t) {};
        grabber.SetFilterGraph(&graph);
        graph.SetActive(true);
        EXPECT_NE(fakeClass.grabber->callback, nullptr);
        TFilter source("fwFilterSource");
        source.SetFilterGraph(&graph);
        EXPECT_EQ(graph.MemberCount(), 2u);
    }
    EXPECT_EQ(graph.MemberCount(), 0u);
    EXPECT_EQ(fakeClass.grabber->callback, nullptr);  // the service no longer calls the freed component
}

}  // namespace
}  // namespace flipbook
