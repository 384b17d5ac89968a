// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/picture_header.h"

#include <array>
#include <cstdint>
#include <fstream>

namespace flipbook {
namespace {

std::uint32_t BigEndian(const std::uint8_t* bytes, int count) {
    std::uint32_t value = 0;
    for (int index = 0; index < count; ++index) value = value << 8 | bytes[index];
    return value;
}

std::uint32_t LittleEndian(const std::uint8_t* bytes, int count) {
    std::uint32_t value = 0;
    for (int index = count - 1; index >= 0; --index) value = value << 8 | bytes[index];
    return value;
}

bool Read(std::ifstream& file, std::uint8_t* bytes, std::size_t count) {
    return static_cast<bool>(file.read(reinterpret_cast<char*>(bytes), static_cast<std::streamsize>(count)));
}

std::optional<PictureHeader> Sized(std::uint32_t width, std::uint32_t height, int bytesPerPixel) {
    constexpr std::uint32_t kLargest = 1u << 20;
    if (width == 0 || height == 0 || width > kLargest || height > kLargest) return std::nullopt;
    return PictureHeader{static_cast<int>(width), static_cast<int>(height), bytesPerPixel};
}

// The frame header (SOF) comes after any number of other segments, each of which says its length.
std::optional<PictureHeader> JpegHeader(std::ifstream& file) {
    constexpr int kMostSegments = 256;
    for (int segment = 0; segment < kMostSegments; ++segment) {
        std::array<std::uint8_t, 4> marker{};
        if (!Read(file, marker.data(), marker.size()) || marker[0] != 0xFF) return std::nullopt;
        const std::uint8_t kind = marker[1];
        const std::uint32_t length = BigEndian(marker.data() + 2, 2);
        const bool frame = kind >= 0xC0 && kind <= 0xCF && kind != 0xC4 && kind != 0xC8 && kind != 0xCC;
        if (frame) {
            std::array<std::uint8_t, 5> sizes{};
            if (!Read(file, sizes.data(), sizes.size())) return std::nullopt;
            return Sized(BigEndian(sizes.data() + 3, 2), BigEndian(sizes.data() + 1, 2), 3);
        }
        if (length < 2 || !file.seekg(length - 2, std::ios::cur)) return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace

std::size_t PictureHeader::PixelBytes() const {
    const std::size_t stride =
        (static_cast<std::size_t>(width) * static_cast<std::size_t>(bytesPerPixel) + 3) & ~std::size_t{3};
    return stride * static_cast<std::size_t>(height);
}

std::optional<PictureHeader> ReadPictureHeader(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::array<std::uint8_t, 30> start{};
    if (!Read(file, start.data(), 2)) return std::nullopt;
    if (start[0] == 0xFF && start[1] == 0xD8) return JpegHeader(file);
    if (!Read(file, start.data() + 2, start.size() - 2)) return std::nullopt;
    if (start[0] == 0x89 && start[1] == 'P' && start[2] == 'N' && start[3] == 'G') {
        // IHDR: width and height, then bit depth and colour type; types 4 and 6 carry alpha.
        const std::uint8_t colourType = start[25];
        return Sized(BigEndian(start.data() + 16, 4), BigEndian(start.data() + 20, 4),
                     colourType == 4 || colourType == 6 ? 4 : 3);
    }
    if (start[0] == 'B' && start[1] == 'M') {
        // The old OS/2 header keeps 16-bit sizes; every later one 32-bit, the height negative for a
        // picture stored top row first.
        if (LittleEndian(start.data() + 14, 4) == 12)
            return Sized(LittleEndian(start.data() + 18, 2), LittleEndian(start.data() + 20, 2), 3);
        const std::int64_t height = static_cast<std::int32_t>(LittleEndian(start.data() + 22, 4));
        return Sized(LittleEndian(start.data() + 18, 4),
                     static_cast<std::uint32_t>(height < 0 ? -height : height),
                     LittleEndian(start.data() + 28, 2) == 32 ? 4 : 3);
    }
    return std::nullopt;
}

}  // namespace flipbook
