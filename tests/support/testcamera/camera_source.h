#pragma once

#include <gst/gst.h>

#include <string>

#include "virtual_camera.h"

namespace flipbook::testcamera {

// The element a virtual camera's device makes: a live source that announces the camera's modes,
// delivers whichever one is negotiated (MJPEG modes as real JPEG frames), and fails as a real camera
// does when it is held by another program or pulled out. Its device path names it in its error messages.
GstElement* MakeCameraSource(const VirtualCamera& camera, const gchar* name);

// Takes the camera of that name or device path out of the device list, as pulling its plug does
// (defined by the provider).
void PullOut(const std::string& nameOrPath);

}  // namespace flipbook::testcamera
