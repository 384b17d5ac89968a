// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/graphics/picture_loader.h"

namespace flipbook {

// What to export: the pictures in order, one video frame each, at the rate given.
struct SeriesExport {
    std::vector<std::string> pictures;
    std::filesystem::path output;  // ".mp4" (H.264) or ".webm" (VP9)
    int framesPerSecond = 12;
    PictureLoader load;
    // Told after each written frame: (frames written, frames in all). Called on the exporting thread.
    std::function<void(std::size_t done, std::size_t total)> progress;
    // Watched before each frame and while waiting on the encoder or the file; when it turns true the
    // export stops within moments and leaves no file.
    const std::atomic<bool>* cancel = nullptr;
    // Asked, on the exporting thread, about each picture that cannot be read: true holds the picture
    // before it in its place (for the first pictures, the first one that can be read), so the video
    // keeps its length; false, or none given, ends the export with the error.
    std::function<bool(const std::string& picture)> holdUnreadable;
};

enum class ExportOutcome { Written, Cancelled };

// Writes the series as a video whose frame size is the first picture's (pictures of other sizes are
// fitted into it with black bars; a picture smaller than the encoders take is scaled up). Raises
// EExportError for an empty series, a picture that cannot be read and is not held (naming it), a
// series none of whose pictures can be read, a missing encoder or a video that cannot be written (a
// full disk ends it as soon as the disk refuses it); then, as after a cancel, no output file is left.
ExportOutcome ExportSeries(const SeriesExport& job);

}  // namespace flipbook
