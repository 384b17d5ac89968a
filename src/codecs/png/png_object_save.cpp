// Filling the object from a Bitmap.
#include "codecs/png/png_object.h"
#include "platform/graphics/bitmap.h"

namespace flipbook {

void TPNGObject::AssignFromBitmap(const Bitmap& source) {
    AssignFromBitmap(source, source.Transparent(), source.TransparentColor());
}

void TPNGObject::AssignFromBitmap(const Bitmap&, bool, Rgb) {
    Clear();
}

}  // namespace flipbook
