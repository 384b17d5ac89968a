// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <functional>

#include <QObject>
#include <QString>

class QTimer;
class QWidget;

namespace flipbook {

// Interval shooting: a picture every interval, from the start on, until stopped or the number is
// reached. The pictures keep their rhythm (each is due a whole number of intervals after the start) but
// two are never closer than nine tenths of the interval, even after a late one. What a tick does is
// the window's business (TakePicture); this class only keeps time and counts.
class TTimeLapse : public QObject {
    Q_OBJECT

public:
    static constexpr int kMinimumSeconds = 1;
    static constexpr int kMaximumSeconds = 3600;
    static constexpr int kDefaultSeconds = 10;

    explicit TTimeLapse(QObject* parent = nullptr);
    ~TTimeLapse() override;

    int IntervalSeconds = kDefaultSeconds;
    // How many pictures to take; 0 for no end.
    int Count = 0;
    // Takes one picture: an empty result when taken, else why the series must stop.
    std::function<QString()> TakePicture;

    bool Running() const { return running_; }
    int Taken() const { return taken_; }
    // "Time-lapse: 12 taken, next in 7 s".
    QString StatusText() const;

    // Takes the first picture at once.
    void Start();
    // Stops, saying why (nothing when not running).
    void Stop(const QString& why);
    // A picture it took was not saved after all: it no longer counts, and the series stops, saying why.
    void PictureLost(const QString& why);
    // The camera in use is lost: a running series stops with the problem as its reason. A loss is often
    // reported more than once in other words (the stream's error, then the device's removal): the
    // series this loss ended is said to have stopped again, with the newer words, and nothing else.
    void CameraLost(const QString& problem);
    // The camera works again (or another was chosen): its next loss is a loss of its own.
    void CameraBack() { takenAtLoss_ = -1; }

    using Clock = std::chrono::steady_clock;
    // When the picture after the one taken at last is due, in a series started at start: on the
    // start's rhythm (a whole number of intervals after it), but never closer to the last picture than
    // nine tenths of the interval, to the millisecond.
    static Clock::time_point NextDue(Clock::time_point start, Clock::time_point last,
                                     std::chrono::seconds interval);

signals:
    // Every second while it runs, and at each picture.
    void StatusChanged(const QString& text);
    void Stopped(const QString& text);

private:
    void Tick();
    void Schedule();

    QTimer* timer_ = nullptr;
    QTimer* status_ = nullptr;
    bool running_ = false;
    int taken_ = 0;
    // How many the series had taken when this loss of the camera ended it; -1 for none.
    int takenAtLoss_ = -1;
    Clock::time_point start_;
    Clock::time_point last_;
    Clock::time_point next_;
};

// Asks for the interval (1 s to 1 h) and an optional number of pictures, starting from the values
// given; false, with both unchanged, when cancelled. A count of 0 means no end.
bool AskTimeLapseSettings(QWidget* parent, int& intervalSeconds, int& count);

}  // namespace flipbook
