// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>

namespace flipbook {

class Bitmap;

// Reads the picture file at the path into the Bitmap; false when it cannot. The window hands its
// picture file dispatch to the subsystems that read series of pictures (playback, export).
using PictureLoader = std::function<bool(Bitmap& target, const std::string& path)>;

}  // namespace flipbook
