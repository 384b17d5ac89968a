// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include <QDialog>

#include "cameracontrols/camera_control.h"

class QFormLayout;
class QLabel;
class QPushButton;
class QTimer;

namespace flipbook {

// "Camera Settings": every control of the camera in use, live (a slider with its value, a check box,
// a menu, a button), with "Defaults". A change acts at once; a refusal shows under the controls. The
// values are read again twice a second, so an automatic's work shows while it runs. A control whose
// value the camera cannot read is greyed and says so; a camera that is gone greys them all.
class TCameraSettingsDialog : public QDialog {
    Q_OBJECT

public:
    struct Hooks {
        std::function<CameraControls*()> controls;  // the camera in use now, or null
        std::function<QString()> lockState;         // the lock's state in words
        std::function<void()> defaultsRestored;     // after "Defaults": the automatics run again
        std::function<QString()> unavailable;       // why the camera cannot be reached now, or empty
    };

    TCameraSettingsDialog(QWidget* parent, Hooks hooks);

    // Builds the rows anew, for another camera or a camera that came back.
    void Rebuild();
    // Reads the values, flags and lock state again.
    void Refresh();

private:
    struct Row {
        CameraControl control;
        QWidget* editor = nullptr;
        QLabel* name = nullptr;  // none for a button, which names itself
        QLabel* valueText = nullptr;
    };

    void Change(std::uint32_t id, int value);
    void RestoreDefaults();
    void ShowRefusal(const QString& text);
    void ShowValue(Row& row, const CameraControl& control);
    // The camera is gone: says why and greys every control, until Rebuild.
    void ShowGone(const QString& text);

    Hooks hooks_;
    QLabel* lockState_ = nullptr;
    QPushButton* defaults_ = nullptr;
    QWidget* rows_ = nullptr;
    QFormLayout* rowLayout_ = nullptr;
    QLabel* refusal_ = nullptr;
    QTimer* refreshTimer_ = nullptr;
    std::map<std::uint32_t, Row> shown_;
};

}  // namespace flipbook
