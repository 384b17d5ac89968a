// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>

#include "codecs/png/chunk_io.h"

namespace flipbook {

class Stream;

// Reads the data of every consecutive "IDAT" chunk and inflates it in one call, which is several times
// quicker than inflating row by row. It answers only plain, complete image data: every chunk whole with
// a matching CRC, and a zlib stream that gives exactly `filteredBytes` bytes. For anything else it puts
// the stream back where it found it and returns null, so the row-by-row reader decides what such a
// file gives and which error it raises. Allocates no more than the stream holds, and an output buffer
// only when the compressed data could fill it.
// The stream stands just behind the type field of the first "IDAT" chunk, of the given length.
std::unique_ptr<std::uint8_t[]> InflateWholeImageData(Stream& stream, const ChunkType& type,
                                                      std::uint32_t length, std::uint64_t filteredBytes);

}  // namespace flipbook
