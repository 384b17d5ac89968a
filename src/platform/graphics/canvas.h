// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <mutex>
#include <optional>

#include "platform/graphics/bitmap_types.h"

namespace flipbook {

class Bitmap;

// The drawing surface of a Bitmap, with the lock that the streaming thread and the painting thread
// share. Lock() and Unlock() nest; lock() and unlock() let std::lock_guard and std::unique_lock take it.
// Drawing works on the owner's pixels, in any of its pixel formats, clipped to its size.
class Canvas {
public:
    explicit Canvas(Bitmap& owner) : owner_(owner) {}
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    void Lock() { mutex_.lock(); }
    void Unlock() { mutex_.unlock(); }
    bool TryLock() { return mutex_.try_lock(); }
    void lock() { Lock(); }
    void unlock() { Unlock(); }

    Rgb BrushColor() const { return brushColor_; }
    void SetBrushColor(Rgb color) { brushColor_ = color; }

    // Fills the rectangle with the brush colour.
    void FillRect(const Rect& rectangle);
    Rgb Pixel(int x, int y) const;
    void SetPixel(int x, int y, Rgb color);
    // Copies the source's rectangle into the destination rectangle, stretched to its size
    // (nearest pixel, no smoothing).
    void CopyRect(const Rect& destination, const Bitmap& source, const Rect& sourceRectangle);
    // Copies the whole source, stretched to the rectangle.
    void StretchDraw(const Rect& destination, const Bitmap& source);
    // Copies the whole source at its own size with its top-left corner at (x, y).
    void Draw(int x, int y, const Bitmap& source);
    // Copies the whole source stretched to the rectangle, leaving the canvas's own pixels wherever the
    // source pixel is the transparent colour (a masked copy).
    void CopyRectTransparent(const Rect& destination, const Bitmap& source, Rgb transparentColor);

    // The Bitmap this canvas draws on.
    Bitmap& Owner() const { return owner_; }

private:
    void Copy(const Rect& destination, const Bitmap& source, const Rect& sourceRectangle,
              std::optional<Rgb> transparentColor);

    Bitmap& owner_;
    std::recursive_mutex mutex_;
    Rgb brushColor_ = kWhite;
};

}  // namespace flipbook
