// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A picture of one colour saved as the program saves pictures, for tests that need a folder of them.

#include <QColor>

#include <cstdint>
#include <string>

#include "app/library/picture_files.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

namespace flipbook::testing {

// Saves a width x height picture of colour at path; false when it could not be saved.
inline bool SaveSolidPicture(const std::string& path, int width, int height, QRgb colour) {
    Bitmap picture;
    picture.SetSize(width, height);
    picture.GetCanvas().SetBrushColor({static_cast<std::uint8_t>(qRed(colour)),
                                       static_cast<std::uint8_t>(qGreen(colour)),
                                       static_cast<std::uint8_t>(qBlue(colour))});
    picture.GetCanvas().FillRect({0, 0, width, height});
    return SavePicture(&picture, path);
}

}  // namespace flipbook::testing
