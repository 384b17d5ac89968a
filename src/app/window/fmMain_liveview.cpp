// SPDX-License-Identifier: GPL-3.0-or-later
// The live view of the main window: the device box, the capture graph for the selected device, the
// frame handler and the onion skin.

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QSlider>

#include "app/camera/camera_status.h"
#include "app/camera/frame_averaging.h"
#include "app/camera/live_view.h"
#include "app/shooting/shooting_view.h"
#include "app/shooting/time_lapse.h"
#include "app/window/fmMain.h"
#include "app/window/image.h"
#include "capture/filter.h"
#include "capture/filter_graph.h"
#include "capture/sample_grabber.h"
#include "capture/sys_dev_enum.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/mediagraph/device_watch.h"
#include "platform/mediagraph/service.h"
#include "platform/shell/desktop.h"

namespace flipbook {

void TFormMain::CreateLiveView() {
    fwFilterGraph = std::make_unique<TFilterGraph>();
    fwFilterGraph->SetMode(gmCapture);
    fwFilterGraph->SetGraphEdit(true);
    fwFilterGraph->ShowError = [](const std::string& message) { TheDesktop().ShowError(message); };
    fwFilterGraph->OnGraphDeviceLost = [this](TFilterGraph&, IUnknown*, bool) {
        ShowCameraProblem(E_DEVICE_GONE, {});
    };
    fwFilterGraph->OnGraphErrorAbort = [this](TFilterGraph&, HRESULT result, const std::string& message) {
        ShowCameraProblem(result, message);
    };

    fwSampleGrabber = std::make_unique<TSampleGrabber>("fwSampleGrabber");
    fwSampleGrabber->OnBuffer = [this](TSampleGrabber& sender, double sampleTime, const std::uint8_t* buffer,
                                       std::uint32_t bufferLength) {
        fwSampleGrabberBuffer(sender, sampleTime, buffer, bufferLength);
    };
    fwSampleGrabber->SetFilterGraph(fwFilterGraph.get());

    fwFilterSource = std::make_unique<TFilter>("fwFilterSource");
    fwFilterSource->SetFilterGraph(fwFilterGraph.get());

    // The streaming thread must not read widgets, so it reads these copies of the onion-skin
    // controls; the track bar still has no handler of its own in the program's sense: a new weight
    // simply shows with the next frame.
    onionSkinOn_ = ckGrabOnion->isChecked();
    onionSkinPosition_ = tbGrabOnion->value();
    connect(ckGrabOnion, &QCheckBox::toggled, this, [this](bool checked) { onionSkinOn_ = checked; });
    connect(tbGrabOnion, &QSlider::valueChanged, this,
            [this](int position) { onionSkinPosition_ = position; });
}

void TFormMain::DestroyLiveView() {
    deviceWatch_.reset();
    fwFilterGraph->SetActive(false);
    fwFilterSource.reset();
    fwSampleGrabber.reset();
    fwFilterGraph.reset();
}

void TFormMain::CreateDeviceList() {
    deviceList_ = std::make_unique<TSysDevEnum>(CLSID_VideoInputDeviceCategory);
    std::vector<std::string> names;
    for (int index = 0; index < deviceList_->DeviceCount(); ++index)
        names.push_back(deviceList_->Devices(index).FriendlyName);
    FillVideoDevices(names);
    // Changes come on a thread of the media framework; connected here, on the window's thread, the
    // signal only queues a call there and builds nothing of ours on the framework's thread.
    connect(this, &TFormMain::VideoDevicesChangeReported, this, &TFormMain::VideoDevicesChanged,
            Qt::QueuedConnection);
    deviceWatch_ = std::make_unique<VideoDeviceWatch>([this] { emit VideoDevicesChangeReported(); });
}

void TFormMain::VideoDevicesChanged() {
    // Cameras are told apart by their device paths: two of one model share a name.
    std::vector<std::string> listedPaths;
    for (int index = 0; index < deviceList_->DeviceCount(); ++index)
        listedPaths.push_back(deviceList_->Devices(index).DevicePath);
    const int current = cbVideoDevices->currentIndex();
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
    cbVideoDevices->clear();
    FillVideoDevices(names);
    cbVideoDevices->setCurrentIndex(chosen.empty() ? -1 : deviceList_->IndexOfPath(chosen));
    if (!shown_) return;

    if (!gbGrabVideo->isEnabled() && cbVideoDevices->count() > 0) {
        // The first camera of a start without any: the "Record" tab comes to life with it.
        gbGrabVideo->setEnabled(true);
        gbGrabPictures->setEnabled(true);
        StatusStateChanged();
        cbVideoDevices->setCurrentIndex(0);
        SelectDevice();
    } else if (cameraPath_.empty()) {
        return;
    } else if (cbVideoDevices->currentIndex() < 0 && !CameraLost()) {
        // Pulled out before its stream noticed: stop waiting for frames that cannot come.
        ShowCameraProblem(E_DEVICE_GONE, {});
        try {
            fwFilterGraph->Stop();
        } catch (...) {
        }
    } else if (cbVideoDevices->currentIndex() >= 0 && !chosenWasListed && CameraLost()) {
        // The lost camera is back: its live view starts again by itself.
        SelectDevice();
    }
}

void TFormMain::ShowCameraProblem(HRESULT result, const std::string& detail) {
    const std::string problem = CameraProblemText(cameraName_, result, detail);
    // One loss is often reported twice (the stream's error, then the device's removal); the second
    // says nothing new and must not hide that a time-lapse ended with the first.
    if (problem == cameraProblem_) return;
    cameraProblem_ = problem;
    StatusStateChanged();
    AbandonAveraging(QString::fromStdString(cameraProblem_));
    if (TimeLapse->Running()) {
        timeLapseTakenAtLoss_ = TimeLapse->Taken();
        TimeLapse->Stop(QString::fromStdString(cameraProblem_));
    } else if (timeLapseTakenAtLoss_ >= 0) {
        SetStatusText(QStringLiteral("Time-lapse stopped after %1 taken: %2")
                          .arg(timeLapseTakenAtLoss_)
                          .arg(QString::fromStdString(cameraProblem_)));
    }
    if (result == E_DEVICE_GONE) CameraControlsLost();
}

bool TFormMain::SnapRefusedWhileCameraLost() {
    if (!CameraLost()) return false;
    SetStatusText(QString::fromStdString(SnapRefusedText(cameraProblem_)));
    return true;
}

bool TFormMain::SelectDevice() {
    const int index = cbVideoDevices->currentIndex();
    if (index < 0) return false;
    cameraName_ = cbVideoDevices->itemText(index).toStdString();
    cameraPath_ = index < deviceList_->DeviceCount() ? deviceList_->Devices(index).DevicePath : std::string();
    const bool recovering = CameraLost();
    AbandonAveraging(QStringLiteral("the camera changed while its frames were averaged"));
    cameraProblem_.clear();
    timeLapseTakenAtLoss_ = -1;
    try {
        // The old device's frames end here, before the new device is bound. Its last frame is no
        // longer the camera's: a Snap before the new device's first frame takes nothing, and leaves the
        // reference as it is.
        fwFilterGraph->ClearGraph();
        WithPictures([this](Bitmap&, Bitmap&) { liveFrameState_ = LiveFrameState::None; });
        fwFilterGraph->SetActive(false);
        fwFilterSource->BaseFilter().SetMoniker(deviceList_->GetMoniker(index).Get());
        fwFilterGraph->SetActive(true);
        PrepareCameraSource();

        ComPtr<ICaptureGraphBuilder2> builder;
        fwFilterGraph->QueryInterface(builder);
        const ComPtr<IBaseFilter> source = QueryAs<IBaseFilter>(fwFilterSource.get());
        const ComPtr<IBaseFilter> grabber = QueryAs<IBaseFilter>(fwSampleGrabber.get());
        // A device that cannot be connected simply delivers no frames.
        if (builder) builder->RenderStream(nullptr, nullptr, source.Get(), nullptr, grabber.Get());
        fwFilterGraph->Run();
        // The status bar said why the camera was gone; now it shows the folder again.
        if (recovering) StatusStateChanged();
        CameraStarted();
        return true;
    } catch (const EDirectShowException& error) {
        ShowCameraProblem(error.ErrorCode(), {});
        return false;
    } catch (...) {
        return false;
    }
}

void TFormMain::SelectFirstWorkingDevice() {
    cbVideoDevices->setCurrentIndex(0);
    if (SelectDevice() && !CameraLost()) return;
    // The first camera is held by another program (or fails otherwise): a free one is better than a
    // grey picture, and the status bar says which one was passed over and why.
    const std::string firstProblem = cameraProblem_;
    for (int index = 1; index < cbVideoDevices->count(); ++index) {
        cbVideoDevices->setCurrentIndex(index);
        if (SelectDevice() && !CameraLost()) {
            if (!firstProblem.empty())
                SetStatusText(QString::fromStdString(CameraPassedOverText(firstProblem, cameraName_)));
            return;
        }
    }
    // None starts: the first one stays chosen, with its own problem in the status bar.
    cbVideoDevices->setCurrentIndex(0);
    if (cbVideoDevices->count() > 1) SelectDevice();
}

void TFormMain::cbVideoDevicesChange() {
    SelectDevice();
}

void TFormMain::ckGrabOnionClick() {
    tbGrabOnion->setEnabled(ckGrabOnion->isChecked());
}

void TFormMain::fwSampleGrabberBuffer(TSampleGrabber& sender, double /*sampleTime*/,
                                      const std::uint8_t* buffer, std::uint32_t bufferLength) {
    // An averaged Snap gathers every frame, whatever the display shows.
    averaging_->Offer(sender, buffer, bufferLength);
    // Playback owns the display while it shows a picture (fmMain_playback.cpp).
    if (playbackShowsPicture_) return;
    if (fmShooting->IsOpen()) {
        DrawShootingFrame(sender, *liveFrame_, pickedReference_, picturesLock_, referenceVersion_,
                          {onionSkinOn_.load(), onionSkinPosition_.load()}, *fmShooting);
        // A live frame there is this one, or one that came since the last Snap took its own: Snap may
        // take it without asking the grabber again.
        std::lock_guard lock(picturesLock_);
        if (!liveFrame_->Empty()) liveFrameState_ = LiveFrameState::Fresh;
        return;
    }
    {
        // Asked again under the display's lock, which playback holds while it puts up a picture:
        // asked only before it, a frame could still land on the play's first picture.
        std::lock_guard displayLock(imGrabSample->Picture().GetCanvas());
        if (playbackShowsPicture_) return;
        DrawFrame(sender, buffer, bufferLength,
                  {imGrabSample->Picture(), *liveFrame_, *referencePicture_, picturesLock_, liveFrameState_},
                  {onionSkinOn_.load(), onionSkinPosition_.load()});
    }
    imGrabSample->PictureChanged();
}

Bitmap TFormMain::LatestFrame() {
    std::lock_guard lock(picturesLock_);
    Bitmap frame;
    if (liveFrameState_ == LiveFrameState::None) return frame;
    if (!fwSampleGrabber->GetBitmap(frame)) frame = *liveFrame_;
    return frame;
}

void TFormMain::FormClose() {
    // A failure here refuses the close, so the window stays open with its graph active.
    fwFilterGraph->ClearGraph();
    fwFilterGraph->SetActive(false);
}

}  // namespace flipbook
