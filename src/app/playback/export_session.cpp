// SPDX-License-Identifier: GPL-3.0-or-later
// Export of the listed series as a video: the save dialog, the progress dialog over the export's
// thread, and what is said at the end. The video writer lives in export/.
#include "app/playback/export_session.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressDialog>

#include <algorithm>
#include <filesystem>
#include <optional>

#include "app/library/picture_files.h"
#include "app/playback/video_export_job.h"
#include "export/video_writer.h"
#include "platform/graphics/bitmap.h"
#include "platform/shell/desktop.h"

namespace flipbook {
namespace {

// The save dialog of "Export Video...": the chosen filter's ending is added to a name typed without
// one before the dialog asks about replacing a file, so it asks about the file really written; a name
// with an ending no video can have is said, in the dialog, and never changed. Qt's own dialog, since
// a desktop's dialog asks about replacing before it adds the ending.
class VideoPathDialog : public QFileDialog {
public:
    VideoPathDialog(QWidget* parent, const QString& suggestion)
        : QFileDialog(parent, QStringLiteral("Export Video"), QFileInfo(suggestion).path()) {
        setObjectName(QStringLiteral("dlgExportPath"));
        setOption(QFileDialog::DontUseNativeDialog);
        setAcceptMode(QFileDialog::AcceptSave);
        setFileMode(QFileDialog::AnyFile);
        setNameFilters({kMp4Filter, kWebMFilter});
        setDefaultSuffix(QStringLiteral("mp4"));
        connect(this, &QFileDialog::filterSelected, this, [this](const QString& filter) {
            setDefaultSuffix(filter == kWebMFilter ? QStringLiteral("webm") : QStringLiteral("mp4"));
        });
        selectFile(QFileInfo(suggestion).fileName());
    }

    void accept() override {
        const QStringList chosen = selectedFiles();
        if (!chosen.isEmpty() && !QFileInfo(chosen.front()).isDir()) {
            const QString ending = QFileInfo(chosen.front()).suffix().toLower();
            if (ending != QStringLiteral("mp4") && ending != QStringLiteral("webm")) {
                QMessageBox::warning(this, windowTitle(),
                                     QStringLiteral("A video can be written only as .mp4 (H.264) or .webm "
                                                    "(VP9), not as %1.")
                                         .arg(QFileInfo(chosen.front()).fileName()));
                return;
            }
        }
        QFileDialog::accept();
    }

private:
    static inline const QString kMp4Filter = QStringLiteral("MP4 video, H.264 (*.mp4)");
    static inline const QString kWebMFilter = QStringLiteral("WebM video, VP9 (*.webm)");
};

bool LoadListedPicture(Bitmap& target, const std::string& path) {
    return LoadPicture(&target, path);
}

// "2.5 s", "1 min 4.0 s": a video's length from its frames and rate.
QString VideoLength(std::size_t frames, int framesPerSecond) {
    const double seconds = static_cast<double>(frames) / std::max(framesPerSecond, 1);
    if (seconds < 60) return QStringLiteral("%1 s").arg(seconds, 0, 'f', 1);
    const int minutes = static_cast<int>(seconds / 60);
    return QStringLiteral("%1 min %2 s").arg(minutes).arg(seconds - minutes * 60, 0, 'f', 1);
}

QString FileNameOf(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(std::filesystem::path(path).filename().string()));
}

}  // namespace

ExportPathQuestion ExportPathDialog(QWidget* parent) {
    return [parent](const std::string& suggestion) {
        VideoPathDialog dialog(parent, QFile::decodeName(QByteArray::fromStdString(suggestion)));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::string();
        return QFile::encodeName(dialog.selectedFiles().front()).toStdString();
    };
}

void ExportSeries(QWidget* parent, std::vector<std::string> pictures, const std::string& suggestion,
                  int framesPerSecond, const ExportPathQuestion& askPath,
                  const std::function<void(const QString& text)>& say) {
    const std::string output = askPath(suggestion);
    if (output.empty()) return;
    // The dialog settles the ending; a name with another is said, never changed into another file.
    try {
        VideoFormatOf(output);
    } catch (const EExportError& error) {
        TheDesktop().ShowError(error.what());
        return;
    }
    SeriesExport job;
    job.pictures = std::move(pictures);
    job.output = output;
    job.framesPerSecond = framesPerSecond;
    job.load = LoadListedPicture;
    const std::size_t frames = job.pictures.size();

    QProgressDialog progress(QStringLiteral("Writing %1...").arg(FileNameOf(output)),
                             QStringLiteral("Cancel"), 0, static_cast<int>(frames), parent);
    progress.setObjectName(QStringLiteral("dlgExportVideo"));
    progress.setWindowTitle(QStringLiteral("Export Video"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    QString failure;
    bool written = false;
    std::optional<bool> holding;  // the answer, asked once for the whole export
    std::vector<std::string> held;
    TVideoExportJob running(std::move(job));
    running.AskHoldUnreadable = [&](const std::string& picture) {
        if (!holding) {
            holding = TheDesktop().Ask(
                "Export Video",
                FileNameOf(picture).toStdString() +
                    " cannot be read. Go on with the picture before it held in its place, for this and "
                    "any other picture that cannot be read? No ends the export.");
        }
        if (*holding) held.push_back(picture);
        return *holding;
    };
    QObject::connect(&running, &TVideoExportJob::Progress, &progress, &QProgressDialog::setValue);
    QObject::connect(&progress, &QProgressDialog::canceled, &running, &TVideoExportJob::Cancel);
    QObject::connect(&running, &TVideoExportJob::Finished, &progress,
                     [&progress, &failure, &written](bool done, const QString& error) {
                         written = done;
                         failure = error;
                         progress.accept();
                     });
    running.Start();
    progress.exec();
    if (!failure.isEmpty()) {
        TheDesktop().ShowError(failure.toStdString());
        return;
    }
    if (!written) return;
    const QString where = QFile::decodeName(QByteArray::fromStdString(output));
    say(QStringLiteral("Exported %1 pictures, %2 at %3 fps%4, to %5")
            .arg(frames)
            .arg(VideoLength(frames, framesPerSecond))
            .arg(framesPerSecond)
            .arg(held.empty() ? QString() : QStringLiteral(" (%1 held)").arg(held.size()))
            .arg(where));
    if (held.empty()) return;
    std::string list;
    for (const std::string& picture : held) {
        list += '\n';
        list += FileNameOf(picture).toStdString();
    }
    TheDesktop().ShowError("The video " + output + " was written, but " + std::to_string(held.size()) +
                           (held.size() == 1 ? " picture" : " pictures") +
                           " could not be read; the picture before each stands in its place:" + list);
}

}  // namespace flipbook
