// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <cstdint>
#include <string>
#include <vector>

namespace flipbook::testing {

// A video read back through GStreamer's own decoders: its frames as top-down BGR rows.
struct DecodedVideo {
    int width = 0;
    int height = 0;
    std::uint64_t durationNanoseconds = 0;  // end of the last frame
    std::vector<std::vector<std::uint8_t>> frames;
    std::string error;

    // The blue, green, red bytes of a pixel of a frame.
    const std::uint8_t* Pixel(std::size_t frame, int x, int y) const {
        const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
        return frames[frame].data() + static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x) * 3;
    }
};

inline DecodedVideo DecodeVideo(const std::string& path) {
    DecodedVideo video;
    gst_init(nullptr, nullptr);
    GError* error = nullptr;
    const std::string description =
        "filesrc location=\"" + path +
        "\" ! decodebin ! videoconvert ! video/x-raw,format=BGR ! appsink name=sink "
        "sync=false";
    GstElement* pipeline = gst_parse_launch(description.c_str(), &error);
    if (!pipeline) {
        video.error = error ? error->message : "cannot build the pipeline";
        if (error) g_error_free(error);
        return video;
    }
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    while (GstSample* sample = gst_app_sink_pull_sample(GST_APP_SINK(sink))) {
        const GstStructure* caps = gst_caps_get_structure(gst_sample_get_caps(sample), 0);
        gst_structure_get_int(caps, "width", &video.width);
        gst_structure_get_int(caps, "height", &video.height);
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        GstMapInfo map;
        gst_buffer_map(buffer, &map, GST_MAP_READ);
        video.frames.emplace_back(map.data, map.data + map.size);
        gst_buffer_unmap(buffer, &map);
        video.durationNanoseconds = GST_BUFFER_PTS(buffer) + GST_BUFFER_DURATION(buffer);
        gst_sample_unref(sample);
    }
    GstBus* bus = gst_element_get_bus(pipeline);
    if (GstMessage* message = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR)) {
        GError* failure = nullptr;
        gst_message_parse_error(message, &failure, nullptr);
        video.error = failure ? failure->message : "error";
        if (failure) g_error_free(failure);
        gst_message_unref(message);
    }
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(sink);
    gst_object_unref(pipeline);
    return video;
}

}  // namespace flipbook::testing
