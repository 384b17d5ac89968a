// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/playback/playback_settings_dialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QSpinBox>

#include "playback/player.h"

namespace flipbook {

bool AskPlaybackSettings(QWidget* parent, int& framesPerSecond, int& lastFrames) {
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("dlgPlaybackRate"));
    dialog.setWindowTitle(QStringLiteral("Playback Rate"));
    auto* layout = new QFormLayout(&dialog);
    auto* rate = new QSpinBox(&dialog);
    rate->setRange(PlaybackOptions::kMinimumRate, PlaybackOptions::kMaximumRate);
    rate->setValue(framesPerSecond);
    rate->setSuffix(QStringLiteral(" fps"));
    layout->addRow(QStringLiteral("&Frames per second:"), rate);
    auto* last = new QSpinBox(&dialog);
    last->setRange(1, 100);
    last->setValue(lastFrames);
    layout->addRow(QStringLiteral("&Last frames played:"), last);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted) return false;
    framesPerSecond = rate->value();
    lastFrames = last->value();
    return true;
}

}  // namespace flipbook
