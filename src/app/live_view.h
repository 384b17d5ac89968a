#pragma once

#include <cstdint>
#include <mutex>

namespace flipbook {

class Bitmap;
class TSampleGrabber;

// What the live frame holds: nothing yet, a frame not yet snapped, or nothing again since Snap took
// it for the reference (until the next frame).
enum class LiveFrameState { None, Fresh, Snapped };

// The bitmaps one frame is drawn into. The display bitmap is guarded by its canvas lock, the live
// frame, its state and the reference picture together by picturesLock.
struct TFrameTargets {
    Bitmap& display;
    Bitmap& liveFrame;
    Bitmap& referencePicture;
    std::mutex& picturesLock;
    LiveFrameState& liveFrameState;
};

// The onion skin as the frame handler sees it: whether it is on, and the weight in percent (1 to 100).
struct TOnionSkin {
    bool on = true;
    int position = 50;
};

// The frame handler's work for one delivered frame: the live frame gets the grabber's kept copy of
// it; the display gets the frame or, with the onion skin on and a reference picture, shows
// (1 - w) x live + w x reference with w = position / 100, the reference first brought to the live
// frame's size and 24 bits in place. Takes the display's canvas lock, then the pictures lock, so
// whoever takes both must take them in that order. A frame that cannot be converted is skipped:
// nothing raises.
void DrawFrame(TSampleGrabber& grabber, const std::uint8_t* buffer, std::uint32_t bufferLength,
               const TFrameTargets& targets, TOnionSkin onionSkin);

// Snap's work on the pictures, under picturesLock: the live frame becomes the reference picture and
// picture a copy of it, so the window's thread copies the frame once. The live frame's memory goes
// to the reference and the live frame is empty until the frame handler fills it with the next frame;
// a Snap before then takes the grabber's last frame (null grabber: none), or, without one, the
// reference again. Before any frame, the reference becomes the empty live frame.
void SnapLiveFrame(TSampleGrabber* grabber, Bitmap& liveFrame, Bitmap& referencePicture,
                   LiveFrameState& state, Bitmap& picture);

// The camera's latest frame, under picturesLock: the live frame, or just after a Snap (the live frame
// moved into the reference, the next frame not yet here) the reference. Empty before any frame.
const Bitmap& LatestFrame(const Bitmap& liveFrame, const Bitmap& referencePicture, LiveFrameState state);

// The reference picture becomes replacement (empty: none), under picturesLock. A frame that the last
// Snap moved into the reference, with no newer one come since, goes back to being the live frame first,
// so the next Snap still has the camera's latest picture.
void ReplaceReference(Bitmap& liveFrame, Bitmap& referencePicture, LiveFrameState& state, Bitmap replacement);

// How many frames DrawFrame has skipped because of a failure, in this process so far.
std::uint64_t SwallowedFrameFailures();

}  // namespace flipbook
