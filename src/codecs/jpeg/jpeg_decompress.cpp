// Decompression: from the JPEG form to the cached Bitmap.

#include <jerror.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "codecs/jpeg/jpeg_image.h"
#include "codecs/jpeg/jpeg_session.h"
#include "platform/core/limits.h"

namespace flipbook {

namespace {

// Colour quantization never uses more entries than this, leaving room for the system's own colours.
constexpr int kQuantizedColors = 236;

// How library rows become Bitmap rows.
enum class RowConversion {
    None,        // the library writes the Bitmap's own pixels
    CmykToBgr,   // four-component output converted to blue, green, red
    CmykToGrey,  // four-component output converted to quantized grey levels
};

// Where the rows go: the top row of the picture and the signed distance between rows.
struct RowTarget {
    std::uint8_t* top = nullptr;
    std::ptrdiff_t step = 0;
    RowConversion conversion = RowConversion::None;
    std::uint8_t* cmykRow = nullptr;  // one library row of four-component pixels
    // Adobe writers store CMYK inverted (255 means no ink); others store it as ink amounts.
    bool invertedCmyk = false;
};

// c * k / 255, rounded.
inline std::uint8_t Scale255(unsigned c, unsigned k) {
    return static_cast<std::uint8_t>((c * k * 2 + 255) / 510);
}

void CmykToBgr(const std::uint8_t* cmyk, std::uint8_t* bgr, unsigned width, bool inverted) {
    const unsigned flip = inverted ? 0 : 255;
    for (unsigned x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
        const unsigned k = cmyk[3] ^ flip;
        bgr[0] = Scale255(cmyk[2] ^ flip, k);
        bgr[1] = Scale255(cmyk[1] ^ flip, k);
        bgr[2] = Scale255(cmyk[0] ^ flip, k);
    }
}

void CmykToGrey(const std::uint8_t* cmyk, std::uint8_t* grey, unsigned width, bool inverted) {
    const unsigned flip = inverted ? 0 : 255;
    for (unsigned x = 0; x < width; ++x, cmyk += 4) {
        const unsigned k = cmyk[3] ^ flip;
        const unsigned luminance = (299 * Scale255(cmyk[0] ^ flip, k) + 587 * Scale255(cmyk[1] ^ flip, k) +
                                    114 * Scale255(cmyk[2] ^ flip, k) + 500) /
                                   1000;
        grey[x] = static_cast<std::uint8_t>((luminance * (kQuantizedColors - 1) + 127) / 255);
    }
}

std::vector<RgbQuad> GreyLevels() {
    std::vector<RgbQuad> levels(kQuantizedColors);
    for (int index = 0; index < kQuantizedColors; ++index) {
        const auto v =
            static_cast<std::uint8_t>((index * 255 + (kQuantizedColors - 1) / 2) / (kQuantizedColors - 1));
        levels[static_cast<std::size_t>(index)] = RgbQuad{v, v, v, 0};
    }
    return levels;
}

// Reads rows from the current output row to the bottom. Runs inside Guard(): no objects with destructors.
void ReadRows(jpeg_decompress_struct& info, const RowTarget& target) {
    while (info.output_scanline < info.output_height) {
        std::uint8_t* row = target.top + target.step * static_cast<std::ptrdiff_t>(info.output_scanline);
        JSAMPROW libraryRow = target.conversion == RowConversion::None ? row : target.cmykRow;
        if (jpeg_read_scanlines(&info, &libraryRow, 1) != 1) ERREXIT(&info, JERR_TOO_LITTLE_DATA);
        if (target.conversion == RowConversion::CmykToBgr)
            CmykToBgr(target.cmykRow, row, info.output_width, target.invertedCmyk);
        else if (target.conversion == RowConversion::CmykToGrey)
            CmykToGrey(target.cmykRow, row, info.output_width, target.invertedCmyk);
    }
}

}  // namespace

void TJPEGImage::DecompressInto(Bitmap& bitmap) const {
    static const std::vector<std::uint8_t> noBytes;
    jpeg_detail::DecompressSession session(this, data_->data ? data_->data->Bytes() : noBytes);
    jpeg_decompress_struct& info = session.info;
    try {
        session.ReadHeader();

        info.scale_num = 1;
        info.scale_denom = 1U << std::clamp(settings_.scale, 0, 3);
        info.do_block_smoothing = settings_.smoothing ? TRUE : FALSE;
        // The library cannot turn four components into red, green and blue; we convert CMYK ourselves.
        const bool fourComponents = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
        RowConversion conversion = RowConversion::None;
        if (fourComponents) {
            info.out_color_space = JCS_CMYK;
            conversion = settings_.grayscale ? RowConversion::CmykToGrey : RowConversion::CmykToBgr;
        } else if (settings_.grayscale) {
            info.out_color_space = JCS_GRAYSCALE;
        }
        const bool grey = info.out_color_space == JCS_GRAYSCALE;
        const bool quantize = !fourComponents && (settings_.pixelFormat == JPEGPixelFormat::Bit8 || grey);
        if (!fourComponents && !grey) {
            // Quantized pixels are palette indexes, so their component order does not matter; the palette
            // is easiest read from red, green, blue. Full-colour rows come in the Bitmap's own order.
            info.out_color_space = quantize ? JCS_RGB : JCS_EXT_BGR;
        }
        if (quantize) {
            info.quantize_colors = TRUE;
            info.desired_number_of_colors = kQuantizedColors;
        }
        if (settings_.performance == JPEGPerformance::Fast) {
            info.dct_method = JDCT_IFAST;
            info.two_pass_quantize = FALSE;
            info.dither_mode = JDITHER_ORDERED;
        }
        const J_DCT_METHOD finalDctMethod = info.dct_method;
        const boolean finalTwoPass = info.two_pass_quantize;
        const J_DITHER_MODE finalDither = info.dither_mode;

        bool buffered = false;
        if (settings_.progressiveDisplay) {
            session.Guard([&] { buffered = jpeg_has_multiple_scans(&info) != FALSE; });
        }
        if (buffered) {
            // Early scans are shown quickly; the final pass uses the settings remembered above.
            info.enable_2pass_quant = info.two_pass_quantize;
            info.dct_method = JDCT_IFAST;
            info.two_pass_quantize = FALSE;
            info.dither_mode = JDITHER_ORDERED;
            info.buffered_image = TRUE;
        }
        const bool eightBit = quantize || conversion == RowConversion::CmykToGrey;
        Progress(ProgressStage::Starting, 0, false, Rect{});

        // A palette to quantize to works only for colour output; grey output has its own levels.
        std::vector<RgbQuad> bitmapPalette;
        bool paletteUsed = false;
        if (palette_ && quantize && !grey && !palette_->empty()) {
            bitmapPalette.assign(palette_->begin(),
                                 palette_->begin() + std::min<std::size_t>(palette_->size(), 256));
            const int count = static_cast<int>(bitmapPalette.size());
            session.Guard([&] {
                info.colormap = (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE,
                                                          static_cast<JDIMENSION>(count), 3);
            });
            for (int index = 0; index < count; ++index) {
                const RgbQuad& entry = bitmapPalette[static_cast<std::size_t>(index)];
                info.colormap[0][index] = entry.red;
                info.colormap[1][index] = entry.green;
                info.colormap[2][index] = entry.blue;
            }
            info.actual_number_of_colors = count;
            paletteUsed = true;
        } else if (palette_ && !eightBit) {
            palette_.reset();
        }
        if (conversion == RowConversion::CmykToGrey) bitmapPalette = GreyLevels();

        // Refuse a picture too big to hold before the library or the Bitmap allocates anything for it.
        session.Guard([&] { jpeg_calc_output_dimensions(&info); });
        const auto stride = RowStride(info.output_width, eightBit ? 8 : 24);
        const auto pixelBytes = stride ? CheckedMultiply(*stride, info.output_height) : std::nullopt;
        if (!pixelBytes || *pixelBytes > kMaxPixelBytes || info.output_width > kMaxPictureSide ||
            info.output_height > kMaxPictureSide)
            throw EJPEG(JERR_IMAGE_TOO_BIG);
        std::vector<std::uint8_t> cmykRow(fourComponents ? std::size_t{info.output_width} * 4 : 0);

        session.Guard([&] { jpeg_start_decompress(&info); });

        BitmapInfoHeader header;
        header.width = static_cast<std::int32_t>(info.output_width);
        header.height = static_cast<std::int32_t>(info.output_height);
        header.bitCount = eightBit ? 8 : 24;
        bitmap.CreateSection(header, ColorMasks{}, bitmapPalette);
        RowTarget target;
        target.top = bitmap.MutablePixels();
        target.step = static_cast<std::ptrdiff_t>(bitmap.RowStride());
        if (!bitmap.TopDown()) {
            target.top += target.step * (bitmap.Height() - 1);
            target.step = -target.step;
        }
        target.conversion = conversion;
        target.cmykRow = cmykRow.data();
        target.invertedCmyk = info.saw_Adobe_marker != FALSE;
        // Taking the pixels pads a palette to 256 entries; give the Bitmap exactly its palette again.
        if (eightBit) bitmap.SetColorTable(bitmapPalette);

        auto takeDecoderPalette = [&] {
            if (info.colormap == nullptr || paletteUsed || !eightBit) return;
            std::vector<RgbQuad> palette(static_cast<std::size_t>(info.actual_number_of_colors));
            const bool greyMap = info.out_color_components == 1;
            for (std::size_t index = 0; index < palette.size(); ++index) {
                const std::uint8_t red = info.colormap[0][index];
                palette[index] = greyMap ? RgbQuad{red, red, red, 0}
                                         : RgbQuad{info.colormap[2][index], info.colormap[1][index], red, 0};
            }
            bitmap.SetColorTable(std::move(palette));
            paletteModified_ = true;
        };

        if (!buffered) {
            takeDecoderPalette();
            session.Guard([&] { ReadRows(info, target); });
        } else {
            bool firstPass = true;
            for (;;) {
                int status = 0;
                session.Guard([&] { status = jpeg_consume_input(&info); });
                if (status == JPEG_REACHED_EOI) break;
                if (info.input_scan_number > jpeg_detail::kMaxJPEGScans) throw EJPEG(JERR_BAD_PROGRESSION);
                session.Guard([&] { jpeg_start_output(&info, info.input_scan_number); });
                if (firstPass) takeDecoderPalette();
                firstPass = false;
                session.Guard([&] {
                    ReadRows(info, target);
                    jpeg_finish_output(&info);
                });
            }
            info.dct_method = finalDctMethod;
            info.dither_mode = finalDither;
            if (finalTwoPass) {
                info.two_pass_quantize = TRUE;
                info.colormap = nullptr;
            }
            session.Guard([&] { jpeg_start_output(&info, info.input_scan_number); });
            if (finalTwoPass) takeDecoderPalette();
            session.Guard([&] {
                ReadRows(info, target);
                jpeg_finish_output(&info);
            });
        }
        session.Guard([&] { jpeg_finish_decompress(&info); });
        if (settings_.pixelFormat == JPEGPixelFormat::Bit8 && conversion == RowConversion::CmykToBgr)
            bitmap.SetPixelFormat(PixelFormat::Bit8);
    } catch (...) {
        Progress(ProgressStage::Ending, 0, false, Rect{});
        throw;
    }
    Progress(ProgressStage::Ending, 100, paletteModified_, Rect{});
    if (paletteModified_) Changed();
}

}  // namespace flipbook
