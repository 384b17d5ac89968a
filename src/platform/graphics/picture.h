// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "platform/graphics/bitmap_types.h"

namespace flipbook {

class Bitmap;
class Canvas;
class Stream;

// The common shape of the picture objects (PNG and JPEG): loading, saving, assigning to and from a
// Bitmap, and drawing. Failures raise the picture's own exception classes.
class Picture {
public:
    virtual ~Picture() = default;

    virtual void LoadFromStream(Stream& stream) = 0;
    virtual void SaveToStream(Stream& stream) const = 0;
    // Opens the file shared for reading ("Cannot open file %s") and loads it.
    virtual void LoadFromFile(const std::string& path);
    // Creates or empties the file ("Cannot create file %s"), saves, and closes it also after a failure;
    // a close that fails raises EWriteError, as a failed write does.
    virtual void SaveToFile(const std::string& path) const;

    // Replaces this picture with the Bitmap's content.
    virtual void AssignFromBitmap(const Bitmap& source) = 0;
    // Replaces the Bitmap's content with this picture.
    virtual void AssignTo(Bitmap& target) const = 0;

    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual bool Empty() const = 0;
    // Draws the picture into the rectangle of the canvas.
    virtual void Draw(Canvas& canvas, const Rect& rectangle) const = 0;

protected:
    Picture() = default;
    Picture(const Picture&) = default;
    Picture& operator=(const Picture&) = default;
};

// The picture-file registry: which extension (without its dot, upper case) names which kind of picture.
struct PictureFormat {
    std::string extension;
    std::string description;
};
// Registers a picture format once; registering an extension again keeps the first description.
void RegisterPictureFormat(const PictureFormat& format);
// The formats registered so far, in registration order.
const std::vector<PictureFormat>& RegisteredPictureFormats();

}  // namespace flipbook
