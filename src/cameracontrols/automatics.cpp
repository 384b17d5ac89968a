// SPDX-License-Identifier: GPL-3.0-or-later
#include "cameracontrols/automatics.h"

#include <linux/videodev2.h>

namespace flipbook {

const std::array<Automatic, 4>& Automatics() {
    static const std::array<Automatic, 4> automatics = {{
        {"exposure", V4L2_CID_EXPOSURE_AUTO, V4L2_CID_EXPOSURE_ABSOLUTE},
        {"white balance", V4L2_CID_AUTO_WHITE_BALANCE, V4L2_CID_WHITE_BALANCE_TEMPERATURE},
        {"focus", V4L2_CID_FOCUS_AUTO, V4L2_CID_FOCUS_ABSOLUTE},
        {"gain", V4L2_CID_AUTOGAIN, V4L2_CID_GAIN},
    }};
    return automatics;
}

int ManualValueOf(const CameraControl& automatic) {
    // V4L2's exposure switch is a menu (auto, manual, shutter or aperture priority); the others are
    // on/off.
    return automatic.type == ControlType::Menu ? V4L2_EXPOSURE_MANUAL : 0;
}

bool AutomaticOn(const CameraControl& automatic) {
    return automatic.value != ManualValueOf(automatic);
}

}  // namespace flipbook
