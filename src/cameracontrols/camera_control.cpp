// SPDX-License-Identifier: GPL-3.0-or-later
#include "cameracontrols/camera_control.h"

namespace flipbook {

const CameraControl* FindControl(const std::vector<CameraControl>& controls, std::uint32_t id) {
    for (const CameraControl& control : controls)
        if (control.id == id) return &control;
    return nullptr;
}

}  // namespace flipbook
