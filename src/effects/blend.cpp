#include <cmath>
#include <utility>

#include "effects/blend_kernel.h"
#include "effects/zt_bmpfx.h"
#include "platform/graphics/bitmap.h"

namespace flipbook {

void Prepare(Bitmap& source, Bitmap& target) {
    if (source.GetPixelFormat() != PixelFormat::Bit24) source.SetPixelFormat(PixelFormat::Bit24);
    target.SetPixelFormat(PixelFormat::Bit24);
    target.SetWidth(source.Width());
    target.SetHeight(source.Height());
}

void Blend(Bitmap& first, Bitmap& second, Bitmap& target, long double weight, const BlendProgress& progress) {
    // The weight is checked first, so a bad one changes none of the Bitmaps.
    const auto mixer = effects_detail::Mixer::For(weight);
    Prepare(first, second);
    Prepare(first, target);
    const int width = first.Width();
    const int height = first.Height();
    if (width == 0 || height == 0) return;

    // One change notice for the whole target rather than one per row.
    std::uint8_t* targetPixels = target.MutablePixels();
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    // Rows go top to bottom when someone watches the progress; otherwise in the order most of the three
    // memories hold them, since walking memory backwards costs twice the time.
    const int topDownCount = int{first.TopDown()} + int{second.TopDown()} + int{target.TopDown()};
    const bool topToBottom = progress || topDownCount >= 2;
    for (int step = 0; step < height; ++step) {
        const int y = topToBottom ? step : height - 1 - step;
        if (progress)
            progress(0, 100, static_cast<int>(std::nearbyintl(static_cast<long double>(y) / height * 100)));
        const int memoryRow = target.TopDown() ? y : height - 1 - y;
        std::uint8_t* targetRow = targetPixels + static_cast<std::size_t>(memoryRow) * target.RowStride();
        mixer.MixRow(std::as_const(first).ScanLine(y), std::as_const(second).ScanLine(y), targetRow,
                     rowBytes);
    }
}

}  // namespace flipbook
