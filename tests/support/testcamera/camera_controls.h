// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The test camera's controls, for a camera described with "controls": the properties a webcam's
// driver offers (as the element's properties, by V4L2's names) and their effect on the picture.
//   exposure-auto        menu: "Manual Mode" (1) or "Aperture Priority Mode" (3, the default)
//   exposure             3 .. 2047 (250): with the automatic on, it hunts as if after a passing shadow
//                        (reading it gives its value at that moment) and the picture's brightness
//                        drifts by up to 8 levels either way, 4 levels a second; with it off the
//                        brightness follows the value (10 units a level)
//   white-balance-auto   on (default) or off
//   white-balance-temperature  2800 .. 6500 K (4600): with the automatic on, a colour cast drifts by
//                        up to 6 levels, 3 a second; off, 100 K a level of red or blue
//   focus-auto, focus    on; 0 .. 250 (0): no effect on the picture
//   brightness           -64 .. 64 (0): levels added to every pixel
//   power-line-frequency menu: "Disabled", "50 Hz" (default), "60 Hz"
// The effect acts on raw modes; MJPEG frames go out as they are. As a real camera does, each camera
// keeps its values while it is plugged in (across elements bound to it), and forgets them when it is
// pulled out or plugged in again.

#include <gst/gst.h>

#include <string>

namespace flipbook::testcamera {

GType ControlledCameraSourceType();
// Gives the source the controls of the named camera.
void AttachControls(GstElement* source, const std::string& cameraName);
// The camera goes back to its defaults (pulled out, plugged in); all cameras do for a new camera list.
void ForgetControls(const std::string& cameraName);
void ForgetAllControls();

}  // namespace flipbook::testcamera
