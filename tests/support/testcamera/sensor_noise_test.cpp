// SPDX-License-Identifier: GPL-3.0-or-later
// The test camera's noisy still scene, pulled through a real pipeline beside the same camera without
// noise: the noise has the sigma asked for and no bias, differs from frame to frame, repeats from run
// to run, and averages away as a sensor's does.

#include <gtest/gtest.h>

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "test_camera.h"

namespace {

using Frame = std::vector<std::uint8_t>;

// The first `count` frames of the named test camera, BGR bytes as it sends them.
std::vector<Frame> FramesOf(const std::string& name, int count) {
    GstDeviceProvider* provider = gst_device_provider_factory_get_by_name("flipbooktestcameraprovider");
    if (!provider) return {};
    GstElement* source = nullptr;
    GList* devices = gst_device_provider_get_devices(provider);
    for (GList* item = devices; item && !source; item = item->next) {
        gchar* displayName = gst_device_get_display_name(GST_DEVICE(item->data));
        if (name == displayName) source = gst_device_create_element(GST_DEVICE(item->data), nullptr);
        g_free(displayName);
    }
    g_list_free_full(devices, gst_object_unref);
    gst_object_unref(provider);
    if (!source) return {};
    GstElement* pipeline = gst_pipeline_new(nullptr);
    GstElement* sink = gst_element_factory_make("appsink", nullptr);
    gst_bin_add_many(GST_BIN(pipeline), source, sink, nullptr);
    std::vector<Frame> frames;
    if (gst_element_link(source, sink) &&
        gst_element_set_state(pipeline, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE) {
        while (static_cast<int>(frames.size()) < count) {
            GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 10 * GST_SECOND);
            if (!sample) break;
            GstMapInfo map;
            if (gst_buffer_map(gst_sample_get_buffer(sample), &map, GST_MAP_READ)) {
                frames.emplace_back(map.data, map.data + map.size);
                gst_buffer_unmap(gst_sample_get_buffer(sample), &map);
            }
            gst_sample_unref(sample);
        }
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return frames;
}

// Mean and standard deviation of frame - clean over the bytes whose clean level lies four sigmas away
// from both ends, where clamping leaves the noise as it was drawn.
struct Deviation {
    double mean = 0;
    double sigma = 0;
};
Deviation DeviationOf(const Frame& frame, const Frame& clean, double sigma) {
    double sum = 0;
    double squares = 0;
    int count = 0;
    for (std::size_t i = 0; i < clean.size(); ++i) {
        if (clean[i] < 4 * sigma || clean[i] > 255 - 4 * sigma) continue;
        const double difference = static_cast<double>(frame[i]) - clean[i];
        sum += difference;
        squares += difference * difference;
        ++count;
    }
    if (count < 1000) return {1e9, 1e9};
    const double mean = sum / count;
    return {mean, std::sqrt(squares / count - mean * mean)};
}

TEST(TestCameraNoise, StillSceneWithGaussianNoise_NewEachFrame_RepeatingEachRun) {
    flipbook::testing::PrepareTestCamera();
    gst_init(nullptr, nullptr);
    flipbook::testing::SetTestCameras("clean:bgr:64x48:gradient;noisy:bgr:64x48:gradient:noise=10");
    const std::vector<Frame> clean = FramesOf("clean", 2);
    const std::vector<Frame> noisy = FramesOf("noisy", 8);
    ASSERT_EQ(clean.size(), 2u);
    ASSERT_EQ(noisy.size(), 8u);
    ASSERT_EQ(clean[0], clean[1]) << "the scene without noise stands still";
    ASSERT_EQ(noisy[0].size(), clean[0].size());

    for (const Frame& frame : {noisy[0], noisy[7]}) {
        const Deviation deviation = DeviationOf(frame, clean[0], 10);
        EXPECT_NEAR(deviation.mean, 0, 0.6);
        EXPECT_NEAR(deviation.sigma, 10, 0.8);
    }
    int differing = 0;
    for (std::size_t i = 0; i < noisy[0].size(); ++i) differing += noisy[0][i] != noisy[1][i];
    EXPECT_GT(differing, static_cast<int>(noisy[0].size()) * 3 / 4) << "each frame has noise of its own";

    // The mean of eight frames has about 1 / sqrt(8) = 0.35 of the noise.
    Frame mean(clean[0].size());
    for (std::size_t i = 0; i < mean.size(); ++i) {
        int sum = 4;
        for (const Frame& frame : noisy) sum += frame[i];
        mean[i] = static_cast<std::uint8_t>(sum / 8);
    }
    const Deviation averaged = DeviationOf(mean, clean[0], 10);
    EXPECT_NEAR(averaged.sigma, 3.5, 0.5);

    // A second run of the camera sends the same frames.
    const std::vector<Frame> again = FramesOf("noisy", 2);
    ASSERT_EQ(again.size(), 2u);
    EXPECT_EQ(again[0], noisy[0]);
    EXPECT_EQ(again[1], noisy[1]);
}

}  // namespace
