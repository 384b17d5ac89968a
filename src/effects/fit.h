// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Pictures of one size shown or written in a frame of another: scaled to fit, proportions kept.

namespace flipbook {

class Bitmap;

// A rectangle of pixels, counted from the top-left corner.
struct PixelArea {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// Draws the source into the area of the target (24-bit, at least as large as the area), scaled to fit
// the area with the source's proportions kept and centred in it; the bars beside it are black. A source
// of the area's size is copied as it is; other sizes are resampled bilinearly. A source in another
// format than 24 bits is converted on the way. An empty source leaves the area black.
void DrawFitted(const Bitmap& source, Bitmap& target, PixelArea area);

// Makes the target a 24-bit picture of the given size that shows the source fitted into it
// (DrawFitted over the whole target). A source of that size and format is simply copied.
void FitToSize(const Bitmap& source, Bitmap& target, int width, int height);

}  // namespace flipbook
