// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/video_writer.h"

#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <vector>

#include "effects/fit.h"
#include "platform/files/safe_file.h"
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

// The pipeline's failure in plain words where it is the disk's; otherwise GStreamer's own text with
// its details, which say where and why ("Internal data stream error." alone says neither).
std::string ErrorText(GstMessage* message) {
    GError* rawError = nullptr;
    gchar* rawDetails = nullptr;
    gst_message_parse_error(message, &rawError, &rawDetails);
    const gst::ErrorPtr error(rawError);
    const gst::StringPtr details(rawDetails);
    if (!error) return "unknown error";
    if (error->domain == GST_RESOURCE_ERROR && error->code == GST_RESOURCE_ERROR_NO_SPACE_LEFT)
        return PlainReason(ENOSPC);
    // The file sink's text names the hidden temporary file, which means nothing to the user; its
    // details are the system's reason.
    if (error->domain == GST_RESOURCE_ERROR && error->code == GST_RESOURCE_ERROR_WRITE)
        return std::string("the file could not be written") +
               (details ? std::string(" (") + details.get() + ")" : "");
    std::string text = error->message;
    if (details && *details.get()) text += std::string(" (") + details.get() + ")";
    return text;
}

std::unique_ptr<TSafeFile> CreateFile(const std::filesystem::path& output) {
    try {
        return std::make_unique<TSafeFile>(output.string());
    } catch (const ESaveError& error) {
        throw EExportError("Cannot create file " + output.string() + ": " + error.what());
    }
}

// How long a wait listens to the bus before it looks again at the cancel flag and the source's room,
// neither of which can wake it: short beside a frame's encoding, so the encoder is never starved, and
// beside a person's patience. The bus's errors and the stream's end wake it at once.
constexpr GstClockTime kPoll = 5 * GST_MSECOND;

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

PictureArea VideoPictureArea(int width, int height) {
    if (width <= 0 || height <= 0 || (width >= kSmallestFrameSide && height >= kSmallestFrameSide))
        return {width, height};
    // Scaled by the factor that brings the shorter side to the smallest the encoders take, rounded up
    // so neither side falls short of it.
    const double factor = static_cast<double>(kSmallestFrameSide) / std::min(width, height);
    return {std::max(kSmallestFrameSide, static_cast<int>(std::ceil(width * factor))),
            std::max(kSmallestFrameSide, static_cast<int>(std::ceil(height * factor)))};
}

class TVideoWriter::Pipeline {
public:
    Pipeline(const std::filesystem::path& output, VideoFormat format, int framesPerSecond, int width,
             int height, const std::atomic<bool>* cancel)
        : output_(output),
          cancel_(cancel),
          framesPerSecond_(framesPerSecond),
          width_(VideoPictureArea(width, height).width),
          height_(VideoPictureArea(width, height).height),
          frameWidth_(EvenFrameSize(width_)),
          frameHeight_(EvenFrameSize(height_)) {
        if (width <= 0 || height <= 0 || framesPerSecond <= 0)
            throw EExportError("Cannot export a video of " + std::to_string(width) + " x " +
                               std::to_string(height) + " pixels at " + std::to_string(framesPerSecond) +
                               " frames a second");
        GError* initError = nullptr;
        if (!gst_init_check(nullptr, nullptr, &initError)) {
            const gst::ErrorPtr error(initError);
            throw EExportError(std::string("Cannot start GStreamer: ") + (error ? error->message : ""));
        }
        file_ = CreateFile(output);
        Build(format);
        Start();
    }

    // The pipeline stops before the temporary file goes with file_.
    ~Pipeline() {
        if (pipeline_) gst_element_set_state(pipeline_.Get(), GST_STATE_NULL);
    }

    bool Write(const Bitmap& picture) {
        // Room for the frame first: the source holds two frames, and past that the encoder is behind.
        GstAppSrc* source = GST_APP_SRC(source_.Get());
        if (!WaitUntil([&] { return gst_app_src_get_current_level_bytes(source) < queueBytes_; }))
            return false;
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
        // The source takes the buffer whatever the result; it never blocks, the wait above bounds it.
        if (const GstFlowReturn flow = gst_app_src_push_buffer(source, buffer); flow != GST_FLOW_OK) {
            ReadBus();
            throw EExportError("Cannot write the video " + output_.string() + ": the pipeline stopped (" +
                               gst_flow_get_name(flow) + ")");
        }
        return true;
    }

    bool Finish() {
        gst_app_src_end_of_stream(GST_APP_SRC(source_.Get()));
        const bool ended = WaitUntil([this] { return ended_; });
        gst_element_set_state(pipeline_.Get(), GST_STATE_NULL);
        if (!ended) return false;
        try {
            // An older video of the name was asked to be replaced; it goes only once this one is whole.
            file_->Publish(output_.string(), ExistingFile::Replace);
        } catch (const ESaveError& error) {
            throw EExportError("Cannot write the video " + output_.string() + ": " + error.what());
        }
        return true;
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
        queueBytes_ = frameBytes * 2;
        // Not blocking: a push that blocks cannot notice a sink that failed, and then waits for ever.
        g_object_set(source.Get(), "caps", input.get(), "format", GST_FORMAT_TIME, "block", FALSE,
                     "max-bytes", static_cast<guint64>(queueBytes_), nullptr);
        // Both encoders take 4:2:0, which every player reads.
        const gst::CapsPtr planar(gst_caps_from_string("video/x-raw,format=I420"));
        g_object_set(rawCaps.Get(), "caps", planar.get(), nullptr);
        SetUpEncoder(encoder.Get(), format);
        g_object_set(sink.Get(), "location", file_->TemporaryPath().c_str(), nullptr);

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

    // Waits until ready() holds: true then, false when cancelled first; raises when the pipeline fails.
    template <class Ready>
    bool WaitUntil(Ready ready) {
        for (;;) {
            ReadBus();
            if (cancel_ && cancel_->load()) return false;
            if (ready()) return true;
            ReadBus(kPoll);
        }
    }

    void Start() {
        if (gst_element_set_state(pipeline_.Get(), GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE) return;
        // The file sink opens its file on the way up; a folder we cannot write stops it there. The bus
        // says why.
        std::string reason = "the pipeline did not start";
        if (const gst::MessagePtr message(gst_bus_pop_filtered(bus_.Get(), GST_MESSAGE_ERROR)); message)
            reason = ErrorText(message.get());
        gst_element_set_state(pipeline_.Get(), GST_STATE_NULL);
        throw EExportError("Cannot create file " + output_.string() + ": " + reason);
    }

    // Reads the bus, waiting up to the time given for a message: raises on an error, notes the
    // stream's end. Both kinds are read in one call, since a filtered read drops every other kind.
    void ReadBus(GstClockTime wait = 0) {
        for (;; wait = 0) {
            const gst::MessagePtr message(gst_bus_timed_pop_filtered(
                bus_.Get(), wait, static_cast<GstMessageType>(GST_MESSAGE_ERROR | GST_MESSAGE_EOS)));
            if (!message) return;
            if (GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_EOS) {
                ended_ = true;
                continue;
            }
            throw EExportError("Cannot write the video " + output_.string() + ": " +
                               ErrorText(message.get()));
        }
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
    const std::atomic<bool>* cancel_;
    std::unique_ptr<TSafeFile> file_;
    int framesPerSecond_;
    int width_;
    int height_;
    int frameWidth_;
    int frameHeight_;
    std::uint64_t frames_ = 0;
    std::size_t queueBytes_ = 0;
    bool ended_ = false;  // the stream's end has come out of the pipeline
    Bitmap frame_;
    gst::ElementPtr pipeline_;
    gst::ElementPtr source_;
    gst::BusPtr bus_;
};

TVideoWriter::TVideoWriter(const std::filesystem::path& output, VideoFormat format, int framesPerSecond,
                           int width, int height, const std::atomic<bool>* cancel)
    : pipeline_(std::make_unique<Pipeline>(output, format, framesPerSecond, width, height, cancel)) {}

TVideoWriter::~TVideoWriter() = default;

bool TVideoWriter::Write(const Bitmap& picture) {
    return pipeline_->Write(picture);
}

bool TVideoWriter::Finish() {
    return pipeline_->Finish();
}

int TVideoWriter::FrameWidth() const {
    return pipeline_->FrameWidth();
}

int TVideoWriter::FrameHeight() const {
    return pipeline_->FrameHeight();
}

}  // namespace flipbook
