// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "capture/graph_member_component.h"
#include "capture/media_type.h"
#include "platform/graphics/bitmap.h"
#include "platform/mediagraph/sample_grabber.h"

namespace flipbook {

class TSampleGrabber;

// A frame as the grabber hands it on: the sample's time in seconds, its bytes and their count.
using TOnBuffer = std::function<void(TSampleGrabber& sender, double sampleTime, const std::uint8_t* buffer,
                                     std::uint32_t bufferLength)>;

// A graph member standing for the service's sample grabber, restricted to MediaType (24-bit RGB
// video at construction). While its graph is active and running, every sample reaches OnBuffer on
// the streaming thread, one at a time under the frame lock, and the last sample is kept for
// GetBitmap(Bitmap&).
class TSampleGrabber : public TGraphMemberComponent<ISampleGrabberCB> {
public:
    explicit TSampleGrabber(std::string name);
    // Leaves its graph; once that returns no OnBuffer call is running or will start.
    ~TSampleGrabber() override;

    TMediaType& MediaType() { return mediaType_; }
    const TMediaType& MediaType() const { return mediaType_; }

    // Raised for every sample on the streaming thread. It is registered with the service only if it
    // is assigned when the grabber is added to an active graph. Assign it directly while no frames
    // can flow; while they may, change it through SetOnBuffer.
    TOnBuffer OnBuffer;
    // Replaces OnBuffer under the frame lock, so it waits for a call in progress.
    void SetOnBuffer(TOnBuffer handler);

    HRESULT NotifyMember(TMemberOperation operation, std::int32_t param) override;

    // Hands MediaType to the grabber filter, which is stopped and disconnected for it; nothing while
    // the grabber is not in an active graph.
    void UpdateMediaType();

    // The delivered frame as the Bitmap's new image, of the connected video size and format. False,
    // with the Bitmap untouched, for no buffer, a length of 0, a grabber outside an active graph, no
    // connection or a connection that is not video; false with the Bitmap emptied when the connected
    // format makes no bitmap. At most the image's size is copied, and a shorter buffer fills it only
    // in part. Calls must not overlap (OnBuffer's frame lock sees to that).
    bool GetBitmap(Bitmap& bitmap, const std::uint8_t* buffer, std::uint32_t bufferLength);
    // The same with the grabber's kept copy of the last sample. False, the Bitmap holding a new
    // all-zero image, when no sample is kept yet or it does not fit the image. Unlike the form
    // above, safe on any thread while frames flow.
    bool GetBitmap(Bitmap& bitmap);
    // The description of the frames the grabber is connected for, as GetBitmap makes them; none when
    // GetBitmap would find none (not in an active graph, no connection, not video).
    std::optional<BitmapInfoHeader> FrameHeader() const;

    // ISampleGrabberCB, called by the service on the streaming thread.
    HRESULT SampleCB(double sampleTime, IMediaSample* sample) override;
    HRESULT BufferCB(double sampleTime, std::uint8_t* buffer, std::int32_t bufferLength) override;

private:
    bool MakeSection(Bitmap& bitmap, const Bitmap::SectionFill& fill);

    TMediaType mediaType_;
    ComPtr<ISampleGrabber> grabber_;
    ComPtr<IPin> inputPin_;
    ComPtr<IPin> outputPin_;
    std::mutex frameLock_;
};

}  // namespace flipbook
