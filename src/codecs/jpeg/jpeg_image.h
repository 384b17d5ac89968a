// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/core/exception.h"
#include "platform/core/limits.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/bitmap_types.h"
#include "platform/graphics/picture.h"
#include "platform/graphics/stream.h"

namespace flipbook {

// Any failure of the JPEG library: "JPEG error #%d" with the library's own message code.
class EJPEG : public EInvalidGraphic {
public:
    explicit EJPEG(int messageCode);
    int MessageCode() const { return messageCode_; }

private:
    int messageCode_;
};

// The format of the Bitmap that decompression makes.
enum class JPEGPixelFormat { Bit24 = 0, Bit8 = 1 };
// Decompression quality against speed: Fast uses the fast integer transform and ordered dithering.
enum class JPEGPerformance { BestQuality = 0, Fast = 1 };

// The settings of one TJPEGImage; a new object copies them from JPEGDefaults().
struct TJPEGSettings {
    int compressionQuality = 90;
    bool grayscale = false;
    JPEGPerformance performance = JPEGPerformance::BestQuality;
    JPEGPixelFormat pixelFormat = JPEGPixelFormat::Bit24;
    bool progressiveDisplay = false;
    bool progressiveEncoding = false;
    // Decompression gives 1 / 2^scale of the full size; the library shrinks at most 8 times.
    int scale = 0;
    bool smoothing = true;
};

// The process-wide defaults record. Written once at program start, before any object exists.
TJPEGSettings& JPEGDefaults();
// Sets the default pixel format from the screen's colour depth: 8-bit output for screens of at most
// 8 bits per pixel (bits per pixel x planes), 24-bit otherwise.
void SetJPEGDefaultsForScreen(int bitsPerPixel, int planes);

// The largest decoded picture, in bytes at bytesPerPixel, that scanBytes bytes of compressed data after
// the header can justify: every 8 x 8 block of the picture costs at least one bit of Huffman-coded data,
// and files that hold less than their picture needs (truncated ones, arithmetic-coded flat pictures)
// get kMaxUnbackedPixelBytes beyond that.
constexpr std::uint64_t JpegJustifiedOutputBytes(std::uint64_t scanBytes, unsigned bytesPerPixel) {
    constexpr std::uint64_t kPixelsPerByte = 8 * 64;
    return scanBytes * kPixelsPerByte * bytesPerPixel + kMaxUnbackedPixelBytes;
}

// A JPEG image's file form, shared by the TJPEGImage objects assigned from one another.
struct TJPEGData {
    // The complete JPEG file, or nothing when there is no JPEG form yet.
    std::unique_ptr<MemoryStream> data;
    int width = 0;
    int height = 0;
    bool grayscale = false;
};

enum class ProgressStage { Starting, Running, Ending };
// Progress of a compression or decompression. band is the strip of rows decoded since the last report
// (empty while compressing); redrawNow asks for an immediate repaint. A handler may throw EAbort to stop
// the operation silently.
using ProgressHandler =
    std::function<void(ProgressStage stage, int percent, bool redrawNow, const Rect& band)>;

// A picture held as JPEG bytes, as a Bitmap, or both. Compression runs only when bytes are needed
// (saving) and decompression only when a Bitmap is needed (assigning to a Bitmap, drawing); each result
// stays cached until the picture is replaced.
class TJPEGImage : public Picture {
public:
    TJPEGImage();
    ~TJPEGImage() override;
    TJPEGImage(const TJPEGImage&) = delete;
    TJPEGImage& operator=(const TJPEGImage&) = delete;

    // Shares the source's JPEG form and copies its cached Bitmap, if it has one.
    void Assign(const TJPEGImage& source);
    // Drops the JPEG form and keeps a copy of the Bitmap; compression waits until saving.
    void AssignFromBitmap(const Bitmap& source) override;
    // Gives the target the decompressed picture. Raises EJPEG when the data cannot be decoded, also on
    // later calls after such a failure; the target is untouched then. When nothing is decoded yet the
    // picture is decoded for the target alone, not kept here as a second copy.
    void AssignTo(Bitmap& target) const override;
    // The decompressed picture, decoding it on the first call. Raises as AssignTo does.
    const Bitmap& GetBitmap() const;

    // Reads everything from the stream's position to its end and parses the header (no pixels yet).
    // A non-JPEG raises EJPEG; the bytes stay, without a size. Fewer bytes than promised: EReadError.
    void LoadFromStream(Stream& stream) override;
    // Compresses if there is no JPEG form yet and writes the whole form. Raises EJPEG when compression
    // fails (nothing is written then) and EWriteError when the stream takes fewer bytes.
    void SaveToStream(Stream& stream) const override;
    // Makes the JPEG form now if there is none.
    void Compress() const;

    // The picture's persistence inside a container stream: a 32-bit length, then the JPEG form.
    void WriteData(Stream& stream) const;
    void ReadData(Stream& stream);

    int Width() const override;
    int Height() const override;
    bool Empty() const override;
    void Draw(Canvas& canvas, const Rect& rectangle) const override;
    // A JPEG image's size comes from its data: both raise EInvalidGraphicOperation.
    [[noreturn]] void SetWidth(int width);
    [[noreturn]] void SetHeight(int height);

    const TJPEGSettings& Settings() const { return settings_; }
    // Changes take effect on the next compression or decompression; the caches are kept.
    void SetSettings(const TJPEGSettings& settings) { settings_ = settings; }

    // A palette to quantize 8-bit colour output to, in place of one chosen by the library.
    void SetPalette(std::vector<RgbQuad> palette) { palette_ = std::move(palette); }
    const std::optional<std::vector<RgbQuad>>& Palette() const { return palette_; }
    // True when the decoded picture got a new palette since the flag was last cleared.
    bool PaletteModified() const { return paletteModified_; }
    void SetPaletteModified(bool modified) { paletteModified_ = modified; }

    bool HasJPEGForm() const { return data_->data != nullptr; }
    bool HasCachedBitmap() const { return bitmap_ != nullptr; }
    const TJPEGData& Data() const { return *data_; }

    // Raised after the picture changed.
    std::function<void()> OnChange;
    ProgressHandler OnProgress;

    // Reports progress to OnProgress; used by the library plumbing.
    void Progress(ProgressStage stage, int percent, bool redrawNow, const Rect& band) const;

private:
    void NewData();
    void Changed() const;
    void Decompress() const;
    // Decodes into the Bitmap; a silent abort keeps the rows decoded so far and is no failure. Returns
    // any other failure rather than raising it, so the partly decoded picture can be kept.
    std::exception_ptr DecodeInto(Bitmap& bitmap) const;
    void DecompressInto(Bitmap& bitmap) const;
    void CompressInto(std::vector<std::uint8_t>& bytes) const;

    // Mutable like the caches: a compression that is aborted switches to new, empty data.
    mutable std::shared_ptr<TJPEGData> data_;
    // The decompressed picture or the assigned Bitmap; mutable because both caches fill on demand.
    mutable std::unique_ptr<Bitmap> bitmap_;
    // Why the last decompression failed; the partial picture stays cached for drawing.
    mutable std::exception_ptr decodeFailure_;
    mutable std::optional<std::vector<RgbQuad>> palette_;
    mutable bool paletteModified_ = false;
    TJPEGSettings settings_;
};

}  // namespace flipbook
