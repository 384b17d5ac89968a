// SPDX-License-Identifier: GPL-3.0-or-later
#include "virtual_camera.h"

#include <cctype>
#include <cstdio>

namespace flipbook::testcamera {

namespace {

// Every device carries a class id unless told otherwise, as capture devices usually do.
constexpr const char* kDefaultClassId = "{5C2F0E61-9A4B-4D7E-8C31-6F0B2D9A7E15}";

// The mode table of a common 1080p USB 2 webcam: raw modes slow down as they grow, MJPEG keeps 30.
const std::vector<CameraMode>& Webcam1080Modes() {
    static const std::vector<CameraMode> modes = {
        {"YUY2", 640, 480, 30},  {"YUY2", 1280, 720, 10},  {"YUY2", 1920, 1080, 5},
        {"mjpeg", 640, 480, 30}, {"mjpeg", 1280, 720, 30}, {"mjpeg", 1920, 1080, 30},
    };
    return modes;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    while (true) {
        auto end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos) return parts;
        start = end + 1;
    }
}

bool ParseSize(const std::string& field, CameraMode& mode) {
    int width = 0, height = 0, rate = 0;
    char extra = 0;
    if (std::sscanf(field.c_str(), "%dx%d@%d%c", &width, &height, &rate, &extra) == 3 && rate > 0) {
        mode.framesPerSecond = rate;
    } else if (std::sscanf(field.c_str(), "%dx%d%c", &width, &height, &extra) != 2) {
        return false;
    }
    if (width <= 0 || height <= 0) return false;
    mode.width = width;
    mode.height = height;
    return true;
}

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

VirtualCamera ParseCamera(const std::string& description) {
    VirtualCamera camera;
    std::vector<std::string> fields = Split(description, ':');
    camera.name = fields[0];
    camera.classId = kDefaultClassId;
    CameraMode single{"YUY2"};
    bool webcam1080 = false;
    for (std::size_t i = 1; i < fields.size(); ++i) {
        const std::string& field = fields[i];
        int frames = 0;
        double sigma = 0;
        if (field.empty() || ParseSize(field, single)) continue;
        if (field == "bgr" || field == "yuy2" || field == "i420" || field == "nv12")
            single.format = Upper(field);
        else if (field == "mjpeg")
            single.format = field;
        else if (field == "webcam1080")
            webcam1080 = true;
        else if (field == "controls")
            camera.controls = true;
        else if (field == "v4l2")
            camera.v4l2Node = true;
        else if (field == "busy")
            camera.busy = true;
        else if (field == "soft")
            camera.soft = true;
        else if (std::sscanf(field.c_str(), "unplug=%d", &frames) == 1 && frames > 0)
            camera.unplugAfter = frames;
        else if (std::sscanf(field.c_str(), "loop=%d", &frames) == 1 && frames > 0)
            camera.loopFrames = frames;
        else if (std::sscanf(field.c_str(), "noise=%lf", &sigma) == 1 && sigma > 0 && sigma <= 64)
            camera.noiseSigma = sigma;
        else if (field == "noclsid")
            camera.classId.clear();
        else if (field.rfind("clsid=", 0) == 0)
            camera.classId = field.substr(6);
        else if (field.rfind("path=", 0) == 0)
            camera.devicePath = field.substr(5);
        else
            camera.pattern = field;
    }
    camera.modes = webcam1080 ? Webcam1080Modes() : std::vector<CameraMode>{single};
    return camera;
}

std::vector<VirtualCamera> ParseCameras(const std::string& descriptions) {
    std::vector<VirtualCamera> cameras;
    if (descriptions.empty()) return cameras;
    for (const std::string& description : Split(descriptions, ';')) {
        VirtualCamera camera = ParseCamera(description);
        if (!camera.name.empty()) cameras.push_back(camera);
    }
    return cameras;
}

GstCaps* CapsOfMode(const CameraMode& mode) {
    if (mode.Compressed())
        return gst_caps_new_simple("image/jpeg", "width", G_TYPE_INT, mode.width, "height", G_TYPE_INT,
                                   mode.height, "framerate", GST_TYPE_FRACTION, mode.framesPerSecond, 1,
                                   nullptr);
    return gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, mode.format.c_str(), "width",
                               G_TYPE_INT, mode.width, "height", G_TYPE_INT, mode.height, "framerate",
                               GST_TYPE_FRACTION, mode.framesPerSecond, 1, nullptr);
}

GstCaps* CapsOfCamera(const VirtualCamera& camera) {
    GstCaps* caps = gst_caps_new_empty();
    for (const CameraMode& mode : camera.modes) caps = gst_caps_merge(caps, CapsOfMode(mode));
    return caps;
}

bool ModeOfCaps(const GstCaps* caps, CameraMode& mode) {
    if (!caps || gst_caps_get_size(caps) == 0) return false;
    const GstStructure* structure = gst_caps_get_structure(caps, 0);
    int rateNumerator = 0, rateDenominator = 1;
    if (!gst_structure_get_int(structure, "width", &mode.width) ||
        !gst_structure_get_int(structure, "height", &mode.height) ||
        !gst_structure_get_fraction(structure, "framerate", &rateNumerator, &rateDenominator) ||
        rateDenominator <= 0)
        return false;
    mode.framesPerSecond = rateNumerator / rateDenominator;
    if (gst_structure_has_name(structure, "image/jpeg")) {
        mode.format = "mjpeg";
        return true;
    }
    const char* format = gst_structure_get_string(structure, "format");
    if (!format) return false;
    mode.format = format;
    return true;
}

}  // namespace flipbook::testcamera
