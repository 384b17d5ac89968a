// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A picture shrunk for the screen: the live view shows a 4K camera in a 400 x 300 box, and what it
// shows must neither shimmer (every source pixel counts) nor cost the window's thread much.

#include <cstddef>
#include <cstdint>

namespace flipbook {

class Bitmap;

// Draws a 24-bit source stretched to width x height into BGR rows `targetStride` bytes apart, top row
// first: each target pixel is the rounded mean of the source pixels in its area (an area filter),
// or the source pixel under it along a direction in which the target is the larger. False, writing
// nothing, for an empty source or one that is not 24 bits a pixel.
bool StretchArea(const Bitmap& source, std::uint8_t* target, std::size_t targetStride, int width, int height);

}  // namespace flipbook
