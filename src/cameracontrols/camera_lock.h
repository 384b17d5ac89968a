// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cameracontrols/camera_control.h"

namespace flipbook {

inline constexpr const char* kNoControlsText = "This camera offers no controls";
inline constexpr const char* kNoAutomaticsText = "Nothing to lock: this camera has no automatics";
inline constexpr const char* kAutomaticsOffText = "Nothing to lock: this camera's automatics are already off";
inline constexpr const char* kLockLostText =
    "The camera was plugged in again and is back on its automatics: the lock was lost";

// Holds a camera still for a series: every automatic that is on (exposure, white balance, focus, gain)
// switched to manual at the value it has at that moment, and given back on release. Nothing is kept
// between runs; the camera itself keeps its controls while it is powered.
class CameraLock {
public:
    // Locks when not locked, releases when locked; what the status bar says about it. Without
    // controls (null, or none listed) kNoControlsText. A refusal of the camera raises ECameraControl;
    // what was switched before it stays held, so the next release gives it back.
    std::string Toggle(CameraControls* controls);

    // Switches the automatics that are on to manual; the names of those switched, in Automatics()
    // order, empty when none was on.
    std::vector<std::string> Lock(CameraControls& controls);
    // Switches the held automatics back on; their names.
    std::vector<std::string> Release(CameraControls& controls);

    bool Locked() const { return !held_.empty(); }
    // The names of what is held, in Automatics() order.
    std::vector<std::string> Names() const;
    // Whether the camera still holds every automatic the lock switched off; false once one runs
    // again (a camera that lost power comes back on its automatics).
    bool StillHeld(const std::vector<CameraControl>& controls) const;
    // The camera lost its settings (pulled out): nothing is held any more.
    void Forget() { held_.clear(); }

private:
    struct Held {
        std::string name;
        std::uint32_t automaticId;
        int automaticValue;  // the automatic's value before the lock: given back on release
    };
    std::vector<Held> held_;
};

// "exposure, white balance, focus"
std::string JoinNames(const std::vector<std::string>& names);
// "Camera locked: exposure, white balance, focus"
std::string LockedText(const std::vector<std::string>& names);
// "Camera unlocked: exposure, white balance, focus are automatic again"
std::string UnlockedText(const std::vector<std::string>& names);

}  // namespace flipbook
