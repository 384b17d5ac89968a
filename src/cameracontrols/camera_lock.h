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
    // What a lock or a release did to each automatic, by the names the status bar uses.
    struct Outcome {
        std::vector<std::string> done;  // held at their value, or given back
        // Switched to manual, but their value could not be read (or written) to hold: the camera runs
        // at a manual value of its own, which may differ from what the automatic had.
        std::vector<std::string> ownValue;
        // Refused by the camera: "white balance not locked: the camera is busy and cannot change it
        // now", or on release "white balance stays locked: ...".
        std::vector<std::string> refused;
        std::vector<std::string> unreadable;  // automatics whose switch could not be read: left as they are
        std::vector<std::string> lost;        // held when the camera turned out to be gone
        bool cameraGone = false;
    };

    // Locks when not locked, releases when locked; what the status bar says about it. Without
    // controls (null, or none listed) kNoControlsText. What the camera refused or could not read is
    // said in the text, and the rest is done all the same. A camera found gone raises ECameraGone
    // with the whole text; the lock is forgotten then.
    std::string Toggle(CameraControls* controls);

    // Switches the automatics that are on in the listed controls (as just read from the camera) to
    // manual, holding each at its value. What was switched stays held even when the camera turns
    // out to be gone part-way.
    Outcome Lock(CameraControls& controls, const std::vector<CameraControl>& listed);
    // Tries to switch every held automatic back on, also after one failed. A camera that is gone
    // takes its settings with it, so nothing stays held then; a refused one stays held.
    Outcome Release(CameraControls& controls);

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
// "Camera locked: white balance, focus; exposure set to manual at the camera's own value"
std::string LockedText(const CameraLock::Outcome& locked);
// "Camera unlocked: exposure, white balance, focus are automatic again", or what kept it from that
std::string UnlockedText(const CameraLock::Outcome& released);

}  // namespace flipbook
