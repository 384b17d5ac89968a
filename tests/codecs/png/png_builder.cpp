// SPDX-License-Identifier: GPL-3.0-or-later
#include "codecs/png/png_builder.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <stdexcept>

#include "codecs/png/png_object.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/stream.h"

namespace flipbook::testing {

Bytes BigEndian32(std::uint32_t value) {
    return {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
            static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

namespace {

Bytes ChunkWithCrc(std::string_view type, const Bytes& data, std::uint32_t crcChange) {
    Bytes chunk = BigEndian32(static_cast<std::uint32_t>(data.size()));
    chunk.insert(chunk.end(), type.begin(), type.end());
    chunk.insert(chunk.end(), data.begin(), data.end());
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type.data()), 4);
    if (!data.empty()) crc = crc32(crc, data.data(), static_cast<uInt>(data.size()));
    const Bytes crcBytes = BigEndian32(static_cast<std::uint32_t>(crc) ^ crcChange);
    chunk.insert(chunk.end(), crcBytes.begin(), crcBytes.end());
    return chunk;
}

void ThrowOnError(png_structp, png_const_charp message) {
    throw std::runtime_error(message);
}
void IgnoreWarning(png_structp, png_const_charp) {}

void AppendToBytes(png_structp png, png_bytep data, png_size_t size) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + size);
}
void NoFlush(png_structp) {}

struct ReadSource {
    const Bytes* bytes;
    std::size_t position;
};
void ReadFromBytes(png_structp png, png_bytep data, png_size_t size) {
    auto* source = static_cast<ReadSource*>(png_get_io_ptr(png));
    if (source->position + size > source->bytes->size()) throw std::runtime_error("read past end");
    std::copy_n(source->bytes->begin() + static_cast<std::ptrdiff_t>(source->position), size, data);
    source->position += size;
}

}  // namespace

Bytes Chunk(std::string_view type, const Bytes& data) {
    return ChunkWithCrc(type, data, 0);
}
Bytes ChunkWithBadCrc(std::string_view type, const Bytes& data) {
    return ChunkWithCrc(type, data, 0x1);
}

Bytes IhdrData(std::uint32_t width, std::uint32_t height, std::uint8_t bitDepth, std::uint8_t colorType,
               std::uint8_t interlace, std::uint8_t compression, std::uint8_t filter) {
    Bytes data = Concat({BigEndian32(width), BigEndian32(height)});
    data.insert(data.end(), {bitDepth, colorType, compression, filter, interlace});
    return data;
}

Bytes Deflate(const Bytes& raw, int level) {
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    Bytes out(size);
    if (compress2(out.data(), &size, raw.data(), static_cast<uLong>(raw.size()), level) != Z_OK) {
        throw std::runtime_error("compress2");
    }
    out.resize(size);
    return out;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes Signature() {
    return {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
}

Bytes SimplePng(const Bytes& ihdrData, const Bytes& filteredRows, const Bytes& extraChunksBeforeIdat) {
    return Concat({Signature(), Chunk("IHDR", ihdrData), extraChunksBeforeIdat,
                   Chunk("IDAT", Deflate(filteredRows)), Chunk("IEND", {})});
}

Bytes WriteWithLibpng(const LibpngPicture& picture, const LibpngWriteOptions& options) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, ThrowOnError, IgnoreWarning);
    png_infop info = png_create_info_struct(png);
    try {
        png_set_write_fn(png, &out, AppendToBytes, NoFlush);
        png_set_IHDR(png, info, picture.width, picture.height, picture.bitDepth, picture.colorType,
                     options.interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        if (!picture.palette.empty()) {
            std::vector<png_color> colors(picture.palette.size() / 3);
            for (std::size_t i = 0; i < colors.size(); ++i) {
                colors[i] = {picture.palette[3 * i], picture.palette[3 * i + 1], picture.palette[3 * i + 2]};
            }
            png_set_PLTE(png, info, colors.data(), static_cast<int>(colors.size()));
        }
        if (!picture.transparency.empty()) {
            const Bytes& t = picture.transparency;
            png_color_16 color{};
            if (picture.colorType == PNG_COLOR_TYPE_GRAY)
                color.gray = static_cast<png_uint_16>((t[0] << 8) | t[1]);
            if (picture.colorType == PNG_COLOR_TYPE_RGB) {
                color.red = static_cast<png_uint_16>((t[0] << 8) | t[1]);
                color.green = static_cast<png_uint_16>((t[2] << 8) | t[3]);
                color.blue = static_cast<png_uint_16>((t[4] << 8) | t[5]);
            }
            png_set_tRNS(png, info, t.data(), static_cast<int>(t.size()), &color);
        }
        png_set_filter(png, 0, options.filters);
        png_set_compression_level(png, options.level);
        png_write_info(png, info);
        std::vector<png_bytep> rows;
        for (const Bytes& row : picture.rows) rows.push_back(const_cast<png_bytep>(row.data()));
        png_write_image(png, rows.data());
        png_write_end(png, nullptr);
    } catch (...) {
        png_destroy_write_struct(&png, &info);
        throw;
    }
    png_destroy_write_struct(&png, &info);
    return out;
}

LibpngPicture ReadWithLibpng(const Bytes& file) {
    LibpngPicture picture;
    ReadSource source{&file, 0};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, ThrowOnError, IgnoreWarning);
    png_infop info = png_create_info_struct(png);
    try {
        png_set_read_fn(png, &source, ReadFromBytes);
        png_read_info(png, info);
        picture.width = png_get_image_width(png, info);
        picture.height = png_get_image_height(png, info);
        picture.bitDepth = png_get_bit_depth(png, info);
        picture.colorType = png_get_color_type(png, info);
        png_set_interlace_handling(png);
        png_read_update_info(png, info);
        const std::size_t rowBytes = png_get_rowbytes(png, info);
        picture.rows.assign(picture.height, Bytes(rowBytes));
        std::vector<png_bytep> rows;
        for (Bytes& row : picture.rows) rows.push_back(row.data());
        png_read_image(png, rows.data());
        png_colorp colors = nullptr;
        int colorCount = 0;
        if (png_get_PLTE(png, info, &colors, &colorCount) != 0) {
            for (int i = 0; i < colorCount; ++i)
                picture.palette.insert(picture.palette.end(),
                                       {colors[i].red, colors[i].green, colors[i].blue});
        }
        png_bytep alphas = nullptr;
        int alphaCount = 0;
        png_color_16p color = nullptr;
        if (png_get_tRNS(png, info, &alphas, &alphaCount, &color) != 0) {
            if (picture.colorType == PNG_COLOR_TYPE_PALETTE) {
                picture.transparency.assign(alphas, alphas + alphaCount);
            } else if (picture.colorType == PNG_COLOR_TYPE_GRAY) {
                picture.transparency = {static_cast<std::uint8_t>(color->gray >> 8),
                                        static_cast<std::uint8_t>(color->gray)};
            } else {
                picture.transparency = {
                    static_cast<std::uint8_t>(color->red >> 8),   static_cast<std::uint8_t>(color->red),
                    static_cast<std::uint8_t>(color->green >> 8), static_cast<std::uint8_t>(color->green),
                    static_cast<std::uint8_t>(color->blue >> 8),  static_cast<std::uint8_t>(color->blue)};
            }
        }
        png_read_end(png, nullptr);
    } catch (...) {
        png_destroy_read_struct(&png, &info, nullptr);
        throw;
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return picture;
}

void LoadPng(TPNGObject& png, const Bytes& file) {
    MemoryStream stream(file);
    png.LoadFromStream(stream);
}

Bitmap DecodePng(const Bytes& file) {
    TPNGObject png;
    LoadPng(png, file);
    Bitmap bitmap;
    bitmap.Assign(png);
    return bitmap;
}

Bytes IdatData(const Bytes& file, std::vector<std::uint32_t>* chunkSizes) {
    Bytes data;
    std::size_t position = 8;
    while (position + 12 <= file.size()) {
        const std::uint32_t length = (std::uint32_t{file[position]} << 24) |
                                     (std::uint32_t{file[position + 1]} << 16) |
                                     (std::uint32_t{file[position + 2]} << 8) | file[position + 3];
        const std::string type(file.begin() + static_cast<std::ptrdiff_t>(position + 4),
                               file.begin() + static_cast<std::ptrdiff_t>(position + 8));
        if (type == "IDAT") {
            const auto start = file.begin() + static_cast<std::ptrdiff_t>(position + 8);
            data.insert(data.end(), start, start + length);
            if (chunkSizes != nullptr) chunkSizes->push_back(length);
        }
        position += 12 + std::size_t{length};
    }
    return data;
}

}  // namespace flipbook::testing
