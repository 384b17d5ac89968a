// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace flipbook {

class Bitmap;
struct SavedPicture;

// The upper-cased extension of the path's file name, from its last "." on (dot included); empty when
// the name has no dot. Only ASCII letters change case.
std::string UpperCaseExtension(const std::string& path);

// Replaces the target's picture with the file's: ".PNG" through our PNG codec, ".JPG" through the
// JPEG adapter, anything else as a BMP file. False, with the target untouched, when there is no
// extension, no target, or the file cannot be read; no failure escapes.
bool LoadPicture(Bitmap* target, const std::string& path);

// The file the source makes in the format the path's extension chooses, as LoadPicture reads it.
// Raises the codec's exception when the picture cannot be encoded.
std::vector<std::uint8_t> EncodePicture(const Bitmap& source, const std::string& path);

// Encodes the source and writes it as a new file, whole or not at all, that never replaces another:
// where the name is taken, a snapshot's name moves on to the next free millisecond's. Returns the path
// written, with a warning when the file has its name but may not be safe on the disk yet. Raises the
// codec's exception, or ESaveError with the reason in plain words. Safe on any thread.
SavedPicture SavePictureFile(const Bitmap& source, const std::string& path);

// Encodes the source and writes it so that the path holds the whole new file or is left as it was,
// with the busy cursor shown while it works. False when there is no extension (before the cursor
// changes), no source, or the codec or the file system fails; the cursor is restored on every path
// and no failure escapes.
bool SavePicture(const Bitmap* source, const std::string& path);

}  // namespace flipbook
