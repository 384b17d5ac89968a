// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>

#include "cameracontrols/camera_control.h"

namespace flipbook {

// One automatic of a camera: the control that switches it, and the manual control it rules while on.
struct Automatic {
    const char* name;  // as the status bar names it: "exposure"
    std::uint32_t automaticId;
    std::uint32_t manualId;
};

// The automatics that make a picture change between frames of a series, in the order they are named.
const std::array<Automatic, 4>& Automatics();

// The value that switches the automatic off: "Manual Mode" for V4L2's exposure menu, else 0.
int ManualValueOf(const CameraControl& automatic);
bool AutomaticOn(const CameraControl& automatic);

}  // namespace flipbook
