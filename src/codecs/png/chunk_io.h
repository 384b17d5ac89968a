// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace flipbook {

// The four type letters of a chunk, in stream order.
using ChunkType = std::array<char, 4>;

constexpr ChunkType MakeChunkType(std::string_view letters) {
    return {letters[0], letters[1], letters[2], letters[3]};
}

inline constexpr std::array<std::uint8_t, 8> kPngSignature{0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};

// Chunk lengths of 2^31 or more are not valid PNG.
inline constexpr std::uint32_t kMaxChunkLength = 0x7FFFFFFF;

inline std::uint32_t ReadBigEndian32(const std::uint8_t* bytes) {
    return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
           (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
}
inline std::uint16_t ReadBigEndian16(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]);
}
inline void WriteBigEndian32(std::uint8_t* bytes, std::uint32_t value) {
    bytes[0] = static_cast<std::uint8_t>(value >> 24);
    bytes[1] = static_cast<std::uint8_t>(value >> 16);
    bytes[2] = static_cast<std::uint8_t>(value >> 8);
    bytes[3] = static_cast<std::uint8_t>(value);
}
inline void WriteBigEndian16(std::uint8_t* bytes, std::uint16_t value) {
    bytes[0] = static_cast<std::uint8_t>(value >> 8);
    bytes[1] = static_cast<std::uint8_t>(value);
}

// The PNG CRC-32 kept as a running value: start from kCrcStart, update with the type letters and then
// the data, and the chunk's CRC is the complement of the result.
inline constexpr std::uint32_t kCrcStart = 0xFFFFFFFF;
std::uint32_t UpdateCrc(std::uint32_t running, const void* bytes, std::size_t count);
inline std::uint32_t UpdateCrc(std::uint32_t running, const ChunkType& type) {
    return UpdateCrc(running, type.data(), type.size());
}

}  // namespace flipbook
