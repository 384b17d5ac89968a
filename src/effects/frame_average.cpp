// SPDX-License-Identifier: GPL-3.0-or-later
#include "effects/frame_average.h"

#include <algorithm>
#include <bit>
#include <new>
#include <string>

#include "effects/instruction_sets.h"
#include "platform/core/exception.h"
#include "platform/core/limits.h"
#include "platform/graphics/bitmap.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace flipbook {

namespace effects_detail {
namespace {

#if defined(__x86_64__)
// Bytes before the sums' first 32-byte boundary, at most 15 of them, go the plain way: the sums are
// then read and written whole cache lines at a time, never split across two.
std::size_t AlignedHead(const std::uint16_t* sums, std::size_t count) {
    const auto misaligned = reinterpret_cast<std::uintptr_t>(sums) % 32;
    return std::min(count, misaligned == 0 ? 0 : (32 - misaligned) / sizeof(std::uint16_t));
}

// The sums are written back at once and read again by the next frame's addition, a thirtieth of a second
// later; plain stores keep as much of them in the cache as it holds. Sixty-four bytes a turn keep two
// loads of the frame and four of the sums in flight.
__attribute__((target("avx2"))) std::size_t AddBytesAvx2(const std::uint8_t* bytes, std::uint16_t* sums,
                                                         std::size_t count) {
    std::size_t i = AlignedHead(sums, count);
    for (std::size_t j = 0; j < i; ++j) sums[j] = static_cast<std::uint16_t>(sums[j] + bytes[j]);
    for (; i + 64 <= count; i += 64) {
        const __m256i first = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + i));
        const __m256i second = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + i + 32));
        auto* at = reinterpret_cast<__m256i*>(sums + i);
        const __m256i sum0 =
            _mm256_add_epi16(_mm256_load_si256(at), _mm256_cvtepu8_epi16(_mm256_castsi256_si128(first)));
        const __m256i sum1 = _mm256_add_epi16(_mm256_load_si256(at + 1),
                                              _mm256_cvtepu8_epi16(_mm256_extracti128_si256(first, 1)));
        const __m256i sum2 =
            _mm256_add_epi16(_mm256_load_si256(at + 2), _mm256_cvtepu8_epi16(_mm256_castsi256_si128(second)));
        const __m256i sum3 = _mm256_add_epi16(_mm256_load_si256(at + 3),
                                              _mm256_cvtepu8_epi16(_mm256_extracti128_si256(second, 1)));
        _mm256_store_si256(at, sum0);
        _mm256_store_si256(at + 1, sum1);
        _mm256_store_si256(at + 2, sum2);
        _mm256_store_si256(at + 3, sum3);
    }
    for (; i + 16 <= count; i += 16) {
        auto* at = reinterpret_cast<__m256i*>(sums + i);
        const __m128i frame = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        _mm256_store_si256(at, _mm256_add_epi16(_mm256_load_si256(at), _mm256_cvtepu8_epi16(frame)));
    }
    return i;
}

__attribute__((target("avx2"))) std::size_t WidenBytesAvx2(const std::uint8_t* bytes, std::uint16_t* sums,
                                                           std::size_t count) {
    std::size_t i = AlignedHead(sums, count);
    for (std::size_t j = 0; j < i; ++j) sums[j] = bytes[j];
    for (; i + 16 <= count; i += 16) {
        const __m128i frame = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        _mm256_store_si256(reinterpret_cast<__m256i*>(sums + i), _mm256_cvtepu8_epi16(frame));
    }
    return i;
}

// (sum + half) >> shift as bytes, sixteen sums at a time; the packed halves are put back in order.
__attribute__((target("avx2"))) std::size_t ShiftMeanAvx2(const std::uint16_t* sums, std::uint8_t* bytes,
                                                          std::size_t count, int shift) {
    const __m256i half = _mm256_set1_epi16(static_cast<short>((1 << shift) >> 1));
    const __m128i by = _mm_cvtsi32_si128(shift);
    std::size_t i = 0;
    for (; i + 32 <= count; i += 32) {
        const __m256i low = _mm256_srl_epi16(
            _mm256_add_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(sums + i)), half), by);
        const __m256i high = _mm256_srl_epi16(
            _mm256_add_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(sums + i + 16)), half), by);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(bytes + i),
                            _mm256_permute4x64_epi64(_mm256_packus_epi16(low, high), 0xD8));
    }
    return i;
}
#endif

bool Avx2() {
    return ActiveInstructionSet() >= InstructionSet::Avx2;
}

void MeanRow(const std::uint16_t* sums, std::uint8_t* bytes, std::size_t count, int frames) {
    std::size_t i = 0;
    const auto divisor = static_cast<unsigned>(frames);
    if (std::has_single_bit(divisor)) {
        const int shift = std::countr_zero(divisor);
#if defined(__x86_64__)
        if (Avx2()) i = ShiftMeanAvx2(sums, bytes, count, shift);
#endif
        for (; i < count; ++i) bytes[i] = static_cast<std::uint8_t>((sums[i] + (divisor >> 1)) >> shift);
        return;
    }
    for (; i < count; ++i) bytes[i] = static_cast<std::uint8_t>((sums[i] + divisor / 2) / divisor);
}

}  // namespace

void AddBytes(const std::uint8_t* bytes, std::uint16_t* sums, std::size_t count) {
    std::size_t i = 0;
#if defined(__x86_64__)
    if (Avx2()) i = AddBytesAvx2(bytes, sums, count);
#endif
    for (; i < count; ++i) sums[i] = static_cast<std::uint16_t>(sums[i] + bytes[i]);
}

void WidenBytes(const std::uint8_t* bytes, std::uint16_t* sums, std::size_t count) {
    std::size_t i = 0;
#if defined(__x86_64__)
    if (Avx2()) i = WidenBytesAvx2(bytes, sums, count);
#endif
    for (; i < count; ++i) sums[i] = bytes[i];
}

}  // namespace effects_detail

void FrameSum::Start(int width, int height) {
    // The mean becomes a picture: a frame larger than a picture may be has no mean.
    if (width <= 0 || height <= 0 || width > kMaxPictureSide || height > kMaxPictureSide ||
        std::uint64_t{static_cast<std::uint32_t>(width)} * 3 * static_cast<std::uint32_t>(height) >
            kMaxPixelBytes)
        throw Exception("Frames of " + std::to_string(width) + " x " + std::to_string(height) +
                        " cannot be averaged");
    width_ = width;
    height_ = height;
    count_ = 0;
    const std::size_t count = static_cast<std::size_t>(width) * 3 * static_cast<std::size_t>(height);
    if (count > capacity_) {
        sums_.reset();
        capacity_ = 0;
        sums_.reset(static_cast<std::uint16_t*>(
            ::operator new[](count * sizeof(std::uint16_t), std::align_val_t{kSumAlignment})));
        capacity_ = count;
    }
}

void FrameSum::FreeSums::operator()(std::uint16_t* sums) const {
    ::operator delete[](sums, std::align_val_t{kSumAlignment});
}

void FrameSum::Add(const FrameRows& frame) {
    if (width_ == 0) throw Exception("No frame sum was started");
    if (frame.width != width_ || frame.height != height_)
        throw Exception("A frame of " + std::to_string(frame.width) + " x " + std::to_string(frame.height) +
                        " cannot join a sum of " + std::to_string(width_) + " x " + std::to_string(height_));
    if (count_ == kMostFrames) throw Exception("A frame sum holds 16 frames at most");
    const std::size_t rowBytes = static_cast<std::size_t>(width_) * 3;
    for (int y = 0; y < height_; ++y) {
        const int memoryRow = frame.topDown ? y : height_ - 1 - y;
        const std::uint8_t* row = frame.pixels + static_cast<std::size_t>(memoryRow) * frame.rowStride;
        std::uint16_t* sums = sums_.get() + static_cast<std::size_t>(y) * rowBytes;
        // The first frame is the sum: nothing to read.
        if (count_ == 0) {
            effects_detail::WidenBytes(row, sums, rowBytes);
        } else {
            effects_detail::AddBytes(row, sums, rowBytes);
        }
    }
    ++count_;
}

void FrameSum::Mean(Bitmap& target) const {
    if (count_ == 0) throw Exception("No frame was added to the sum");
    BitmapInfoHeader header;
    header.width = width_;
    header.height = -height_;
    header.bitCount = 24;
    if (target.Width() != width_ || target.Height() != height_ || !target.TopDown() ||
        target.BitsPerPixel() != 24)
        target.CreateSection(header, {}, {});
    std::uint8_t* pixels = target.MutablePixels();
    const std::size_t rowBytes = static_cast<std::size_t>(width_) * 3;
    for (int y = 0; y < height_; ++y)
        effects_detail::MeanRow(SumRow(y), pixels + static_cast<std::size_t>(y) * target.RowStride(),
                                rowBytes, count_);
}

const std::uint16_t* FrameSum::SumRow(int y) const {
    return sums_.get() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) * 3;
}

}  // namespace flipbook
