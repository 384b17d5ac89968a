// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include "cameracontrols/camera_control.h"
#include "platform/mediagraph/devices.h"
#include "platform/mediagraph/filters.h"

namespace flipbook {

// The controls of the camera that device names and source was bound to: through the device's V4L2
// node when it has one (opened beside the stream), else what the source element offers. Null when
// neither is there (no device, a node that will not open and an element of another service).
std::unique_ptr<CameraControls> OpenCameraControls(IMoniker* device, IBaseFilter* source);

}  // namespace flipbook
