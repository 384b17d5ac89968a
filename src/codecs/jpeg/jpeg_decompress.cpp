// SPDX-License-Identifier: GPL-3.0-or-later
// Decompression: from the JPEG form to the cached Bitmap.

#include <jerror.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
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
    CmykToCube,  // four-component output converted to the nearest colour of a 6 x 6 x 6 cube
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

Rgb CmykColour(const std::uint8_t* cmyk, bool inverted) {
    const unsigned flip = inverted ? 0 : 255;
    const unsigned k = cmyk[3] ^ flip;
    return Rgb{Scale255(cmyk[0] ^ flip, k), Scale255(cmyk[1] ^ flip, k), Scale255(cmyk[2] ^ flip, k)};
}

void CmykToBgr(const std::uint8_t* cmyk, std::uint8_t* bgr, unsigned width, bool inverted) {
    for (unsigned x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
        const Rgb colour = CmykColour(cmyk, inverted);
        bgr[0] = colour.blue;
        bgr[1] = colour.green;
        bgr[2] = colour.red;
    }
}

void CmykToGrey(const std::uint8_t* cmyk, std::uint8_t* grey, unsigned width, bool inverted) {
    for (unsigned x = 0; x < width; ++x, cmyk += 4) {
        const Rgb colour = CmykColour(cmyk, inverted);
        const unsigned luminance = (299 * colour.red + 587 * colour.green + 114 * colour.blue + 500) / 1000;
        grey[x] = static_cast<std::uint8_t>((luminance * (kQuantizedColors - 1) + 127) / 255);
    }
}

constexpr int kCubeLevels = 6;

void CmykToCube(const std::uint8_t* cmyk, std::uint8_t* indexes, unsigned width, bool inverted) {
    const auto level = [](unsigned value) { return (value * (kCubeLevels - 1) + 127) / 255; };
    for (unsigned x = 0; x < width; ++x, cmyk += 4) {
        const Rgb colour = CmykColour(cmyk, inverted);
        indexes[x] = static_cast<std::uint8_t>(
            (level(colour.red) * kCubeLevels + level(colour.green)) * kCubeLevels + level(colour.blue));
    }
}

std::vector<RgbQuad> CubeColours() {
    std::vector<RgbQuad> colours;
    const auto value = [](int level) { return static_cast<std::uint8_t>(level * 255 / (kCubeLevels - 1)); };
    for (int red = 0; red < kCubeLevels; ++red)
        for (int green = 0; green < kCubeLevels; ++green)
            for (int blue = 0; blue < kCubeLevels; ++blue)
                colours.push_back(RgbQuad{value(blue), value(green), value(red), 0});
    return colours;
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
        else if (target.conversion == RowConversion::CmykToCube)
            CmykToCube(target.cmykRow, row, info.output_width, target.invertedCmyk);
    }
}

// What decompression makes, chosen from the header and the settings.
struct OutputPlan {
    RowConversion conversion = RowConversion::None;
    bool quantize = false;   // the library maps pixels to a palette
    bool eightBit = false;   // the Bitmap's format: 8-bit with a palette, else 24-bit
    bool colourMap = false;  // a palette given to the object may be used (three-component output)
};

// Sets the library's output parameters from the settings.
OutputPlan PlanOutput(jpeg_decompress_struct& info, const TJPEGSettings& settings) {
    info.scale_num = 1;
    info.scale_denom = 1U << std::clamp(settings.scale, 0, 3);
    info.do_block_smoothing = settings.smoothing ? TRUE : FALSE;

    OutputPlan plan;
    // The library cannot turn four components into red, green and blue: it gives CMYK, we convert.
    const bool fourComponents = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    if (fourComponents)
        info.out_color_space = JCS_CMYK;
    else if (settings.grayscale)
        info.out_color_space = JCS_GRAYSCALE;
    const bool grey = info.out_color_space == JCS_GRAYSCALE;
    plan.quantize = !fourComponents && (settings.pixelFormat == JPEGPixelFormat::Bit8 || grey);
    plan.eightBit = plan.quantize;
    if (fourComponents) {
        // The library's quantizer would work on the inks, three or four levels of each; converted
        // colours go to a colour cube instead.
        if (settings.grayscale)
            plan.conversion = RowConversion::CmykToGrey;
        else if (settings.pixelFormat == JPEGPixelFormat::Bit8)
            plan.conversion = RowConversion::CmykToCube;
        else
            plan.conversion = RowConversion::CmykToBgr;
        plan.eightBit = plan.conversion != RowConversion::CmykToBgr;
    }
    if (!fourComponents && !grey) {
        // Quantized pixels are palette indexes, so their component order does not matter and the palette
        // is easiest read as red, green, blue. Full-colour rows come in the Bitmap's own order.
        info.out_color_space = plan.quantize ? JCS_RGB : JCS_EXT_BGR;
        plan.colourMap = plan.quantize;
    }
    if (plan.quantize) {
        info.quantize_colors = TRUE;
        info.desired_number_of_colors = kQuantizedColors;
    }
    if (settings.performance == JPEGPerformance::Fast) {
        info.dct_method = JDCT_IFAST;
        info.two_pass_quantize = FALSE;
        info.dither_mode = JDITHER_ORDERED;
    }
    return plan;
}

// Gives the library a palette to quantize to. Runs inside Guard().
void UseColourMap(jpeg_decompress_struct& info, const std::vector<RgbQuad>& palette) {
    const int count = static_cast<int>(palette.size());
    info.colormap = (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE,
                                              static_cast<JDIMENSION>(count), 3);
    for (int index = 0; index < count; ++index) {
        info.colormap[0][index] = palette[static_cast<std::size_t>(index)].red;
        info.colormap[1][index] = palette[static_cast<std::size_t>(index)].green;
        info.colormap[2][index] = palette[static_cast<std::size_t>(index)].blue;
    }
    info.actual_number_of_colors = count;
}

// The palette of the colour map the library chose, for grey, red-green-blue or CMYK output.
std::vector<RgbQuad> DecoderPalette(const jpeg_decompress_struct& info, bool invertedCmyk) {
    std::vector<RgbQuad> palette(static_cast<std::size_t>(info.actual_number_of_colors));
    for (std::size_t index = 0; index < palette.size(); ++index) {
        Rgb colour;
        if (info.out_color_components == 1) {
            colour = Rgb{info.colormap[0][index], info.colormap[0][index], info.colormap[0][index]};
        } else if (info.out_color_components == 4) {
            const std::uint8_t cmyk[4] = {info.colormap[0][index], info.colormap[1][index],
                                          info.colormap[2][index], info.colormap[3][index]};
            colour = CmykColour(cmyk, invertedCmyk);
        } else {
            colour = Rgb{info.colormap[0][index], info.colormap[1][index], info.colormap[2][index]};
        }
        palette[index] = RgbQuad{colour.blue, colour.green, colour.red, 0};
    }
    return palette;
}

// Rows of the Bitmap from the top, whichever order it keeps them in.
RowTarget RowsOf(Bitmap& bitmap) {
    RowTarget target;
    target.top = bitmap.MutablePixels();
    target.step = static_cast<std::ptrdiff_t>(bitmap.RowStride());
    if (!bitmap.TopDown()) {
        target.top += target.step * (bitmap.Height() - 1);
        target.step = -target.step;
    }
    return target;
}

// Refuses an output too big to hold, or bigger than the file's data can justify, before the library or
// the Bitmap allocates anything for it. scanBytes: the bytes after the header.
void CheckOutputSize(const jpeg_decompress_struct& info, bool eightBit, std::uint64_t scanBytes) {
    const unsigned bytesPerPixel = eightBit ? 1 : 3;
    const auto stride = RowStride(info.output_width, 8 * bytesPerPixel);
    const auto pixelBytes = stride ? CheckedMultiply(*stride, info.output_height) : std::nullopt;
    if (!pixelBytes || *pixelBytes > kMaxPixelBytes || info.output_width > kMaxPictureSide ||
        info.output_height > kMaxPictureSide)
        throw EJPEG(JERR_IMAGE_TOO_BIG);
    // A truncated file would decode into a picture of grey blocks of any size it claims.
    if (*pixelBytes > JpegJustifiedOutputBytes(scanBytes, bytesPerPixel)) throw EJPEG(JERR_INPUT_EOF);
}

// The settings the last pass of buffered mode returns to.
struct FinalPass {
    J_DCT_METHOD dctMethod;
    boolean twoPassQuantize;
    J_DITHER_MODE ditherMode;
};

// Buffered mode: an output pass for each scan as it arrives, then a final pass with the final settings.
void DecodeScanByScan(jpeg_detail::DecompressSession& session, const RowTarget& target,
                      const FinalPass& final, const std::function<void()>& takeDecoderPalette) {
    jpeg_decompress_struct& info = session.info;
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
    info.dct_method = final.dctMethod;
    info.dither_mode = final.ditherMode;
    if (final.twoPassQuantize) {
        info.two_pass_quantize = TRUE;
        info.colormap = nullptr;
    }
    session.Guard([&] { jpeg_start_output(&info, info.input_scan_number); });
    if (final.twoPassQuantize) takeDecoderPalette();
    session.Guard([&] {
        ReadRows(info, target);
        jpeg_finish_output(&info);
    });
}

}  // namespace

void TJPEGImage::DecompressInto(Bitmap& bitmap) const {
    static const std::vector<std::uint8_t> noBytes;
    jpeg_detail::DecompressSession session(this, data_->data ? data_->data->Bytes() : noBytes);
    jpeg_decompress_struct& info = session.info;
    try {
        session.ReadHeader();
        const std::uint64_t scanBytes = info.src->bytes_in_buffer;
        const OutputPlan plan = PlanOutput(info, settings_);
        const FinalPass final{info.dct_method, info.two_pass_quantize, info.dither_mode};
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
        Progress(ProgressStage::Starting, 0, false, Rect{});

        std::vector<RgbQuad> bitmapPalette;
        const bool paletteUsed = palette_ && plan.colourMap && !palette_->empty();
        if (paletteUsed) {
            bitmapPalette.assign(palette_->begin(),
                                 palette_->begin() + std::min<std::size_t>(palette_->size(), 256));
            session.Guard([&] { UseColourMap(info, bitmapPalette); });
        } else if (palette_ && !plan.eightBit) {
            palette_.reset();
        }
        if (plan.conversion == RowConversion::CmykToGrey) bitmapPalette = GreyLevels();
        if (plan.conversion == RowConversion::CmykToCube) bitmapPalette = CubeColours();

        session.Guard([&] { jpeg_calc_output_dimensions(&info); });
        CheckOutputSize(info, plan.eightBit, scanBytes);
        std::vector<std::uint8_t> cmykRow(
            plan.conversion != RowConversion::None ? std::size_t{info.output_width} * 4 : 0);
        session.Guard([&] { jpeg_start_decompress(&info); });

        BitmapInfoHeader header;
        header.width = static_cast<std::int32_t>(info.output_width);
        header.height = static_cast<std::int32_t>(info.output_height);
        header.bitCount = plan.eightBit ? 8 : 24;
        bitmap.CreateSection(header, ColorMasks{}, bitmapPalette);
        RowTarget target = RowsOf(bitmap);
        target.conversion = plan.conversion;
        target.cmykRow = cmykRow.data();
        target.invertedCmyk = info.saw_Adobe_marker != FALSE;
        // Taking the pixels pads a palette to 256 entries; give the Bitmap exactly its palette again.
        if (plan.eightBit) bitmap.SetColorTable(bitmapPalette);

        const auto takeDecoderPalette = [&] {
            if (info.colormap == nullptr || paletteUsed || !plan.eightBit) return;
            bitmap.SetColorTable(DecoderPalette(info, target.invertedCmyk));
            paletteModified_ = true;
        };
        if (buffered) {
            DecodeScanByScan(session, target, final, takeDecoderPalette);
        } else {
            takeDecoderPalette();
            session.Guard([&] { ReadRows(info, target); });
        }
        session.Guard([&] { jpeg_finish_decompress(&info); });
    } catch (...) {
        Progress(ProgressStage::Ending, 0, false, Rect{});
        throw;
    }
    Progress(ProgressStage::Ending, 100, paletteModified_, Rect{});
    if (paletteModified_) Changed();
}

}  // namespace flipbook
