// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Helpers for the JPEG tests: test pictures, and the library and the system's PNG reader used
// directly as oracles.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "platform/graphics/bitmap.h"

namespace flipbook::testing {

// Pixels as red, green, blue (3 bytes) or grey (1 byte), rows from the top, no padding.
struct RawImage {
    int width = 0;
    int height = 0;
    int components = 0;
    std::vector<std::uint8_t> samples;
};

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path);

// A 24-bit Bitmap with smooth gradients: red across, green down, blue along the diagonal.
Bitmap MakeGradientBitmap(int width, int height);

// Decodes with the library directly (its default settings), to red, green, blue or grey.
RawImage DecodeWithLibrary(const std::vector<std::uint8_t>& jpeg);

// Encodes with the library directly: the image's samples in the given colour space, default settings at
// quality 90, then whatever configure changes.
std::vector<std::uint8_t> EncodeWithLibrary(const RawImage& image, J_COLOR_SPACE colorSpace,
                                            const std::function<void(jpeg_compress_struct&)>& configure = {});

// Reads a PNG with the system's libpng: 8-bit RGB, or 8-bit grey when the file is grey.
RawImage ReadPng(const std::filesystem::path& path);

// The largest difference of one sample between the Bitmap (read through its colour table) and the
// image; grey images are compared with every channel of the Bitmap.
int MaxDifference(const Bitmap& bitmap, const RawImage& image);

// The offset of the first marker of the given type (the byte after FF) in a JPEG file, or npos.
std::size_t FindMarker(const std::vector<std::uint8_t>& jpeg, std::uint8_t type);

}  // namespace flipbook::testing
