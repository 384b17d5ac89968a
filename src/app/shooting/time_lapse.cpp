// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shooting/time_lapse.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QSpinBox>
#include <QTimer>

#include <algorithm>

namespace flipbook {

TTimeLapse::TTimeLapse(QObject* parent) : QObject(parent) {
    timer_ = new QTimer(this);
    timer_->setSingleShot(true);
    timer_->setTimerType(Qt::PreciseTimer);
    connect(timer_, &QTimer::timeout, this, &TTimeLapse::Tick);
    status_ = new QTimer(this);
    status_->setInterval(1000);
    connect(status_, &QTimer::timeout, this, [this] { emit StatusChanged(StatusText()); });
}

TTimeLapse::~TTimeLapse() = default;

QString TTimeLapse::StatusText() const {
    const auto left =
        std::chrono::ceil<std::chrono::seconds>(std::max(next_ - Clock::now(), Clock::duration{}));
    return QStringLiteral("Time-lapse: %1 taken, next in %2 s").arg(taken_).arg(left.count());
}

void TTimeLapse::Start() {
    if (running_) return;
    running_ = true;
    taken_ = 0;
    start_ = Clock::now();
    next_ = start_;
    status_->start();
    Tick();
}

void TTimeLapse::Stop(const QString& why) {
    if (!running_) return;
    running_ = false;
    timer_->stop();
    status_->stop();
    emit Stopped(QStringLiteral("Time-lapse stopped after %1 taken: %2").arg(taken_).arg(why));
}

void TTimeLapse::PictureLost(const QString& why) {
    if (!running_) return;
    if (taken_ > 0) --taken_;
    Stop(why);
}

void TTimeLapse::CameraLost(const QString& problem) {
    if (running_) {
        takenAtLoss_ = taken_;
        Stop(problem);
    } else if (takenAtLoss_ >= 0) {
        emit Stopped(QStringLiteral("Time-lapse stopped after %1 taken: %2").arg(takenAtLoss_).arg(problem));
    }
}

TTimeLapse::Clock::time_point TTimeLapse::NextDue(Clock::time_point start, Clock::time_point last,
                                                  std::chrono::seconds interval) {
    const auto due = start + interval * ((last - start) / interval + 1);
    const auto closest =
        std::chrono::duration_cast<Clock::duration>(std::chrono::milliseconds(interval) * 9 / 10);
    return std::max(due, last + closest);
}

void TTimeLapse::Tick() {
    if (!running_) return;
    // A timer may wake a little early; the picture waits for its time.
    if (Clock::now() < next_) {
        Schedule();
        return;
    }
    const QString refused = TakePicture ? TakePicture() : QString();
    if (!running_) return;  // stopped while taking it
    if (!refused.isEmpty()) {
        Stop(refused);
        return;
    }
    ++taken_;
    last_ = Clock::now();
    if (Count > 0 && taken_ >= Count) {
        Stop(QStringLiteral("all %1 pictures are taken").arg(Count));
        return;
    }
    next_ = NextDue(start_, last_, std::chrono::seconds(IntervalSeconds));
    Schedule();
    emit StatusChanged(StatusText());
}

void TTimeLapse::Schedule() {
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next_ - Clock::now());
    timer_->start(static_cast<int>(std::max<std::int64_t>(wait.count(), 0)));
}

bool AskTimeLapseSettings(QWidget* parent, int& intervalSeconds, int& count) {
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("dlgTimeLapse"));
    dialog.setWindowTitle(QStringLiteral("Time-Lapse"));
    auto* layout = new QFormLayout(&dialog);
    auto* interval = new QSpinBox(&dialog);
    interval->setObjectName(QStringLiteral("seInterval"));
    interval->setRange(TTimeLapse::kMinimumSeconds, TTimeLapse::kMaximumSeconds);
    interval->setSuffix(QStringLiteral(" s"));
    interval->setValue(intervalSeconds);
    layout->addRow(QStringLiteral("&Interval (1 s to 1 h):"), interval);
    auto* limited = new QCheckBox(QStringLiteral("&Stop after"), &dialog);
    limited->setObjectName(QStringLiteral("ckCount"));
    auto* pictures = new QSpinBox(&dialog);
    pictures->setObjectName(QStringLiteral("seCount"));
    pictures->setRange(1, 99999);
    const auto nameUnit = [pictures](int value) {
        pictures->setSuffix(value == 1 ? QStringLiteral(" picture") : QStringLiteral(" pictures"));
    };
    QObject::connect(pictures, &QSpinBox::valueChanged, pictures, nameUnit);
    pictures->setValue(std::max(count, 1));
    nameUnit(pictures->value());
    limited->setChecked(count > 0);
    pictures->setEnabled(count > 0);
    QObject::connect(limited, &QCheckBox::toggled, pictures, &QWidget::setEnabled);
    layout->addRow(limited, pictures);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted) return false;
    intervalSeconds = interval->value();
    count = limited->isChecked() ? pictures->value() : 0;
    return true;
}

}  // namespace flipbook
