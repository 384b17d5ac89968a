// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What one virtual camera of the test camera is: its name, the modes it announces, the picture it
// shows and how it misbehaves, read from its description text (see testcamera.cpp for the form).

#include <gst/gst.h>

#include <string>
#include <vector>

namespace flipbook::testcamera {

// One mode a camera announces: "mjpeg" or a raw format in GStreamer's spelling ("YUY2", "BGR").
struct CameraMode {
    std::string format;
    int width = 320;
    int height = 240;
    int framesPerSecond = 30;

    bool Compressed() const { return format == "mjpeg"; }
};

struct VirtualCamera {
    std::string name;
    std::vector<CameraMode> modes;
    std::string pattern = "smpte";
    bool soft = false;  // the pattern's two colours (the ball and its ground) kept clear of 0 and 255
    std::string classId;
    std::string devicePath;  // "/dev/videoN" by its place in the list unless given as path=
    bool busy = false;       // held by another program: fails when asked to stream
    int unplugAfter = 0;     // frames until the camera is pulled out; 0 for never
    bool controls = false;   // offers a webcam's controls, with automatics that drift (camera_controls.h)
    bool v4l2Node = false;   // its device path is its V4L2 node, where the program finds its controls
    int loopFrames = 0;  // frames made before the stream starts, then sent over and over; 0: made as they go
    double noiseSigma = 0;  // a still scene with a sensor's Gaussian noise of this sigma (raw modes); 0: none
};

// The camera a description text stands for; empty name for an empty text.
VirtualCamera ParseCamera(const std::string& description);
// The cameras of a ';'-separated list of descriptions.
std::vector<VirtualCamera> ParseCameras(const std::string& descriptions);

// The caps of one mode, and of all the modes of a camera in the order it announces them.
GstCaps* CapsOfMode(const CameraMode& mode);
GstCaps* CapsOfCamera(const VirtualCamera& camera);
// The mode that fixed caps stand for; false when they are none of ours.
bool ModeOfCaps(const GstCaps* caps, CameraMode& mode);

}  // namespace flipbook::testcamera
