// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "platform/graphics/bitmap.h"
#include "platform/graphics/stream.h"

namespace flipbook {

// Writes the Bitmap as a BMP file image at the stream's position: file header, the 40-byte
// description, bit-field masks for 16/32-bit bit-field pictures, the colour table for 8 bits or fewer,
// then the rows bottom row first with a positive height, also when memory holds them top-down. An
// empty Bitmap writes nothing.
// Raises EWriteError ("Stream write error") when a write falls short.
void SaveBmpStream(const Bitmap& bitmap, Stream& stream);

// Creates (or empties) the file and saves into it; the file is closed on every path.
// Raises EFCreateError ("Cannot create file %s") when the file cannot be created, and EWriteError
// when a write or the closing of the file fails.
void SaveBmpFile(const Bitmap& bitmap, const std::string& path);

// Replaces the Bitmap's picture with the BMP file image from the stream's position to its end; no bytes
// are read beyond the picture's data. Uncompressed and bit-field data keep their own layout;
// run-length data becomes a picture in the screen's own 32-bit format. No bytes left gives an empty Bitmap.
// Raises EReadError ("Stream read error") when the file header, masks or colour table end early, and
// EInvalidGraphic ("Bitmap image is not valid") for anything we cannot or will not make a picture of.
// A failing load leaves the Bitmap untouched.
void LoadBmpStream(Bitmap& bitmap, Stream& stream);

// Opens the file for reading and loads from it; the file is closed on every path.
// Raises EFOpenError ("Cannot open file %s") when the file cannot be opened.
void LoadBmpFile(Bitmap& bitmap, const std::string& path);

}  // namespace flipbook
