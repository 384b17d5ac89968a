// SPDX-License-Identifier: GPL-3.0-or-later
// Loads arbitrary bytes as a BMP file image. A picture that loads must also save and load back to the
// same pixels, so the writer sees every description the reader can produce.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "codecs/bmp/bmp_file.h"
#include "platform/core/exception.h"

namespace {

std::int64_t Field(const std::uint8_t* bytes, int size) {
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = value << 8 | bytes[i];
    return size == 4 ? std::int64_t{static_cast<std::int32_t>(value)} : std::int64_t{value};
}

// Pictures of many megabytes spend the fuzzer's time on filling memory, not on new paths; the limits
// that refuse them are covered by the unit tests. Those beyond every limit still go through, since
// they are refused before anything is allocated.
bool SpendsTimeOnMemory(const std::uint8_t* data, std::size_t size) {
    if (size < 26) return false;
    const int fieldSize = Field(data + 14, 4) == 12 ? 2 : 4;
    const std::int64_t width = Field(data + 18, fieldSize);
    const std::int64_t height = Field(data + 18 + fieldSize, fieldSize);
    const std::int64_t rows = height < 0 ? -height : height;
    if (width > (1 << 16) || rows > (1 << 16)) return false;
    const std::int64_t bytes = width * rows * 4;
    return bytes > (std::int64_t{4} << 20) && bytes <= (std::int64_t{1} << 30);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace flipbook;
    if (SpendsTimeOnMemory(data, size)) return 0;
    Bitmap bitmap;
    try {
        ReadOnlyMemoryStream input(data, size);
        LoadBmpStream(bitmap, input);
    } catch (const Exception&) {
        return 0;
    }
    // Large pictures add time but no new paths to the round trip.
    if (bitmap.Empty() || bitmap.PixelBytes() > (std::size_t{1} << 20)) return 0;

    MemoryStream saved;
    SaveBmpStream(bitmap, saved);
    saved.SetPosition(0);
    Bitmap reloaded;
    LoadBmpStream(reloaded, saved);
    if (reloaded.Width() != bitmap.Width() || reloaded.Height() != bitmap.Height() ||
        reloaded.RowStride() != bitmap.RowStride() || reloaded.PixelBytes() != bitmap.PixelBytes()) {
        std::abort();
    }
    // Files are written bottom-up, so a top-down picture comes back with its rows in the other order.
    for (int row = 0; row < bitmap.Height(); ++row) {
        if (std::memcmp(std::as_const(reloaded).ScanLine(row), std::as_const(bitmap).ScanLine(row),
                        bitmap.RowStride()) != 0)
            std::abort();
    }
    return 0;
}
