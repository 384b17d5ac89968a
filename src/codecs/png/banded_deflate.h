// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace flipbook {

// The smallest band worth a thread of its own: smaller bands lose more to their restarts than their
// thread gains.
inline constexpr std::size_t kMinimumBandBytes = std::size_t{256} << 10;

// How many bands `bytes` bytes are cut into for `threads` threads: a few for each thread, so a thread
// that finishes early (or gets the core more often) takes more of them; fewer when bands would be
// smaller than kMinimumBandBytes. 1, always for one thread, means that one plain zlib stream is best.
unsigned BandCount(std::uint64_t bytes, unsigned threads);

// Compresses the bytes into one standard zlib stream (header, deflate data, Adler-32), cut into `bands`
// bands that `threads` threads compress at once. Each band is raw deflate primed with the 32 KiB before
// it and ends on a byte boundary with a full flush, the last one with the stream's end, so the bands
// join into one stream that every inflater reads; the Adler-32 is combined from the bands'. The bytes
// depend on the band count alone. Raises EPNGOutMemory when zlib cannot get its memory, EPNGZLIBError
// for a level it refuses.
std::vector<std::uint8_t> DeflateInBands(std::span<const std::uint8_t> bytes, int level, unsigned bands,
                                         unsigned threads);

}  // namespace flipbook
