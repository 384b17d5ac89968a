// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/window/status_model.h"

namespace flipbook {

TStatusModel::TStatusModel(std::function<QString()> present, QObject* parent)
    : QObject(parent), present_(std::move(present)) {
    life_.setSingleShot(true);
    connect(&life_, &QTimer::timeout, this, &TStatusModel::StateChanged);
}

void TStatusModel::Say(const QString& text, Kind kind) {
    ++serial_;
    telling_ = true;
    if (kind == Kind::Failure) {
        life_.stop();
    } else {
        life_.start(MessageLife);
    }
    Show(text);
}

void TStatusModel::StateChanged() {
    life_.stop();
    telling_ = false;
    Update();
}

void TStatusModel::Update() {
    if (!telling_) Show(present_());
}

void TStatusModel::Show(const QString& text) {
    // Said again, the same words still count as new for a view that opened meanwhile, but the label
    // has nothing to redraw.
    if (text == text_) return;
    text_ = text;
    emit TextChanged(text_);
}

}  // namespace flipbook
