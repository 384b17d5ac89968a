// SPDX-License-Identifier: GPL-3.0-or-later
#include "codecs/png/banded_deflate.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <exception>
#include <limits>
#include <system_error>
#include <thread>

#include "codecs/png/chunk_io.h"
#include "codecs/png/png_errors.h"

namespace flipbook {

namespace {

constexpr std::size_t kDictionaryBytes = std::size_t{32} << 10;  // deflate's whole window
constexpr int kWindowBits = 15;
constexpr int kMemoryLevel = 8;
// Bands for each thread at most: enough to even out bands that compress at different speeds.
constexpr std::uint64_t kBandsPerThread = 4;
// Output space that a flush always gets, more than its marker needs.
constexpr std::size_t kFlushMarkerRoom = 16;
// zlib takes at most this many bytes per call.
constexpr std::size_t kLargestPiece = std::numeric_limits<uInt>::max();

// The two bytes that open a zlib stream: deflate with a 32 KiB window and the level's class, as
// zlib itself writes them.
std::array<std::uint8_t, 2> ZlibHeader(int level) {
    const unsigned levelClass = level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3;
    const unsigned methodAndWindow = 0x78;
    unsigned flags = levelClass << 6;
    flags += 31 - (methodAndWindow << 8 | flags) % 31;
    return {static_cast<std::uint8_t>(methodAndWindow), static_cast<std::uint8_t>(flags)};
}

uLong Adler32(std::span<const std::uint8_t> bytes) {
    uLong adler = adler32(0, nullptr, 0);
    for (std::size_t at = 0; at < bytes.size(); at += kLargestPiece) {
        const std::size_t piece = std::min(kLargestPiece, bytes.size() - at);
        adler = adler32(adler, bytes.data() + at, static_cast<uInt>(piece));
    }
    return adler;
}

// A raw deflate stream that ends itself on every path.
class RawDeflater {
public:
    explicit RawDeflater(int level) {
        const int result =
            deflateInit2(&zlib_, level, Z_DEFLATED, -kWindowBits, kMemoryLevel, Z_DEFAULT_STRATEGY);
        if (result == Z_MEM_ERROR) throw EPNGOutMemory();
        if (result != Z_OK) throw EPNGZLIBError(result);
    }
    ~RawDeflater() { deflateEnd(&zlib_); }
    RawDeflater(const RawDeflater&) = delete;
    RawDeflater& operator=(const RawDeflater&) = delete;

    void Prime(std::span<const std::uint8_t> dictionary) {
        if (dictionary.empty()) return;
        const int result =
            deflateSetDictionary(&zlib_, dictionary.data(), static_cast<uInt>(dictionary.size()));
        if (result != Z_OK) throw EPNGZLIBError(result);
    }

    // Compresses the bytes and flushes with `flush` (Z_FULL_FLUSH or Z_FINISH), appending to out.
    void Compress(std::span<const std::uint8_t> bytes, int flush, std::vector<std::uint8_t>& out) {
        out.resize(out.size() +
                   deflateBound(&zlib_, static_cast<uLong>(std::min(bytes.size(), kLargestPiece))));
        for (std::size_t at = 0;;) {
            const std::size_t piece = std::min(kLargestPiece, bytes.size() - at);
            const bool lastPiece = at + piece == bytes.size();
            zlib_.next_in = const_cast<Bytef*>(bytes.data() + at);
            zlib_.avail_in = static_cast<uInt>(piece);
            Drain(lastPiece ? flush : Z_NO_FLUSH, out);
            at += piece;
            if (lastPiece) return;
        }
    }

private:
    // Runs deflate until it has taken all the input and, when flushing, written all its output.
    void Drain(int flush, std::vector<std::uint8_t>& out) {
        for (;;) {
            // A flush that ends exactly at the end of the space would add a second marker next call.
            if (out.size() - written_ < kFlushMarkerRoom) out.resize(out.size() + out.size() / 8 + 4096);
            zlib_.next_out = out.data() + written_;
            zlib_.avail_out = static_cast<uInt>(std::min(out.size() - written_, kLargestPiece));
            const uInt room = zlib_.avail_out;
            const int result = deflate(&zlib_, flush);
            written_ += room - zlib_.avail_out;
            if (result == Z_STREAM_END) break;
            if (result != Z_OK && result != Z_BUF_ERROR) throw EPNGZLIBError(result);
            // Output space left over means deflate has taken everything and flushed what was asked.
            if (zlib_.avail_out != 0 && zlib_.avail_in == 0 && flush != Z_FINISH) break;
        }
        out.resize(written_);
    }

    z_stream zlib_{};
    std::size_t written_ = 0;
};

struct Band {
    std::span<const std::uint8_t> bytes;
    std::span<const std::uint8_t> dictionary;
    bool last = false;
    std::vector<std::uint8_t> compressed;
    uLong adler = 0;
    std::exception_ptr failure;

    void Compress(int level) noexcept {
        try {
            RawDeflater deflater(level);
            deflater.Prime(dictionary);
            deflater.Compress(bytes, last ? Z_FINISH : Z_FULL_FLUSH, compressed);
            adler = Adler32(bytes);
        } catch (...) {
            failure = std::current_exception();
        }
    }
};

}  // namespace

unsigned BandCount(std::uint64_t bytes, unsigned threads) {
    if (threads <= 1) return 1;
    const std::uint64_t fitting = std::max<std::uint64_t>(bytes / kMinimumBandBytes, 1);
    // Whole rounds of bands, so no thread is left with one more than the others.
    const std::uint64_t perThread = std::clamp<std::uint64_t>(fitting / threads, 1, kBandsPerThread);
    return static_cast<unsigned>(std::min<std::uint64_t>(std::uint64_t{threads} * perThread, fitting));
}

std::vector<std::uint8_t> DeflateInBands(std::span<const std::uint8_t> bytes, int level, unsigned bands,
                                         unsigned threads) {
    bands = std::max(bands, 1u);
    threads = std::clamp(threads, 1u, bands);
    std::vector<Band> work(bands);
    for (unsigned index = 0; index < bands; ++index) {
        const std::size_t begin = bytes.size() * index / bands;
        const std::size_t end = bytes.size() * (index + 1) / bands;
        const std::size_t dictionaryBegin = begin - std::min(begin, kDictionaryBytes);
        work[index].bytes = bytes.subspan(begin, end - begin);
        work[index].dictionary = bytes.subspan(dictionaryBegin, begin - dictionaryBegin);
        work[index].last = index + 1 == bands;
    }
    {
        // Every thread, this one too, takes the next band until none is left; a thread that cannot
        // be started leaves its share to the others.
        std::atomic<unsigned> next{0};
        const auto compressBands = [&work, &next, level, bands] {
            for (unsigned index = next++; index < bands; index = next++) work[index].Compress(level);
        };
        std::vector<std::jthread> helpers;
        helpers.reserve(threads - 1);
        for (unsigned helper = 1; helper < threads; ++helper) {
            try {
                helpers.emplace_back(compressBands);
            } catch (const std::system_error&) {
                break;
            }
        }
        compressBands();
    }
    for (const Band& band : work) {
        if (band.failure) std::rethrow_exception(band.failure);
    }

    std::size_t total = 2 + 4;
    for (const Band& band : work) total += band.compressed.size();
    std::vector<std::uint8_t> stream(total);
    std::uint8_t* out = stream.data();
    const auto header = ZlibHeader(level);
    out = std::copy(header.begin(), header.end(), out);
    uLong adler = work[0].adler;
    for (unsigned index = 0; index < bands; ++index) {
        const Band& band = work[index];
        out = std::copy(band.compressed.begin(), band.compressed.end(), out);
        if (index > 0) adler = adler32_combine(adler, band.adler, static_cast<z_off_t>(band.bytes.size()));
    }
    WriteBigEndian32(out, static_cast<std::uint32_t>(adler));
    return stream;
}

}  // namespace flipbook
