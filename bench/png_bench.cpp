// SPDX-License-Identifier: GPL-3.0-or-later
// Our PNG decoder and encoder beside the system's libpng doing the same work on the photographs:
// decoding to 8-bit blue, green, red rows; encoding with Sub on every row, zlib level 7, a 15-bit
// window, memory level 8, the default strategy and 65535-byte IDAT chunks.
#include <benchmark/benchmark.h>
#include <png.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "codecs/png/png_object.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/stream.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Photo {
    const char* name;
    const char* file;
};
constexpr Photo kPhotos[] = {
    {"raindrops-on-grass", "raindrops-on-grass-1920x1080.png"},
    {"ladybird-on-flower-stem", "ladybird-on-flower-stem-640x480.png"},
};

Bytes ReadFile(const std::string& path) {
    std::ifstream input(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(input)), std::istreambuf_iterator<char>());
}

Bytes PhotoBytes(const Photo& photo) {
    return ReadFile(std::string(FLIPBOOK_CORPUS_DIR) + "/photos/" + photo.file);
}

flipbook::Bitmap DecodeWithOurs(const Bytes& file) {
    flipbook::ReadOnlyMemoryStream stream(file.data(), file.size());
    flipbook::TPNGObject png;
    png.LoadFromStream(stream);
    flipbook::Bitmap bitmap;
    bitmap.Assign(png);
    return bitmap;
}

// Decodes every file of the set once per iteration.
void PngDecode(benchmark::State& state, const std::vector<Bytes>& files) {
    std::size_t bytes = 0;
    for (auto _ : state) {
        for (const Bytes& file : files) {
            flipbook::Bitmap bitmap = DecodeWithOurs(file);
            benchmark::DoNotOptimize(bitmap.Pixels());
            bytes += file.size();
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}

struct ReadSource {
    const Bytes* bytes;
    std::size_t position;
};

void ReadFromMemory(png_structp png, png_bytep data, png_size_t size) {
    auto* source = static_cast<ReadSource*>(png_get_io_ptr(png));
    if (source->position + size > source->bytes->size()) png_error(png, "read past end");
    std::memcpy(data, source->bytes->data() + source->position, size);
    source->position += size;
}

// libpng to the same output as ours: 8-bit samples, blue first, rows bottom-up padded to 4 bytes.
Bytes DecodeWithLibpng(const Bytes& file) {
    ReadSource source{&file, 0};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    Bytes pixels;
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_set_read_fn(png, &source, ReadFromMemory);
        png_read_info(png, info);
        png_set_strip_16(png);
        png_set_bgr(png);
        png_set_interlace_handling(png);
        png_read_update_info(png, info);
        const png_uint_32 height = png_get_image_height(png, info);
        const std::size_t stride = (png_get_rowbytes(png, info) + 3) & ~std::size_t{3};
        pixels.resize(stride * height);
        std::vector<png_bytep> rows(height);
        for (png_uint_32 y = 0; y < height; ++y) rows[y] = pixels.data() + stride * (height - 1 - y);
        png_read_image(png, rows.data());
        png_read_end(png, nullptr);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return pixels;
}

void LibpngDecode(benchmark::State& state, const std::vector<Bytes>& files) {
    std::size_t bytes = 0;
    for (auto _ : state) {
        for (const Bytes& file : files) {
            Bytes pixels = DecodeWithLibpng(file);
            benchmark::DoNotOptimize(pixels.data());
            bytes += file.size();
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}

// The valid files of the PNG suite (the damaged ones start with "x").
std::vector<Bytes> SuiteFiles() {
    std::vector<Bytes> files;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(FLIPBOOK_CORPUS_DIR) + "/png")) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() == ".png" && name[0] != 'x')
            files.push_back(ReadFile(entry.path().string()));
    }
    return files;
}

void AppendToBytes(png_structp png, png_bytep data, png_size_t size) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + size);
}

// Writes rows with libpng; configure sets the filters, compression and transformations.
Bytes WriteWithLibpng(png_uint_32 width, png_uint_32 height, int colorType, int interlace,
                      const std::function<void(png_structp)>& configure,
                      const std::vector<const std::uint8_t*>& rows) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_set_write_fn(png, &out, AppendToBytes, nullptr);
        png_set_IHDR(png, info, width, height, 8, colorType, interlace, PNG_COMPRESSION_TYPE_DEFAULT,
                     PNG_FILTER_TYPE_DEFAULT);
        configure(png);
        png_write_info(png, info);
        png_write_image(png, const_cast<png_bytepp>(rows.data()));
        png_write_end(png, nullptr);
    }
    png_destroy_write_struct(&png, &info);
    return out;
}

// The photograph written again by libpng in another form: "adam7" (interlaced, every filter), "rgba"
// (with an alpha ramp) or "grey" (8-bit luma).
Bytes Resaved(const Photo& photo, const std::string& form) {
    const flipbook::Bitmap bitmap = DecodeWithOurs(PhotoBytes(photo));
    const bool alpha = form == "rgba";
    const bool grey = form == "grey";
    std::vector<Bytes> rows(static_cast<std::size_t>(bitmap.Height()));
    std::vector<const std::uint8_t*> rowPointers;
    for (int y = 0; y < bitmap.Height(); ++y) {
        Bytes& row = rows[static_cast<std::size_t>(y)];
        for (int x = 0; x < bitmap.Width(); ++x) {
            const flipbook::Rgb color = bitmap.PixelColor(x, y);
            if (grey) {
                row.push_back(
                    static_cast<std::uint8_t>((color.red * 77 + color.green * 150 + color.blue * 29) >> 8));
            } else {
                row.insert(row.end(), {color.red, color.green, color.blue});
                if (alpha) row.push_back(static_cast<std::uint8_t>(x + y));
            }
        }
        rowPointers.push_back(row.data());
    }
    const int colorType = grey ? PNG_COLOR_TYPE_GRAY : alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
    return WriteWithLibpng(
        static_cast<png_uint_32>(bitmap.Width()), static_cast<png_uint_32>(bitmap.Height()), colorType,
        form == "adam7" ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
        [](png_structp png) { png_set_filter(png, 0, PNG_ALL_FILTERS); }, rowPointers);
}

flipbook::MemoryStream EncodeWithOurs(const flipbook::Bitmap& bitmap, unsigned threads) {
    flipbook::TPNGObject png;
    png.AssignFromBitmap(bitmap);
    png.SetCompressionThreads(threads);
    flipbook::MemoryStream out;
    png.SaveToStream(out);
    return out;
}

// One plain zlib stream, as libpng writes it.
void PngEncode(benchmark::State& state, const Photo& photo) {
    const flipbook::Bitmap bitmap = DecodeWithOurs(PhotoBytes(photo));
    for (auto _ : state) {
        flipbook::MemoryStream out = EncodeWithOurs(bitmap, 1);
        benchmark::DoNotOptimize(out.Bytes().data());
    }
}

// The image data compressed in one band per thread (argument 0), beside the single stream's file size.
void PngEncodeParallel(benchmark::State& state, const Photo& photo) {
    const flipbook::Bitmap bitmap = DecodeWithOurs(PhotoBytes(photo));
    const auto threads = static_cast<unsigned>(state.range(0));
    std::size_t fileBytes = 0;
    for (auto _ : state) {
        flipbook::MemoryStream out = EncodeWithOurs(bitmap, threads);
        fileBytes = out.Bytes().size();
        benchmark::DoNotOptimize(out.Bytes().data());
    }
    state.counters["file_bytes"] = static_cast<double>(fileBytes);
    state.counters["single_stream_bytes"] = static_cast<double>(EncodeWithOurs(bitmap, 1).Bytes().size());
}

Bytes EncodeWithLibpng(const flipbook::Bitmap& bitmap) {
    std::vector<const std::uint8_t*> rows;
    for (int y = 0; y < bitmap.Height(); ++y) rows.push_back(bitmap.ScanLine(y));
    return WriteWithLibpng(
        static_cast<png_uint_32>(bitmap.Width()), static_cast<png_uint_32>(bitmap.Height()),
        PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
        [](png_structp png) {
            png_set_filter(png, 0, PNG_FILTER_SUB);
            png_set_compression_level(png, 7);
            png_set_compression_window_bits(png, 15);
            png_set_compression_mem_level(png, 8);
            png_set_compression_strategy(png, Z_DEFAULT_STRATEGY);
            png_set_compression_buffer_size(png, 65535);
            png_set_bgr(png);
        },
        rows);
}

void LibpngEncode(benchmark::State& state, const Photo& photo) {
    const flipbook::Bitmap bitmap = DecodeWithOurs(PhotoBytes(photo));
    for (auto _ : state) {
        Bytes out = EncodeWithLibpng(bitmap);
        benchmark::DoNotOptimize(out.data());
    }
}

void RegisterDecodePair(const std::string& name, const std::vector<Bytes>& files) {
    benchmark::RegisterBenchmark(("PngDecode/" + name).c_str(), PngDecode, files)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("LibpngDecode/" + name).c_str(), LibpngDecode, files)
        ->Unit(benchmark::kMillisecond);
}

const bool kRegistered = [] {
    for (const Photo& photo : kPhotos) {
        const std::string name(photo.name);
        RegisterDecodePair(name, {PhotoBytes(photo)});
        benchmark::RegisterBenchmark(("PngEncode/" + name).c_str(), PngEncode, photo)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("LibpngEncode/" + name).c_str(), LibpngEncode, photo)
            ->Unit(benchmark::kMillisecond);
        // The time that passes, not the time of the calling thread alone.
        benchmark::RegisterBenchmark(("PngEncodeParallel/" + name).c_str(), PngEncodeParallel, photo)
            ->ArgName("threads")
            ->Arg(1)
            ->Arg(2)
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
    }
    RegisterDecodePair("pngsuite", SuiteFiles());
    for (const char* form : {"adam7", "rgba", "grey"}) {
        RegisterDecodePair(std::string(kPhotos[1].name) + "-" + form, {Resaved(kPhotos[1], form)});
    }
    return true;
}();

}  // namespace
