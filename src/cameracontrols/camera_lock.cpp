// SPDX-License-Identifier: GPL-3.0-or-later
#include "cameracontrols/camera_lock.h"

#include <cctype>

#include "cameracontrols/automatics.h"

namespace flipbook {
namespace {

bool One(const std::vector<std::string>& names) {
    return names.size() == 1;
}

// The parts of a sentence, joined by semicolons; the first letter capitalised when nothing stands
// before it.
std::string Sentence(const std::string& head, const std::vector<std::string>& parts) {
    std::string text;
    for (const std::string& part : parts) text += (text.empty() ? "" : "; ") + part;
    if (head.empty() && !text.empty())
        text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    return head + text;
}

}  // namespace

std::string CameraLock::Toggle(CameraControls* controls) {
    if (!controls) return kNoControlsText;
    if (Locked()) {
        const Outcome released = Release(*controls);
        if (released.cameraGone) throw ECameraGone(UnlockedText(released));
        return UnlockedText(released);
    }
    std::vector<CameraControl> listed;
    try {
        listed = controls->List();
    } catch (const ECameraGone&) {
        throw ECameraGone("The camera was disconnected: nothing was locked");
    }
    if (listed.empty()) return kNoControlsText;
    bool hasAutomatics = false;
    for (const Automatic& automatic : Automatics())
        hasAutomatics = hasAutomatics || FindControl(listed, automatic.automaticId) != nullptr;
    if (!hasAutomatics) return kNoAutomaticsText;
    const Outcome locked = Lock(*controls, listed);
    if (locked.cameraGone) throw ECameraGone(LockedText(locked));
    if (locked.done.empty() && locked.ownValue.empty() && locked.refused.empty() && locked.unreadable.empty())
        return kAutomaticsOffText;
    return LockedText(locked);
}

CameraLock::Outcome CameraLock::Lock(CameraControls& controls, const std::vector<CameraControl>& listed) {
    Outcome outcome;
    for (const Automatic& automatic : Automatics()) {
        const CameraControl* switch_ = FindControl(listed, automatic.automaticId);
        if (!switch_ || switch_->readOnly) continue;
        if (switch_->valueUnknown) {
            // Whether it runs is not known, nor what to give back on release: it is left alone.
            outcome.unreadable.push_back(automatic.name);
            continue;
        }
        if (!AutomaticOn(*switch_)) continue;
        // Read before the switch: the automatic's choice at this moment is what the picture shows.
        const CameraControl* manual = FindControl(listed, automatic.manualId);
        try {
            controls.Set(automatic.automaticId, ManualValueOf(*switch_));
        } catch (const ECameraGone&) {
            outcome.cameraGone = true;
            break;
        } catch (const ECameraControl& refusal) {
            outcome.refused.push_back(std::string(automatic.name) + " not locked: " + refusal.Reason());
            continue;
        }
        held_.push_back({automatic.name, automatic.automaticId, switch_->value});
        // Many cameras jump to a stored manual value when the automatic goes off; this holds the
        // picture where the automatic had it. Without that value the jump stays, and is said.
        bool heldAtValue = !manual || manual->readOnly;
        if (manual && !manual->readOnly && !manual->valueUnknown) {
            try {
                controls.Set(automatic.manualId, manual->value);
                heldAtValue = true;
            } catch (const ECameraGone&) {
                outcome.cameraGone = true;
                break;
            } catch (const ECameraControl&) {
            }
        }
        (heldAtValue ? outcome.done : outcome.ownValue).push_back(automatic.name);
    }
    if (outcome.cameraGone) {
        // A camera pulled out comes back on its automatics: nothing it held is worth giving back.
        held_.clear();
        outcome.done.clear();
        outcome.ownValue.clear();
    }
    return outcome;
}

CameraLock::Outcome CameraLock::Release(CameraControls& controls) {
    Outcome outcome;
    std::vector<Held> stillHeld;
    for (const Held& held : held_) {
        try {
            controls.Set(held.automaticId, held.automaticValue);
            outcome.done.push_back(held.name);
        } catch (const ECameraGone&) {
            outcome.cameraGone = true;
            outcome.lost.push_back(held.name);
        } catch (const ECameraControl& refusal) {
            outcome.refused.push_back(held.name + " stays locked: " + refusal.Reason());
            stillHeld.push_back(held);
        }
    }
    if (outcome.cameraGone) {
        for (const Held& held : stillHeld) outcome.lost.push_back(held.name);
        outcome.refused.clear();
        stillHeld.clear();
    }
    held_ = std::move(stillHeld);
    return outcome;
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

std::string LockedText(const CameraLock::Outcome& locked) {
    if (locked.cameraGone) return "The camera was disconnected: nothing was locked";
    std::vector<std::string> parts;
    if (!locked.done.empty()) parts.push_back(JoinNames(locked.done));
    if (!locked.ownValue.empty())
        parts.push_back(JoinNames(locked.ownValue) + " set to manual at the camera's own value" +
                        (One(locked.ownValue) ? "" : "s"));
    parts.insert(parts.end(), locked.refused.begin(), locked.refused.end());
    if (!locked.unreadable.empty())
        parts.push_back(JoinNames(locked.unreadable) + " could not be read, so " +
                        (One(locked.unreadable) ? "it is" : "they are") + " left as " +
                        (One(locked.unreadable) ? "it is" : "they are"));
    const bool anyLocked = !locked.done.empty() || !locked.ownValue.empty();
    return Sentence(anyLocked ? "Camera locked: " : "", parts);
}

std::string UnlockedText(const CameraLock::Outcome& released) {
    std::vector<std::string> parts;
    if (!released.done.empty())
        parts.push_back(JoinNames(released.done) + (One(released.done) ? " is" : " are") +
                        " automatic again");
    parts.insert(parts.end(), released.refused.begin(), released.refused.end());
    if (!released.lost.empty())
        parts.push_back("the camera was disconnected, so the lock on " + JoinNames(released.lost) +
                        " was lost");
    return Sentence(released.done.empty() ? "" : "Camera unlocked: ", parts);
}

}  // namespace flipbook
