// SPDX-License-Identifier: GPL-3.0-or-later
#include "codecs/png/chunk_io.h"

#include <libdeflate.h>

namespace flipbook {

std::uint32_t UpdateCrc(std::uint32_t running, const void* bytes, std::size_t count) {
    // libdeflate keeps the same CRC with the complement folded in at both ends; its carry-less multiply
    // loop is many times faster than a byte-wise one, which matters for the image data.
    // (An empty chunk's data may be a null pointer, which would ask for the starting value instead.)
    if (count == 0) return running;
    return ~libdeflate_crc32(~running, bytes, count);
}

}  // namespace flipbook
