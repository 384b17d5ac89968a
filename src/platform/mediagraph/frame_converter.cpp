// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/mediagraph/frame_converter.h"

#include <gst/base/gstbasetransform.h>
#include <gst/video/video.h>

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

// The library header needs size_t and FILE declared first.
#include <jpeglib.h>
#include <libyuv/convert_argb.h>
#include <libyuv/planar_functions.h>

// GObject's type macros are C casts.
#pragma GCC diagnostic ignored "-Wold-style-cast"

namespace {

// libjpeg leaves a failing call by longjmp, so decoding runs in this C-style frame, where nothing
// has a destructor that the jump could skip.
struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf leave;
    char message[JMSG_LENGTH_MAX];
};

void LeaveDecoding(j_common_ptr info) {
    auto* errors = reinterpret_cast<JpegErrors*>(info->err);
    info->err->format_message(info, errors->message);
    std::longjmp(errors->leave, 1);
}

// Corrupt-data warnings still give a whole picture (grey where data was missing), as a camera's
// glitch looks: the frame is kept rather than reported.
void IgnoreWarning(j_common_ptr, int) {}

// Decodes a JPEG of exactly width x height into BGR rows `stride` bytes apart; false, with the
// library's words in errors.message, for anything else.
bool DecodeJpeg(const std::uint8_t* data, std::size_t size, std::uint8_t* pixels, std::size_t stride,
                int width, int height, JpegErrors& errors) {
    jpeg_decompress_struct info{};
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = LeaveDecoding;
    errors.manager.emit_message = IgnoreWarning;
    errors.message[0] = '\0';
    if (setjmp(errors.leave)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_EXT_BGR;
    // The picture the live view always showed: the fast integer transform, and chroma taken as it
    // is rather than interpolated, which lets the library upsample and convert colour in one merged
    // step. A camera's frame is a moving preview, seen at 400 x 300.
    info.dct_method = JDCT_IFAST;
    info.do_fancy_upsampling = FALSE;
    jpeg_start_decompress(&info);
    if (static_cast<int>(info.output_width) != width || static_cast<int>(info.output_height) != height) {
        std::snprintf(errors.message, sizeof errors.message, "a %ux%u picture in a %dx%d stream",
                      info.output_width, info.output_height, width, height);
        jpeg_destroy_decompress(&info);
        return false;
    }
    // Several rows a call: the library then hands whole groups of upsampled rows over at once.
    constexpr int kRowsPerCall = 16;
    JSAMPROW rows[kRowsPerCall];
    while (info.output_scanline < info.output_height) {
        const int count =
            std::min<int>(kRowsPerCall, static_cast<int>(info.output_height - info.output_scanline));
        for (int i = 0; i < count; ++i) rows[i] = pixels + stride * (info.output_scanline + i);
        jpeg_read_scanlines(&info, rows, static_cast<JDIMENSION>(count));
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

const libyuv::YuvConstants* MatrixOf(const GstVideoColorimetry& colorimetry) {
    const bool full = colorimetry.range == GST_VIDEO_COLOR_RANGE_0_255;
    switch (colorimetry.matrix) {
        case GST_VIDEO_COLOR_MATRIX_BT709:
            return full ? &libyuv::kYuvF709Constants : &libyuv::kYuvH709Constants;
        case GST_VIDEO_COLOR_MATRIX_BT2020:
            return full ? &libyuv::kYuvV2020Constants : &libyuv::kYuv2020Constants;
        default:
            return full ? &libyuv::kYuvJPEGConstants : &libyuv::kYuvI601Constants;
    }
}

// The bytes that pad each row to 4 are zero, as in every bitmap of ours: pool buffers come back
// holding whatever they held.
void ClearRowPadding(std::uint8_t* pixels, int stride, int width, int height) {
    const int rowBytes = width * 3;
    if (stride == rowBytes) return;
    for (int row = 0; row < height; ++row)
        std::memset(pixels + static_cast<std::ptrdiff_t>(stride) * row + rowBytes, 0,
                    static_cast<std::size_t>(stride - rowBytes));
}

// What one converter knows between frames; touched only on its streaming thread.
struct ConverterState {
    bool jpeg = false;
    int width = 0;
    int height = 0;
    GstVideoInfo input{};
    GstVideoInfo output{};
    int brokenInARow = 0;
    // YUY2 is split into planes a band of rows at a time, which stays in the cache.
    std::vector<std::uint8_t> band;
};

constexpr int kBandRows = 16;

void ConvertYuy2(const GstVideoFrame& frame, std::uint8_t* pixels, int stride, ConverterState& state) {
    const int width = state.width;
    const int chromaWidth = (width + 1) / 2;
    const auto bandBytes = static_cast<std::size_t>(width + 2 * chromaWidth) * kBandRows;
    if (state.band.size() < bandBytes) state.band.resize(bandBytes);
    std::uint8_t* luma = state.band.data();
    std::uint8_t* blue = luma + static_cast<std::size_t>(width) * kBandRows;
    std::uint8_t* red = blue + static_cast<std::size_t>(chromaWidth) * kBandRows;
    const auto* source = static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
    const int sourceStride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0);
    const libyuv::YuvConstants* matrix = MatrixOf(GST_VIDEO_INFO_COLORIMETRY(&state.input));
    for (int row = 0; row < state.height; row += kBandRows) {
        const int rows = std::min(kBandRows, state.height - row);
        libyuv::YUY2ToI422(source + static_cast<std::ptrdiff_t>(sourceStride) * row, sourceStride, luma,
                           width, blue, chromaWidth, red, chromaWidth, width, rows);
        libyuv::I422ToRGB24Matrix(luma, width, blue, chromaWidth, red, chromaWidth,
                                  pixels + static_cast<std::ptrdiff_t>(stride) * row, stride, matrix, width,
                                  rows);
    }
}

bool ConvertRaw(GstBuffer* input, std::uint8_t* pixels, int stride, ConverterState& state) {
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &state.input, input, GST_MAP_READ)) return false;
    auto plane = [&](int index) {
        return static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, index));
    };
    auto planeStride = [&](int index) { return GST_VIDEO_FRAME_PLANE_STRIDE(&frame, index); };
    const libyuv::YuvConstants* matrix = MatrixOf(GST_VIDEO_INFO_COLORIMETRY(&state.input));
    switch (GST_VIDEO_INFO_FORMAT(&state.input)) {
        case GST_VIDEO_FORMAT_YUY2:
            ConvertYuy2(frame, pixels, stride, state);
            break;
        case GST_VIDEO_FORMAT_NV12:
            libyuv::NV12ToRGB24Matrix(plane(0), planeStride(0), plane(1), planeStride(1), pixels, stride,
                                      matrix, state.width, state.height);
            break;
        default:  // I420, the only other format the sink pad takes
            libyuv::I420ToRGB24Matrix(plane(0), planeStride(0), plane(1), planeStride(1), plane(2),
                                      planeStride(2), pixels, stride, matrix, state.width, state.height);
            break;
    }
    gst_video_frame_unmap(&frame);
    return true;
}

}  // namespace

struct FlipbookFrameConverter {
    GstBaseTransform parent;
    ConverterState* state;
};
struct FlipbookFrameConverterClass {
    GstBaseTransformClass parentClass;
};

G_DEFINE_TYPE(FlipbookFrameConverter, flipbook_frame_converter, GST_TYPE_BASE_TRANSFORM)

static ConverterState& StateOf(GstBaseTransform* converter) {
    return *reinterpret_cast<FlipbookFrameConverter*>(converter)->state;
}

// The same picture size and rate in the other pad's formats.
static GstCaps* flipbook_frame_converter_transform_caps(GstBaseTransform*, GstPadDirection direction,
                                                        GstCaps* caps, GstCaps* filter) {
    GstCaps* result = gst_caps_new_empty();
    for (guint i = 0; i < gst_caps_get_size(caps); ++i) {
        const GstStructure* structure = gst_caps_get_structure(caps, i);
        auto withSize = [&](GstStructure* target) {
            for (const char* field : {"width", "height", "framerate", "pixel-aspect-ratio"})
                if (const GValue* value = gst_structure_get_value(structure, field))
                    gst_structure_set_value(target, field, value);
            result = gst_caps_merge_structure(result, target);
        };
        if (direction == GST_PAD_SINK) {
            withSize(gst_structure_new("video/x-raw", "format", G_TYPE_STRING, "BGR", nullptr));
        } else {
            withSize(gst_structure_new_empty("image/jpeg"));
            for (const char* format : {"YUY2", "NV12", "I420"})
                withSize(gst_structure_new("video/x-raw", "format", G_TYPE_STRING, format, nullptr));
        }
    }
    if (!filter) return result;
    GstCaps* both = gst_caps_intersect_full(filter, result, GST_CAPS_INTERSECT_FIRST);
    gst_caps_unref(result);
    return both;
}

static gboolean flipbook_frame_converter_transform_size(GstBaseTransform*, GstPadDirection direction,
                                                        GstCaps*, gsize, GstCaps* otherCaps,
                                                        gsize* otherSize) {
    // Only the output's size is ever asked for: a frame of BGR rows.
    GstVideoInfo info;
    if (direction != GST_PAD_SINK || !gst_video_info_from_caps(&info, otherCaps)) return FALSE;
    *otherSize = GST_VIDEO_INFO_SIZE(&info);
    return TRUE;
}

static gboolean flipbook_frame_converter_set_caps(GstBaseTransform* converter, GstCaps* input,
                                                  GstCaps* output) {
    ConverterState& state = StateOf(converter);
    if (!gst_video_info_from_caps(&state.output, output)) return FALSE;
    state.width = GST_VIDEO_INFO_WIDTH(&state.output);
    state.height = GST_VIDEO_INFO_HEIGHT(&state.output);
    state.jpeg = gst_structure_has_name(gst_caps_get_structure(input, 0), "image/jpeg");
    state.brokenInARow = 0;
    return state.jpeg || gst_video_info_from_caps(&state.input, input);
}

// Frames come from a pool of our own when the sink offers none: a fresh buffer for every frame would
// cost a 4K stream 25 MB of new pages, each faulted in and cleared by the system, 30 times a second.
static gboolean flipbook_frame_converter_decide_allocation(GstBaseTransform* converter, GstQuery* query) {
    if (gst_query_get_n_allocation_pools(query) == 0) {
        GstCaps* caps = nullptr;
        gst_query_parse_allocation(query, &caps, nullptr);
        GstVideoInfo info;
        if (caps && gst_video_info_from_caps(&info, caps)) {
            GstBufferPool* pool = gst_video_buffer_pool_new();
            GstStructure* config = gst_buffer_pool_get_config(pool);
            gst_buffer_pool_config_set_params(config, caps, static_cast<guint>(GST_VIDEO_INFO_SIZE(&info)), 2,
                                              0);
            gst_buffer_pool_set_config(pool, config);
            gst_query_add_allocation_pool(query, pool, static_cast<guint>(GST_VIDEO_INFO_SIZE(&info)), 2, 0);
            gst_object_unref(pool);
        }
    }
    return GST_BASE_TRANSFORM_CLASS(flipbook_frame_converter_parent_class)
        ->decide_allocation(converter, query);
}

static GstFlowReturn flipbook_frame_converter_transform(GstBaseTransform* converter, GstBuffer* input,
                                                        GstBuffer* output) {
    ConverterState& state = StateOf(converter);
    GstMapInfo target;
    if (!gst_buffer_map(output, &target, GST_MAP_WRITE)) return GST_FLOW_ERROR;
    const int stride = GST_VIDEO_INFO_PLANE_STRIDE(&state.output, 0);
    bool converted = false;
    JpegErrors errors;
    errors.message[0] = '\0';
    if (state.jpeg) {
        GstMapInfo source;
        if (gst_buffer_map(input, &source, GST_MAP_READ)) {
            converted = DecodeJpeg(source.data, source.size, target.data, static_cast<std::size_t>(stride),
                                   state.width, state.height, errors);
            gst_buffer_unmap(input, &source);
        }
    } else {
        converted = ConvertRaw(input, target.data, stride, state);
    }
    if (converted) ClearRowPadding(target.data, stride, state.width, state.height);
    gst_buffer_unmap(output, &target);
    if (converted) {
        state.brokenInARow = 0;
        return GST_FLOW_OK;
    }
    // One broken frame is a glitch and is left out; a run of them is a camera that no longer works.
    if (++state.brokenInARow < flipbook::kBrokenFramesInARow) {
        GST_ELEMENT_WARNING(converter, STREAM, DECODE, ("Failed to decode JPEG image"),
                            ("%s", errors.message));
        return GST_BASE_TRANSFORM_FLOW_DROPPED;
    }
    GST_ELEMENT_ERROR(converter, STREAM, DECODE, ("Failed to decode JPEG image"), ("%s", errors.message));
    return GST_FLOW_ERROR;
}

static void flipbook_frame_converter_finalize(GObject* object) {
    delete reinterpret_cast<FlipbookFrameConverter*>(object)->state;
    G_OBJECT_CLASS(flipbook_frame_converter_parent_class)->finalize(object);
}

static void flipbook_frame_converter_class_init(FlipbookFrameConverterClass* klass) {
    static GstStaticPadTemplate sinkTemplate = GST_STATIC_PAD_TEMPLATE(
        "sink", GST_PAD_SINK, GST_PAD_ALWAYS,
        GST_STATIC_CAPS("image/jpeg; video/x-raw, format=(string){ YUY2, NV12, I420 }"));
    static GstStaticPadTemplate sourceTemplate = GST_STATIC_PAD_TEMPLATE(
        "src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS("video/x-raw, format=(string)BGR"));
    GstElementClass* elementClass = GST_ELEMENT_CLASS(klass);
    gst_element_class_add_static_pad_template(elementClass, &sinkTemplate);
    gst_element_class_add_static_pad_template(elementClass, &sourceTemplate);
    gst_element_class_set_static_metadata(elementClass, "Flipbook frame converter", "Filter/Converter/Video",
                                          "Camera frames to BGR rows in one pass", "Flipbook Cam");
    GstBaseTransformClass* transformClass = GST_BASE_TRANSFORM_CLASS(klass);
    transformClass->transform_caps = flipbook_frame_converter_transform_caps;
    transformClass->transform_size = flipbook_frame_converter_transform_size;
    transformClass->set_caps = flipbook_frame_converter_set_caps;
    transformClass->decide_allocation = flipbook_frame_converter_decide_allocation;
    transformClass->transform = flipbook_frame_converter_transform;
    G_OBJECT_CLASS(klass)->finalize = flipbook_frame_converter_finalize;
}

static void flipbook_frame_converter_init(FlipbookFrameConverter* converter) {
    converter->state = new ConverterState;
}

namespace flipbook {

gst::ElementPtr MakeFrameConverter() {
    return gst::ElementPtr::Adopt(GST_ELEMENT(g_object_new(flipbook_frame_converter_get_type(), nullptr)));
}

}  // namespace flipbook
