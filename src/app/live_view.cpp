#include "app/live_view.h"

#include "capture/sample_grabber.h"
#include "effects/zt_bmpfx.h"
#include "platform/graphics/canvas.h"

namespace flipbook {

void DrawFrame(TSampleGrabber& grabber, const std::uint8_t* buffer, std::uint32_t bufferLength,
               const TFrameTargets& targets, TOnionSkin onionSkin) {
    std::lock_guard displayLock(targets.display.GetCanvas());
    try {
        grabber.GetBitmap(targets.display, buffer, bufferLength);
        std::lock_guard picturesLock(targets.picturesLock);
        grabber.GetBitmap(targets.liveFrame);
        if (onionSkin.on && !targets.referencePicture.Empty())
            Blend(targets.liveFrame, targets.referencePicture, targets.display, onionSkin.position / 100.0L);
    } catch (...) {
        // The frame is lost, shown in part or not at all; the next one comes soon.
    }
}

}  // namespace flipbook
