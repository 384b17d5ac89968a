// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace flipbook {

// A picture file's size as its header gives it, read without decoding the picture.
struct PictureHeader {
    int width = 0;
    int height = 0;
    int bytesPerPixel = 3;  // 4 where the picture has an alpha channel or 32-bit pixels

    // The pixel memory of the picture once decoded, rows padded to four bytes as a Bitmap keeps them.
    std::size_t PixelBytes() const;
};

// The header of a PNG, JPEG or BMP file, told apart by its first bytes rather than its name; nothing
// when the file cannot be read or is none of them.
std::optional<PictureHeader> ReadPictureHeader(const std::string& path);

}  // namespace flipbook
