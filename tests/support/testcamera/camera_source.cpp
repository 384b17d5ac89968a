// SPDX-License-Identifier: GPL-3.0-or-later
// The virtual camera's source element. Frames are drawn by videotestsrc (and compressed by jpegenc for
// MJPEG modes) in a small pipeline of its own, kept, and then handed out again in a loop, so that after
// the first half second a running camera costs the process almost nothing, as a real one does.

#include "camera_source.h"

#include "camera_controls.h"
#include "sensor_noise.h"

#include <gst/app/gstappsink.h>
#include <gst/base/gstpushsrc.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#pragma GCC diagnostic ignored "-Wold-style-cast"

using flipbook::testcamera::CameraMode;
using flipbook::testcamera::SourceState;
using flipbook::testcamera::VirtualCamera;

namespace {

bool Noisy(const VirtualCamera& camera, const CameraMode& mode) {
    return camera.noiseSigma > 0 && !mode.Compressed();
}

// A new buffer holding the clean frame with the noise of frame `index`; null when it cannot be made.
GstBuffer* WithNoise(GstBuffer* clean, double sigma, guint64 index) {
    GstMapInfo in;
    if (!gst_buffer_map(clean, &in, GST_MAP_READ)) return nullptr;
    GstBuffer* noisy = gst_buffer_new_allocate(nullptr, in.size, nullptr);
    GstMapInfo out;
    if (!noisy || !gst_buffer_map(noisy, &out, GST_MAP_WRITE)) {
        gst_buffer_unmap(clean, &in);
        if (noisy) gst_buffer_unref(noisy);
        return nullptr;
    }
    flipbook::testcamera::AddSensorNoise(in.data, out.data, in.size, sigma, index);
    gst_buffer_unmap(noisy, &out);
    gst_buffer_unmap(clean, &in);
    return noisy;
}

// Frames kept for the loop: at most this many, and at most this many bytes of raw frames.
constexpr std::size_t kLoopFrames = 15;
constexpr std::size_t kLoopBytes = 48u << 20;

}  // namespace

struct flipbook::testcamera::SourceState {
    VirtualCamera camera;
    CameraMode mode;
    std::size_t loopLength = 1;
    std::vector<GstBuffer*> frames;
    GstElement* renderer = nullptr;  // the drawing pipeline, until the loop is complete
    guint64 delivered = 0;

    void StopRenderer() {
        if (!renderer) return;
        gst_element_set_state(renderer, GST_STATE_NULL);
        gst_object_unref(renderer);
        renderer = nullptr;
    }
    void Reset() {
        StopRenderer();
        for (GstBuffer* frame : frames) gst_buffer_unref(frame);
        frames.clear();
    }
};

namespace {

std::size_t LoopLength(const VirtualCamera& camera, const CameraMode& mode) {
    // A noisy camera looks at a still scene: one clean frame, new noise over it each time.
    if (Noisy(camera, mode)) return 1;
    if (camera.loopFrames > 0) return static_cast<std::size_t>(camera.loopFrames);
    if (mode.Compressed()) return kLoopFrames;
    const double bytesPerPixel = mode.format == "BGR" ? 3 : mode.format == "YUY2" ? 2 : 1.5;
    const auto frameBytes = static_cast<std::size_t>(mode.width * bytesPerPixel * mode.height);
    return std::clamp<std::size_t>(kLoopBytes / std::max<std::size_t>(frameBytes, 1), 1, kLoopFrames);
}

// The fourcc a V4L2 camera names the format by in its messages.
const char* FourccOf(const CameraMode& mode) {
    if (mode.Compressed()) return "MJPG";
    if (mode.format == "YUY2") return "YUYV";
    if (mode.format == "BGR") return "BGR3";
    if (mode.format == "I420") return "YU12";
    return "NV12";
}

}  // namespace

G_DEFINE_TYPE(FlipbookTestCameraSource, flipbook_test_camera_source, GST_TYPE_PUSH_SRC)

static SourceState& StateOf(gpointer source) {
    return *reinterpret_cast<FlipbookTestCameraSource*>(source)->state;
}

static GstCaps* flipbook_test_camera_source_get_caps(GstBaseSrc* source, GstCaps* filter) {
    GstCaps* caps = flipbook::testcamera::CapsOfCamera(StateOf(source).camera);
    if (!filter) return caps;
    GstCaps* both = gst_caps_intersect_full(caps, filter, GST_CAPS_INTERSECT_FIRST);
    gst_caps_unref(caps);
    return both;
}

static gboolean flipbook_test_camera_source_set_caps(GstBaseSrc* source, GstCaps* caps) {
    SourceState& state = StateOf(source);
    CameraMode mode;
    if (!flipbook::testcamera::ModeOfCaps(caps, mode)) return FALSE;
    if (state.camera.busy) {
        // What V4L2's source posts when another program streams from the device.
        GST_ELEMENT_ERROR(source, RESOURCE, BUSY, ("Device '%s' is busy", state.camera.devicePath.c_str()),
                          ("Call to S_FMT failed for %s @ %dx%d: Device or resource busy", FourccOf(mode),
                           mode.width, mode.height));
        return FALSE;
    }
    state.Reset();
    state.mode = mode;
    state.loopLength = LoopLength(state.camera, mode);
    return TRUE;
}

static gboolean flipbook_test_camera_source_start(GstBaseSrc* source) {
    StateOf(source).delivered = 0;
    return TRUE;
}

static gboolean flipbook_test_camera_source_stop(GstBaseSrc* source) {
    StateOf(source).Reset();
    return TRUE;
}

static GstElement* StartRenderer(const SourceState& state) {
    const CameraMode& mode = state.mode;
    char description[512];
    std::snprintf(description, sizeof description,
                  "videotestsrc pattern=%s%s ! video/x-raw,format=%s,width=%d,height=%d,framerate=%d/1 ! %s "
                  "appsink name=frames sync=false max-buffers=2",
                  state.camera.pattern.c_str(),
                  // A pale orange ball on a slate ground: no level clips, even after YUV.
                  state.camera.soft ? " foreground-color=0xffe0b890 background-color=0xff405060" : "",
                  mode.Compressed() ? "I420" : mode.format.c_str(), mode.width, mode.height,
                  mode.framesPerSecond, mode.Compressed() ? "jpegenc !" : "");
    GError* error = nullptr;
    GstElement* renderer = gst_parse_launch(description, &error);
    if (error) {
        g_error_free(error);
        if (renderer) gst_object_unref(renderer);
        return nullptr;
    }
    gst_element_set_state(renderer, GST_STATE_PLAYING);
    return renderer;
}

// Draws one more frame of the loop; false when drawing failed.
static bool DrawFrame(SourceState& state) {
    if (!state.renderer) state.renderer = StartRenderer(state);
    if (!state.renderer) return false;
    GstElement* sink = gst_bin_get_by_name(GST_BIN(state.renderer), "frames");
    GstSample* sample = gst_app_sink_pull_sample(GST_APP_SINK(sink));
    gst_object_unref(sink);
    if (!sample) return false;
    state.frames.push_back(gst_buffer_ref(gst_sample_get_buffer(sample)));
    gst_sample_unref(sample);
    if (state.frames.size() == state.loopLength) state.StopRenderer();
    return true;
}

// The next frame of the loop, drawn while the loop is incomplete; null when drawing failed. A loop
// asked for in advance is made whole before its first frame goes out.
static GstBuffer* NextFrame(SourceState& state) {
    if (state.frames.size() < state.loopLength) {
        if (state.camera.loopFrames == 0) return DrawFrame(state) ? state.frames.back() : nullptr;
        while (state.frames.size() < state.loopLength)
            if (!DrawFrame(state)) return nullptr;
    }
    return state.frames[state.delivered % state.loopLength];
}

static GstFlowReturn flipbook_test_camera_source_create(GstPushSrc* source, GstBuffer** buffer) {
    SourceState& state = StateOf(source);
    if (state.camera.unplugAfter > 0 && state.delivered >= static_cast<guint64>(state.camera.unplugAfter)) {
        flipbook::testcamera::PullOut(state.camera.devicePath);
        // What V4L2's source posts when the camera is pulled out while it streams.
        GST_ELEMENT_ERROR(source, RESOURCE, READ, (nullptr), ("poll error 1: No such device (19)"));
        return GST_FLOW_ERROR;
    }
    GstBuffer* frame = NextFrame(state);
    if (!frame) {
        GST_ELEMENT_ERROR(source, STREAM, FAILED, ("The test camera could not draw a frame"), (nullptr));
        return GST_FLOW_ERROR;
    }
    // A new buffer over the kept frame's memory: the frame itself stays as it is for the next loop.
    *buffer = Noisy(state.camera, state.mode) ? WithNoise(frame, state.camera.noiseSigma, state.delivered)
                                              : gst_buffer_copy(frame);
    if (!*buffer) {
        GST_ELEMENT_ERROR(source, RESOURCE, NO_SPACE_LEFT, ("The test camera could not make a frame"),
                          (nullptr));
        return GST_FLOW_ERROR;
    }
    const GstClockTime frameTime = gst_util_uint64_scale(GST_SECOND, 1, state.mode.framesPerSecond);
    GST_BUFFER_PTS(*buffer) = state.delivered * frameTime;
    GST_BUFFER_DTS(*buffer) = GST_CLOCK_TIME_NONE;
    GST_BUFFER_DURATION(*buffer) = frameTime;
    GST_BUFFER_OFFSET(*buffer) = state.delivered;
    ++state.delivered;
    return GST_FLOW_OK;
}

// A live source is paced by the clock: each frame goes out at its time.
static void flipbook_test_camera_source_get_times(GstBaseSrc*, GstBuffer* buffer, GstClockTime* start,
                                                  GstClockTime* end) {
    if (!GST_BUFFER_PTS_IS_VALID(buffer)) return;
    *start = GST_BUFFER_PTS(buffer);
    if (GST_BUFFER_DURATION_IS_VALID(buffer)) *end = *start + GST_BUFFER_DURATION(buffer);
}

static void flipbook_test_camera_source_finalize(GObject* object) {
    SourceState* state = reinterpret_cast<FlipbookTestCameraSource*>(object)->state;
    state->Reset();
    delete state;
    G_OBJECT_CLASS(flipbook_test_camera_source_parent_class)->finalize(object);
}

static void flipbook_test_camera_source_class_init(FlipbookTestCameraSourceClass* klass) {
    static GstStaticPadTemplate sourceTemplate = GST_STATIC_PAD_TEMPLATE(
        "src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS("video/x-raw; image/jpeg"));
    GstElementClass* elementClass = GST_ELEMENT_CLASS(klass);
    gst_element_class_add_static_pad_template(elementClass, &sourceTemplate);
    gst_element_class_set_static_metadata(elementClass, "Flipbook test camera source", "Source/Video",
                                          "A virtual camera for tests", "Flipbook Cam");
    GstBaseSrcClass* baseClass = GST_BASE_SRC_CLASS(klass);
    baseClass->get_caps = flipbook_test_camera_source_get_caps;
    baseClass->set_caps = flipbook_test_camera_source_set_caps;
    baseClass->start = flipbook_test_camera_source_start;
    baseClass->stop = flipbook_test_camera_source_stop;
    baseClass->get_times = flipbook_test_camera_source_get_times;
    GST_PUSH_SRC_CLASS(klass)->create = flipbook_test_camera_source_create;
    G_OBJECT_CLASS(klass)->finalize = flipbook_test_camera_source_finalize;
}

static void flipbook_test_camera_source_init(FlipbookTestCameraSource* source) {
    source->state = new SourceState;
    gst_base_src_set_live(GST_BASE_SRC(source), TRUE);
    gst_base_src_set_format(GST_BASE_SRC(source), GST_FORMAT_TIME);
}

namespace flipbook::testcamera {

GstElement* MakeCameraSource(const VirtualCamera& camera, const gchar* name) {
    // A camera with controls is a source of its own kind, so that one without offers none.
    const GType type =
        camera.controls ? ControlledCameraSourceType() : flipbook_test_camera_source_get_type();
    auto* source = reinterpret_cast<FlipbookTestCameraSource*>(g_object_new(type, "name", name, nullptr));
    source->state->camera = camera;
    if (camera.controls) AttachControls(GST_ELEMENT(source), camera.name);
    return GST_ELEMENT(source);
}

}  // namespace flipbook::testcamera
