// SPDX-License-Identifier: GPL-3.0-or-later
// The JPEG adapter beside libjpeg-turbo called directly with the same settings: quality 90 from
// blue-green-red rows, and decoding to blue-green-red rows. The photographs are PNGs, read once with
// the system's libpng.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// The library header needs size_t and FILE declared first.
#include <jpeglib.h>
#include <png.h>

#include "codecs/jpeg/jpeg_image.h"
#include "libjpeg_decode.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/stream.h"

namespace {

struct Photo {
    std::string name;
    std::string file;
};
const Photo kPhotos[] = {
    {"raindrops-on-grass", "raindrops-on-grass-1920x1080.png"},
    {"ladybird-on-flower-stem", "ladybird-on-flower-stem-640x480.png"},
};

// One photograph as the program holds a frame (a 24-bit Bitmap) and as plain top-down rows.
struct Frame {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> bgrRows;  // top-down, 3 bytes per pixel, no padding
    flipbook::Bitmap bitmap;
    std::vector<std::uint8_t> jpeg;  // the photograph at quality 90, made by the library directly
};

std::vector<std::uint8_t> LibraryEncode(const std::uint8_t* rows, int width, int height) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    jpeg_start_compress(&info, TRUE);
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<std::uint8_t*>(rows + info.next_scanline * rowBytes);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<std::uint8_t> bytes(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

const Frame& LoadFrame(const Photo& photo) {
    static std::map<std::string, Frame> frames;
    auto found = frames.find(photo.name);
    if (found != frames.end()) return found->second;

    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    const std::string path = std::string(FLIPBOOK_CORPUS_DIR) + "/photos/" + photo.file;
    if (!png_image_begin_read_from_file(&png, path.c_str())) throw std::runtime_error("cannot read " + path);
    png.format = PNG_FORMAT_BGR;
    Frame frame;
    frame.width = static_cast<int>(png.width);
    frame.height = static_cast<int>(png.height);
    frame.bgrRows.resize(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, frame.bgrRows.data(), 0, nullptr))
        throw std::runtime_error("cannot decode " + path);

    flipbook::BitmapInfoHeader header;
    header.width = frame.width;
    header.height = frame.height;
    header.bitCount = 24;
    frame.bitmap.CreateSection(header, flipbook::ColorMasks{}, {});
    const std::size_t rowBytes = static_cast<std::size_t>(frame.width) * 3;
    for (int y = 0; y < frame.height; ++y)
        std::copy_n(frame.bgrRows.data() + y * rowBytes, rowBytes, frame.bitmap.ScanLine(y));
    frame.jpeg = LibraryEncode(frame.bgrRows.data(), frame.width, frame.height);
    return frames.emplace(photo.name, std::move(frame)).first->second;
}

void LibjpegEncode(benchmark::State& state, const Photo& photo) {
    const Frame& frame = LoadFrame(photo);
    for (auto _ : state) {
        auto bytes = LibraryEncode(frame.bgrRows.data(), frame.width, frame.height);
        benchmark::DoNotOptimize(bytes.data());
    }
}

// The object is made, given its Bitmap and freed outside the timing: the figure is the compression
// itself, from the cached Bitmap's rows to the bytes in a memory stream.
void JpegEncode(benchmark::State& state, const Photo& photo) {
    const Frame& frame = LoadFrame(photo);
    std::optional<flipbook::TJPEGImage> image;
    for (auto _ : state) {
        state.PauseTiming();
        image.reset();
        image.emplace();
        image->AssignFromBitmap(frame.bitmap);
        state.ResumeTiming();
        flipbook::MemoryStream stream;
        image->SaveToStream(stream);
        benchmark::DoNotOptimize(stream.Bytes().data());
    }
}

void LibjpegDecode(benchmark::State& state, const Photo& photo) {
    const Frame& frame = LoadFrame(photo);
    for (auto _ : state) {
        std::vector<std::uint8_t> pixels;
        flipbook::bench::LibjpegDecodeToBgr(frame.jpeg, pixels);
        benchmark::DoNotOptimize(pixels.data());
    }
}

// Loading from a memory stream (header only) and decompressing into the cached Bitmap.
void JpegDecode(benchmark::State& state, const Photo& photo) {
    const Frame& frame = LoadFrame(photo);
    for (auto _ : state) {
        flipbook::ReadOnlyMemoryStream stream(frame.jpeg.data(), frame.jpeg.size());
        flipbook::TJPEGImage image;
        image.LoadFromStream(stream);
        benchmark::DoNotOptimize(image.GetBitmap().Pixels());
    }
}

const int registered = [] {
    for (const Photo& photo : kPhotos) {
        benchmark::RegisterBenchmark(("JpegEncode/" + photo.name).c_str(), JpegEncode, photo)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("LibjpegEncode/" + photo.name).c_str(), LibjpegEncode, photo)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("JpegDecode/" + photo.name).c_str(), JpegDecode, photo)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("LibjpegDecode/" + photo.name).c_str(), LibjpegDecode, photo)
            ->Unit(benchmark::kMillisecond);
    }
    return 0;
}();

}  // namespace
