// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <thread>

#include "codecs/png/chunk.h"
#include "codecs/png/png_list.h"
#include "platform/graphics/bitmap_types.h"
#include "platform/graphics/picture.h"

namespace flipbook {

class TChunkIHDR;

// How a loaded picture is transparent: not at all, through one fully transparent colour, or per pixel.
enum class PngTransparencyMode { None, SingleColor, Partial };

// A logical palette: 256 colours built from the header's colour table.
using PngPalette = std::array<Rgb, 256>;

// One PNG picture held as its chunks in stream order; entry 0 is the header chunk, which holds the
// decoded pixels. Loading reads and checks a whole PNG stream; assigning from a Bitmap and saving
// write one. Failures raise the PNG exception classes of png_errors.h.
class TPNGObject : public Picture {
public:
    TPNGObject();
    ~TPNGObject() override;
    TPNGObject(const TPNGObject&) = delete;
    TPNGObject& operator=(const TPNGObject&) = delete;

    // Clears the object, then reads the signature and every chunk up to "IEND". After a failure the
    // chunks read so far, the failing one included, stay in the list.
    void LoadFromStream(Stream& stream) override;
    // Writes the signature and every chunk in list order.
    void SaveToStream(Stream& stream) const override;
    // Replaces the content with the Bitmap's picture (8-bit truecolour for 16 bits and more, a palette
    // picture for fewer); a transparent Bitmap adds a "tRNS" chunk for its transparent colour.
    void AssignFromBitmap(const Bitmap& source) override;
    void AssignFromBitmap(const Bitmap& source, bool transparent, Rgb transparentColor);
    // Writes the image buffer into the Bitmap: 1, 4, 8 or 24 bits with the colour table. Raises
    // EPNGHeaderNotPresent without a header.
    void AssignTo(Bitmap& target) const override;
    void AssignTo(TPNGObject& target) const;
    // Copies the encoder settings and every chunk of another object.
    void Assign(const TPNGObject& source);

    // The clipboard's PNG format: the picture drawn into a truecolour Bitmap of its size (transparent
    // parts over white), written as PNG. Raises as saving does.
    void SaveToClipboardFormat(Stream& stream) const;
    // Replaces the content with the picture of clipboard PNG data, through a Bitmap and without
    // transparency. Raises as loading does, leaving the content as it was.
    void LoadFromClipboardFormat(Stream& stream);

    int Width() const override;
    int Height() const override;
    // Always raise EPngError: a PNG picture is resized by assigning it from a Bitmap.
    void SetWidth(int width);
    void SetHeight(int height);
    // True when there are no chunks.
    bool Empty() const override;
    // Draws stretched into the rectangle; partially transparent pictures are blended at their own
    // size at the rectangle's top-left corner. Does nothing without a header.
    void Draw(Canvas& canvas, const Rect& rectangle) const override;

    // Entry 0 of the chunk list as a header; EPNGHeaderNotPresent when it is not one.
    TChunkIHDR& Header() const;
    bool HasHeader() const;
    // Frees every chunk and the cached palette, and makes both gamma tables the identity.
    void Clear();
    TPNGList& Chunks() { return chunks_; }
    const TPNGList& Chunks() const { return chunks_; }

    PngTransparencyMode TransparencyMode() const;
    bool Transparent() const { return TransparencyMode() != PngTransparencyMode::None; }
    // The colour that single-colour transparency makes transparent; black without a "tRNS" chunk.
    Rgb TransparentColor() const;
    // The palette colour of an index (EPngError when the palette has no such entry).
    Rgb PaletteColor(std::uint32_t index) const;
    // The logical palette of greyscale and palette pictures, built on first request; none otherwise.
    const PngPalette* Palette() const;
    void ReleasePalette() { palette_.reset(); }
    // The colour of a pixel (black outside the picture); setting one outside does nothing.
    Rgb Pixel(int x, int y) const;
    void SetPixel(int x, int y, Rgb color);
    // Image row y (from the top, below the height) of the image buffer.
    std::uint8_t* ScanLine(int y);

    // Encoder settings.
    std::uint8_t FilterSet() const { return filterSet_; }
    void SetFilterSet(std::uint8_t filterSet) { filterSet_ = filterSet; }
    std::uint8_t CompressionLevel() const { return compressionLevel_; }
    void SetCompressionLevel(std::uint8_t level) { compressionLevel_ = level; }
    std::uint32_t MaxIdatSize() const { return maxIdatSize_; }
    // Stores the size, but never less than 65535.
    void SetMaxIdatSize(std::uint32_t size);
    std::uint8_t InterlaceMethod() const { return interlaceMethod_; }
    void SetInterlaceMethod(std::uint8_t method) { interlaceMethod_ = method; }
    // The threads that compress the image data at once, by default one per core. With one thread, or
    // a picture too small to be worth cutting, the data is one plain zlib stream.
    unsigned CompressionThreads() const { return compressionThreads_; }
    void SetCompressionThreads(unsigned threads) { compressionThreads_ = std::max(threads, 1u); }

    std::array<std::uint8_t, 256>& GammaTable() { return gamma_; }
    const std::array<std::uint8_t, 256>& GammaTable() const { return gamma_; }
    std::array<std::uint8_t, 256>& InverseGammaTable() { return inverseGamma_; }
    const std::array<std::uint8_t, 256>& InverseGammaTable() const { return inverseGamma_; }

private:
    void ResetGammaTables();

    TPNGList chunks_;
    std::array<std::uint8_t, 256> gamma_{};
    std::array<std::uint8_t, 256> inverseGamma_{};
    mutable std::optional<PngPalette> palette_;
    std::uint8_t filterSet_ = 2;
    std::uint8_t compressionLevel_ = 7;
    std::uint32_t maxIdatSize_ = 65535;
    std::uint8_t interlaceMethod_ = 0;
    unsigned compressionThreads_ = std::max(std::thread::hardware_concurrency(), 1u);
};

// Registers the chunk classes and the "PNG" picture format; done once at start-up, safe to repeat.
void RegisterPngClasses();

}  // namespace flipbook
