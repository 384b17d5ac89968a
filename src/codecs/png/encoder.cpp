// SPDX-License-Identifier: GPL-3.0-or-later
// Compressing the image buffer into "IDAT" chunks.
#include <bit>
#include <vector>

#include "codecs/png/banded_deflate.h"
#include "codecs/png/data_chunk.h"
#include "codecs/png/header_chunk.h"
#include "codecs/png/image_data_writer.h"
#include "codecs/png/png_errors.h"
#include "codecs/png/png_object.h"
#include "codecs/png/row_encoders.h"
#include "codecs/png/row_filters.h"
#include "codecs/png/row_format.h"

namespace flipbook {

namespace {

// The row buffers of the filter choice: the raw row, the previous raw row (the None filter's output
// and the row above for Up, Average and Paeth) and one buffer for each other filter in the set.
class RowFilterer {
public:
    RowFilterer(std::size_t rowBytes, std::uint8_t filterSet, std::uint32_t distance)
        : filterSet_(filterSet & 0x1F),
          distance_(distance),
          raw_(rowBytes),
          buffers_{std::vector<std::uint8_t>(rowBytes)} {
        for (std::uint8_t type = kFilterSub; type <= kFilterPaeth; ++type) {
            if (InSet(type)) buffers_[type].resize(rowBytes);
        }
    }

    std::uint8_t* Raw() { return raw_.data(); }
    // Starts a pass: there is no row above its first row.
    void ClearPrevious() {
        std::fill(buffers_[kFilterNone].begin(), buffers_[kFilterNone].end(), std::uint8_t{0});
    }

    // Filters the raw row (count bytes) with every filter in the set and chooses one; returns the
    // chosen type, whose filtered bytes Filtered() then gives.
    std::uint8_t FilterAndChoose(std::size_t count) {
        const std::uint8_t* raw = raw_.data();
        std::uint8_t* previous = buffers_[kFilterNone].data();
        if (InSet(kFilterSub)) FilterSub(raw, buffers_[kFilterSub].data(), count, distance_);
        if (InSet(kFilterUp)) FilterUp(raw, previous, buffers_[kFilterUp].data(), count);
        if (InSet(kFilterAverage))
            FilterAverage(raw, previous, buffers_[kFilterAverage].data(), count, distance_);
        if (InSet(kFilterPaeth)) FilterPaeth(raw, previous, buffers_[kFilterPaeth].data(), count, distance_);
        std::copy_n(raw, count, previous);
        chosen_ = Choose(count);
        return chosen_;
    }
    const std::uint8_t* Filtered() const { return buffers_[chosen_].data(); }

private:
    bool InSet(std::uint8_t type) const { return (filterSet_ >> type) & 1; }

    std::uint8_t Choose(std::size_t count) const {
        if (filterSet_ == 0 || filterSet_ == 1) return kFilterNone;
        const bool single = std::popcount(filterSet_) == 1;
        std::uint8_t choice = kFilterNone;
        std::size_t best = 0;
        for (std::uint8_t type = kFilterNone; type <= kFilterPaeth; ++type) {
            if (!InSet(type)) continue;
            if (single) return type;
            // A row that no filter makes more repetitive goes unfiltered.
            const std::size_t score = ScoreFilteredRow(buffers_[type].data(), count);
            if (score > best) {
                best = score;
                choice = type;
            }
        }
        return choice;
    }

    unsigned filterSet_;
    std::uint32_t distance_;
    std::vector<std::uint8_t> raw_;
    std::vector<std::uint8_t> buffers_[5];
    std::uint8_t chosen_ = kFilterNone;
};

// Filtered rows kept in memory for the banded compression.
struct GatheredRows {
    std::vector<std::uint8_t> bytes;
    void Write(const std::uint8_t* data, std::size_t count) { bytes.insert(bytes.end(), data, data + count); }
};

struct EncodeJob {
    const TChunkIHDR& header;
    std::uint8_t bitDepth;
    RowEncoder encode;
    const std::uint8_t* inverseGamma;
    RowFilterer& filterer;

    // Converts, filters and writes every row, in order or in the seven passes of Adam7.
    template <typename Sink>
    void AllRows(bool adam7, std::size_t fullRowBytes, Sink& sink) {
        if (!adam7) {
            for (std::uint32_t y = 0; y < header.height; ++y) Row(y, 0, 1, header.width, fullRowBytes, sink);
            return;
        }
        for (const Adam7Pass& pass : kAdam7Passes) {
            const std::uint32_t passWidth = PassWidth(pass, header.width);
            const auto rowBytes =
                static_cast<std::size_t>(RowByteCount(header.colorType, bitDepth, passWidth));
            filterer.ClearPrevious();
            if (rowBytes == 0) continue;
            for (std::uint32_t y = pass.rowStart; y < header.height; y += pass.rowStep) {
                Row(y, pass.columnStart, pass.columnStep, passWidth, rowBytes, sink);
            }
        }
    }

    template <typename Sink>
    void Row(std::uint32_t y, std::uint32_t first, std::uint32_t step, std::uint32_t count,
             std::size_t rowBytes, Sink& sink) {
        const std::uint8_t* alpha = header.AlphaPlane().empty()
                                        ? nullptr
                                        : header.AlphaPlane().data() + std::size_t{y} * header.width;
        encode(PixelRun{header.ScanLine(y), alpha, first, step, count}, filterer.Raw(), bitDepth,
               inverseGamma);
        const std::uint8_t type = filterer.FilterAndChoose(rowBytes);
        sink.Write(&type, 1);
        sink.Write(filterer.Filtered(), rowBytes);
    }
};

}  // namespace

bool TChunkIDAT::Save(Stream& stream) {
    const TChunkIHDR& header = Header();
    if (!header.HasImageBuffer()) throw EPNGHeaderNotPresent();
    // 2-bit pictures are held, and written, at 4 bits.
    const std::uint8_t bitDepth = header.bitDepth == 2 ? 4 : header.bitDepth;
    const RowEncoder encode = ChooseRowEncoder(header.colorType, bitDepth);
    if (encode == nullptr) throw EPNGHeaderNotPresent();
    const TPNGObject& owner = *Owner();
    const auto fullRowBytes =
        static_cast<std::size_t>(RowByteCount(header.colorType, bitDepth, header.width));
    RowFilterer filterer(fullRowBytes, owner.FilterSet(), PixelDistance(header.colorType, bitDepth));
    EncodeJob job{header, bitDepth, encode, owner.InverseGammaTable().data(), filterer};
    const bool adam7 = owner.InterlaceMethod() == 1;
    const std::uint64_t filteredBytes =
        FilteredImageBytes(header.colorType, bitDepth, header.width, header.height, adam7);

    const unsigned threads = owner.CompressionThreads();
    const unsigned bands = BandCount(filteredBytes, threads);
    if (bands == 1) {
        // One stream, row by row: no more memory than a few rows and one chunk.
        ImageDataWriter writer(stream, owner.CompressionLevel(), owner.MaxIdatSize());
        job.AllRows(adam7, fullRowBytes, writer);
        writer.Finish();
        return true;
    }
    // Filtering is quick beside deflate; the rows are filtered here first, then compressed at once.
    GatheredRows rows;
    rows.bytes.reserve(static_cast<std::size_t>(filteredBytes));
    job.AllRows(adam7, fullRowBytes, rows);
    const std::vector<std::uint8_t> compressed =
        DeflateInBands(rows.bytes, owner.CompressionLevel(), bands, threads);
    WriteImageDataChunks(stream, compressed, owner.MaxIdatSize());
    return true;
}

}  // namespace flipbook
