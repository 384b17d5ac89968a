// SPDX-License-Identifier: GPL-3.0-or-later
#include "codecs/jpeg/jpeg_test_support.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <jpeglib.h>
#include <png.h>

namespace flipbook::testing {

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path) {
    std::ifstream input(path, std::ios::binary);
    if (!input) throw std::runtime_error("cannot read " + path.string());
    return {std::istreambuf_iterator<char>(input), std::istreambuf_iterator<char>()};
}

Bitmap MakeGradientBitmap(int width, int height) {
    Bitmap bitmap;
    BitmapInfoHeader header;
    header.width = width;
    header.height = height;
    header.bitCount = 24;
    bitmap.CreateSection(header, ColorMasks{}, {});
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bitmap.ScanLine(y);
        for (int x = 0; x < width; ++x) {
            row[3 * x + 0] = static_cast<std::uint8_t>((x + y) * 255 / (width + height));  // blue
            row[3 * x + 1] = static_cast<std::uint8_t>(y * 255 / height);                  // green
            row[3 * x + 2] = static_cast<std::uint8_t>(x * 255 / width);                   // red
        }
    }
    return bitmap;
}

RawImage DecodeWithLibrary(const std::vector<std::uint8_t>& jpeg) {
    // Tests only feed valid files here; the library's default error exit ends the program otherwise.
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&info, TRUE);
    jpeg_start_decompress(&info);
    RawImage image{static_cast<int>(info.output_width),
                   static_cast<int>(info.output_height),
                   info.output_components,
                   {}};
    image.samples.resize(std::size_t{info.output_width} * info.output_height * info.output_components);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = image.samples.data() +
                       std::size_t{info.output_scanline} * info.output_width * info.output_components;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return image;
}

std::vector<std::uint8_t> EncodeWithLibrary(const RawImage& image, J_COLOR_SPACE colorSpace,
                                            const std::function<void(jpeg_compress_struct&)>& configure) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(image.width);
    info.image_height = static_cast<JDIMENSION>(image.height);
    info.input_components = image.components;
    info.in_color_space = colorSpace;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    if (configure) configure(info);
    jpeg_start_compress(&info, TRUE);
    const std::size_t rowBytes = static_cast<std::size_t>(image.width) * image.components;
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<std::uint8_t*>(image.samples.data()) + info.next_scanline * rowBytes;
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<std::uint8_t> bytes(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

RawImage ReadPng(const std::filesystem::path& path) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str()))
        throw std::runtime_error("cannot read " + path.string());
    const bool grey = (png.format & PNG_FORMAT_FLAG_COLOR) == 0;
    png.format = grey ? PNG_FORMAT_GRAY : PNG_FORMAT_RGB;
    RawImage image{static_cast<int>(png.width), static_cast<int>(png.height), grey ? 1 : 3, {}};
    image.samples.resize(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, image.samples.data(), 0, nullptr)) {
        png_image_free(&png);
        throw std::runtime_error("cannot decode " + path.string());
    }
    return image;
}

int MaxDifference(const Bitmap& bitmap, const RawImage& image) {
    int worst = 0;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const Rgb colour = bitmap.PixelColor(x, y);
            const std::uint8_t* sample =
                &image.samples[(static_cast<std::size_t>(y) * image.width + x) * image.components];
            const int red = sample[0];
            const int green = image.components == 3 ? sample[1] : sample[0];
            const int blue = image.components == 3 ? sample[2] : sample[0];
            worst = std::max({worst, std::abs(colour.red - red), std::abs(colour.green - green),
                              std::abs(colour.blue - blue)});
        }
    }
    return worst;
}

std::size_t FindMarker(const std::vector<std::uint8_t>& jpeg, std::uint8_t type) {
    // Walks the marker segments after SOI; stops at the first scan's data.
    std::size_t offset = 2;
    while (offset + 4 <= jpeg.size() && jpeg[offset] == 0xFF) {
        const std::uint8_t marker = jpeg[offset + 1];
        if (marker == type) return offset + 1;
        if (marker == 0xDA) break;
        offset += 2 + (std::size_t{jpeg[offset + 2]} << 8 | jpeg[offset + 3]);
    }
    return std::string::npos;
}

}  // namespace flipbook::testing
