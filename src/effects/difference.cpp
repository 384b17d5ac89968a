// SPDX-License-Identifier: GPL-3.0-or-later
#include "effects/difference.h"

#include "effects/view_rows.h"
#include "platform/core/exception.h"
#include "platform/graphics/bitmap.h"

namespace flipbook {

void Difference(const Bitmap& first, const Bitmap& second, Bitmap& target) {
    if (first.BitsPerPixel() != 24 || second.BitsPerPixel() != 24 || first.Width() != second.Width() ||
        first.Height() != second.Height())
        throw Exception("The difference needs two 24-bit pictures of one size");
    target.SetPixelFormat(PixelFormat::Bit24);
    target.SetSize(first.Width(), first.Height());
    if (first.Empty()) return;
    const auto& rows = effects_detail::ViewRows();
    const std::size_t rowBytes = static_cast<std::size_t>(first.Width()) * 3;
    // One change notice for the whole target rather than one per row.
    std::uint8_t* pixels = target.MutablePixels();
    // Rows in the order most of the three memories hold them: walking memory backwards costs more.
    const bool topToBottom = int{first.TopDown()} + int{second.TopDown()} + int{target.TopDown()} >= 2;
    for (int step = 0; step < first.Height(); ++step) {
        const int y = topToBottom ? step : first.Height() - 1 - step;
        const int memoryRow = target.TopDown() ? y : first.Height() - 1 - y;
        rows.difference(first.ScanLine(y), second.ScanLine(y),
                        pixels + static_cast<std::size_t>(memoryRow) * target.RowStride(), rowBytes);
    }
}

}  // namespace flipbook
