// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/export_series.h"

#include <memory>

#include "export/video_writer.h"
#include "platform/graphics/bitmap.h"

namespace flipbook {

ExportOutcome ExportSeries(const SeriesExport& job) {
    if (job.pictures.empty()) throw EExportError("There are no pictures to export");
    const VideoFormat format = VideoFormatOf(job.output);
    const auto cancelled = [&job] { return job.cancel && job.cancel->load(); };
    std::unique_ptr<TVideoWriter> writer;
    Bitmap picture;
    // Frames owed to unreadable pictures before the first readable one, which then stands for them.
    std::size_t owed = 0;
    for (std::size_t index = 0; index < job.pictures.size(); ++index) {
        if (cancelled()) return ExportOutcome::Cancelled;
        Bitmap loaded;
        if (job.load(loaded, job.pictures[index]) && !loaded.Empty()) {
            picture = std::move(loaded);
        } else if (!job.holdUnreadable || !job.holdUnreadable(job.pictures[index])) {
            throw EExportError("Cannot read the picture " + job.pictures[index]);
        } else if (!writer) {
            ++owed;
            continue;
        }
        if (!writer)
            writer = std::make_unique<TVideoWriter>(job.output, format, job.framesPerSecond, picture.Width(),
                                                    picture.Height(), job.cancel);
        for (; owed > 0; --owed)
            if (!writer->Write(picture)) return ExportOutcome::Cancelled;
        if (!writer->Write(picture)) return ExportOutcome::Cancelled;
        if (job.progress) job.progress(index + 1, job.pictures.size());
    }
    if (!writer) throw EExportError("None of the pictures can be read");
    if (cancelled() || !writer->Finish()) return ExportOutcome::Cancelled;
    return ExportOutcome::Written;
}

}  // namespace flipbook
