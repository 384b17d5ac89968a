// Loads arbitrary bytes as a BMP file image. A picture that loads must also save and load back to the
// same pixels, so the writer sees every description the reader can produce.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "codecs/bmp/bmp_file.h"
#include "platform/core/exception.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace flipbook;
    Bitmap bitmap;
    try {
        ReadOnlyMemoryStream input(data, size);
        LoadBmpStream(bitmap, input);
    } catch (const Exception&) {
        return 0;
    }
    // Large pictures add time but no new paths to the round trip.
    if (bitmap.Empty() || bitmap.PixelBytes() > (std::size_t{1} << 20)) return 0;

    MemoryStream saved;
    SaveBmpStream(bitmap, saved);
    saved.SetPosition(0);
    Bitmap reloaded;
    LoadBmpStream(reloaded, saved);
    if (reloaded.Width() != bitmap.Width() || reloaded.Height() != bitmap.Height() ||
        reloaded.PixelBytes() != bitmap.PixelBytes() ||
        std::memcmp(reloaded.Pixels(), bitmap.Pixels(), bitmap.PixelBytes()) != 0) {
        std::abort();
    }
    return 0;
}
