// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/graphics/bitmap.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/core/exception.h"
#include "platform/core/limits.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/picture.h"
#include "platform/graphics/pixel_layout.h"

namespace flipbook {

namespace {

bool IsStandardMasks(const ColorMasks& masks, std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
    return masks == ColorMasks{red, green, blue};
}

// Pixel memory of the given size and bit count, or EInvalidGraphic when it is beyond the limits.
std::size_t CheckedPixelBytes(std::int64_t width, std::int64_t height, std::uint16_t bitCount,
                              std::size_t& stride) {
    if (width < 0 || height < 0 || width > kMaxPictureSide || height > kMaxPictureSide)
        throw EInvalidGraphic();
    const auto rowBytes = RowStride(static_cast<std::uint64_t>(width), bitCount);
    if (!rowBytes) throw EInvalidGraphic();
    const auto bytes = CheckedMultiply(*rowBytes, static_cast<std::uint64_t>(height));
    if (!bytes || *bytes > kMaxPixelBytes) throw EInvalidGraphic();
    stride = static_cast<std::size_t>(*rowBytes);
    return static_cast<std::size_t>(*bytes);
}

// Fills pixels [from, to) of a row with one raw pixel value.
void FillPixels(const graphics_detail::PixelLayout& layout, std::uint8_t* row, int from, int to,
                std::uint32_t value) {
    if (layout.BitsPerPixel() == 8) {
        std::memset(row + from, static_cast<int>(value), static_cast<std::size_t>(to - from));
        return;
    }
    for (int x = from; x < to; ++x) layout.Store(row, x, value);
}

}  // namespace

Bitmap::Bitmap() : canvas_(std::make_unique<Canvas>(*this)) {}

Bitmap::~Bitmap() = default;

Bitmap::Bitmap(const Bitmap& other)
    : header_(other.header_),
      masks_(other.masks_),
      colorTable_(other.colorTable_),
      rowStride_(other.rowStride_),
      deviceDependent_(other.deviceDependent_),
      requestedFormat_(other.requestedFormat_),
      transparent_(other.transparent_),
      transparentColor_(other.transparentColor_),
      canvas_(std::make_unique<Canvas>(*this)) {
    CopyPixels(other.pixels_);
}

Bitmap& Bitmap::operator=(const Bitmap& other) {
    Assign(other);
    return *this;
}

Bitmap::Bitmap(Bitmap&& other) noexcept : canvas_(std::make_unique<Canvas>(*this)) {
    AdoptPicture(std::move(other));
}

Bitmap& Bitmap::operator=(Bitmap&& other) noexcept {
    if (&other != this) {
        AdoptPicture(std::move(other));
        Changed();
    }
    return *this;
}

void Bitmap::AdoptPicture(Bitmap&& other) noexcept {
    header_ = std::exchange(other.header_, BitmapInfoHeader{});
    masks_ = std::exchange(other.masks_, ColorMasks{});
    colorTable_ = std::move(other.colorTable_);
    other.colorTable_.clear();
    pixels_ = std::move(other.pixels_);
    rowStride_ = std::exchange(other.rowStride_, 0);
    deviceDependent_ = std::exchange(other.deviceDependent_, false);
    requestedFormat_ = std::exchange(other.requestedFormat_, PixelFormat::Bit24);
    transparent_ = std::exchange(other.transparent_, false);
    transparentColor_ = std::exchange(other.transparentColor_, Rgb{});
}

bool Bitmap::Empty() const {
    return header_.width == 0 || header_.height == 0;
}

int Bitmap::Height() const {
    return std::abs(header_.height);
}

PixelFormat Bitmap::GetPixelFormat() const {
    if (deviceDependent_) return PixelFormat::Device;
    switch (header_.bitCount) {
        case 0:
            return requestedFormat_;
        case 1:
            return PixelFormat::Bit1;
        case 4:
            return PixelFormat::Bit4;
        case 8:
            return PixelFormat::Bit8;
        case 16:
            if (header_.compression != kBiBitFields || IsStandardMasks(masks_, 0x7C00, 0x03E0, 0x001F))
                return PixelFormat::Bit15;
            return IsStandardMasks(masks_, 0xF800, 0x07E0, 0x001F) ? PixelFormat::Bit16 : PixelFormat::Custom;
        case 24:
            return PixelFormat::Bit24;
        case 32:
            if (header_.compression != kBiBitFields || IsStandardMasks(masks_, 0xFF0000, 0x00FF00, 0x0000FF))
                return PixelFormat::Bit32;
            return PixelFormat::Custom;
        default:
            return PixelFormat::Custom;
    }
}

void Bitmap::SetWidth(int width) {
    Resize(width, Height());
}

void Bitmap::SetHeight(int height) {
    Resize(Width(), height);
}

void Bitmap::SetSize(int width, int height) {
    Resize(width, height);
}

void Bitmap::Resize(int width, int height) {
    if (width == Width() && height == Height()) return;
    if (header_.bitCount == 0) {
        // A Bitmap without a description takes the format asked for earlier (24 bits by default).
        const PixelFormat format = requestedFormat_;
        SetPixelFormat(format == PixelFormat::Custom ? PixelFormat::Bit24 : format);
    }
    std::size_t stride = 0;
    const std::size_t bytes = CheckedPixelBytes(width, height, header_.bitCount, stride);
    // Every row is written below: the kept part copied, the rest filled with the brush colour.
    PixelMemory pixels(bytes);

    const graphics_detail::PixelLayout layout(header_, masks_, colorTable_);
    const std::uint32_t fill = layout.Encode(canvas_->BrushColor());
    const int keptRows = std::min(height, Height());
    const int keptWidth = std::min(width, Width());
    const bool topDown = TopDown();
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = pixels.data() + static_cast<std::size_t>(topDown ? y : height - 1 - y) * stride;
        int filledFrom = 0;
        if (y < keptRows) {
            const std::uint8_t* old = std::as_const(*this).ScanLine(y);
            if (keptWidth > 0 && header_.bitCount >= 8) {
                std::memcpy(row, old, static_cast<std::size_t>(keptWidth) * (header_.bitCount / 8));
            } else {
                for (int x = 0; x < keptWidth; ++x) layout.Store(row, x, layout.Load(old, x));
            }
            filledFrom = keptWidth;
        }
        FillPixels(layout, row, filledFrom, width, fill);
    }

    header_.width = width;
    header_.height = topDown ? -height : height;
    header_.sizeImage = static_cast<std::uint32_t>(bytes);
    pixels_ = std::move(pixels);
    rowStride_ = stride;
    PixelsChanging();
    Changed();
}

void Bitmap::SetColorTable(std::vector<RgbQuad> colorTable) {
    if (colorTable.size() > 256) throw EInvalidGraphic();
    colorTable_ = std::move(colorTable);
    Changed();
}

void Bitmap::SetFileFields(std::int32_t xPelsPerMeter, std::int32_t yPelsPerMeter, std::uint32_t colorsUsed,
                           std::uint32_t colorsImportant) {
    header_.xPelsPerMeter = xPelsPerMeter;
    header_.yPelsPerMeter = yPelsPerMeter;
    header_.clrUsed = colorsUsed;
    header_.clrImportant = colorsImportant;
}

namespace {

// The size of the pixel memory of a section description, or EInvalidGraphic when it cannot be made.
std::size_t SectionBytes(const BitmapInfoHeader& header, const std::vector<RgbQuad>& colorTable,
                         std::size_t& stride) {
    switch (header.bitCount) {
        case 1:
        case 4:
        case 8:
        case 16:
        case 24:
        case 32:
            break;
        default:
            throw EInvalidGraphic();
    }
    const bool bitFieldsAllowed = header.bitCount == 16 || header.bitCount == 32;
    if (header.compression != kBiRgb && !(header.compression == kBiBitFields && bitFieldsAllowed))
        throw EInvalidGraphic();
    if (header.planes != 1 || header.width <= 0 || header.height == 0) throw EInvalidGraphic();
    if (colorTable.size() > 256) throw EInvalidGraphic();
    return CheckedPixelBytes(header.width, std::abs(std::int64_t{header.height}), header.bitCount, stride);
}

}  // namespace

void Bitmap::CreateSection(const BitmapInfoHeader& header, const ColorMasks& masks,
                           std::vector<RgbQuad> colorTable) {
    std::size_t stride = 0;
    PixelMemory pixels(SectionBytes(header, colorTable, stride), 0);
    pixels_ = std::move(pixels);
    AdoptSection(header, masks, std::move(colorTable), stride);
    Changed();
}

void Bitmap::CreateSection(const BitmapInfoHeader& header, const ColorMasks& masks,
                           std::vector<RgbQuad> colorTable, const SectionFill& fill) {
    std::size_t stride = 0;
    const std::size_t bytes = SectionBytes(header, colorTable, stride);
    // Neither fresh nor reused memory is cleared first: the fill writes it, and only what the fill
    // leaves is cleared below.
    pixels_.ResizeForOverwrite(bytes);
    AdoptSection(header, masks, std::move(colorTable), stride);
    std::size_t written = 0;
    try {
        written = std::min(fill(pixels_.data(), bytes), bytes);
    } catch (...) {
        std::memset(pixels_.data(), 0, bytes);
        throw;
    }
    if (written < bytes) std::memset(pixels_.data() + written, 0, bytes - written);
    Changed();
}

void Bitmap::AdoptSection(const BitmapInfoHeader& header, const ColorMasks& masks,
                          std::vector<RgbQuad> colorTable, std::size_t stride) {
    header_ = header;
    header_.size = 40;
    masks_ = header.compression == kBiBitFields ? masks : ColorMasks{};
    if (header.bitCount > 8) colorTable.clear();
    colorTable_ = std::move(colorTable);
    rowStride_ = stride;
    deviceDependent_ = false;
}

void Bitmap::CreateDeviceBitmap(int width, int height) {
    std::size_t stride = 0;
    const std::size_t bytes = CheckedPixelBytes(width, height, 32, stride);
    PixelMemory pixels(bytes, 0);
    const Rgb brush = canvas_->BrushColor();
    for (std::size_t i = 0; i + 3 < bytes; i += 4) {
        pixels[i] = brush.blue;
        pixels[i + 1] = brush.green;
        pixels[i + 2] = brush.red;
    }
    BitmapInfoHeader header;
    header.width = width;
    header.height = -height;
    header.bitCount = 32;
    header.sizeImage = static_cast<std::uint32_t>(bytes);
    header_ = header;
    masks_ = {};
    colorTable_.clear();
    pixels_ = std::move(pixels);
    rowStride_ = stride;
    deviceDependent_ = true;
    requestedFormat_ = PixelFormat::Device;
    Changed();
}

void Bitmap::Clear() {
    pixels_.Release();
    ClearKeepingMemory();
}

void Bitmap::ClearKeepingMemory() {
    header_ = {};
    masks_ = {};
    colorTable_.clear();
    pixels_.ClearKeepingMemory();
    rowStride_ = 0;
    deviceDependent_ = false;
    requestedFormat_ = PixelFormat::Bit24;
    transparent_ = false;
    transparentColor_ = {};
    Changed();
}

std::uint8_t* Bitmap::ScanLine(int row) {
    // Checked before anything changes, so a bad index leaves the description alone.
    const std::uint8_t* line = std::as_const(*this).ScanLine(row);
    const auto offset = line - std::as_const(pixels_).data();
    PixelsChanging();
    Changed();
    // Memory shared with another Bitmap is copied here, before the first write.
    return pixels_.data() + offset;
}

const std::uint8_t* Bitmap::ScanLine(int row) const {
    if (row < 0 || row >= Height()) throw Exception("Scan line index out of range");
    const auto memoryRow = static_cast<std::size_t>(TopDown() ? row : Height() - 1 - row);
    return pixels_.data() + memoryRow * rowStride_;
}

std::uint8_t* Bitmap::MutablePixels() {
    PixelsChanging();
    Changed();
    return pixels_.data();
}

Rgb Bitmap::PixelColor(int x, int y) const {
    if (x < 0 || x >= Width()) throw Exception("Pixel index out of range");
    const graphics_detail::PixelLayout layout(header_, masks_, colorTable_);
    return layout.Read(ScanLine(y), x);
}

void Bitmap::Assign(const Bitmap& source) {
    if (&source == this) return;
    CopyPixels(source.pixels_);
    CopyDescription(source);
    Changed();
}

void Bitmap::Share(const Bitmap& source) {
    if (&source == this) return;
    pixels_ = source.pixels_;
    CopyDescription(source);
    Changed();
}

void Bitmap::CopyPixels(const SharedPixelMemory& source) {
    // A copy of its own, never shared, so whoever copies a Bitmap may write to the copy. It reuses this
    // Bitmap's memory when that is its own and large enough, and is one memcpy: the vector's own
    // assignment builds the elements beyond its size one at a time through the allocator, which for a
    // frame is twice the time of the copy.
    pixels_.ResizeForOverwrite(source.size());
    if (!source.empty()) std::memcpy(pixels_.data(), source.data(), source.size());
}

void Bitmap::CopyDescription(const Bitmap& source) {
    header_ = source.header_;
    masks_ = source.masks_;
    colorTable_ = source.colorTable_;
    rowStride_ = source.rowStride_;
    deviceDependent_ = source.deviceDependent_;
    requestedFormat_ = source.requestedFormat_;
    transparent_ = source.transparent_;
    transparentColor_ = source.transparentColor_;
}

void Bitmap::Assign(const Picture& source) {
    source.AssignTo(*this);
}

void Bitmap::PixelsChanging() {
    header_.clrUsed = 0;
    header_.clrImportant = 0;
    // With colours used back at 0 the description promises a full colour table; keep the table that
    // long so the description and the table still agree when the Bitmap is saved.
    if (header_.bitCount >= 1 && header_.bitCount <= 8) {
        const std::size_t full = std::size_t{1} << header_.bitCount;
        if (colorTable_.size() < full) colorTable_.resize(full);
    }
}

void Bitmap::Changed() {
    if (OnChange) OnChange();
}

}  // namespace flipbook
