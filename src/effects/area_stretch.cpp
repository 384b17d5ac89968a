#include "effects/area_stretch.h"

#include <algorithm>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/graphics/bitmap.h"

namespace flipbook {

namespace {

// Where each target pixel's span of source pixels starts; entry `count` is the source's length. A
// span holds at least its first pixel, so an enlarged direction repeats pixels.
std::vector<int> SpanStarts(int sourceLength, int targetLength) {
    std::vector<int> starts(static_cast<std::size_t>(targetLength) + 1);
    for (int i = 0; i <= targetLength; ++i)
        starts[static_cast<std::size_t>(i)] =
            static_cast<int>(static_cast<std::int64_t>(i) * sourceLength / targetLength);
    return starts;
}

int SpanEnd(const std::vector<int>& starts, int index) {
    const auto at = static_cast<std::size_t>(index);
    return std::max(starts[at] + 1, starts[at + 1]);
}

// Adds a row's bytes to column sums. Sixteen bits hold up to 257 rows of 255.
void AddRow(const std::uint8_t* row, std::uint16_t* sums, std::size_t count) {
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= count; i += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
        auto* low = reinterpret_cast<__m128i*>(sums + i);
        auto* high = reinterpret_cast<__m128i*>(sums + i + 8);
        _mm_storeu_si128(low, _mm_add_epi16(_mm_loadu_si128(low), _mm_unpacklo_epi8(bytes, zero)));
        _mm_storeu_si128(high, _mm_add_epi16(_mm_loadu_si128(high), _mm_unpackhi_epi8(bytes, zero)));
    }
#endif
    for (; i < count; ++i) sums[i] = static_cast<std::uint16_t>(sums[i] + row[i]);
}

void AddRow(const std::uint8_t* row, std::uint32_t* sums, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) sums[i] += row[i];
}

// One target row from the column sums of `rows` source rows.
template <class Sum>
void WriteRow(const std::vector<Sum>& sums, const std::vector<int>& columns, int rows, std::uint8_t* target,
              int width) {
    for (int x = 0; x < width; ++x) {
        const int first = columns[static_cast<std::size_t>(x)];
        const int end = SpanEnd(columns, x);
        std::uint32_t blue = 0, green = 0, red = 0;
        for (int column = first; column < end; ++column) {
            const Sum* pixel = sums.data() + static_cast<std::size_t>(column) * 3;
            blue += pixel[0];
            green += pixel[1];
            red += pixel[2];
        }
        // A multiplication by the reciprocal rather than three divisions a pixel; a float holds
        // these sums exactly, and the mean is at most 255.
        const float scale = 1.0f / static_cast<float>((end - first) * rows);
        *target++ = static_cast<std::uint8_t>(static_cast<float>(blue) * scale + 0.5f);
        *target++ = static_cast<std::uint8_t>(static_cast<float>(green) * scale + 0.5f);
        *target++ = static_cast<std::uint8_t>(static_cast<float>(red) * scale + 0.5f);
    }
}

template <class Sum>
void StretchRow(const Bitmap& source, int firstRow, int endRow, const std::vector<int>& columns,
                std::vector<Sum>& sums, std::uint8_t* target, int width) {
    std::fill(sums.begin(), sums.end(), Sum{0});
    for (int row = firstRow; row < endRow; ++row) AddRow(source.ScanLine(row), sums.data(), sums.size());
    WriteRow(sums, columns, endRow - firstRow, target, width);
}

}  // namespace

bool StretchArea(const Bitmap& source, std::uint8_t* target, std::size_t targetStride, int width,
                 int height) {
    if (source.Empty() || source.BitsPerPixel() != 24 || width <= 0 || height <= 0) return false;
    const std::vector<int> columns = SpanStarts(source.Width(), width);
    const std::vector<int> rows = SpanStarts(source.Height(), height);
    const std::size_t sumCount = static_cast<std::size_t>(source.Width()) * 3;
    std::vector<std::uint16_t> narrowSums(sumCount);
    std::vector<std::uint32_t> wideSums;
    for (int y = 0; y < height; ++y) {
        const int firstRow = rows[static_cast<std::size_t>(y)];
        const int endRow = SpanEnd(rows, y);
        std::uint8_t* targetRow = target + targetStride * static_cast<std::size_t>(y);
        if (endRow - firstRow <= 257) {
            StretchRow(source, firstRow, endRow, columns, narrowSums, targetRow, width);
        } else {
            wideSums.resize(sumCount);
            StretchRow(source, firstRow, endRow, columns, wideSums, targetRow, width);
        }
    }
    return true;
}

}  // namespace flipbook
