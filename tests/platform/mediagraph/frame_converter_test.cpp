// SPDX-License-Identifier: GPL-3.0-or-later
// The frame converter between a camera and the sample grabber: every format it takes becomes BGR
// rows padded to 4 bytes, in the colours the system's own converter gives; broken frames are left
// out with a warning until a run of them ends the stream.
#include <gtest/gtest.h>

#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// The library header needs size_t and FILE declared first.
#include <jpeglib.h>

#include "platform/mediagraph/frame_converter.h"
#include "platform/mediagraph/gst_handles.h"
#include "platform/mediagraph/service.h"

namespace flipbook {
namespace {

class FrameConverterTest : public ::testing::Test {
protected:
    void SetUp() override { CoInitialize(); }
    void TearDown() override { CoUninitialize(); }
};

// Plays the pipeline until its app sink has a frame (a generous bound against a stuck pipeline) and
// gives that frame's bytes, none when it came to nothing.
std::vector<std::uint8_t> FirstFrame(const gst::ElementPtr& pipeline, GstElement* sink) {
    gst_element_set_state(pipeline.Get(), GST_STATE_PLAYING);
    gst::SamplePtr sample(gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 20 * GST_SECOND));
    std::vector<std::uint8_t> bytes;
    if (sample) {
        GstBuffer* buffer = gst_sample_get_buffer(sample.get());
        bytes.resize(gst_buffer_get_size(buffer));
        gst_buffer_extract(buffer, 0, bytes.data(), bytes.size());
    }
    gst_element_set_state(pipeline.Get(), GST_STATE_NULL);
    return bytes;
}

// The one frame that `source` (a launch description ending in caps) gives, through `converter` (ours
// when null), as the bytes the sink receives.
std::vector<std::uint8_t> OneFrame(const std::string& source, gst::ElementPtr converter = {}) {
    gst::ElementPtr pipeline = gst::ElementPtr::Adopt(gst_pipeline_new(nullptr));
    GstElement* head = gst_parse_bin_from_description(source.c_str(), TRUE, nullptr);
    if (!converter) converter = MakeFrameConverter();
    GstElement* sink = gst_element_factory_make("appsink", nullptr);
    GstCaps* bgr = gst_caps_from_string("video/x-raw,format=BGR");
    g_object_set(sink, "caps", bgr, "sync", FALSE, nullptr);
    gst_caps_unref(bgr);
    gst_bin_add_many(GST_BIN(pipeline.Get()), head, GST_ELEMENT(gst_object_ref(converter.Get())), sink,
                     nullptr);
    EXPECT_TRUE(gst_element_link_many(head, converter.Get(), sink, nullptr));
    return FirstFrame(pipeline, sink);
}

std::string Bars(const char* format, int width, int height) {
    // A caps filter element of its own: bare caps at the end of a bin's description would only
    // filter a link that never comes.
    return "videotestsrc num-buffers=1 pattern=smpte ! capsfilter caps=video/x-raw,format=" +
           std::string(format) + ",width=" + std::to_string(width) + ",height=" + std::to_string(height) +
           ",framerate=30/1";
}

// libyuv holds the blue-difference coefficient (2.018 for BT.601, 2.112 for BT.709) at 2.0 to keep
// its vector multiplies in 8 bits, so a fully saturated blue or yellow comes out up to 12 levels off;
// the wrong matrix would still show (BT.601 decoding of BT.709 bars puts 20 levels of red in green).
constexpr int kLibyuvBlueError = 12;

// Raw YUV from a camera, in a size whose rows need padding (322 * 3 = 966 bytes, 968 with it) and in
// an HD size, whose colours follow another matrix: the middle of each colour bar matches the
// system's converter.
TEST_F(FrameConverterTest, RawYuv_BecomesPaddedBgrRows_InTheSystemConvertersColours) {
    for (const char* format : {"YUY2", "NV12", "I420"}) {
        for (auto [width, height] : {std::pair{322, 240}, std::pair{1280, 720}}) {
            SCOPED_TRACE(std::string(format) + " " + std::to_string(width));
            const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
            const std::vector<std::uint8_t> ours = OneFrame(Bars(format, width, height));
            const std::vector<std::uint8_t> theirs =
                OneFrame(Bars(format, width, height), gst::MakeElement("videoconvert"));
            ASSERT_EQ(ours.size(), stride * static_cast<std::size_t>(height));
            ASSERT_EQ(theirs.size(), ours.size());
            const std::size_t row = stride * static_cast<std::size_t>(height / 3);
            for (int bar = 0; bar < 7; ++bar) {
                const std::size_t pixel = row + 3 * static_cast<std::size_t>((2 * bar + 1) * width / 14);
                for (std::size_t channel = 0; channel < 3; ++channel)
                    EXPECT_NEAR(ours[pixel + channel], theirs[pixel + channel], kLibyuvBlueError)
                        << "bar " << bar;
            }
        }
    }
}

// What libjpeg-turbo itself makes of a JPEG with the live view's settings, in the same padded rows.
std::vector<std::uint8_t> LibjpegDecode(const std::vector<std::uint8_t>& jpeg, std::size_t stride) {
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_EXT_BGR;
    info.dct_method = JDCT_IFAST;
    info.do_fancy_upsampling = FALSE;
    jpeg_start_decompress(&info);
    std::vector<std::uint8_t> pixels(stride * info.output_height);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = pixels.data() + stride * info.output_scanline;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return pixels;
}

// A JPEG of the colour bars, as jpegenc makes it (the same bytes every time).
std::vector<std::uint8_t> JpegFrame(int width, int height) {
    gst::ElementPtr pipeline = gst::ElementPtr::Adopt(gst_parse_launch(
        (Bars("I420", width, height) + " ! jpegenc ! appsink name=out sync=false").c_str(), nullptr));
    GstElement* out = gst_bin_get_by_name(GST_BIN(pipeline.Get()), "out");
    std::vector<std::uint8_t> jpeg = FirstFrame(pipeline, out);
    gst_object_unref(out);
    return jpeg;
}

TEST_F(FrameConverterTest, Mjpeg_IsDecodedStraightIntoPaddedBgrRows) {
    const std::vector<std::uint8_t> jpeg = JpegFrame(322, 240);
    ASSERT_FALSE(jpeg.empty());
    const std::vector<std::uint8_t> decoded = OneFrame(Bars("I420", 322, 240) + " ! jpegenc");
    EXPECT_EQ(decoded.size(), 968u * 240);
    EXPECT_TRUE(decoded == LibjpegDecode(jpeg, 968));
}

// What the bus said while frames went through: warnings, the error's text, and whether the stream
// ended normally.
struct BusReport {
    int warnings = 0;
    std::string error;
    bool ended = false;
    int frames = 0;
};

// Pushes the frames as a 64 x 48 MJPEG stream through the converter, then the stream's end.
BusReport Push(const std::vector<std::vector<std::uint8_t>>& frames) {
    gst::ElementPtr pipeline = gst::ElementPtr::Adopt(gst_pipeline_new(nullptr));
    GstElement* source = gst_element_factory_make("appsrc", nullptr);
    GstCaps* caps = gst_caps_from_string("image/jpeg,width=64,height=48,framerate=30/1");
    g_object_set(source, "caps", caps, "format", GST_FORMAT_TIME, nullptr);
    gst_caps_unref(caps);
    gst::ElementPtr converter = MakeFrameConverter();
    // A fake sink counts the frames: an app sink would hold the stream's end back until they are taken.
    std::atomic<int> passed{0};
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    g_object_set(sink, "sync", FALSE, "signal-handoffs", TRUE, nullptr);
    g_signal_connect(sink, "handoff", G_CALLBACK(+[](GstElement*, GstBuffer*, GstPad*, gpointer counter) {
                         ++*static_cast<std::atomic<int>*>(counter);
                     }),
                     &passed);
    gst_bin_add_many(GST_BIN(pipeline.Get()), source, GST_ELEMENT(gst_object_ref(converter.Get())), sink,
                     nullptr);
    EXPECT_TRUE(gst_element_link_many(source, converter.Get(), sink, nullptr));
    gst_element_set_state(pipeline.Get(), GST_STATE_PLAYING);
    for (const std::vector<std::uint8_t>& frame : frames)
        gst_app_src_push_buffer(GST_APP_SRC(source), gst_buffer_new_memdup(frame.data(), frame.size()));
    gst_app_src_end_of_stream(GST_APP_SRC(source));

    BusReport report;
    gst::BusPtr bus = gst::BusPtr::Adopt(gst_element_get_bus(pipeline.Get()));
    while (true) {
        gst::MessagePtr message(gst_bus_timed_pop_filtered(
            bus.Get(), 20 * GST_SECOND,
            static_cast<GstMessageType>(GST_MESSAGE_WARNING | GST_MESSAGE_ERROR | GST_MESSAGE_EOS)));
        if (!message) break;
        if (GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_WARNING) {
            ++report.warnings;
            continue;
        }
        if (GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_ERROR) {
            GError* error = nullptr;
            gst_message_parse_error(message.get(), &error, nullptr);
            report.error = error->message;
            g_error_free(error);
        }
        report.ended = GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_EOS;
        break;
    }
    gst_element_set_state(pipeline.Get(), GST_STATE_NULL);
    report.frames = passed;
    return report;
}

TEST_F(FrameConverterTest, BrokenFrames_AreLeftOutWithAWarning_UntilTenInARowEndTheStream) {
    const std::vector<std::uint8_t> good = JpegFrame(64, 48);
    ASSERT_FALSE(good.empty());
    const std::vector<std::uint8_t> garbage(500, 0x5A);
    std::vector<std::uint8_t> cut(good.begin(), good.begin() + 20);  // the header's start only
    const std::vector<std::uint8_t> otherSize = JpegFrame(32, 48);

    // Nine broken frames, a good one, nine more: each broken one is a warning, the stream goes on.
    std::vector<std::vector<std::uint8_t>> frames(9, garbage);
    frames[3] = cut;
    frames[5] = otherSize;
    frames.push_back(good);
    frames.insert(frames.end(), 9, garbage);
    BusReport report = Push(frames);
    EXPECT_TRUE(report.ended);
    EXPECT_EQ(report.warnings, 18);
    EXPECT_EQ(report.frames, 1);
    EXPECT_EQ(report.error, "");

    report = Push(std::vector<std::vector<std::uint8_t>>(10, garbage));
    EXPECT_FALSE(report.ended);
    EXPECT_EQ(report.warnings, 9);
    EXPECT_EQ(report.error, "Failed to decode JPEG image");
    EXPECT_EQ(report.frames, 0);
}

}  // namespace
}  // namespace flipbook
