// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <QImage>
#include <QWidget>

#include "app/camera/live_view.h"
#include "effects/histogram.h"
#include "effects/screen_frame.h"

class QPainter;
class QTimer;
class QVariantAnimation;

namespace flipbook {

class Bitmap;
class TOnionPictures;
class TSampleGrabber;

// The full-screen shooting view: the live picture as large as the screen allows and true to its shape,
// with the onion skin of the reference and up to four pictures before it, for an animator at the set.
// Frames are turned into the screen image on the thread that delivers them (ScreenFrame); painting only
// copies that image. The view acts on its own keys for how it looks (T, D, G, M, 1 to 5, Z, H, Esc, F)
// and hands every other action to the window through its signals, so a Snap from here is the window's
// Snap.
class TShootingView : public QWidget {
    Q_OBJECT

public:
    explicit TShootingView(QWidget* owner);
    ~TShootingView() override;

    // Covers the given screen and takes the keys; back to the mix, status line shown.
    void Open(QScreen* screen);
    // True from Open until the view is closed (any thread).
    bool IsOpen() const;

    // On the streaming thread, with live and reference held under the caller's lock: the next screen
    // image. referenceVersion changes whenever the reference picture may have changed.
    void DrawFrame(const Bitmap& live, const Bitmap& reference, std::uint64_t referenceVersion,
                   TOnionSkin onion);
    // On the player's thread: a picture of a playing series, shown alone (an empty one leaves the last).
    void DrawPicture(const Bitmap& picture);

    // The onion skin's older layers: the pictures before the reference in the list's order, newest
    // first (up to 4). While the view is open those the keys 2 to 5 ask for are decoded off the window's
    // and the streaming thread, and shown when ready.
    void SetOlderPictures(std::vector<std::string> paths);
    // How many pictures the onion skin lays over the live one: as many as keys 1 to 5 chose, as far as
    // the reference has pictures before it.
    int LaidPictures() const;
    // The focus check (Z): the part of the live picture shown pixel for pixel, in its pixels; nullopt
    // while the check is off.
    std::optional<PixelArea> ZoomedPart() const;
    // The exposure check (H): the histogram of the last frame shown, and where it was painted (empty
    // while the check is off).
    std::optional<Histogram> ShownHistogram() const;
    QRect HistogramBox() const { return histogramBox_; }
    // Shows the status line again, as a key does; it fades after 2 seconds unless StatusLinePinned
    // says it must stay (a running time-lapse's countdown).
    void ShowStatusLine();
    std::function<bool()> StatusLinePinned;
    // The status line's font: its letters at least 2.5 % of the view's height, readable from the set.
    QFont StatusFont() const;
    // Where "Reference" or "Difference" stood at the last paint; empty while the mix shows.
    QRect LookBanner() const { return lookBanner_; }
    // A copy of the screen image as the view paints it, without the status line.
    QImage ScreenPicture() const;
    ScreenOptions Options() const;

    // The text of the status line (folder, last picture, how many, weight, locked, time-lapse), its
    // fields joined by kFieldSeparator; a line too long for the screen shortens its longest fields.
    std::function<QString()> StatusLine;
    // The count of the window's status messages when the view opened: the line tells only what was said
    // since, the status bar it hides being out of sight.
    std::uint64_t MessagesBeforeOpening = 0;
    static constexpr const char* kFieldSeparator = "   \u00b7   ";
    // The camera lock's field of the status line ("locked"); unset while no camera lock is wired (K
    // then only emits LockRequested).
    std::function<QString()> LockStatus;

signals:
    void SnapRequested();
    void WeightStepRequested(int step);
    void ReferenceStepRequested(int step);
    void PlayRequested();
    void PlayLastRequested();
    void LoopRequested();
    void TimeLapseRequested();
    // K: the camera lock, for whoever provides one.
    void LockRequested();
    // A: the next choice of "Average Frames".
    void AverageStepRequested();
    // Ctrl+Z; Ctrl+Shift+Z or Ctrl+Y.
    void UndoRequested();
    void RedoRequested();
    // A key changed how the view looks; the window draws the current frame again.
    void LookChanged();
    void Closed();
    // From any thread; answered on the window's thread with a repaint.
    void RepaintRequested();
    // From the decoding thread: older layers are ready; answered with LookChanged.
    void OlderPicturesDecoded();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void SetLook(ScreenLook look);
    void SetLayers(int layers);
    void SetZoomed(bool zoomed);
    // Asks for the older pictures that the chosen layers need, while the view is open.
    void WantOlderPictures();
    // Draws the text on a dark band so it reads over any picture.
    void DrawBanner(QPainter& painter, const QRect& band, const QString& text, int flags, double opacity);
    // The histogram in a box at the top right; the focus check's frame at the top left.
    void DrawHistogram(QPainter& painter, const Histogram& histogram);
    void DrawZoomFrame(QPainter& painter, QSize picture, PixelArea part);
    // Under renderLock_: the screen image of the picture, while the view is open; a live frame shows
    // zoomed while the focus check is on.
    void Render(const Bitmap& live, const Bitmap& reference, std::uint64_t referenceVersion,
                const ScreenOptions& options, bool liveFrame);

    mutable std::mutex renderLock_;  // guards everything below up to the timers
    ScreenFrame frame_;
    QImage screen_;
    ScreenOptions options_;
    ScreenLook chosenLook_ = ScreenLook::Mix;  // before the onion skin's state decides Mix or Live
    bool open_ = false;
    // The focus check: on, the pointer in screen pixels, and what the last frame showed of which size.
    bool zoomed_ = false;
    int pointerX_ = 0;
    int pointerY_ = 0;
    PixelArea zoomedPart_{};
    QSize zoomedPicture_;
    // The exposure check's histogram of the last live frame, while the check is on.
    std::optional<Histogram> histogram_;

    QTimer* fadeDelay_ = nullptr;
    QVariantAnimation* fade_ = nullptr;
    double statusOpacity_ = 1.0;
    QRect lookBanner_;
    QRect histogramBox_;
    // The pictures before the reference, and whether the mouse moved since the view opened (the
    // pointer is hidden, so until it moves the focus check looks at the centre).
    std::vector<std::string> olderPaths_;
    bool pointerMoved_ = false;
    // Last, so its thread ends before anything it reports to goes.
    std::unique_ptr<TOnionPictures> onionPictures_;
};

// The frame handler's work while the shooting view is open: the live frame gets the grabber's kept copy
// and the view its next screen image; the tab's box, hidden behind the view, is left alone. Takes the
// pictures lock; nothing raises.
void DrawShootingFrame(TSampleGrabber& grabber, Bitmap& liveFrame, const Bitmap& reference,
                       std::mutex& picturesLock, const std::atomic<std::uint64_t>& referenceVersion,
                       TOnionSkin onion, TShootingView& view);

}  // namespace flipbook
