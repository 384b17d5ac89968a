// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// libjpeg-turbo called directly: one JPEG decoded to blue-green-red rows padded to 4 bytes, as the
// program keeps a picture. The anchor of every JPEG decoding figure.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

// The library header needs size_t and FILE declared first.
#include <jpeglib.h>

namespace flipbook::bench {

inline void LibjpegDecodeToBgr(const std::vector<std::uint8_t>& jpeg, std::vector<std::uint8_t>& pixels) {
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&info);
    const std::size_t stride = (std::size_t{info.output_width} * 3 + 3) & ~std::size_t{3};
    pixels.resize(stride * info.output_height);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = pixels.data() + stride * info.output_scanline;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
}

}  // namespace flipbook::bench
