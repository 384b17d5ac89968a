#include "codecs/png/chunk_io.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

namespace flipbook {

std::uint32_t UpdateCrc(std::uint32_t running, const void* bytes, std::size_t count) {
    // zlib keeps the same CRC with the complement folded in at both ends; its table-driven loop is
    // several times faster than a byte-wise one, which matters for the image data.
    auto crc = static_cast<uLong>(~running & 0xFFFFFFFF);
    const auto* data = static_cast<const Bytef*>(bytes);
    while (count > 0) {
        const auto step = static_cast<uInt>(std::min<std::size_t>(count, std::numeric_limits<uInt>::max()));
        crc = crc32(crc, data, step);
        data += step;
        count -= step;
    }
    return ~static_cast<std::uint32_t>(crc);
}

}  // namespace flipbook
