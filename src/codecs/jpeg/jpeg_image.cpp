// SPDX-License-Identifier: GPL-3.0-or-later
#include "codecs/jpeg/jpeg_image.h"

#include <cstdint>
#include <string>

#include "codecs/jpeg/jpeg_session.h"
#include "platform/core/limits.h"
#include "platform/graphics/canvas.h"

namespace flipbook {

namespace {

// Registers the JPEG extensions with the picture-file list when the program starts.
const bool registered = [] {
    RegisterPictureFormat({"jpeg", "JPEG Image File"});
    RegisterPictureFormat({"jpg", "JPEG Image File"});
    return true;
}();

}  // namespace

EJPEG::EJPEG(int messageCode)
    : EInvalidGraphic("JPEG error #" + std::to_string(messageCode)), messageCode_(messageCode) {}

TJPEGSettings& JPEGDefaults() {
    static TJPEGSettings defaults;
    return defaults;
}

void SetJPEGDefaultsForScreen(int bitsPerPixel, int planes) {
    JPEGDefaults().pixelFormat = bitsPerPixel * planes <= 8 ? JPEGPixelFormat::Bit8 : JPEGPixelFormat::Bit24;
}

TJPEGImage::TJPEGImage() : data_(std::make_shared<TJPEGData>()), settings_(JPEGDefaults()) {}

TJPEGImage::~TJPEGImage() = default;

void TJPEGImage::NewData() {
    data_ = std::make_shared<TJPEGData>();
}

void TJPEGImage::Changed() const {
    if (OnChange) OnChange();
}

void TJPEGImage::Progress(ProgressStage stage, int percent, bool redrawNow, const Rect& band) const {
    if (OnProgress) OnProgress(stage, percent, redrawNow, band);
}

void TJPEGImage::Assign(const TJPEGImage& source) {
    if (&source == this) return;
    data_ = source.data_;
    bitmap_ = source.bitmap_ ? std::make_unique<Bitmap>(*source.bitmap_) : nullptr;
    decodeFailure_ = source.decodeFailure_;
    Changed();
}

void TJPEGImage::AssignFromBitmap(const Bitmap& source) {
    auto copy = std::make_unique<Bitmap>(source);
    NewData();
    bitmap_ = std::move(copy);
    decodeFailure_ = nullptr;
    Changed();
}

void TJPEGImage::AssignTo(Bitmap& target) const {
    if (bitmap_) {
        target.Assign(GetBitmap());
        return;
    }
    // A picture only ever loaded to be assigned needs no cache: the target takes the decoded memory.
    Bitmap decoded;
    if (std::exception_ptr failure = DecodeInto(decoded)) {
        bitmap_ = std::make_unique<Bitmap>(std::move(decoded));
        decodeFailure_ = failure;
        std::rethrow_exception(failure);
    }
    target = std::move(decoded);
}

const Bitmap& TJPEGImage::GetBitmap() const {
    Decompress();
    if (decodeFailure_) std::rethrow_exception(decodeFailure_);
    return *bitmap_;
}

void TJPEGImage::LoadFromStream(Stream& stream) {
    NewData();
    bitmap_.reset();
    decodeFailure_ = nullptr;

    const std::int64_t size = stream.Remaining();
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    stream.ReadBuffer(bytes.data(), bytes.size());
    data_->data = std::make_unique<MemoryStream>(std::move(bytes));

    if (size > 0) {
        // Only the header: a file that is not a JPEG fails here, the pixels wait until they are needed.
        jpeg_detail::DecompressSession session(nullptr, data_->data->Bytes());
        session.ReadHeader();
        data_->width = static_cast<int>(session.info.image_width);
        data_->height = static_cast<int>(session.info.image_height);
        data_->grayscale = session.info.jpeg_color_space == JCS_GRAYSCALE;
        bool multipleScans = false;
        session.Guard([&] { multipleScans = jpeg_has_multiple_scans(&session.info) != FALSE; });
        settings_.progressiveEncoding = multipleScans;
    }
    paletteModified_ = true;
    Changed();
}

void TJPEGImage::SaveToStream(Stream& stream) const {
    Compress();
    // An aborted compression leaves no JPEG form, and nothing to write.
    if (!data_->data) return;
    const auto& bytes = data_->data->Bytes();
    stream.WriteBuffer(bytes.data(), bytes.size());
}

void TJPEGImage::WriteData(Stream& stream) const {
    std::uint32_t length = 0;
    if (data_->data) length = static_cast<std::uint32_t>(data_->data->Size());
    stream.WriteBuffer(&length, sizeof length);
    if (length != 0) stream.WriteBuffer(data_->data->Bytes().data(), length);
}

void TJPEGImage::ReadData(Stream& stream) {
    std::uint32_t length = 0;
    stream.ReadBuffer(&length, sizeof length);
    // The length comes from the container; believe it only as far as the stream holds bytes.
    if (length > stream.Remaining()) throw EReadError();
    std::vector<std::uint8_t> bytes(length);
    stream.ReadBuffer(bytes.data(), bytes.size());
    MemoryStream part(std::move(bytes));
    LoadFromStream(part);
}

int TJPEGImage::Width() const {
    if (bitmap_ && !bitmap_->Empty()) return bitmap_->Width();
    return data_->width;
}

int TJPEGImage::Height() const {
    if (bitmap_ && !bitmap_->Empty()) return bitmap_->Height();
    return data_->height;
}

bool TJPEGImage::Empty() const {
    return !data_->data && (!bitmap_ || bitmap_->Empty());
}

void TJPEGImage::Draw(Canvas& canvas, const Rect& rectangle) const {
    // A picture that failed part way still shows what was decoded.
    Decompress();
    canvas.StretchDraw(rectangle, *bitmap_);
}

void TJPEGImage::SetWidth(int) {
    throw EInvalidGraphicOperation("Cannot change the size of a JPEG image");
}

void TJPEGImage::SetHeight(int) {
    throw EInvalidGraphicOperation("Cannot change the size of a JPEG image");
}

void TJPEGImage::Compress() const {
    if (data_->data) return;
    std::vector<std::uint8_t> bytes;
    try {
        CompressInto(bytes);
    } catch (const EAbort&) {
        data_ = std::make_shared<TJPEGData>();
        return;
    }
    // The form is installed only once complete, so a failed compression leaves none to be saved later.
    data_->data = std::make_unique<MemoryStream>(std::move(bytes));
}

void TJPEGImage::Decompress() const {
    if (bitmap_) return;
    bitmap_ = std::make_unique<Bitmap>();
    if (std::exception_ptr failure = DecodeInto(*bitmap_)) {
        decodeFailure_ = failure;
        std::rethrow_exception(failure);
    }
}

std::exception_ptr TJPEGImage::DecodeInto(Bitmap& bitmap) const {
    try {
        DecompressInto(bitmap);
    } catch (const EAbort&) {
        // A silent abort keeps the rows decoded so far, without an error.
    } catch (...) {
        return std::current_exception();
    }
    return nullptr;
}

}  // namespace flipbook
