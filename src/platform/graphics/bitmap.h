// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "platform/graphics/bitmap_types.h"
#include "platform/graphics/pixel_memory.h"

namespace flipbook {

class Canvas;
class Picture;

// A device-independent raster: pixel memory in the file layout of a BMP (rows padded to 4 bytes,
// bottom-up unless the height in the description is negative) with its description beside it: the
// 40-byte info header, three bit-field masks and, for 8 bits or fewer, a colour table of at most 256
// entries. The program works in 24-bit blue, green, red.
//
// A Bitmap is not thread-safe by itself; its canvas carries the lock that threads sharing it take.
class Bitmap {
public:
    Bitmap();
    ~Bitmap();
    // Copies the picture and its description; the canvas and its lock are never shared.
    Bitmap(const Bitmap& other);
    Bitmap& operator=(const Bitmap& other);
    Bitmap(Bitmap&& other) noexcept;
    Bitmap& operator=(Bitmap&& other) noexcept;

    // True when there is no picture (width or height 0).
    bool Empty() const;
    int Width() const { return header_.width; }
    // Always positive; the row order is in Header().height's sign and TopDown().
    int Height() const;
    PixelFormat GetPixelFormat() const;
    int BitsPerPixel() const { return header_.bitCount; }
    bool TopDown() const { return header_.height < 0; }
    // Bytes of one row, a multiple of 4.
    std::size_t RowStride() const { return rowStride_; }

    // Changing the size keeps the top-left part and fills new area with the canvas's brush colour
    // (white unless changed). An empty Bitmap that gets a size becomes 24-bit unless a format was set.
    void SetWidth(int width);
    void SetHeight(int height);
    void SetSize(int width, int height);
    // Converts the pixels: palette formats through their colour table, 15/16 bits and bit fields
    // through their masks. Converting to 1, 4 or 8 bits maps every colour to the nearest entry of a
    // fixed table (black and white, the 16 standard colours, or a 6 x 6 x 6 cube with greys).
    void SetPixelFormat(PixelFormat format);

    // The description beside the pixel memory.
    const BitmapInfoHeader& Header() const { return header_; }
    const ColorMasks& Masks() const { return masks_; }
    const std::vector<RgbQuad>& ColorTable() const { return colorTable_; }
    // Replaces the colour table (at most 256 entries, for 8 bits or fewer); the pixels keep their indexes.
    void SetColorTable(std::vector<RgbQuad> colorTable);
    // Sets the resolutions and colour counts kept from a file until the pixels change.
    void SetFileFields(std::int32_t xPelsPerMeter, std::int32_t yPelsPerMeter, std::uint32_t colorsUsed,
                       std::uint32_t colorsImportant);

    // Makes new zero-filled pixel memory from a description, as a device-independent section: bit count
    // 1, 4, 8, 16, 24 or 32, compression none or bit fields (16 and 32 bits only), planes 1. The
    // header's image size is kept as given. Raises EInvalidGraphic when the description cannot be made
    // or the memory would exceed kMaxPixelBytes; the Bitmap is unchanged then.
    void CreateSection(const BitmapInfoHeader& header, const ColorMasks& masks,
                       std::vector<RgbQuad> colorTable);
    // Writes the leading bytes of new pixel memory: gets the memory and its size, returns how many
    // bytes it wrote.
    using SectionFill = std::function<std::size_t(std::uint8_t* pixels, std::size_t size)>;
    // As CreateSection, then fill writes the new pixel memory and every byte it did not write is zero.
    // Memory of the size already held is reused rather than allocated again, so a section made for
    // every video frame costs one copy. When fill raises, the pixels are all zero and the error
    // passes on.
    void CreateSection(const BitmapInfoHeader& header, const ColorMasks& masks,
                       std::vector<RgbQuad> colorTable, const SectionFill& fill);
    // Makes new white pixel memory in the screen's own 32-bit format (PixelFormat::Device), top-down.
    void CreateDeviceBitmap(int width, int height);
    // Makes the Bitmap empty, dropping pixels and description.
    void Clear();
    // Makes the Bitmap empty, keeping its pixel memory for a next picture: a frame-sized block is
    // then neither freed nor faulted in again.
    void ClearKeepingMemory();

    // The row at the index counted from the top of the picture. The writable form counts as a change
    // of the pixels: colours used and colours important return to 0 and OnChange is raised.
    std::uint8_t* ScanLine(int row);
    const std::uint8_t* ScanLine(int row) const;
    // The whole pixel memory, rows in the held order.
    const std::uint8_t* Pixels() const { return pixels_.data(); }
    std::uint8_t* MutablePixels();
    std::size_t PixelBytes() const { return pixels_.size(); }

    // The colour of a pixel, read through the colour table or masks whatever the format.
    Rgb PixelColor(int x, int y) const;

    void Assign(const Bitmap& source);
    // As Assign, but the pixel memory is shared rather than copied, until either Bitmap writes to it:
    // a copy that costs no pixel copy, for a picture that is read on another thread (a snapshot being
    // saved) while this one is read here.
    void Share(const Bitmap& source);
    // True when another Bitmap shares this one's pixel memory.
    bool SharesPixels() const { return pixels_.Shared(); }
    // The picture object writes itself into this Bitmap.
    void Assign(const Picture& source);

    // Whether the picture has one transparent colour, and which. Picture objects set them when they
    // fill the Bitmap and read them when they are filled from it; copies of the picture keep them.
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool transparent) { transparent_ = transparent; }
    Rgb TransparentColor() const { return transparentColor_; }
    void SetTransparentColor(Rgb color) { transparentColor_ = color; }

    // The drawing surface, with the lock that threads sharing this Bitmap take.
    Canvas& GetCanvas() const { return *canvas_; }

    // Raised after the picture changed (new memory, size, format or written rows).
    std::function<void()> OnChange;

private:
    friend class Canvas;
    void PixelsChanging();
    void CopyPixels(const SharedPixelMemory& source);
    void CopyDescription(const Bitmap& source);
    void Changed();
    void Resize(int width, int height);
    void AdoptPicture(Bitmap&& other) noexcept;
    void AdoptSection(const BitmapInfoHeader& header, const ColorMasks& masks,
                      std::vector<RgbQuad> colorTable, std::size_t stride);

    BitmapInfoHeader header_{};
    ColorMasks masks_{};
    std::vector<RgbQuad> colorTable_;
    SharedPixelMemory pixels_;
    std::size_t rowStride_ = 0;
    bool deviceDependent_ = false;
    PixelFormat requestedFormat_ = PixelFormat::Bit24;  // used when an empty Bitmap gets a size
    bool transparent_ = false;
    Rgb transparentColor_{};
    std::unique_ptr<Canvas> canvas_;
};

}  // namespace flipbook
