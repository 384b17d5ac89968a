#include "app/live_view.h"

#include <atomic>
#include <utility>

#include "capture/sample_grabber.h"
#include "effects/zt_bmpfx.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

namespace flipbook {

namespace {
std::atomic<std::uint64_t> swallowedFrameFailures{0};
}  // namespace

std::uint64_t SwallowedFrameFailures() {
    return swallowedFrameFailures.load();
}

void DrawFrame(TSampleGrabber& grabber, const std::uint8_t* buffer, std::uint32_t bufferLength,
               const TFrameTargets& targets, TOnionSkin onionSkin) {
    std::lock_guard displayLock(targets.display.GetCanvas());
    try {
        std::lock_guard picturesLock(targets.picturesLock);
        const bool blending = onionSkin.on && !targets.referencePicture.Empty();
        // The blend writes every pixel of the display from the live frame, which holds the same
        // sample, so copying the frame into the display first would only be overwritten: at 1080p that
        // copy is a third of the handler's time.
        if (!blending) grabber.GetBitmap(targets.display, buffer, bufferLength);
        if (grabber.GetBitmap(targets.liveFrame)) targets.liveFrameState = LiveFrameState::Fresh;
        if (blending)
            Blend(targets.liveFrame, targets.referencePicture, targets.display, onionSkin.position / 100.0L);
    } catch (...) {
        // The frame is lost, shown in part or not at all; the next one comes soon. Counted, so a
        // long run can tell a rare hiccup from frames failing all the time.
        swallowedFrameFailures.fetch_add(1);
    }
}

void SnapLiveFrame(TSampleGrabber* grabber, Bitmap& liveFrame, Bitmap& referencePicture,
                   LiveFrameState& state, Bitmap& picture) {
    if (state == LiveFrameState::Snapped && grabber) {
        Bitmap lastFrame;
        if (grabber->GetBitmap(lastFrame)) {
            liveFrame = std::move(lastFrame);
            state = LiveFrameState::Fresh;
        }
    }
    if (state == LiveFrameState::Fresh) {
        // Moved, not copied: the live frame stays empty (never stale) until the next frame fills it,
        // in the old reference's memory, which is neither freed here nor faulted in again there.
        std::swap(referencePicture, liveFrame);
        liveFrame.ClearKeepingMemory();
        state = LiveFrameState::Snapped;
    } else if (state == LiveFrameState::None) {
        referencePicture.Assign(liveFrame);
    }
    picture.Assign(referencePicture);
}

const Bitmap& LatestFrame(const Bitmap& liveFrame, const Bitmap& referencePicture, LiveFrameState state) {
    return liveFrame.Empty() && state == LiveFrameState::Snapped ? referencePicture : liveFrame;
}

void ReplaceReference(Bitmap& liveFrame, Bitmap& referencePicture, LiveFrameState& state,
                      Bitmap replacement) {
    if (liveFrame.Empty() && state == LiveFrameState::Snapped) {
        liveFrame = std::move(referencePicture);
        state = LiveFrameState::Fresh;
    }
    referencePicture = std::move(replacement);
}

}  // namespace flipbook
