// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The program's own pixel operations: the weighted blend that draws the onion skin, and a table of
// reconstruction filters for callers that resample pictures.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace flipbook {

class Bitmap;

// Makes the target a 24-bit bitmap of the source's size: a source in another format is itself converted
// to 24 bits, and the target keeps its top-left part, cut or extended with its brush colour (white).
// Nothing is allocated when the formats and sizes already match.
void Prepare(Bitmap& source, Bitmap& target);

// Called before each row with (minimum 0, maximum 100, position): the position runs from 0 up to below 100.
using BlendProgress = std::function<void(int minimum, int maximum, int position)>;

// target := round((1 - weight) * first + weight * second) for every byte, computed in extended precision
// and rounded half to even. The second source and the target are first brought to the first source's
// size and to 24 bits in place. Results of weights outside 0 to 1 are clamped to 0..255; a weight that is
// not a finite number raises Exception. Safe to call from any thread as long as no other thread touches the
// three Bitmaps.
void Blend(Bitmap& first, Bitmap& second, Bitmap& target, long double weight,
           const BlendProgress& progress = {});

// Rows of 24-bit blue, green, red pixels in memory that is no Bitmap's, such as a camera frame while it
// is delivered.
struct FrameRows {
    const std::uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    std::size_t rowStride = 0;  // at least 3 x width
    bool topDown = true;
};

class BandWorker;

// The same blend with the first source given as rows in memory, which are read and never kept. With a
// band worker, a frame of 1920 x 1080 or more at a weight whose exact mix is costly is blended in two
// bands of rows at once, the caller's thread and the worker's: the same bytes in half the time.
void Blend(const FrameRows& first, Bitmap& second, Bitmap& target, long double weight,
           BandWorker* bands = nullptr);

// A named reconstruction filter: f(x), non-zero only for |x| below its support width.
struct ReconstructionFilter {
    const char* name;
    float (*filter)(float x);
    float width;
};

// The seven filters in their fixed order: Box, Triangle, Hermite, Bell, B-Spline, Lanczos3, Mitchell.
const std::array<ReconstructionFilter, 7>& ReconstructionFilters();

}  // namespace flipbook
