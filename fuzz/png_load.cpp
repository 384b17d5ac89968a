// SPDX-License-Identifier: GPL-3.0-or-later
// Loads arbitrary bytes as a PNG stream, assigns the result to a Bitmap and reads pixels back. A picture
// that loads must also save and load back to the same pixels, both as the chunks it was loaded with and
// as a new picture made from its Bitmap, so the encoder sees whatever the decoder accepted.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "codecs/png/chunk.h"
#include "codecs/png/png_object.h"
#include "platform/core/exception.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/stream.h"

namespace {

// Large pictures add time but no new paths to the round trips.
constexpr long kLargestRoundTrip = 65536;

void AbortUnlessSamePixels(const flipbook::Bitmap& expected, const flipbook::Bitmap& actual) {
    if (actual.Width() != expected.Width() || actual.Height() != expected.Height()) std::abort();
    for (int y = 0; y < expected.Height(); ++y) {
        for (int x = 0; x < expected.Width(); ++x) {
            if (actual.PixelColor(x, y) != expected.PixelColor(x, y)) std::abort();
        }
    }
}

// A gamma chunk after the palette or the image data (out of the standard's order): those were read
// before the curve was known, yet saving writes them through its inverse, so their colours change.
bool GammaFollowsColors(const flipbook::TPNGObject& png) {
    constexpr flipbook::ChunkType kGamma{'g', 'A', 'M', 'A'};
    constexpr flipbook::ChunkType kPalette{'P', 'L', 'T', 'E'};
    constexpr flipbook::ChunkType kImageData{'I', 'D', 'A', 'T'};
    bool colorsRead = false;
    for (std::size_t index = 0; index < png.Chunks().Count(); ++index) {
        const flipbook::TChunk* chunk = png.Chunks().Item(index);
        if (chunk == nullptr) continue;
        if (chunk->Type() == kPalette || chunk->Type() == kImageData) colorsRead = true;
        if (chunk->Type() == kGamma && colorsRead) return true;
    }
    return false;
}

flipbook::Bitmap SavedAndLoaded(const flipbook::TPNGObject& png) {
    flipbook::MemoryStream saved;
    png.SaveToStream(saved);
    saved.SetPosition(0);
    flipbook::TPNGObject reloaded;
    reloaded.LoadFromStream(saved);
    flipbook::Bitmap bitmap;
    bitmap.Assign(reloaded);
    return bitmap;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    flipbook::ReadOnlyMemoryStream stream(data, size);
    flipbook::TPNGObject png;
    bool loaded = true;
    try {
        png.LoadFromStream(stream);
    } catch (const flipbook::Exception&) {
        // A failed load keeps the chunks read so far; what follows must still be safe.
        loaded = false;
    }
    try {
        flipbook::Bitmap bitmap;
        bitmap.Assign(png);
        // A palette index beyond the palette raises here, even in a picture that loaded.
        png.Pixel(png.Width() - 1, png.Height() - 1);
        png.TransparentColor();
        if (!loaded && static_cast<long>(png.Width()) * png.Height() <= kLargestRoundTrip) {
            flipbook::MemoryStream out;
            png.SaveToStream(out);
        }
    } catch (const flipbook::Exception&) {
    }
    if (!loaded || static_cast<long>(png.Width()) * png.Height() > kLargestRoundTrip) return 0;

    // Past a successful load nothing may fail: an exception from here on ends the run as a finding.
    flipbook::Bitmap original;
    original.Assign(png);
    // Saving the loaded chunks encodes the decoded pixels again. Where a gamma chunk applies, the
    // decoder put each sample through its curve and the encoder through the inverse curve, which
    // gives back a sample with the same image on the curve: the colours come back exactly.
    const flipbook::Bitmap resaved = SavedAndLoaded(png);
    if (!GammaFollowsColors(png)) {
        AbortUnlessSamePixels(original, resaved);
    } else if (resaved.Width() != original.Width() || resaved.Height() != original.Height()) {
        std::abort();
    }
    // A new picture made from the Bitmap holds no gamma chunk: its pixels come back exactly.
    flipbook::TPNGObject fresh;
    fresh.AssignFromBitmap(original);
    AbortUnlessSamePixels(original, SavedAndLoaded(fresh));
    return 0;
}
