// SPDX-License-Identifier: GPL-3.0-or-later
// Loads arbitrary bytes as a JPEG stream and assigns the picture to a Bitmap. The input's length picks
// the decoding settings, so the corpus reaches the quantizers, grey output and progressive display too.
// A picture that decodes must also save unchanged, and compress and decode again to the same size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "codecs/jpeg/jpeg_image.h"
#include "platform/core/exception.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/stream.h"

namespace {

// Pictures larger than this decode correctly but slowly (a few bytes can declare 65500 x 16000 pixels);
// they would only slow the search down. The adapter's own size limit has a unit test.
constexpr std::int64_t kLargestFuzzedPicture = 1024 * 1024;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    flipbook::ReadOnlyMemoryStream stream(data, size);
    flipbook::TJPEGImage image;
    flipbook::TJPEGSettings settings;
    settings.pixelFormat = size & 1 ? flipbook::JPEGPixelFormat::Bit8 : flipbook::JPEGPixelFormat::Bit24;
    settings.progressiveDisplay = (size & 2) != 0;
    settings.grayscale = (size & 4) != 0;
    settings.performance =
        size & 8 ? flipbook::JPEGPerformance::Fast : flipbook::JPEGPerformance::BestQuality;
    image.SetSettings(settings);
    flipbook::Bitmap bitmap;
    try {
        image.LoadFromStream(stream);
        const std::int64_t pixels = std::int64_t{image.Width()} * image.Height();
        // More pixels than the whole input could justify at one byte each: refused before anything is
        // allocated, however large, so these go through and must fail.
        const bool unjustified =
            static_cast<std::uint64_t>(pixels) > flipbook::JpegJustifiedOutputBytes(size, 1);
        if (pixels > kLargestFuzzedPicture && !unjustified) return 0;
        bitmap.Assign(image);
        if (unjustified) std::abort();
    } catch (const flipbook::Exception&) {
        // Refused cleanly; a partly decoded picture must still be safe to draw from.
        return 0;
    }
    if (bitmap.Empty()) return 0;

    // Past a successful decode nothing may fail: an exception from here on ends the run as a finding.
    // Saving writes the loaded bytes as they are.
    flipbook::MemoryStream saved;
    image.SaveToStream(saved);
    if (saved.Bytes().size() != size || std::memcmp(saved.Bytes().data(), data, size) != 0) std::abort();

    // A new object compresses the decoded picture; the result must decode again, to the same size.
    // JPEG is lossy, so the pixels themselves are not compared.
    flipbook::TJPEGImage copy;
    copy.AssignFromBitmap(bitmap);
    flipbook::MemoryStream compressed;
    copy.SaveToStream(compressed);
    compressed.SetPosition(0);
    flipbook::TJPEGImage reloaded;
    reloaded.LoadFromStream(compressed);
    flipbook::Bitmap decoded;
    decoded.Assign(reloaded);
    if (decoded.Width() != bitmap.Width() || decoded.Height() != bitmap.Height()) std::abort();
    return 0;
}
