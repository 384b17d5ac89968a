// SPDX-License-Identifier: GPL-3.0-or-later
#include "cameracontrols/camera_lock.h"

#include "cameracontrols/automatics.h"

namespace flipbook {

std::string CameraLock::Toggle(CameraControls* controls) {
    if (!controls) return kNoControlsText;
    if (Locked()) return UnlockedText(Release(*controls));
    const std::vector<CameraControl> listed = controls->List();
    if (listed.empty()) return kNoControlsText;
    bool hasAutomatics = false;
    for (const Automatic& automatic : Automatics())
        hasAutomatics = hasAutomatics || FindControl(listed, automatic.automaticId) != nullptr;
    if (!hasAutomatics) return kNoAutomaticsText;
    const std::vector<std::string> locked = Lock(*controls);
    return locked.empty() ? kAutomaticsOffText : LockedText(locked);
}

std::vector<std::string> CameraLock::Lock(CameraControls& controls) {
    const std::vector<CameraControl> listed = controls.List();
    std::vector<std::string> locked;
    for (const Automatic& automatic : Automatics()) {
        const CameraControl* switch_ = FindControl(listed, automatic.automaticId);
        if (!switch_ || switch_->readOnly || !AutomaticOn(*switch_)) continue;
        // Read before the switch: the automatic's choice at this moment is what the picture shows.
        const CameraControl* manual = FindControl(listed, automatic.manualId);
        controls.Set(automatic.automaticId, ManualValueOf(*switch_));
        held_.push_back({automatic.name, automatic.automaticId, switch_->value});
        // Some cameras jump to a stored manual value when the automatic goes off; this holds the
        // picture where the automatic had it.
        if (manual && !manual->readOnly && !manual->valueUnknown)
            controls.Set(automatic.manualId, manual->value);
        locked.push_back(automatic.name);
    }
    return locked;
}

std::vector<std::string> CameraLock::Release(CameraControls& controls) {
    std::vector<std::string> released;
    while (!held_.empty()) {
        const Held& held = held_.front();
        controls.Set(held.automaticId, held.automaticValue);
        released.push_back(held.name);
        held_.erase(held_.begin());
    }
    return released;
}

bool CameraLock::StillHeld(const std::vector<CameraControl>& controls) const {
    for (const Held& held : held_) {
        const CameraControl* switch_ = FindControl(controls, held.automaticId);
        if (!switch_ || AutomaticOn(*switch_)) return false;
    }
    return true;
}

std::vector<std::string> CameraLock::Names() const {
    std::vector<std::string> names;
    for (const Held& held : held_) names.push_back(held.name);
    return names;
}

std::string JoinNames(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

std::string LockedText(const std::vector<std::string>& names) {
    return "Camera locked: " + JoinNames(names);
}

std::string UnlockedText(const std::vector<std::string>& names) {
    return "Camera unlocked: " + JoinNames(names) + (names.size() == 1 ? " is" : " are") + " automatic again";
}

}  // namespace flipbook
