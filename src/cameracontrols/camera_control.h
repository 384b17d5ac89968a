// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/exception.h"

namespace flipbook {

// A camera control refused or unreadable, in plain words ("Exposure: the camera is busy and cannot
// change it now"). Reason() is the words after the control's name, for a caller that names the
// control its own way.
class ECameraControl : public Exception {
public:
    ECameraControl(const std::string& control, const std::string& reason)
        : Exception(control + ": " + reason), reason_(reason) {}
    explicit ECameraControl(const std::string& message) : Exception(message), reason_(message) {}

    const std::string& Reason() const { return reason_; }

private:
    std::string reason_;
};

// The camera is gone (pulled out): no later call can succeed.
class ECameraGone : public ECameraControl {
public:
    using ECameraControl::ECameraControl;
};

enum class ControlType { Integer, Boolean, Menu, Button };

// One entry of a menu control: the value it stands for and its name.
struct MenuEntry {
    int value = 0;
    std::string name;
};

// One control of a camera as the camera describes it, with its value when it was read. Ids are
// V4L2's control ids, whichever way the camera is reached, so the lock finds the same automatics on
// every kind of camera.
struct CameraControl {
    std::uint32_t id = 0;
    std::string name;
    ControlType type = ControlType::Integer;
    int minimum = 0;
    int maximum = 0;
    int step = 1;
    int defaultValue = 0;
    int value = 0;
    // Inactive: another control (its automatic) rules it for now. Read-only: it cannot be set.
    bool inactive = false;
    bool readOnly = false;
    // The camera would not say its value (an inactive control may refuse; some firmware fails to
    // read one control at all): value is the default then.
    bool valueUnknown = false;
    std::vector<MenuEntry> menu;  // for menus, the entries the camera offers, in order
};

// The controls of one camera. Every call may raise ECameraControl; a camera that went away raises
// ECameraGone.
class CameraControls {
public:
    virtual ~CameraControls() = default;
    // Every control with its current value and flags, in the camera's order.
    virtual std::vector<CameraControl> List() = 0;
    // Sets the control; for a button, presses it (value ignored).
    virtual void Set(std::uint32_t id, int value) = 0;
};

// The control of that id in the list, or null.
const CameraControl* FindControl(const std::vector<CameraControl>& controls, std::uint32_t id);

}  // namespace flipbook
