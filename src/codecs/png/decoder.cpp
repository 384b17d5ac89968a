// SPDX-License-Identifier: GPL-3.0-or-later
// Decoding the image data into the header chunk's image buffer.
#include <array>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "codecs/png/data_chunk.h"
#include "codecs/png/header_chunk.h"
#include "codecs/png/image_data_reader.h"
#include "codecs/png/png_errors.h"
#include "codecs/png/png_object.h"
#include "codecs/png/row_converters.h"
#include "codecs/png/row_filters.h"
#include "codecs/png/row_format.h"
#include "codecs/png/whole_image_data.h"

namespace flipbook {

namespace {

// Greyscale pictures keep their samples as indexes into a ramp of grey levels.
void FillGreyRamp(TChunkIHDR& header, const std::array<std::uint8_t, 256>& gamma) {
    const int entries = 1 << header.BitsPerPixel();
    for (int index = 0; index < entries; ++index) {
        const int level = (index * 255 + (entries - 1) / 2) / (entries - 1);
        const std::uint8_t value = gamma[static_cast<std::size_t>(level)];
        header.ColorTable()[static_cast<std::size_t>(index)] = RgbQuad{value, value, value, 0};
    }
}

// Where the filtered rows come from: the whole image data inflated at once, unfiltered in place, or the
// row-by-row reader with two row buffers. Each row is its filter type byte, then the row; the previous
// row is what the filters of the current one refer to.
class RowSource {
public:
    RowSource(std::unique_ptr<std::uint8_t[]> whole, ImageDataReader* reader, std::size_t largestRow)
        : whole_(std::move(whole)), reader_(reader), zeros_(largestRow), previous_(zeros_.data()) {
        if (reader_ != nullptr) {
            for (auto& buffer : buffers_) buffer.resize(largestRow);
        }
    }
    // The next row of count bytes, or nullptr when the image data ends first.
    std::uint8_t* Next(std::size_t count) {
        if (reader_ == nullptr) {
            // The inflated data was checked to hold every row.
            std::uint8_t* row = whole_.get() + position_;
            position_ += count;
            return row;
        }
        std::uint8_t* row = buffers_[current_].data();
        if (!reader_->ReadRow(row, count)) return nullptr;
        current_ = 1 - current_;
        return row;
    }
    // The row before the last one Next gave, all zeros at the start of a pass.
    const std::uint8_t* Previous() const { return previous_; }
    void Done(const std::uint8_t* row) { previous_ = row; }
    void StartPass() { previous_ = zeros_.data(); }

private:
    std::unique_ptr<std::uint8_t[]> whole_;
    std::size_t position_ = 0;
    ImageDataReader* reader_;
    std::array<std::vector<std::uint8_t>, 2> buffers_;
    int current_ = 0;
    std::vector<std::uint8_t> zeros_;
    const std::uint8_t* previous_;
};

struct DecodeJob {
    TChunkIHDR& header;
    RowSource& rows;
    RowConversion conversion;
    std::uint32_t distance;
};

void DecodeRowsInOrder(DecodeJob& job) {
    TChunkIHDR& header = job.header;
    const RowConverter convert = ChooseRowConverter(header.colorType, header.bitDepth);
    const auto rowBytes =
        static_cast<std::size_t>(RowByteCount(header.colorType, header.bitDepth, header.width));
    std::uint8_t* alpha = header.AlphaPlane().empty() ? nullptr : header.AlphaPlane().data();
    for (std::uint32_t y = 0; y < header.height; ++y) {
        std::uint8_t* row = job.rows.Next(rowBytes + 1);
        if (row == nullptr) return;
        UnfilterRow(row[0], row + 1, job.rows.Previous() + 1, rowBytes, job.distance);
        convert(row + 1, header.ScanLine(y), alpha, job.conversion);
        job.rows.Done(row);
        if (alpha != nullptr) alpha += header.width;
    }
}

void DecodeAdam7(DecodeJob& job) {
    TChunkIHDR& header = job.header;
    const PassConverter convert = ChoosePassConverter(header.colorType, header.bitDepth);
    std::vector<std::uint8_t>& alphaPlane = header.AlphaPlane();
    for (const Adam7Pass& pass : kAdam7Passes) {
        const auto rowBytes = static_cast<std::size_t>(
            RowByteCount(header.colorType, header.bitDepth, PassWidth(pass, header.width)));
        job.rows.StartPass();
        if (rowBytes == 0) continue;
        for (std::uint32_t y = pass.rowStart; y < header.height; y += pass.rowStep) {
            std::uint8_t* row = job.rows.Next(rowBytes + 1);
            if (row == nullptr) return;
            UnfilterRow(row[0], row + 1, job.rows.Previous() + 1, rowBytes, job.distance);
            std::uint8_t* alpha =
                alphaPlane.empty() ? nullptr : alphaPlane.data() + std::size_t{y} * header.width;
            convert(row + 1, header.ScanLine(y), alpha, job.conversion, pass);
            job.rows.Done(row);
        }
    }
}

}  // namespace

bool TChunkIDAT::Load(Stream& stream, const ChunkType& type, std::uint32_t length) {
    TChunkIHDR& header = Header();
    // The header's load refuses every picture it could not build a buffer for.
    if (!header.HasImageBuffer()) throw EPngInvalidIHDR();
    const auto& gamma = Owner()->GammaTable();
    if (header.HasColorTable() && (header.colorType == kColorGrey || header.colorType == kColorGreyAlpha)) {
        FillGreyRamp(header, gamma);
    }

    const bool adam7 = header.interlaceMethod == 1;
    auto whole = InflateWholeImageData(
        stream, type, length,
        FilteredImageBytes(header.colorType, header.bitDepth, header.width, header.height, adam7));
    std::optional<ImageDataReader> reader;
    if (!whole) reader.emplace(stream, type, length);
    RowSource rows(
        std::move(whole), reader ? &*reader : nullptr,
        static_cast<std::size_t>(RowByteCount(header.colorType, header.bitDepth, header.width)) + 1);
    bool identity = true;
    for (std::size_t index = 0; index < gamma.size(); ++index) identity = identity && gamma[index] == index;
    DecodeJob job{header, rows, RowConversion{header.width, header.bitDepth, gamma.data(), identity},
                  PixelDistance(header.colorType, header.bitDepth)};
    if (adam7) {
        DecodeAdam7(job);
    } else {
        DecodeRowsInOrder(job);
    }
    if (reader) reader->Finish();
    return true;
}

}  // namespace flipbook
