// SPDX-License-Identifier: GPL-3.0-or-later
// The camera session's devices: the device list and its watch, the device selection on the window's
// capture graph, and the camera's problems and recovery. Its controls, lock and modes are in
// camera_session_controls.cpp.

#include "app/camera/camera_session.h"

#include <algorithm>

#include <QComboBox>

#include "app/camera/camera_status.h"
#include "cameracontrols/camera_control.h"
#include "capture/filter.h"
#include "capture/filter_graph.h"
#include "capture/sample_grabber.h"
#include "capture/sys_dev_enum.h"
#include "platform/mediagraph/device_watch.h"
#include "platform/mediagraph/service.h"

namespace flipbook {

TCameraSession::TCameraSession(QWidget* dialogParent, QComboBox* devices, Graph graph, Hooks hooks)
    : dialogParent_(dialogParent), devices_(devices), graph_(graph), hooks_(std::move(hooks)) {}

TCameraSession::~TCameraSession() {
    // The dialog's hooks reach into the session: it goes with it.
    delete cameraSettings_.data();
}

void TCameraSession::CreateDeviceList() {
    deviceList_ = std::make_unique<TSysDevEnum>(CLSID_VideoInputDeviceCategory);
    std::vector<std::string> names;
    for (int index = 0; index < deviceList_->DeviceCount(); ++index)
        names.push_back(deviceList_->Devices(index).FriendlyName);
    hooks_.fillDevices(names);
    // Changes come on a thread of the media framework; connected here, on the session's thread, the
    // signal only queues a call there and builds nothing of ours on the framework's thread.
    connect(this, &TCameraSession::VideoDevicesChangeReported, this, &TCameraSession::VideoDevicesChanged,
            Qt::QueuedConnection);
    deviceWatch_ = std::make_unique<VideoDeviceWatch>([this] { emit VideoDevicesChangeReported(); });
}

void TCameraSession::StopWatching() {
    deviceWatch_.reset();
}

void TCameraSession::VideoDevicesChanged() {
    // Cameras are told apart by their device paths: two of one model share a name.
    std::vector<std::string> listedPaths;
    for (int index = 0; index < deviceList_->DeviceCount(); ++index)
        listedPaths.push_back(deviceList_->Devices(index).DevicePath);
    const int current = devices_->currentIndex();
    std::string chosen = cameraPath_;
    if (chosen.empty() && current >= 0 && current < static_cast<int>(listedPaths.size()))
        chosen = listedPaths[static_cast<std::size_t>(current)];
    std::vector<std::string> names;
    try {
        deviceList_->SelectCategory(CLSID_VideoInputDeviceCategory);
        for (int index = 0; index < deviceList_->DeviceCount(); ++index)
            names.push_back(deviceList_->Devices(index).FriendlyName);
    } catch (...) {
        return;
    }
    const bool chosenWasListed =
        std::find(listedPaths.begin(), listedPaths.end(), chosen) != listedPaths.end();
    devices_->clear();
    hooks_.fillDevices(names);
    devices_->setCurrentIndex(chosen.empty() ? -1 : deviceList_->IndexOfPath(chosen));
    if (!hooks_.shown()) return;

    if (devices_->count() > 0 && hooks_.welcomeFirstCamera()) {
        // The first camera of a start without any.
        devices_->setCurrentIndex(0);
        SelectDevice();
    } else if (cameraPath_.empty()) {
        return;
    } else if (devices_->currentIndex() < 0 && !CameraLost()) {
        // Pulled out before its stream noticed: stop waiting for frames that cannot come.
        ShowCameraProblem(E_DEVICE_GONE, {});
        try {
            graph_.graph->Stop();
        } catch (...) {
        }
    } else if (devices_->currentIndex() >= 0 && !chosenWasListed && CameraLost()) {
        // The lost camera is back: its live view starts again by itself.
        SelectDevice();
    }
}

void TCameraSession::ShowCameraProblem(HRESULT result, const std::string& detail) {
    const std::string problem = CameraProblemText(cameraName_, result, detail);
    // One loss is often reported twice (the stream's error, then the device's removal); the second
    // says nothing new and must not hide that a time-lapse ended with the first.
    if (problem == cameraProblem_) return;
    cameraProblem_ = problem;
    if (result == E_DEVICE_GONE) CameraControlsLost();
    // The problem is the state the status bar shows while it lasts, so it is no message of its own.
    emit Changed();
    emit Lost(Problem());
}

bool TCameraSession::SnapRefusedWhileCameraLost() {
    if (!CameraLost()) return false;
    emit Said(QString::fromStdString(SnapRefusedText(cameraProblem_)));
    return true;
}

bool TCameraSession::SelectDevice() {
    const int index = devices_->currentIndex();
    if (index < 0) return false;
    cameraName_ = devices_->itemText(index).toStdString();
    cameraPath_ = index < deviceList_->DeviceCount() ? deviceList_->Devices(index).DevicePath : std::string();
    const bool recovering = CameraLost();
    emit Selecting();
    cameraProblem_.clear();
    // What was said of the loss gives way to the present state.
    if (recovering) emit Changed();
    try {
        // The old device's frames end here, before the new device is bound. Its last frame is no
        // longer the camera's: a Snap before the new device's first frame takes nothing, and leaves the
        // reference as it is.
        graph_.graph->ClearGraph();
        hooks_.framesEnded();
        graph_.graph->SetActive(false);
        graph_.source->BaseFilter().SetMoniker(deviceList_->GetMoniker(index).Get());
        graph_.graph->SetActive(true);
        PrepareCameraSource();

        ComPtr<ICaptureGraphBuilder2> builder;
        graph_.graph->QueryInterface(builder);
        const ComPtr<IBaseFilter> source = QueryAs<IBaseFilter>(graph_.source.get());
        const ComPtr<IBaseFilter> grabber = QueryAs<IBaseFilter>(graph_.grabber.get());
        // A device that cannot be connected simply delivers no frames.
        if (builder) builder->RenderStream(nullptr, nullptr, source.Get(), nullptr, grabber.Get());
        graph_.graph->Run();
        CameraStarted();
        return true;
    } catch (const EDirectShowException& error) {
        ShowCameraProblem(error.ErrorCode(), {});
        return false;
    } catch (...) {
        return false;
    }
}

void TCameraSession::SelectFirstWorkingDevice() {
    devices_->setCurrentIndex(0);
    if (SelectDevice() && !CameraLost()) return;
    // The first camera is held by another program (or fails otherwise): a free one is better than a
    // grey picture, and the session says which one was passed over and why.
    const std::string firstProblem = cameraProblem_;
    for (int index = 1; index < devices_->count(); ++index) {
        devices_->setCurrentIndex(index);
        if (SelectDevice() && !CameraLost()) {
            if (!firstProblem.empty())
                emit Said(QString::fromStdString(CameraPassedOverText(firstProblem, cameraName_)));
            return;
        }
    }
    // None starts: the first one stays chosen, with its own problem said.
    devices_->setCurrentIndex(0);
    if (devices_->count() > 1) SelectDevice();
}

}  // namespace flipbook
