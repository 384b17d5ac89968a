// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include "cameracontrols/camera_control.h"
#include "platform/mediagraph/gst_handles.h"

namespace flipbook {

// The controls a camera's source element offers as properties of the names V4L2's controls have
// ("exposure-auto", "exposure", "white-balance-auto", "white-balance-temperature", "focus-auto",
// "focus", "gain-auto", "gain", "brightness", "contrast", "saturation", "hue", "sharpness",
// "power-line-frequency", "backlight-compensation", "zoom"): integers, booleans and enumerations
// (as menus). For cameras reached without a device node; an element with none of them lists none.
std::unique_ptr<CameraControls> MakeElementControls(gst::ElementPtr element);

}  // namespace flipbook
