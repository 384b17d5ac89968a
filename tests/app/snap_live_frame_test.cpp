// Snap's work on the pictures: one copy on the window's thread, and the right frame however Snap and
// frames interleave.
#include <gtest/gtest.h>

#include <vector>

#include "../capture/fake_sample_grabber.h"
#include "app/live_view.h"
#include "capture/sample_grabber.h"
#include "platform/graphics/bitmap.h"

namespace flipbook {
namespace {

Bitmap Frame(int width, int height, std::uint8_t seed) {
    Bitmap bitmap;
    bitmap.SetSize(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < 3 * width; ++x)
            bitmap.ScanLine(y)[x] = static_cast<std::uint8_t>(seed + x + 7 * y);
    return bitmap;
}

bool Same(const Bitmap& a, const Bitmap& b) {
    return a.Width() == b.Width() && a.Height() == b.Height() && a.PixelBytes() == b.PixelBytes() &&
           std::equal(a.Pixels(), a.Pixels() + a.PixelBytes(), b.Pixels());
}

// A fresh frame becomes the reference without a copy of its own (the live frame is empty until the
// next); a second Snap before the next frame takes the same frame again, from the reference when no
// grabber is there.
TEST(SnapLiveFrame, TakesTheFreshFrame_AndTheSameOneUntilTheNextFrame) {
    const Bitmap frame = Frame(8, 4, 1);
    Bitmap live = frame;
    Bitmap reference = Frame(8, 4, 99);
    const std::uint8_t* liveMemory = live.Pixels();
    LiveFrameState state = LiveFrameState::Fresh;
    Bitmap picture;
    SnapLiveFrame(nullptr, live, reference, state, picture);
    EXPECT_EQ(reference.Pixels(), liveMemory);
    EXPECT_TRUE(Same(reference, frame));
    EXPECT_TRUE(Same(picture, frame));
    EXPECT_EQ(state, LiveFrameState::Snapped);
    EXPECT_TRUE(live.Empty());

    Bitmap again;
    SnapLiveFrame(nullptr, live, reference, state, again);
    EXPECT_TRUE(Same(reference, frame));
    EXPECT_TRUE(Same(again, frame));
}

// Snapped, with another reference picked from the list since: a grabber that holds a frame gives it.
TEST(SnapLiveFrame, TakesTheGrabbersLastFrame_WhenTheLiveFrameWasAlreadySnapped) {
    testing::FakeSampleGrabberClass fakeClass;
    TSampleGrabber grabber("fwSampleGrabber");
    grabber.NotifyMember(moAdding, 0);
    grabber.NotifyMember(moAdded, 0);
    fakeClass.grabber->Connect(4, -2);
    std::vector<std::uint8_t> sample(12 * 2);
    for (std::size_t i = 0; i < sample.size(); ++i) sample[i] = static_cast<std::uint8_t>(3 * i + 1);
    fakeClass.grabber->Keep(sample);

    Bitmap live;  // taken by the last Snap
    Bitmap reference = Frame(4, 2, 60);
    LiveFrameState state = LiveFrameState::Snapped;
    Bitmap picture;
    SnapLiveFrame(&grabber, live, reference, state, picture);
    EXPECT_TRUE(std::equal(sample.begin(), sample.end(), reference.Pixels()));
    EXPECT_TRUE(Same(picture, reference));
    EXPECT_EQ(state, LiveFrameState::Snapped);
    grabber.NotifyMember(moRemoving, 0);
    grabber.NotifyMember(moRemoved, 0);
}

// A reference picked or cleared after a Snap, before the next frame: the snapped frame is still the
// camera's latest, so the next Snap saves it rather than nothing.
TEST(SnapLiveFrame, AReferencePickedBeforeTheNextFrame_LeavesTheSnappedFrameToSnapAgain) {
    const Bitmap frame = Frame(8, 4, 1);
    Bitmap live = frame;
    Bitmap reference;
    LiveFrameState state = LiveFrameState::Fresh;
    Bitmap picture;
    SnapLiveFrame(nullptr, live, reference, state, picture);
    const Bitmap picked = Frame(8, 4, 50);
    ReplaceReference(live, reference, state, picked);
    EXPECT_TRUE(Same(reference, picked));
    ReplaceReference(live, reference, state, Bitmap());
    EXPECT_TRUE(Same(LatestFrame(live, reference, state), frame));
    Bitmap again;
    SnapLiveFrame(nullptr, live, reference, state, again);
    EXPECT_TRUE(Same(again, frame));
}

// Before any frame the reference becomes the empty live frame, as it always did.
TEST(SnapLiveFrame, BeforeAnyFrame_EmptiesTheReference) {
    Bitmap live;
    Bitmap reference = Frame(8, 4, 5);
    LiveFrameState state = LiveFrameState::None;
    Bitmap picture = Frame(2, 2, 0);
    SnapLiveFrame(nullptr, live, reference, state, picture);
    EXPECT_TRUE(reference.Empty());
    EXPECT_TRUE(picture.Empty());
    EXPECT_EQ(state, LiveFrameState::None);
}

}  // namespace
}  // namespace flipbook
