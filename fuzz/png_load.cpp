// SPDX-License-Identifier: GPL-3.0-or-later
// Loads arbitrary bytes as a PNG stream, assigns the result to a Bitmap, reads pixels back and saves it.
#include <cstddef>
#include <cstdint>

#include "codecs/png/png_object.h"
#include "platform/core/exception.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    flipbook::ReadOnlyMemoryStream stream(data, size);
    flipbook::TPNGObject png;
    try {
        png.LoadFromStream(stream);
    } catch (const flipbook::Exception&) {
        // A failed load keeps the chunks read so far; what follows must still be safe.
    }
    try {
        flipbook::Bitmap bitmap;
        bitmap.Assign(png);
        png.Pixel(png.Width() - 1, png.Height() - 1);
        png.TransparentColor();
        // Writing a loaded picture back exercises the encoder on whatever the decoder accepted; large
        // pictures only slow the search down.
        if (static_cast<long>(png.Width()) * png.Height() <= 65536) {
            flipbook::MemoryStream out;
            png.SaveToStream(out);
        }
    } catch (const flipbook::Exception&) {
    }
    return 0;
}
