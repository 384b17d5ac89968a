// SPDX-License-Identifier: GPL-3.0-or-later
// Compression: from the cached Bitmap to the JPEG form.

#include <jerror.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "codecs/jpeg/jpeg_image.h"
#include "codecs/jpeg/jpeg_session.h"

namespace flipbook {

namespace {

// Hands the library every row from the top down. Runs inside Guard(): no objects with destructors.
void WriteRows(jpeg_compress_struct& info, const std::uint8_t* top, std::ptrdiff_t step) {
    while (info.next_scanline < info.image_height) {
        // The library only reads the rows; its interface is not const-qualified.
        JSAMPROW row =
            const_cast<std::uint8_t*>(top + step * static_cast<std::ptrdiff_t>(info.next_scanline));
        // Our destination never suspends; a row not taken would otherwise loop for ever.
        if (jpeg_write_scanlines(&info, &row, 1) != 1) ERREXIT(&info, JERR_BAD_STATE);
    }
}

}  // namespace

void TJPEGImage::CompressInto(std::vector<std::uint8_t>& bytes) const {
    jpeg_detail::CompressSession session(this);
    jpeg_compress_struct& info = session.info;
    // A picture without pixels makes an empty JPEG form: saving it writes nothing.
    if (!bitmap_ || bitmap_->Width() == 0 || bitmap_->Height() == 0) {
        bytes.clear();
        return;
    }

    info.image_width = static_cast<JDIMENSION>(bitmap_->Width());
    info.image_height = static_cast<JDIMENSION>(bitmap_->Height());
    data_->width = bitmap_->Width();
    data_->height = bitmap_->Height();
    info.input_components = 3;
    info.in_color_space = JCS_EXT_BGR;

    // The library takes 24-bit rows; other formats go through a converted copy.
    std::unique_ptr<Bitmap> converted;
    const Bitmap* source = bitmap_.get();
    if (source->GetPixelFormat() != PixelFormat::Bit24) {
        converted = std::make_unique<Bitmap>(*source);
        converted->SetPixelFormat(PixelFormat::Bit24);
        source = converted.get();
    }
    const std::uint8_t* top = source->ScanLine(0);
    const std::ptrdiff_t step = source->Height() > 1 ? source->ScanLine(1) - top : 0;

    const int quality = settings_.compressionQuality;
    const bool grayscale = settings_.grayscale;
    const bool progressive = settings_.progressiveEncoding;
    session.Guard([&] {
        jpeg_set_defaults(&info);
        jpeg_set_quality(&info, quality, TRUE);
        if (grayscale) jpeg_set_colorspace(&info, JCS_GRAYSCALE);
        if (progressive) jpeg_simple_progression(&info);
    });
    if (grayscale) data_->grayscale = true;

    // Photographs at the usual qualities take 2 to 4 bits a pixel; 6 leaves room without a copy.
    session.ExpectOutputSize(std::size_t{info.image_width} * info.image_height * 6 / 8);
    try {
        Progress(ProgressStage::Starting, 0, false, Rect{});
        session.Guard([&] {
            jpeg_start_compress(&info, TRUE);
            WriteRows(info, top, step);
            jpeg_finish_compress(&info);
        });
    } catch (...) {
        Progress(ProgressStage::Ending, 0, false, Rect{});
        throw;
    }
    Progress(ProgressStage::Ending, 100, false, Rect{});
    bytes = session.TakeOutput();
}

}  // namespace flipbook
