// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>

#include "effects/zt_bmpfx.h"

namespace flipbook {

class BandWorker;
class Bitmap;
class TSampleGrabber;

// Where the camera's latest frame is: none has come yet; the grabber keeps one that Snap has not taken
// (Fresh); or the last Snap took it for the reference, and no newer one has come since.
enum class LiveFrameState { None, Fresh, Snapped };

// The bitmaps one frame is drawn into. The display bitmap is guarded by its canvas lock, the live
// frame, the frame state and the reference picture together by picturesLock. The live frame is only
// a place to convert a frame that is not 24-bit into; the camera's latest frame is the grabber's.
// A costly blend of a large frame takes a second core in bands of rows: the owner's band worker when
// it has one (which lives as long as the graph), otherwise one kept for the program (LiveBandWorker).
struct TFrameTargets {
    Bitmap& display;
    Bitmap& liveFrame;
    Bitmap& referencePicture;
    std::mutex& picturesLock;
    LiveFrameState& liveFrameState;
    BandWorker* bands = nullptr;
};

// The onion skin as the frame handler sees it: whether it is on, and the weight in percent (1 to 100).
struct TOnionSkin {
    bool on = true;
    int position = 50;
};

// The frame handler's work for one delivered frame: the display gets the frame or, with the onion skin
// on and a reference picture, shows (1 - w) x frame + w x reference with w = position / 100, the
// reference first brought to the frame's size and 24 bits in place. A 24-bit frame is read where it was
// delivered and copied nowhere else. Takes the display's canvas lock, then the pictures lock, so
// whoever takes both must take them in that order. A frame that cannot be converted is skipped:
// nothing raises.
void DrawFrame(TSampleGrabber& grabber, const std::uint8_t* buffer, std::uint32_t bufferLength,
               const TFrameTargets& targets, TOnionSkin onionSkin);

// Snap's work on the pictures, under picturesLock: the camera's latest frame becomes the reference
// picture, and picture (the writer's spare) shares the reference's memory, so the window's thread
// copies the frame once. A frame not yet taken is copied from the grabber's kept one (null grabber, or
// none kept: from the live frame) into the reference's memory, or into the spare's while a snapshot
// still being saved shares the reference's. A Snap before the next frame takes the reference again;
// before any frame, the reference becomes the empty live frame.
void SnapLiveFrame(TSampleGrabber* grabber, Bitmap& liveFrame, Bitmap& referencePicture,
                   LiveFrameState& state, Bitmap& picture);

// The reference picture becomes replacement (empty: none), under picturesLock. A frame the last Snap
// took is still the camera's latest, kept by the grabber: the next Snap takes it again.
void ReplaceReference(Bitmap& referencePicture, LiveFrameState& state, Bitmap replacement);

// The delivered frame as rows to read in place, when it is 24-bit and whole.
std::optional<FrameRows> DeliveredRows(const TSampleGrabber& grabber, const std::uint8_t* buffer,
                                       std::uint32_t bufferLength);

// How many frames DrawFrame has skipped because of a failure, in this process so far.
std::uint64_t SwallowedFrameFailures();

}  // namespace flipbook
