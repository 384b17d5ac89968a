// SPDX-License-Identifier: GPL-3.0-or-later
// The live view of the main window: the device box, the capture graph (which the camera session starts
// for the selected device), the frame handler and the onion skin.

#include <QCheckBox>
#include <QSlider>

#include "app/camera/frame_averaging.h"
#include "app/camera/live_view.h"
#include "app/playback/playback_session.h"
#include "app/shooting/shooting_view.h"
#include "app/window/fmMain.h"
#include "app/window/image.h"
#include "capture/filter.h"
#include "capture/filter_graph.h"
#include "capture/sample_grabber.h"
#include "effects/band_worker.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/mediagraph/service.h"
#include "platform/shell/desktop.h"

namespace flipbook {

void TFormMain::CreateLiveView() {
    // A costly blend of a large frame takes a second core; its thread lives as long as the graph.
    liveBands_ = std::make_unique<BandWorker>();
    fwFilterGraph = std::make_unique<TFilterGraph>();
    fwFilterGraph->SetMode(gmCapture);
    fwFilterGraph->SetGraphEdit(true);
    fwFilterGraph->ShowError = [](const std::string& message) { TheDesktop().ShowError(message); };
    fwFilterGraph->OnGraphDeviceLost = [this](TFilterGraph&, IUnknown*, bool) {
        camera_->ShowCameraProblem(E_DEVICE_GONE, {});
    };
    fwFilterGraph->OnGraphErrorAbort = [this](TFilterGraph&, HRESULT result, const std::string& message) {
        camera_->ShowCameraProblem(result, message);
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
    camera_->StopWatching();
    fwFilterGraph->SetActive(false);
    fwFilterSource.reset();
    fwSampleGrabber.reset();
    fwFilterGraph.reset();
    liveBands_.reset();
}

void TFormMain::cbVideoDevicesChange() {
    camera_->SelectDevice();
}

void TFormMain::ckGrabOnionClick() {
    tbGrabOnion->setEnabled(ckGrabOnion->isChecked());
}

void TFormMain::fwSampleGrabberBuffer(TSampleGrabber& sender, double /*sampleTime*/,
                                      const std::uint8_t* buffer, std::uint32_t bufferLength) {
    // An averaged Snap gathers every frame, whatever the display shows.
    averaging_->Offer(sender, buffer, bufferLength);
    // Playback owns the display while it shows a picture.
    if (playback_->ShowsPicture()) return;
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
        if (playback_->ShowsPicture()) return;
        DrawFrame(sender, buffer, bufferLength,
                  {imGrabSample->Picture(), *liveFrame_, *referencePicture_, picturesLock_, liveFrameState_,
                   liveBands_.get()},
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
