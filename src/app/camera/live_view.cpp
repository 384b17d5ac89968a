// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/camera/live_view.h"

#include <atomic>
#include <cstdlib>
#include <optional>
#include <utility>

#include "capture/sample_grabber.h"
#include "effects/band_worker.h"
#include "effects/zt_bmpfx.h"
#include "platform/core/limits.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

namespace flipbook {

namespace {
std::atomic<std::uint64_t> swallowedFrameFailures{0};
}  // namespace

std::uint64_t SwallowedFrameFailures() {
    return swallowedFrameFailures.load();
}

std::optional<FrameRows> DeliveredRows(const TSampleGrabber& grabber, const std::uint8_t* buffer,
                                       std::uint32_t bufferLength) {
    const std::optional<BitmapInfoHeader> header = grabber.FrameHeader();
    if (!buffer || !header || header->bitCount != 24 || header->compression != kBiRgb) return std::nullopt;
    const std::int64_t height = std::abs(std::int64_t{header->height});
    if (header->width <= 0 || height == 0 || height > kMaxPictureSide || header->width > kMaxPictureSide)
        return std::nullopt;
    const std::size_t rowStride = (static_cast<std::size_t>(header->width) * 3 + 3) & ~std::size_t{3};
    if (bufferLength < rowStride * static_cast<std::size_t>(height)) return std::nullopt;
    return FrameRows{buffer, header->width, static_cast<int>(height), rowStride, header->height < 0};
}

void DrawFrame(TSampleGrabber& grabber, const std::uint8_t* buffer, std::uint32_t bufferLength,
               const TFrameTargets& targets, TOnionSkin onionSkin) {
    std::lock_guard displayLock(targets.display.GetCanvas());
    try {
        std::lock_guard picturesLock(targets.picturesLock);
        const long double weight = onionSkin.position / 100.0L;
        if (!onionSkin.on || targets.referencePicture.Empty()) {
            if (grabber.GetBitmap(targets.display, buffer, bufferLength))
                targets.liveFrameState = LiveFrameState::Fresh;
        } else if (const auto frame = DeliveredRows(grabber, buffer, bufferLength)) {
            // Blended where it was delivered: Snap copies the grabber's kept frame when it is taken,
            // rather than every frame being copied in case it is.
            Blend(*frame, targets.referencePicture, targets.display, weight,
                  targets.bands ? targets.bands : &LiveBandWorker());
            targets.liveFrameState = LiveFrameState::Fresh;
        } else if (grabber.GetBitmap(targets.liveFrame, buffer, bufferLength)) {
            targets.liveFrameState = LiveFrameState::Fresh;
            Blend(targets.liveFrame, targets.referencePicture, targets.display, weight);
        }
    } catch (...) {
        // The frame is lost, shown in part or not at all; the next one comes soon. Counted, so a
        // long run can tell a rare hiccup from frames failing all the time.
        swallowedFrameFailures.fetch_add(1);
    }
}

void SnapLiveFrame(TSampleGrabber* grabber, Bitmap& liveFrame, Bitmap& referencePicture,
                   LiveFrameState& state, Bitmap& picture) {
    if (state == LiveFrameState::Fresh) {
        // A snapshot still being saved keeps the old reference's memory; the spare's is as good as
        // the reference's, and neither is allocated and faulted in here.
        if (referencePicture.SharesPixels()) std::swap(referencePicture, picture);
        if (!grabber || !grabber->GetBitmap(referencePicture)) referencePicture.Assign(liveFrame);
        state = LiveFrameState::Snapped;
    } else if (state == LiveFrameState::None) {
        referencePicture.Assign(liveFrame);
    }
    picture.Share(referencePicture);
}

void ReplaceReference(Bitmap& referencePicture, LiveFrameState& state, Bitmap replacement) {
    if (state == LiveFrameState::Snapped) state = LiveFrameState::Fresh;
    referencePicture = std::move(replacement);
}

}  // namespace flipbook
