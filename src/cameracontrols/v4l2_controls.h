// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>

#include "cameracontrols/camera_control.h"

namespace flipbook {

// The one door to a V4L2 device node: its ioctl calls. Tests put a device of their own behind it,
// since no machine that runs them has a camera.
class V4l2Device {
public:
    virtual ~V4l2Device() = default;
    // Issues the ioctl; 0 when it succeeded, else the errno it failed with.
    virtual int Control(unsigned long request, void* argument) = 0;
};

// The device node opened for its controls, beside whichever program streams from it (V4L2 allows
// that second open). ECameraControl when it cannot be opened.
std::unique_ptr<V4l2Device> OpenV4l2Device(const std::string& path);

// The controls a V4L2 device lists: integer, boolean, menu (and integer menu) and button controls;
// disabled ones and kinds a user cannot set from a slider (64-bit, strings, compound) are left out.
std::unique_ptr<CameraControls> MakeV4l2Controls(std::unique_ptr<V4l2Device> device);

}  // namespace flipbook
