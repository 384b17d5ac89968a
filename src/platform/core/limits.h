// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace flipbook {

// The largest pixel memory a Bitmap or a decoder will allocate for one picture. Every decoder checks
// the size a file asks for against this before it allocates anything.
inline constexpr std::size_t kMaxPixelBytes = std::size_t{1} << 30;  // 1 GiB
// A file may hold less data than its picture needs (a truncated file, a file whose data compresses
// beyond the usual bounds); decoders allow at most this much pixel memory beyond what the file's bytes
// can fill, so a tiny file cannot make us allocate gigabytes.
inline constexpr std::uint64_t kMaxUnbackedPixelBytes = std::uint64_t{32} << 20;
// The largest width or height of a picture in pixels.
inline constexpr std::int64_t kMaxPictureSide = 1 << 16;

// a * b, or nothing when the product overflows 64 bits or either factor is negative.
constexpr std::optional<std::uint64_t> CheckedMultiply(std::uint64_t a, std::uint64_t b) {
    std::uint64_t product = 0;
    if (__builtin_mul_overflow(a, b, &product)) return std::nullopt;
    return product;
}

// Bytes of one pixel row of the given width and bit count, padded to a multiple of 4 bytes
// (((width * bits + 31) & ~31) / 8), or nothing when it overflows.
constexpr std::optional<std::uint64_t> RowStride(std::uint64_t width, std::uint64_t bitsPerPixel) {
    auto bits = CheckedMultiply(width, bitsPerPixel);
    if (!bits || *bits > UINT64_MAX - 31) return std::nullopt;
    return ((*bits + 31) & ~std::uint64_t{31}) / 8;
}

}  // namespace flipbook
