// SPDX-License-Identifier: GPL-3.0-or-later
#include "effects/area_stretch.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "effects/instruction_sets.h"
#include "platform/graphics/bitmap.h"

namespace flipbook {

namespace {

// Where each target pixel's span of source pixels starts; entry `count` is the source's length. A
// span holds at least its first pixel, so an enlarged direction repeats pixels; the others hold the
// same count of pixels or one more.
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

// The column sums of up to 257 rows, which sixteen bits hold. Column by column down the rows, so
// each sum stays in a register and each source byte is read once.
void SumNarrow(const Bitmap& source, int firstRow, int endRow, std::uint16_t* sums, std::size_t count) {
    const std::uint8_t* rows[257];
    const int rowCount = endRow - firstRow;
    for (int row = 0; row < rowCount; ++row) rows[row] = source.ScanLine(firstRow + row);
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= count; i += 16) {
        __m128i low = zero;
        __m128i high = zero;
        for (int row = 0; row < rowCount; ++row) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[row] + i));
            low = _mm_add_epi16(low, _mm_unpacklo_epi8(bytes, zero));
            high = _mm_add_epi16(high, _mm_unpackhi_epi8(bytes, zero));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(sums + i), low);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(sums + i + 8), high);
    }
#endif
    for (; i < count; ++i) {
        unsigned sum = 0;
        for (int row = 0; row < rowCount; ++row) sum += rows[row][i];
        sums[i] = static_cast<std::uint16_t>(sum);
    }
}

// The same for taller spans, a row at a time.
void SumWide(const Bitmap& source, int firstRow, int endRow, std::uint32_t* sums, std::size_t count) {
    std::fill(sums, sums + count, 0u);
    for (int row = firstRow; row < endRow; ++row) {
        const std::uint8_t* bytes = source.ScanLine(row);
        for (std::size_t i = 0; i < count; ++i) sums[i] += bytes[i];
    }
}

// One target row from the column sums of `rows` source rows. Spans are `narrowest` or one more
// columns wide, so each pixel sums `narrowest` columns and adds the next one times 0 or 1: the loop
// runs the same count for every pixel, where a count that changed from pixel to pixel cost a
// mispredicted branch each. (The sums hold one zero pixel past the row's end for that next one.)
// Means are taken by a multiplication with a 24-bit fixed-point reciprocal of the pixel count, not
// three divisions a pixel.
template <class Sum>
void WriteRow(const std::vector<Sum>& sums, const std::vector<int>& columns, int narrowest, int rows,
              std::uint8_t* target, int width) {
    const auto reciprocal = [rows](int span) {
        const std::uint64_t count = static_cast<std::uint64_t>(span) * static_cast<std::uint64_t>(rows);
        return ((std::uint64_t{1} << 24) + count / 2) / count;
    };
    const std::uint64_t reciprocals[2] = {reciprocal(narrowest), reciprocal(narrowest + 1)};
    constexpr std::uint64_t kHalf = std::uint64_t{1} << 23;
    for (int x = 0; x < width; ++x) {
        const int first = columns[static_cast<std::size_t>(x)];
        const auto wider = static_cast<unsigned>(SpanEnd(columns, x) - first - narrowest);
        const Sum* pixel = sums.data() + static_cast<std::size_t>(first) * 3;
        std::uint64_t blue = 0, green = 0, red = 0;
        for (int column = 0; column < narrowest; ++column, pixel += 3) {
            blue += pixel[0];
            green += pixel[1];
            red += pixel[2];
        }
        blue += wider * pixel[0];
        green += wider * pixel[1];
        red += wider * pixel[2];
        const std::uint64_t scale = reciprocals[wider];
        *target++ = static_cast<std::uint8_t>(std::min<std::uint64_t>((blue * scale + kHalf) >> 24, 255));
        *target++ = static_cast<std::uint8_t>(std::min<std::uint64_t>((green * scale + kHalf) >> 24, 255));
        *target++ = static_cast<std::uint8_t>(std::min<std::uint64_t>((red * scale + kHalf) >> 24, 255));
    }
}

// The AVX2 path, in a file of its own.
#if defined(__x86_64__)
#include "effects/area_stretch_avx2.inc"
#endif

}  // namespace

bool StretchArea(const Bitmap& source, std::uint8_t* target, std::size_t targetStride, int width,
                 int height) {
    if (source.Empty() || source.BitsPerPixel() != 24 || width <= 0 || height <= 0) return false;
#if defined(__x86_64__)
    if (ActiveInstructionSet() >= InstructionSet::Avx2 &&
        area_avx2::StretchArea(source, target, targetStride, width, height))
        return true;
#endif
    const std::vector<int> columns = SpanStarts(source.Width(), width);
    const std::vector<int> rows = SpanStarts(source.Height(), height);
    const std::size_t sumCount = static_cast<std::size_t>(source.Width()) * 3;
    int narrowest = source.Width();
    for (int x = 0; x < width; ++x)
        narrowest = std::min(narrowest, SpanEnd(columns, x) - columns[static_cast<std::size_t>(x)]);
    std::vector<std::uint16_t> narrowSums(sumCount + 3);
    std::vector<std::uint32_t> wideSums;
    for (int y = 0; y < height; ++y) {
        const int firstRow = rows[static_cast<std::size_t>(y)];
        const int endRow = SpanEnd(rows, y);
        std::uint8_t* targetRow = target + targetStride * static_cast<std::size_t>(y);
        if (endRow - firstRow <= 257) {
            SumNarrow(source, firstRow, endRow, narrowSums.data(), sumCount);
            WriteRow(narrowSums, columns, narrowest, endRow - firstRow, targetRow, width);
        } else {
            wideSums.resize(sumCount + 3);
            SumWide(source, firstRow, endRow, wideSums.data(), sumCount);
            WriteRow(wideSums, columns, narrowest, endRow - firstRow, targetRow, width);
        }
    }
    return true;
}

}  // namespace flipbook
