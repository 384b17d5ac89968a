// SPDX-License-Identifier: GPL-3.0-or-later
// The picture in the clipboard's PNG format, always through a Bitmap as the clipboard holds it.
#include "codecs/png/png_object.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

namespace flipbook {

void TPNGObject::SaveToClipboardFormat(Stream& stream) const {
    // Transparency is drawn over white: the clipboard gets what the picture looks like.
    Bitmap drawn;
    drawn.SetSize(Width(), Height());
    Draw(drawn.GetCanvas(), Rect{0, 0, Width(), Height()});
    TPNGObject flat;
    flat.SetCompressionThreads(compressionThreads_);
    flat.AssignFromBitmap(drawn, false, Rgb{});
    flat.SaveToStream(stream);
}

void TPNGObject::LoadFromClipboardFormat(Stream& stream) {
    // Decoded apart first, so data that fails leaves this picture as it was.
    TPNGObject pasted;
    pasted.LoadFromStream(stream);
    Bitmap bitmap;
    pasted.AssignTo(bitmap);
    AssignFromBitmap(bitmap, false, Rgb{});
}

}  // namespace flipbook
