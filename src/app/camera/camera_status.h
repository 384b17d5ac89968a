// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "platform/com/hresult.h"

namespace flipbook {

// What the status bar says when the named camera cannot deliver pictures, in plain words: held by
// another program, disconnected, not allowed, or stopped for another reason (then with the camera's
// own words, or the result's text when it gave none).
std::string CameraProblemText(const std::string& camera, HRESULT result, const std::string& detail);

// What it says at start when the first camera had that problem and the named one is shown instead.
std::string CameraPassedOverText(const std::string& problem, const std::string& shownCamera);

// What it says when Snap saves nothing because of that problem.
std::string SnapRefusedText(const std::string& problem);

}  // namespace flipbook
