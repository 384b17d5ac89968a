// SPDX-License-Identifier: GPL-3.0-or-later
// Snap's work on the pictures: one copy on the window's thread, a saved picture that later frames never
// reach, and the right frame however Snap and frames interleave.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "../capture/fake_sample_grabber.h"
#include "app/camera/live_view.h"
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

bool Holds(const Bitmap& bitmap, const std::vector<std::uint8_t>& bytes) {
    return bitmap.PixelBytes() == bytes.size() && std::equal(bytes.begin(), bytes.end(), bitmap.Pixels());
}

bool Same(const Bitmap& a, const Bitmap& b) {
    return a.Width() == b.Width() && a.Height() == b.Height() && a.PixelBytes() == b.PixelBytes() &&
           std::equal(a.Pixels(), a.Pixels() + a.PixelBytes(), b.Pixels());
}

// A camera whose grabber keeps one 4 x 2 frame at a time, as the live view's does.
class Snapping : public ::testing::Test {
protected:
    Snapping() {
        grabber_.NotifyMember(moAdding, 0);
        grabber_.NotifyMember(moAdded, 0);
        fakeClass_.grabber->Connect(4, -2);
    }
    ~Snapping() override {
        grabber_.NotifyMember(moRemoving, 0);
        grabber_.NotifyMember(moRemoved, 0);
    }
    // A new frame comes: the grabber keeps it and the frame handler marks it fresh.
    std::vector<std::uint8_t> NextFrame(std::uint8_t seed) {
        std::vector<std::uint8_t> sample(12 * 2);
        for (std::size_t i = 0; i < sample.size(); ++i) sample[i] = static_cast<std::uint8_t>(seed + 3 * i);
        fakeClass_.grabber->Keep(sample);
        state_ = LiveFrameState::Fresh;
        return sample;
    }
    void Snap(Bitmap& picture) { SnapLiveFrame(&grabber_, live_, reference_, state_, picture); }

    testing::FakeSampleGrabberClass fakeClass_;
    TSampleGrabber grabber_{"fwSampleGrabber"};
    Bitmap live_;
    Bitmap reference_ = Frame(4, 2, 60);
    LiveFrameState state_ = LiveFrameState::None;
};

// The frame is copied once, into the reference's own memory, and the saved picture shares it; a second
// Snap before the next frame takes the same frame again, without a copy.
TEST_F(Snapping, CopiesTheFrameOnceIntoTheReference_WhichTheSavedPictureShares) {
    const auto frame = NextFrame(1);
    const std::uint8_t* referenceMemory = reference_.Pixels();
    Bitmap picture;
    Snap(picture);
    EXPECT_EQ(reference_.Pixels(), referenceMemory);
    EXPECT_EQ(picture.Pixels(), referenceMemory);
    EXPECT_TRUE(Holds(reference_, frame));
    EXPECT_EQ(state_, LiveFrameState::Snapped);

    Bitmap again;
    Snap(again);
    EXPECT_EQ(again.Pixels(), referenceMemory);
    EXPECT_TRUE(Holds(again, frame));
}

// The next frame, snapped while the first picture is still being saved, goes into the spare's memory:
// the picture being saved keeps the first frame.
TEST_F(Snapping, WhileAPictureIsBeingSaved_TheNextFrameGoesIntoTheSparesMemory_NeverIntoIt) {
    const auto first = NextFrame(1);
    Bitmap saving;
    Snap(saving);
    const auto second = NextFrame(100);
    Bitmap spare = Frame(4, 2, 9);
    const std::uint8_t* spareMemory = spare.Pixels();
    Snap(spare);
    EXPECT_TRUE(Holds(saving, first));
    EXPECT_TRUE(Holds(reference_, second));
    EXPECT_EQ(reference_.Pixels(), spareMemory);
    EXPECT_TRUE(Holds(spare, second));
}

// A reference picked or cleared after a Snap, before the next frame: the snapped frame is still the
// camera's latest, so the next Snap saves it rather than the picked picture or nothing.
TEST_F(Snapping, AReferencePickedBeforeTheNextFrame_LeavesTheSnappedFrameToSnapAgain) {
    const auto frame = NextFrame(1);
    Bitmap picture;
    Snap(picture);
    const Bitmap picked = Frame(4, 2, 50);
    ReplaceReference(reference_, state_, picked);
    EXPECT_TRUE(Same(reference_, picked));
    ReplaceReference(reference_, state_, Bitmap());
    Bitmap again;
    Snap(again);
    EXPECT_TRUE(Holds(again, frame));
}

// The frame handler blends a 24-bit frame where it was delivered, in either row order, and copies it
// nowhere; a frame of another format is converted into the live frame first, then blended.
TEST(DrawFrame, BlendsA24BitFrameWhereItLies_InEitherRowOrder_AndConvertsOtherFormatsFirst) {
    struct Case {
        std::int32_t height;
        std::uint16_t bitCount;
        bool copiedToLiveFrame;
    };
    for (const Case& test : {Case{-2, 24, false}, Case{2, 24, false}, Case{-2, 32, true}}) {
        testing::FakeSampleGrabberClass fakeClass;
        TSampleGrabber grabber("fwSampleGrabber");
        grabber.NotifyMember(moAdding, 0);
        grabber.NotifyMember(moAdded, 0);
        fakeClass.grabber->Connect(4, test.height, test.bitCount);
        const std::size_t rowBytes = test.bitCount == 24 ? 12 : 16;
        std::vector<std::uint8_t> sample(rowBytes * 2);
        for (std::size_t i = 0; i < sample.size(); ++i) sample[i] = static_cast<std::uint8_t>(11 + 9 * i);

        const Bitmap reference = Frame(4, 2, 70);
        Bitmap referenceCopy = reference;

        Bitmap display;
        Bitmap live;
        std::mutex picturesLock;
        LiveFrameState state = LiveFrameState::None;
        DrawFrame(grabber, sample.data(), static_cast<std::uint32_t>(sample.size()),
                  {display, live, referenceCopy, picturesLock, state}, {true, 37});
        EXPECT_EQ(state, LiveFrameState::Fresh);
        EXPECT_EQ(live.Empty(), !test.copiedToLiveFrame) << test.height << " " << test.bitCount;
        // What the handler must show, worked out from the sample's bytes: its rows from the top (a
        // positive height is bottom-up), each pixel's blue, green and red first, 63 % of it and 37 % of
        // the reference, rounded.
        ASSERT_EQ(display.Width(), 4);
        ASSERT_EQ(display.Height(), 2);
        ASSERT_EQ(display.BitsPerPixel(), 24);
        const std::size_t pixelBytes = test.bitCount / 8;
        for (int y = 0; y < 2; ++y) {
            const std::size_t sampleRow =
                test.height < 0 ? static_cast<std::size_t>(y) : 1 - static_cast<std::size_t>(y);
            for (int x = 0; x < 4; ++x) {
                for (int channel = 0; channel < 3; ++channel) {
                    const int delivered =
                        sample[sampleRow * rowBytes + static_cast<std::size_t>(x) * pixelBytes +
                               static_cast<std::size_t>(channel)];
                    const int behind = reference.ScanLine(y)[3 * x + channel];
                    const double mixed = 0.63 * delivered + 0.37 * behind;
                    EXPECT_LE(std::abs(display.ScanLine(y)[3 * x + channel] - mixed), 0.5 + 1e-9)
                        << test.height << " " << test.bitCount << ": " << x << " " << y << " " << channel;
                }
            }
        }
        grabber.NotifyMember(moRemoving, 0);
        grabber.NotifyMember(moRemoved, 0);
    }
}

// Without a grabber the live frame is the camera's latest; before any frame the reference becomes the
// empty live frame, as it always did.
TEST(SnapLiveFrameWithoutGrabber, TakesTheLiveFrame_AndBeforeAnyFrameEmptiesTheReference) {
    Bitmap live = Frame(8, 4, 5);
    Bitmap reference = Frame(8, 4, 9);
    LiveFrameState state = LiveFrameState::Fresh;
    Bitmap picture;
    SnapLiveFrame(nullptr, live, reference, state, picture);
    EXPECT_TRUE(Same(picture, live));

    Bitmap none;
    state = LiveFrameState::None;
    picture = Frame(2, 2, 0);
    SnapLiveFrame(nullptr, none, reference, state, picture);
    EXPECT_TRUE(reference.Empty());
    EXPECT_TRUE(picture.Empty());
    EXPECT_EQ(state, LiveFrameState::None);
}

}  // namespace
}  // namespace flipbook
