#pragma once

#include <string>

namespace flipbook {

class Bitmap;

// The upper-cased extension of the path's file name, from its last "." on (dot included); empty when
// the name has no dot. Only ASCII letters change case.
std::string UpperCaseExtension(const std::string& path);

// Replaces the target's picture with the file's: ".PNG" through our PNG codec, ".JPG" through the
// JPEG adapter, anything else as a BMP file. False, with the target untouched, when there is no
// extension, no target, or the file cannot be read; no failure escapes.
bool LoadPicture(Bitmap* target, const std::string& path);

// Writes the source to the file, chosen by extension as LoadPicture does, with the busy cursor shown
// while it works. False when there is no extension (before the cursor changes), no source, or the
// codec or the file system fails; the cursor is restored on every path and no failure escapes. A file
// left half-written by a failing codec stays.
bool SavePicture(const Bitmap* source, const std::string& path);

}  // namespace flipbook
