// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/camera/camera_status.h"

#include "platform/mediagraph/service.h"

namespace flipbook {

std::string CameraProblemText(const std::string& camera, HRESULT result, const std::string& detail) {
    const std::string name = camera.empty() ? "The camera" : camera;
    switch (result) {
        case E_DEVICE_BUSY:
            return name + ": the camera is in use by another program";
        case E_DEVICE_GONE:
            return name + ": the camera was disconnected";
        case E_ACCESSDENIED:
            return name + ": this program is not allowed to use the camera";
        default:
            break;
    }
    std::string reason = detail.empty() ? AMGetErrorText(result) : detail;
    while (!reason.empty() && (reason.back() == '.' || reason.back() == ' ')) reason.pop_back();
    return name + ": the camera stopped (" + reason + ")";
}

std::string CameraPassedOverText(const std::string& problem, const std::string& shownCamera) {
    return problem + "; showing " + shownCamera + " instead";
}

std::string SnapRefusedText(const std::string& problem) {
    return problem + "; nothing was saved";
}

}  // namespace flipbook
