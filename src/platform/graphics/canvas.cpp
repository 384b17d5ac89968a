// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/graphics/canvas.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/graphics/bitmap.h"
#include "platform/graphics/pixel_layout.h"

namespace flipbook {

namespace {

// floor(numerator / denominator) for a positive denominator.
std::int64_t FloorDivide(std::int64_t numerator, std::int64_t denominator) {
    std::int64_t quotient = numerator / denominator;
    if ((numerator % denominator != 0) && (numerator < 0)) --quotient;
    return quotient;
}

// The source coordinate under the centre of destination pixel `offset` when `sourceSpan` pixels from
// `sourceStart` (a negative span runs leftwards or upwards: mirrored) are stretched over `destinationSpan`
// (positive) pixels.
int NearestSource(int sourceStart, int sourceSpan, int offset, int destinationSpan) {
    const std::int64_t scaled = (2 * std::int64_t{offset} + 1) * sourceSpan;
    return sourceStart + static_cast<int>(FloorDivide(scaled, 2 * std::int64_t{destinationSpan}));
}

}  // namespace

void Canvas::FillRect(const Rect& rectangle) {
    const int left = std::max(rectangle.left, 0);
    const int top = std::max(rectangle.top, 0);
    const int right = std::min(rectangle.right, owner_.Width());
    const int bottom = std::min(rectangle.bottom, owner_.Height());
    if (left >= right || top >= bottom) return;
    const graphics_detail::PixelLayout layout(owner_.header_, owner_.masks_, owner_.colorTable_);
    const std::uint32_t value = layout.Encode(brushColor_);
    for (int y = top; y < bottom; ++y) {
        std::uint8_t* row = owner_.ScanLine(y);
        for (int x = left; x < right; ++x) layout.Store(row, x, value);
    }
}

Rgb Canvas::Pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= owner_.Width() || y >= owner_.Height()) return kBlack;
    return owner_.PixelColor(x, y);
}

void Canvas::SetPixel(int x, int y, Rgb color) {
    if (x < 0 || y < 0 || x >= owner_.Width() || y >= owner_.Height()) return;
    const graphics_detail::PixelLayout layout(owner_.header_, owner_.masks_, owner_.colorTable_);
    layout.Write(owner_.ScanLine(y), x, color);
}

void Canvas::CopyRect(const Rect& destination, const Bitmap& source, const Rect& sourceRectangle) {
    Copy(destination, source, sourceRectangle, std::nullopt);
}

void Canvas::CopyRectTransparent(const Rect& destination, const Bitmap& source, Rgb transparentColor) {
    Copy(destination, source, Rect{0, 0, source.Width(), source.Height()}, transparentColor);
}

void Canvas::Copy(const Rect& destination, const Bitmap& source, const Rect& sourceRectangle,
                  std::optional<Rgb> transparentColor) {
    if (&source == &owner_) {
        // Copying within one Bitmap reads from a snapshot, so overlapping areas come out right.
        const Bitmap snapshot(source);
        Copy(destination, snapshot, sourceRectangle, transparentColor);
        return;
    }
    Rect target = destination;
    Rect from = sourceRectangle;
    // A destination given right-to-left or bottom-to-top mirrors; fold that into the source span.
    if (target.Width() < 0) {
        std::swap(target.left, target.right);
        std::swap(from.left, from.right);
    }
    if (target.Height() < 0) {
        std::swap(target.top, target.bottom);
        std::swap(from.top, from.bottom);
    }
    const int targetWidth = target.Width();
    const int targetHeight = target.Height();
    const int sourceWidth = from.Width();
    const int sourceHeight = from.Height();
    if (targetWidth == 0 || targetHeight == 0 || sourceWidth == 0 || sourceHeight == 0 || source.Empty())
        return;

    const int left = std::max(target.left, 0);
    const int top = std::max(target.top, 0);
    const int right = std::min(target.right, owner_.Width());
    const int bottom = std::min(target.bottom, owner_.Height());
    if (left >= right || top >= bottom) return;

    const graphics_detail::PixelLayout sourceLayout(source.header_, source.masks_, source.colorTable_);
    const graphics_detail::PixelLayout targetLayout(owner_.header_, owner_.masks_, owner_.colorTable_);
    const bool sameLayout = !transparentColor && source.GetPixelFormat() == owner_.GetPixelFormat() &&
                            source.GetPixelFormat() != PixelFormat::Custom && source.BitsPerPixel() > 8;
    const bool unscaledX = sourceWidth == targetWidth;

    std::vector<int> columns(static_cast<std::size_t>(right - left));
    for (int x = left; x < right; ++x) {
        const int offset = x - target.left;
        columns[static_cast<std::size_t>(x - left)] =
            NearestSource(from.left, sourceWidth, offset, targetWidth);
    }
    std::vector<Rgb> sourceRow(static_cast<std::size_t>(source.Width()));
    std::optional<int> decodedRow;
    for (int y = top; y < bottom; ++y) {
        const int sy = NearestSource(from.top, sourceHeight, y - target.top, targetHeight);
        if (sy < 0 || sy >= source.Height()) continue;
        const std::uint8_t* in = source.ScanLine(sy);
        std::uint8_t* out = owner_.ScanLine(y);
        if (sameLayout && unscaledX) {
            // Plain copies of like pixels: move the overlapping run at once.
            const int bytesPerPixel = source.BitsPerPixel() / 8;
            int x = left;
            while (x < right) {
                const int sx = columns[static_cast<std::size_t>(x - left)];
                if (sx < 0 || sx >= source.Width()) {
                    ++x;
                    continue;
                }
                const int run = std::min(right - x, source.Width() - sx);
                std::memcpy(out + static_cast<std::size_t>(x) * bytesPerPixel,
                            in + static_cast<std::size_t>(sx) * bytesPerPixel,
                            static_cast<std::size_t>(run) * bytesPerPixel);
                x += run;
            }
            continue;
        }
        if (decodedRow != sy) {
            sourceLayout.ReadRow(in, source.Width(), sourceRow.data());
            decodedRow = sy;
        }
        for (int x = left; x < right; ++x) {
            const int sx = columns[static_cast<std::size_t>(x - left)];
            if (sx < 0 || sx >= source.Width()) continue;
            const Rgb color = sourceRow[static_cast<std::size_t>(sx)];
            if (color != transparentColor) targetLayout.Write(out, x, color);
        }
    }
}

void Canvas::StretchDraw(const Rect& destination, const Bitmap& source) {
    CopyRect(destination, source, Rect{0, 0, source.Width(), source.Height()});
}

void Canvas::Draw(int x, int y, const Bitmap& source) {
    CopyRect(Rect{x, y, x + source.Width(), y + source.Height()}, source,
             Rect{0, 0, source.Width(), source.Height()});
}

}  // namespace flipbook
