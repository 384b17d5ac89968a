// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gst/base/gstpushsrc.h>
#include <gst/gst.h>

#include <string>

#include "virtual_camera.h"

namespace flipbook::testcamera {

struct SourceState;

}  // namespace flipbook::testcamera

// The source element's instance and class, for the kinds derived from it.
struct FlipbookTestCameraSource {
    GstPushSrc parent;
    flipbook::testcamera::SourceState* state;
};
struct FlipbookTestCameraSourceClass {
    GstPushSrcClass parentClass;
};
GType flipbook_test_camera_source_get_type();

namespace flipbook::testcamera {

// The element a virtual camera's device makes: a live source that announces the camera's modes,
// delivers whichever one is negotiated (MJPEG modes as real JPEG frames), and fails as a real camera
// does when it is held by another program or pulled out. Its device path names it in its error messages.
GstElement* MakeCameraSource(const VirtualCamera& camera, const gchar* name);

// Takes the camera of that name or device path out of the device list, as pulling its plug does
// (defined by the provider).
void PullOut(const std::string& nameOrPath);

}  // namespace flipbook::testcamera
