// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/sample_grabber.h"

#include <array>
#include <cstring>
#include <vector>

#include "platform/com/class_factory.h"
#include "platform/core/exception.h"

namespace flipbook {

namespace {

// The image header's place in the format block, told by the first 32 bits of the format type.
constexpr std::uint32_t kVideoInfoTag = 0x05589F80;
constexpr std::uint32_t kVideoInfo2Tag = 0xF72A76A0;

std::int32_t GetInt32(const std::uint8_t* at) {
    return static_cast<std::int32_t>(at[0] | (at[1] << 8) | (at[2] << 16) |
                                     (static_cast<std::uint32_t>(at[3]) << 24));
}

std::uint16_t GetUint16(const std::uint8_t* at) {
    return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

BitmapInfoHeader ParseInfoHeader(const std::uint8_t* image) {
    BitmapInfoHeader header;
    header.size = static_cast<std::uint32_t>(GetInt32(image));
    header.width = GetInt32(image + 4);
    header.height = GetInt32(image + 8);
    header.planes = GetUint16(image + 12);
    header.bitCount = GetUint16(image + 14);
    header.compression = static_cast<std::uint32_t>(GetInt32(image + 16));
    header.sizeImage = static_cast<std::uint32_t>(GetInt32(image + 20));
    header.xPelsPerMeter = GetInt32(image + 24);
    header.yPelsPerMeter = GetInt32(image + 28);
    header.clrUsed = static_cast<std::uint32_t>(GetInt32(image + 32));
    header.clrImportant = static_cast<std::uint32_t>(GetInt32(image + 36));
    return header;
}

// Frees a connected media type's format block on every path.
class ConnectedType {
public:
    ConnectedType() = default;
    ~ConnectedType() { FreeMediaType(type_); }
    ConnectedType(const ConnectedType&) = delete;
    ConnectedType& operator=(const ConnectedType&) = delete;
    AM_MEDIA_TYPE* operator&() { return &type_; }
    const AM_MEDIA_TYPE* operator->() const { return &type_; }

private:
    AM_MEDIA_TYPE type_{};
};

}  // namespace

TSampleGrabber::TSampleGrabber(std::string name) : TGraphMemberComponent(std::move(name)) {
    AM_MEDIA_TYPE& type = mediaType_.MediaType();
    type.majortype = MEDIATYPE_Video;
    type.subtype = MEDIASUBTYPE_RGB24;
    type.formattype = FORMAT_VideoInfo;
}

TSampleGrabber::~TSampleGrabber() {
    SetFilterGraph(nullptr);
    // Added by hand rather than by a graph: the service must not call back into a freed component.
    if (grabber_) grabber_->SetCallback(nullptr, 1);
}

void TSampleGrabber::SetOnBuffer(TOnBuffer handler) {
    std::lock_guard lock(frameLock_);
    OnBuffer = std::move(handler);
}

HRESULT TSampleGrabber::NotifyMember(TMemberOperation operation, std::int32_t /*param*/) {
    switch (operation) {
        case moAdding:
            CoCreateInstance(CLSID_SampleGrabber, CLSCTX_INPROC, filter_);
            break;
        case moAdded: {
            grabber_ = filter_.As<ISampleGrabber>();
            std::vector<ComPtr<IPin>> pins;
            if (filter_) filter_->EnumPins(pins);
            inputPin_ = pins.size() > 0 ? pins[0] : nullptr;
            outputPin_ = pins.size() > 1 ? pins[1] : nullptr;
            UpdateMediaType();
            if (grabber_) {
                grabber_->SetBufferSamples(true);
                if (OnBuffer) grabber_->SetCallback(this, 1);
            }
            break;
        }
        case moRemoving:
            if (filter_) filter_->Stop();
            if (inputPin_) inputPin_->Disconnect();
            if (outputPin_) outputPin_->Disconnect();
            break;
        case moRemoved:
            // Waits for a frame in progress, so nothing below is used by the streaming thread any more.
            if (grabber_) {
                grabber_->SetCallback(nullptr, 1);
                grabber_->SetBufferSamples(false);
            }
            filter_.Reset();
            grabber_.Reset();
            inputPin_.Reset();
            outputPin_.Reset();
            break;
        case moRefresh:
            UpdateMediaType();
            break;
    }
    return S_OK;
}

void TSampleGrabber::UpdateMediaType() {
    if (!grabber_) return;
    if (filter_) filter_->Stop();
    if (inputPin_) inputPin_->Disconnect();
    grabber_->SetMediaType(&mediaType_.MediaType());
}

bool TSampleGrabber::GetBitmap(Bitmap& bitmap, const std::uint8_t* buffer, std::uint32_t bufferLength) {
    if (!buffer || bufferLength == 0 || !grabber_) return false;
    return MakeSection(bitmap, [&](std::uint8_t* pixels, std::size_t size) {
        const std::size_t count = std::min<std::size_t>(bufferLength, size);
        std::memcpy(pixels, buffer, count);
        return count;
    });
}

bool TSampleGrabber::GetBitmap(Bitmap& bitmap) {
    if (!grabber_) return false;
    bool copied = false;
    const bool made = MakeSection(bitmap, [&](std::uint8_t* pixels, std::size_t size) -> std::size_t {
        auto length = static_cast<std::int32_t>(std::min<std::size_t>(size, INT32_MAX));
        copied = grabber_->GetCurrentBuffer(&length, pixels) == S_OK;
        return copied ? static_cast<std::size_t>(length) : 0;
    });
    return made && copied;
}

std::optional<BitmapInfoHeader> TSampleGrabber::FrameHeader() const {
    if (!grabber_) return std::nullopt;
    ConnectedType type;
    if (grabber_->GetConnectedMediaType(&type) != S_OK) return std::nullopt;
    if (type->majortype != MEDIATYPE_Video) return std::nullopt;
    std::uint32_t offset = 0;
    switch (type->formattype.data1) {
        case kVideoInfoTag:
            offset = kVideoInfoImageHeaderOffset;
            break;
        case kVideoInfo2Tag:
            offset = kVideoInfo2ImageHeaderOffset;
            break;
        default:
            // No image header that we know where to find.
            return std::nullopt;
    }
    if (!type->pbFormat || type->cbFormat < offset + kImageHeaderSize) return std::nullopt;
    // Read into a block of this call's own, so Snap on the window's thread may read the kept frame
    // while the streaming thread converts the next.
    std::array<std::uint8_t, kImageHeaderSize> imageHeader{};
    std::memcpy(imageHeader.data(), type->pbFormat + offset, kImageHeaderSize);
    return ParseInfoHeader(imageHeader.data());
}

bool TSampleGrabber::MakeSection(Bitmap& bitmap, const Bitmap::SectionFill& fill) {
    // Without a description the Bitmap keeps what it has.
    const std::optional<BitmapInfoHeader> header = FrameHeader();
    if (!header) return false;
    // The block's one colour entry is the whole table of a palette format.
    std::vector<RgbQuad> colorTable;
    if (header->bitCount <= 8) colorTable.resize(1);
    try {
        bitmap.CreateSection(*header, ColorMasks{}, std::move(colorTable), fill);
    } catch (const EInvalidGraphic&) {
        bitmap.Clear();
        return false;
    }
    return true;
}

HRESULT TSampleGrabber::SampleCB(double /*sampleTime*/, IMediaSample* /*sample*/) {
    return S_OK;
}

HRESULT TSampleGrabber::BufferCB(double sampleTime, std::uint8_t* buffer, std::int32_t bufferLength) {
    std::lock_guard lock(frameLock_);
    if (!OnBuffer) return S_OK;
    try {
        OnBuffer(*this, sampleTime, buffer, bufferLength > 0 ? static_cast<std::uint32_t>(bufferLength) : 0);
    } catch (...) {
        // The streaming thread belongs to the service, which expects S_OK and cannot take an
        // exception; a handler that fails has lost its frame, nothing more.
    }
    return S_OK;
}

}  // namespace flipbook
