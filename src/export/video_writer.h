// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/core/exception.h"

namespace flipbook {

class Bitmap;

// A video that cannot be written: a missing encoder (the message names the Debian package to
// install), a file that cannot be created, or a pipeline that failed while writing. The message always
// says why: the system's reason in plain words, or GStreamer's with its details.
class EExportError : public Exception {
public:
    using Exception::Exception;
};

enum class VideoFormat { Mp4H264, WebMVp9 };

// The format for an output file by its extension, ".mp4" or ".webm" in any case; raises EExportError
// for any other.
VideoFormat VideoFormatOf(const std::filesystem::path& output);

// The encoders take no picture narrower or lower than this.
constexpr int kSmallestFrameSide = 16;

struct PictureArea {
    int width = 0;
    int height = 0;
};

// Where a video's pictures go in its frames, for a first picture of the given size: that size, or,
// where a side is shorter than the encoders take, the picture scaled up with its proportions kept
// until both sides are at least kSmallestFrameSide.
PictureArea VideoPictureArea(int width, int height);

// The frame size for a side of the pictures' area: the encoders take even sizes only, so an odd width
// or height grows by one black column or row.
int EvenFrameSize(int pictureSize);

// Writes pictures as the frames of a video through GStreamer (H.264 in MP4, or VP9 in WebM), at a fixed
// rate. The file is written under a hidden temporary name of its own beside the output, flushed to the
// disk and renamed only by Finish (replacing an older video of that name whole), so a writer destroyed
// before that (cancelled, or after a failure) leaves no file behind, and two writers to one output
// never mix. No call waits for the pipeline without watching for its failure and for the cancel flag.
class TVideoWriter {
public:
    // The frames show pictures of width x height (the first picture's size), scaled up where that is
    // smaller than the encoders take (VideoPictureArea); once the cancel flag (when given) turns true,
    // Write and Finish return false promptly. Raises EExportError when an encoder is missing or the
    // output cannot be created, with the reason.
    TVideoWriter(const std::filesystem::path& output, VideoFormat format, int framesPerSecond, int width,
                 int height, const std::atomic<bool>* cancel = nullptr);
    ~TVideoWriter();
    TVideoWriter(const TVideoWriter&) = delete;
    TVideoWriter& operator=(const TVideoWriter&) = delete;

    // Adds one frame: the picture, scaled to fit the frame with its proportions kept (black bars beside
    // it) when its size differs. Waits while the encoder is behind, so memory stays bounded; false when
    // cancelled meanwhile. Raises EExportError as soon as the pipeline fails ("...: the disk is full").
    bool Write(const Bitmap& picture);
    // Ends the stream, waits until the file is complete and gives it its name; false when cancelled
    // first. Raises EExportError when that fails.
    bool Finish();

    int FrameWidth() const;
    int FrameHeight() const;

private:
    class Pipeline;
    std::unique_ptr<Pipeline> pipeline_;
};

}  // namespace flipbook
