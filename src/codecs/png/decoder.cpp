// Decoding the image data into the header chunk's image buffer.
#include <utility>
#include <vector>

#include "codecs/png/data_chunk.h"
#include "codecs/png/header_chunk.h"
#include "codecs/png/image_data_reader.h"
#include "codecs/png/png_errors.h"
#include "codecs/png/png_object.h"
#include "codecs/png/row_converters.h"
#include "codecs/png/row_filters.h"

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

// The two row buffers: byte 0 the filter type, then the row. The previous row is what the filters
// of the current one refer to.
class RowPair {
public:
    explicit RowPair(std::size_t size)
        : buffers_{std::vector<std::uint8_t>(size), std::vector<std::uint8_t>(size)} {}
    std::uint8_t* Current() { return buffers_[current_].data(); }
    std::uint8_t* Previous() { return buffers_[1 - current_].data(); }
    void Swap() { current_ = 1 - current_; }
    void ClearPrevious(std::size_t count) { std::fill_n(Previous(), count, std::uint8_t{0}); }

private:
    std::vector<std::uint8_t> buffers_[2];
    int current_ = 1;
};

struct DecodeJob {
    TChunkIHDR& header;
    ImageDataReader& reader;
    RowPair& rows;
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
        std::uint8_t* row = job.rows.Current();
        if (!job.reader.ReadRow(row, rowBytes + 1)) return;
        UnfilterRow(row[0], row + 1, job.rows.Previous() + 1, rowBytes, job.distance);
        convert(row + 1, header.ScanLine(y), alpha, job.conversion);
        job.rows.Swap();
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
        job.rows.ClearPrevious(rowBytes + 1);
        if (rowBytes == 0) continue;
        for (std::uint32_t y = pass.rowStart; y < header.height; y += pass.rowStep) {
            std::uint8_t* row = job.rows.Current();
            if (!job.reader.ReadRow(row, rowBytes + 1)) return;
            UnfilterRow(row[0], row + 1, job.rows.Previous() + 1, rowBytes, job.distance);
            std::uint8_t* alpha =
                alphaPlane.empty() ? nullptr : alphaPlane.data() + std::size_t{y} * header.width;
            convert(row + 1, header.ScanLine(y), alpha, job.conversion, pass);
            job.rows.Swap();
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

    ImageDataReader reader(stream, type, length);
    RowPair rows(static_cast<std::size_t>(RowByteCount(header.colorType, header.bitDepth, header.width)) + 1);
    bool identity = true;
    for (std::size_t index = 0; index < gamma.size(); ++index) identity = identity && gamma[index] == index;
    DecodeJob job{header, reader, rows, RowConversion{header.width, header.bitDepth, gamma.data(), identity},
                  PixelDistance(header.colorType, header.bitDepth)};
    if (header.interlaceMethod == 1) {
        DecodeAdam7(job);
    } else {
        DecodeRowsInOrder(job);
    }
    reader.Finish();
    return true;
}

}  // namespace flipbook
