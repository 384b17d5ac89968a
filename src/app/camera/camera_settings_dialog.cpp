// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/camera/camera_settings_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>

#include "cameracontrols/automatics.h"
#include "cameracontrols/camera_lock.h"

namespace flipbook {
namespace {

constexpr int kRefreshMilliseconds = 500;

QString Words(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

TCameraSettingsDialog::TCameraSettingsDialog(QWidget* parent, Hooks hooks)
    : QDialog(parent), hooks_(std::move(hooks)) {
    setObjectName(QStringLiteral("dlgCameraSettings"));
    setWindowTitle(QStringLiteral("Camera Settings"));
    auto* layout = new QVBoxLayout(this);
    lockState_ = new QLabel(this);
    lockState_->setObjectName(QStringLiteral("lbCameraLockState"));
    layout->addWidget(lockState_);
    rows_ = new QWidget(this);
    rowLayout_ = new QFormLayout(rows_);
    rowLayout_->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(rows_);
    refusal_ = new QLabel(this);
    refusal_->setObjectName(QStringLiteral("lbCameraRefusal"));
    refusal_->setWordWrap(true);
    refusal_->setStyleSheet(QStringLiteral("color: #a00000"));
    layout->addWidget(refusal_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    defaults_ = buttons->addButton(QStringLiteral("&Defaults"), QDialogButtonBox::ResetRole);
    defaults_->setObjectName(QStringLiteral("btCameraDefaults"));
    connect(defaults_, &QPushButton::clicked, this, &TCameraSettingsDialog::RestoreDefaults);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    layout->addWidget(buttons);
    refreshTimer_ = new QTimer(this);
    connect(refreshTimer_, &QTimer::timeout, this, &TCameraSettingsDialog::Refresh);
    refreshTimer_->start(kRefreshMilliseconds);
    Rebuild();
}

void TCameraSettingsDialog::Rebuild() {
    while (rowLayout_->rowCount() > 0) rowLayout_->removeRow(0);
    shown_.clear();
    refusal_->clear();
    rows_->setEnabled(true);
    defaults_->setEnabled(true);
    CameraControls* controls = hooks_.controls();
    const QString unavailable = hooks_.unavailable();
    std::vector<CameraControl> listed;
    try {
        if (controls) listed = controls->List();
    } catch (const ECameraControl& error) {
        ShowRefusal(Words(error.what()));
    }
    if (listed.empty()) {
        rowLayout_->addRow(new QLabel(
            controls || unavailable.isEmpty() ? QString::fromLatin1(kNoControlsText) : unavailable, rows_));
        Refresh();
        return;
    }
    for (const CameraControl& control : listed) {
        Row row{control};
        const std::uint32_t id = control.id;
        switch (control.type) {
            case ControlType::Integer: {
                auto* line = new QWidget(rows_);
                auto* lineLayout = new QHBoxLayout(line);
                lineLayout->setContentsMargins(0, 0, 0, 0);
                auto* slider = new QSlider(Qt::Horizontal, line);
                slider->setRange(control.minimum, control.maximum);
                slider->setSingleStep(std::max(control.step, 1));
                slider->setPageStep(std::max(control.step, (control.maximum - control.minimum) / 10));
                slider->setMinimumWidth(200);
                row.valueText = new QLabel(line);
                row.valueText->setMinimumWidth(40);
                lineLayout->addWidget(slider);
                lineLayout->addWidget(row.valueText);
                connect(slider, &QSlider::valueChanged, this, [this, id](int value) { Change(id, value); });
                row.editor = slider;
                row.name = new QLabel(Words(control.name), rows_);
                rowLayout_->addRow(row.name, line);
                break;
            }
            case ControlType::Boolean: {
                auto* box = new QCheckBox(rows_);
                connect(box, &QCheckBox::toggled, this, [this, id](bool on) { Change(id, on ? 1 : 0); });
                row.editor = box;
                row.name = new QLabel(Words(control.name), rows_);
                rowLayout_->addRow(row.name, box);
                break;
            }
            case ControlType::Menu: {
                auto* menu = new QComboBox(rows_);
                for (const MenuEntry& entry : control.menu) menu->addItem(Words(entry.name), entry.value);
                connect(menu, &QComboBox::activated, this,
                        [this, id, menu](int index) { Change(id, menu->itemData(index).toInt()); });
                row.editor = menu;
                row.name = new QLabel(Words(control.name), rows_);
                rowLayout_->addRow(row.name, menu);
                break;
            }
            case ControlType::Button: {
                auto* button = new QPushButton(Words(control.name), rows_);
                connect(button, &QPushButton::clicked, this, [this, id] { Change(id, 0); });
                row.editor = button;
                rowLayout_->addRow(QString(), button);
                break;
            }
        }
        // Tests and assistive tools find a control by its name.
        row.editor->setObjectName(Words(control.name));
        row.editor->setAccessibleName(Words(control.name));
        ShowValue(row, control);
        shown_.emplace(id, row);
    }
    Refresh();
    adjustSize();
}

void TCameraSettingsDialog::Refresh() {
    lockState_->setText(hooks_.lockState());
    CameraControls* controls = hooks_.controls();
    if (shown_.empty()) return;
    if (!controls) {
        // Rows of a camera that is no longer there must not look live, nor take changes.
        const QString unavailable = hooks_.unavailable();
        ShowGone(unavailable.isEmpty() ? QStringLiteral("The camera cannot be reached") : unavailable);
        return;
    }
    std::vector<CameraControl> listed;
    try {
        listed = controls->List();
    } catch (const ECameraGone&) {
        ShowGone(QStringLiteral("The camera was disconnected"));
        return;
    } catch (const ECameraControl& error) {
        ShowRefusal(Words(error.what()));
        return;
    }
    for (const CameraControl& control : listed) {
        auto found = shown_.find(control.id);
        if (found != shown_.end()) ShowValue(found->second, control);
    }
}

void TCameraSettingsDialog::ShowValue(Row& row, const CameraControl& control) {
    row.control = control;
    // A control ruled by its automatic may well not be read; one that should be, and is not, would
    // show a made-up value: it is greyed and says so.
    const bool unreadable = control.valueUnknown && !control.inactive && control.type != ControlType::Button;
    row.editor->setEnabled(!control.readOnly && !control.inactive && !unreadable);
    if (row.name)
        row.name->setText(unreadable ? Words(control.name) + QStringLiteral(": cannot be read")
                                     : Words(control.name));
    const QSignalBlocker quiet(row.editor);
    if (auto* slider = qobject_cast<QSlider*>(row.editor)) {
        // A slider the user holds keeps the value under the mouse.
        if (!slider->isSliderDown()) slider->setValue(control.value);
        row.valueText->setText(unreadable ? QString() : QString::number(control.value));
    } else if (auto* box = qobject_cast<QCheckBox*>(row.editor)) {
        box->setChecked(control.value != 0);
    } else if (auto* menu = qobject_cast<QComboBox*>(row.editor)) {
        menu->setCurrentIndex(menu->findData(control.value));
    }
}

void TCameraSettingsDialog::Change(std::uint32_t id, int value) {
    CameraControls* controls = hooks_.controls();
    if (!controls) return;
    try {
        controls->Set(id, value);
        refusal_->clear();
    } catch (const ECameraGone&) {
        ShowGone(QStringLiteral("The camera was disconnected: the change was not made"));
        return;
    } catch (const ECameraControl& error) {
        ShowRefusal(Words(error.what()));
    }
    // An automatic switched makes its manual control active or inactive; a refused value goes back.
    Refresh();
}

void TCameraSettingsDialog::RestoreDefaults() {
    CameraControls* controls = hooks_.controls();
    if (!controls) return;
    QStringList refusals;
    // Manual values first: a camera may refuse them once their automatic rules them again. One its
    // automatic rules already is left to it (a webcam refuses the write); the automatic's own default
    // puts it back in charge.
    std::vector<CameraControl> manual;
    std::vector<CameraControl> automatics;
    for (const auto& [id, row] : shown_) {
        if (row.control.readOnly || row.control.inactive || row.control.type == ControlType::Button) continue;
        bool automatic = false;
        for (const Automatic& candidate : Automatics()) automatic = automatic || candidate.automaticId == id;
        (automatic ? automatics : manual).push_back(row.control);
    }
    for (const std::vector<CameraControl>* group : {&manual, &automatics})
        for (const CameraControl& control : *group) {
            try {
                controls->Set(control.id, control.defaultValue);
            } catch (const ECameraGone&) {
                ShowGone(QStringLiteral("The camera was disconnected: its defaults were not restored"));
                return;
            } catch (const ECameraControl& error) {
                refusals << Words(error.what());
            }
        }
    hooks_.defaultsRestored();
    refusal_->setText(refusals.join(QLatin1Char('\n')));
    Refresh();
}

void TCameraSettingsDialog::ShowRefusal(const QString& text) {
    refusal_->setText(text);
}

void TCameraSettingsDialog::ShowGone(const QString& text) {
    refusal_->setText(text);
    rows_->setEnabled(false);
    defaults_->setEnabled(false);
}

}  // namespace flipbook
