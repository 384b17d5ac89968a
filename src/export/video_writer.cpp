#include "export/video_writer.h"

#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <system_error>
#include <vector>

#include "effects/fit.h"
#include "platform/graphics/bitmap.h"
#include "platform/mediagraph/gst_handles.h"

namespace flipbook {
namespace {

// One element of the pipeline and the Debian package that brings it.
struct Element {
    const char* factory;
    const char* package;
};

struct Encoding {
    const char* name;
    Element encoder;
    Element muxer;
};

const Encoding& EncodingOf(VideoFormat format) {
    static const Encoding mp4{
        "MP4 (H.264)", {"x264enc", "gstreamer1.0-plugins-ugly"}, {"mp4mux", "gstreamer1.0-plugins-good"}};
    static const Encoding webm{
        "WebM (VP9)", {"vp9enc", "gstreamer1.0-plugins-good"}, {"webmmux", "gstreamer1.0-plugins-good"}};
    return format == VideoFormat::Mp4H264 ? mp4 : webm;
}

constexpr const char* kBasePackage = "gstreamer1.0-plugins-base";

gst::ElementPtr Make(const Encoding& encoding, const Element& element) {
    gst::ElementPtr made = gst::MakeElement(element.factory);
    if (!made)
        throw EExportError(std::string("Cannot export ") + encoding.name + " video: the GStreamer element " +
                           element.factory + " is missing. Install the Debian package " + element.package +
                           ".");
    return made;
}

// Constant quality rather than a bit rate: a flipbook's frames differ little or a lot, and either way
// should look alike; the presets trade a little size for encoding at several frames a second.
void SetUpEncoder(GstElement* encoder, VideoFormat format) {
    if (format == VideoFormat::Mp4H264) {
        gst_util_set_object_arg(G_OBJECT(encoder), "pass", "qual");
        gst_util_set_object_arg(G_OBJECT(encoder), "quantizer", "21");
        gst_util_set_object_arg(G_OBJECT(encoder), "speed-preset", "faster");
        // B-frames make the encoder delay every time stamp by their depth, and the muxer writes no edit
        // list to take that back: the video would start late by two frames.
        gst_util_set_object_arg(G_OBJECT(encoder), "bframes", "0");
    } else {
        gst_util_set_object_arg(G_OBJECT(encoder), "end-usage", "q");
        gst_util_set_object_arg(G_OBJECT(encoder), "cq-level", "32");
        gst_util_set_object_arg(G_OBJECT(encoder), "cpu-used", "4");
        gst_util_set_object_arg(G_OBJECT(encoder), "row-mt", "true");
    }
}

std::string ErrorText(GstMessage* message) {
    GError* raw = nullptr;
    gst_message_parse_error(message, &raw, nullptr);
    const gst::ErrorPtr error(raw);
    return error ? error->message : "unknown error";
}

// A hidden name beside the output, so the folder never shows a video that is not complete.
std::filesystem::path PartialPath(const std::filesystem::path& output) {
    // Appended piece by piece: GCC 12 at -O3 warns falsely about "." + name.
    std::string name(1, '.');
    name += output.filename().string();
    name += ".partial";
    return output.parent_path() / name;
}

void RemoveQuietly(const std::filesystem::path& path) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
}

}  // namespace

VideoFormat VideoFormatOf(const std::filesystem::path& output) {
    std::string extension = output.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == ".mp4") return VideoFormat::Mp4H264;
    if (extension == ".webm") return VideoFormat::WebMVp9;
    throw EExportError("Cannot export to " + output.string() + ": the name must end in .mp4 or .webm");
}

int EvenFrameSize(int pictureSize) {
    return pictureSize + (pictureSize & 1);
}

class TVideoWriter::Pipeline {
public:
    Pipeline(const std::filesystem::path& output, VideoFormat format, int framesPerSecond, int width,
             int height)
        : output_(output),
          partial_(PartialPath(output)),
          framesPerSecond_(framesPerSecond),
          width_(width),
          height_(height),
          frameWidth_(EvenFrameSize(width)),
          frameHeight_(EvenFrameSize(height)) {
        if (width <= 0 || height <= 0 || framesPerSecond <= 0)
            throw EExportError("Cannot export a video of " + std::to_string(width) + " x " +
                               std::to_string(height) + " pixels at " + std::to_string(framesPerSecond) +
                               " frames a second");
        GError* initError = nullptr;
        if (!gst_init_check(nullptr, nullptr, &initError)) {
            const gst::ErrorPtr error(initError);
            throw EExportError(std::string("Cannot start GStreamer: ") + (error ? error->message : ""));
        }
        Build(format);
        Start();
    }

    ~Pipeline() {
        if (pipeline_) gst_element_set_state(pipeline_.Get(), GST_STATE_NULL);
        if (!finished_) RemoveQuietly(partial_);
    }

    void Write(const Bitmap& picture) {
        ThrowOnError();
        const std::size_t stride = GST_ROUND_UP_4(static_cast<std::size_t>(frameWidth_) * 3);
        // Framed first: nothing between making the buffer and handing it over may raise.
        const Bitmap& frame = Framed(picture);
        GstBuffer* buffer =
            gst_buffer_new_allocate(nullptr, stride * static_cast<std::size_t>(frameHeight_), nullptr);
        GstMapInfo map;
        gst_buffer_map(buffer, &map, GST_MAP_WRITE);
        for (int row = 0; row < frameHeight_; ++row)
            std::memcpy(map.data + static_cast<std::size_t>(row) * stride, frame.ScanLine(row), stride);
        gst_buffer_unmap(buffer, &map);
        const auto time = [this](std::uint64_t count) {
            return gst_util_uint64_scale(count, GST_SECOND, static_cast<std::uint64_t>(framesPerSecond_));
        };
        GST_BUFFER_PTS(buffer) = time(frames_);
        GST_BUFFER_DURATION(buffer) = time(frames_ + 1) - time(frames_);
        ++frames_;
        // The source takes the buffer whatever the result.
        if (gst_app_src_push_buffer(GST_APP_SRC(source_.Get()), buffer) != GST_FLOW_OK) {
            ThrowOnError();
            throw EExportError("Cannot write the video " + output_.string());
        }
    }

    void Finish() {
        gst_app_src_end_of_stream(GST_APP_SRC(source_.Get()));
        const gst::MessagePtr message(
            gst_bus_timed_pop_filtered(bus_.Get(), GST_CLOCK_TIME_NONE,
                                       static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
        gst_element_set_state(pipeline_.Get(), GST_STATE_NULL);
        if (!message || GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_ERROR)
            throw EExportError("Cannot write the video " + output_.string() + ": " +
                               (message ? ErrorText(message.get()) : "the stream did not end"));
        std::error_code error;
        std::filesystem::rename(partial_, output_, error);
        if (error) throw EExportError("Cannot create file " + output_.string());
        finished_ = true;
    }

    int FrameWidth() const { return frameWidth_; }
    int FrameHeight() const { return frameHeight_; }

private:
    void Build(VideoFormat format) {
        const Encoding& encoding = EncodingOf(format);
        gst::ElementPtr source = Make(encoding, {"appsrc", kBasePackage});
        gst::ElementPtr convert = Make(encoding, {"videoconvert", kBasePackage});
        gst::ElementPtr rawCaps = Make(encoding, {"capsfilter", "libgstreamer1.0-0"});
        gst::ElementPtr encoder = Make(encoding, encoding.encoder);
        gst::ElementPtr muxer = Make(encoding, encoding.muxer);
        gst::ElementPtr sink = Make(encoding, {"filesink", "libgstreamer1.0-0"});

        const gst::CapsPtr input(gst_caps_new_simple(
            "video/x-raw", "format", G_TYPE_STRING, "BGR", "width", G_TYPE_INT, frameWidth_, "height",
            G_TYPE_INT, frameHeight_, "framerate", GST_TYPE_FRACTION, framesPerSecond_, 1,
            "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr));
        const std::size_t frameBytes = GST_ROUND_UP_4(static_cast<std::size_t>(frameWidth_) * 3) *
                                       static_cast<std::size_t>(frameHeight_);
        g_object_set(source.Get(), "caps", input.get(), "format", GST_FORMAT_TIME, "block", TRUE, "max-bytes",
                     static_cast<guint64>(frameBytes * 2), nullptr);
        // Both encoders take 4:2:0, which every player reads.
        const gst::CapsPtr planar(gst_caps_from_string("video/x-raw,format=I420"));
        g_object_set(rawCaps.Get(), "caps", planar.get(), nullptr);
        SetUpEncoder(encoder.Get(), format);
        g_object_set(sink.Get(), "location", partial_.c_str(), nullptr);

        pipeline_ = gst::ElementPtr::Adopt(gst_pipeline_new("export"));
        gst_bin_add_many(GST_BIN(pipeline_.Get()), source.Get(), convert.Get(), rawCaps.Get(), encoder.Get(),
                         muxer.Get(), sink.Get(), nullptr);
        if (!gst_element_link_many(source.Get(), convert.Get(), rawCaps.Get(), encoder.Get(), muxer.Get(),
                                   sink.Get(), nullptr))
            throw EExportError(std::string("Cannot export ") + encoding.name +
                               " video: the encoder does not link");
        source_ = source;
        bus_ = gst::BusPtr::Adopt(gst_element_get_bus(pipeline_.Get()));
    }

    void Start() {
        if (gst_element_set_state(pipeline_.Get(), GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE) return;
        // The file sink opens its file on the way up; a folder we cannot write stops it there.
        gst_element_set_state(pipeline_.Get(), GST_STATE_NULL);
        throw EExportError("Cannot create file " + output_.string());
    }

    void ThrowOnError() {
        const gst::MessagePtr message(gst_bus_pop_filtered(bus_.Get(), GST_MESSAGE_ERROR));
        if (message)
            throw EExportError("Cannot write the video " + output_.string() + ": " +
                               ErrorText(message.get()));
    }

    // The picture as a frame: itself when it has the frame's size, otherwise fitted into the
    // first picture's area of a black frame.
    const Bitmap& Framed(const Bitmap& picture) {
        if (picture.Width() == frameWidth_ && picture.Height() == frameHeight_ &&
            picture.BitsPerPixel() == 24)
            return picture;
        if (frame_.Empty()) {
            frame_.SetPixelFormat(PixelFormat::Bit24);
            frame_.SetSize(frameWidth_, frameHeight_);
            DrawFitted(Bitmap(), frame_, {0, 0, frameWidth_, frameHeight_});
        }
        DrawFitted(picture, frame_, {0, 0, width_, height_});
        return frame_;
    }

    std::filesystem::path output_;
    std::filesystem::path partial_;
    int framesPerSecond_;
    int width_;
    int height_;
    int frameWidth_;
    int frameHeight_;
    std::uint64_t frames_ = 0;
    bool finished_ = false;
    Bitmap frame_;
    gst::ElementPtr pipeline_;
    gst::ElementPtr source_;
    gst::BusPtr bus_;
};

TVideoWriter::TVideoWriter(const std::filesystem::path& output, VideoFormat format, int framesPerSecond,
                           int width, int height)
    : pipeline_(std::make_unique<Pipeline>(output, format, framesPerSecond, width, height)) {}

TVideoWriter::~TVideoWriter() = default;

void TVideoWriter::Write(const Bitmap& picture) {
    pipeline_->Write(picture);
}

void TVideoWriter::Finish() {
    pipeline_->Finish();
}

int TVideoWriter::FrameWidth() const {
    return pipeline_->FrameWidth();
}

int TVideoWriter::FrameHeight() const {
    return pipeline_->FrameHeight();
}

}  // namespace flipbook
