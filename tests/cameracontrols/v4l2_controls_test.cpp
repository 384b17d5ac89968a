// SPDX-License-Identifier: GPL-3.0-or-later
// The V4L2 control layer and the lock over a device of our own behind the ioctl seam: no machine that
// runs the tests has a camera, and a busy, refusing or vanished camera cannot be produced otherwise.

#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>

#include "cameracontrols/camera_lock.h"
#include "cameracontrols/v4l2_controls.h"
#include "support/v4l2_query.h"

namespace flipbook {
namespace {

struct FakeControl {
    v4l2_query_ext_ctrl query{};
    int value = 0;
    std::map<int, std::string> menu;  // index to name; an index left out is a gap the driver skips
    int setError = 0;                 // what S_CTRL fails with, 0 to take the value
};

// A webcam as a UVC driver shows it: the exposure menu rules the exposure time, the white balance
// switch its temperature; a control the automatic rules is flagged inactive and cannot be read.
class FakeWebcam : public V4l2Device {
public:
    std::map<std::uint32_t, FakeControl> controls;
    int everyCallFails = 0;  // ENODEV once it is pulled out
    std::vector<std::pair<std::uint32_t, int>> sets;

    FakeWebcam() {
        Add(V4L2_CID_BRIGHTNESS, "Brightness", V4L2_CTRL_TYPE_INTEGER, -64, 64, 1, 0, 10);
        Add(V4L2_CID_AUTO_WHITE_BALANCE, "White Balance, Automatic", V4L2_CTRL_TYPE_BOOLEAN, 0, 1, 1, 1, 1);
        Add(V4L2_CID_WHITE_BALANCE_TEMPERATURE, "White Balance Temperature", V4L2_CTRL_TYPE_INTEGER, 2800,
            6500, 10, 4600, 5100);
        Add(V4L2_CID_POWER_LINE_FREQUENCY, "Power Line Frequency", V4L2_CTRL_TYPE_MENU, 0, 2, 1, 1, 2);
        controls[V4L2_CID_POWER_LINE_FREQUENCY].menu = {{0, "Disabled"}, {1, "50 Hz"}, {2, "60 Hz"}};
        Add(V4L2_CID_EXPOSURE_AUTO, "Auto Exposure", V4L2_CTRL_TYPE_MENU, 0, 3, 1, 3, 3);
        controls[V4L2_CID_EXPOSURE_AUTO].menu = {{1, "Manual Mode"}, {3, "Aperture Priority Mode"}};
        Add(V4L2_CID_EXPOSURE_ABSOLUTE, "Exposure Time, Absolute", V4L2_CTRL_TYPE_INTEGER, 3, 2047, 1, 250,
            312);
        Add(V4L2_CID_PAN_RESET, "Pan, Reset", V4L2_CTRL_TYPE_BUTTON, 0, 0, 0, 0, 0);
        Add(V4L2_CID_PAN_ABSOLUTE, "Pan (Absolute)", V4L2_CTRL_TYPE_INTEGER64, 0, 10, 1, 0, 0);
        Add(V4L2_CID_TILT_ABSOLUTE, "Tilt (Absolute)", V4L2_CTRL_TYPE_INTEGER, 0, 10, 1, 0, 0);
        controls[V4L2_CID_TILT_ABSOLUTE].query.flags = V4L2_CTRL_FLAG_DISABLED;
        Rule();
    }

    void Add(std::uint32_t id, const char* name, std::uint32_t type, int minimum, int maximum, int step,
             int defaultValue, int value) {
        FakeControl& control = controls[id];
        control.query = testing::ControlQuery(id, name, type, minimum, maximum, step, defaultValue);
        control.value = value;
    }

    // The automatics flag what they rule.
    void Rule() {
        auto flag = [&](std::uint32_t id, bool inactive) {
            auto& flags = controls[id].query.flags;
            flags = inactive ? (flags | V4L2_CTRL_FLAG_INACTIVE) : (flags & ~V4L2_CTRL_FLAG_INACTIVE);
        };
        flag(V4L2_CID_EXPOSURE_ABSOLUTE, controls[V4L2_CID_EXPOSURE_AUTO].value != V4L2_EXPOSURE_MANUAL);
        flag(V4L2_CID_WHITE_BALANCE_TEMPERATURE, controls[V4L2_CID_AUTO_WHITE_BALANCE].value != 0);
    }

    int Control(unsigned long request, void* argument) override {
        if (everyCallFails) return everyCallFails;
        if (request == VIDIOC_QUERY_EXT_CTRL) {
            auto* query = static_cast<v4l2_query_ext_ctrl*>(argument);
            const std::uint32_t id = query->id & ~V4L2_CTRL_FLAG_NEXT_CTRL;
            auto found =
                (query->id & V4L2_CTRL_FLAG_NEXT_CTRL) ? controls.upper_bound(id) : controls.find(id);
            if (found == controls.end()) return EINVAL;
            *query = found->second.query;
            return 0;
        }
        if (request == VIDIOC_QUERYMENU) {
            auto* item = static_cast<v4l2_querymenu*>(argument);
            const auto& menu = controls.at(item->id).menu;
            auto entry = menu.find(static_cast<int>(item->index));
            if (entry == menu.end()) return EINVAL;
            std::strncpy(reinterpret_cast<char*>(item->name), entry->second.c_str(), sizeof item->name - 1);
            return 0;
        }
        auto* control = static_cast<v4l2_control*>(argument);
        FakeControl& target = controls.at(control->id);
        if (request == VIDIOC_G_CTRL) {
            if (target.query.flags & V4L2_CTRL_FLAG_INACTIVE) return EINVAL;
            control->value = target.value;
            return 0;
        }
        if (target.setError) return target.setError;
        if (control->value < target.query.minimum || control->value > target.query.maximum) return ERANGE;
        sets.emplace_back(control->id, control->value);
        target.value = control->value;
        Rule();
        return 0;
    }
};

struct Controls {
    FakeWebcam* camera;
    std::unique_ptr<CameraControls> controls;
};

Controls Open() {
    auto camera = std::make_unique<FakeWebcam>();
    FakeWebcam* seen = camera.get();
    return {seen, MakeV4l2Controls(std::move(camera))};
}

TEST(V4l2Controls_List, GivesIntegersBooleansMenusAndButtons_WithFlags_AndLeavesOutWhatCannotBeSet) {
    Controls opened = Open();
    const std::vector<CameraControl> listed = opened.controls->List();
    std::vector<std::string> names;
    for (const CameraControl& control : listed) names.push_back(control.name);
    // 64-bit and disabled controls are left out; the rest come in the driver's order.
    EXPECT_EQ(names, (std::vector<std::string>{"Brightness", "White Balance, Automatic",
                                               "Power Line Frequency", "White Balance Temperature",
                                               "Auto Exposure", "Exposure Time, Absolute", "Pan, Reset"}));

    const CameraControl& brightness = *FindControl(listed, V4L2_CID_BRIGHTNESS);
    EXPECT_EQ(brightness.type, ControlType::Integer);
    EXPECT_EQ(std::tie(brightness.minimum, brightness.maximum, brightness.step, brightness.defaultValue,
                       brightness.value),
              std::make_tuple(-64, 64, 1, 0, 10));
    EXPECT_FALSE(brightness.inactive);
    EXPECT_EQ(FindControl(listed, V4L2_CID_AUTO_WHITE_BALANCE)->type, ControlType::Boolean);
    EXPECT_EQ(FindControl(listed, V4L2_CID_PAN_RESET)->type, ControlType::Button);

    // A menu lists only the entries the driver names: 0 and 2 are gaps.
    const CameraControl& exposureMode = *FindControl(listed, V4L2_CID_EXPOSURE_AUTO);
    EXPECT_EQ(exposureMode.type, ControlType::Menu);
    ASSERT_EQ(exposureMode.menu.size(), 2u);
    EXPECT_EQ(exposureMode.menu[0].value, 1);
    EXPECT_EQ(exposureMode.menu[0].name, "Manual Mode");
    EXPECT_EQ(exposureMode.menu[1].name, "Aperture Priority Mode");
    EXPECT_EQ(exposureMode.value, 3);

    // Ruled by its automatic, the exposure time is inactive, and unreadable: shown at its default.
    const CameraControl& exposure = *FindControl(listed, V4L2_CID_EXPOSURE_ABSOLUTE);
    EXPECT_TRUE(exposure.inactive);
    EXPECT_EQ(exposure.value, 250);
}

TEST(V4l2Controls_Set, ARefusalSaysWhyInPlainWords) {
    Controls opened = Open();
    opened.controls->List();
    opened.controls->Set(V4L2_CID_BRIGHTNESS, -20);
    EXPECT_EQ(opened.camera->controls[V4L2_CID_BRIGHTNESS].value, -20);

    auto refusal = [&](std::uint32_t id, int value) {
        try {
            opened.controls->Set(id, value);
        } catch (const ECameraControl& error) {
            return std::string(error.what());
        }
        return std::string("taken");
    };
    opened.camera->controls[V4L2_CID_BRIGHTNESS].setError = EBUSY;
    EXPECT_EQ(refusal(V4L2_CID_BRIGHTNESS, 5), "Brightness: the camera is busy and cannot change it now");
    EXPECT_EQ(refusal(V4L2_CID_EXPOSURE_ABSOLUTE, 5000),
              "Exposure Time, Absolute: the camera does not take that value");
    opened.camera->controls[V4L2_CID_POWER_LINE_FREQUENCY].setError = EINVAL;
    EXPECT_EQ(refusal(V4L2_CID_POWER_LINE_FREQUENCY, 1),
              "Power Line Frequency: the camera does not take that value");
    opened.camera->controls[V4L2_CID_BRIGHTNESS].setError = EACCES;
    EXPECT_EQ(refusal(V4L2_CID_BRIGHTNESS, 5), "Brightness: the camera does not allow changing it");

    opened.camera->everyCallFails = ENODEV;
    EXPECT_EQ(refusal(V4L2_CID_BRIGHTNESS, 5), "Brightness: the camera was disconnected");
    EXPECT_THROW(
        {
            try {
                opened.controls->List();
            } catch (const ECameraControl& error) {
                EXPECT_STREQ(error.what(), "The camera's controls: the camera was disconnected");
                throw;
            }
        },
        ECameraControl);
}

TEST(CameraLock_V4l2, HoldsEachAutomaticAtItsValue_AndGivesItBack) {
    Controls opened = Open();
    CameraLock lock;
    // A camera that reports the value its automatic has reached: the lock writes that back once the
    // automatic is off. The white balance temperature stays unreadable, so the camera keeps a manual
    // value of its own there, and the status says so.
    opened.camera->controls[V4L2_CID_EXPOSURE_ABSOLUTE].query.flags &= ~V4L2_CTRL_FLAG_INACTIVE;
    EXPECT_EQ(lock.Toggle(opened.controls.get()),
              "Camera locked: exposure; white balance set to manual at the camera's own value");
    EXPECT_TRUE(lock.Locked());
    EXPECT_EQ(opened.camera->controls[V4L2_CID_EXPOSURE_AUTO].value, V4L2_EXPOSURE_MANUAL);
    EXPECT_EQ(opened.camera->controls[V4L2_CID_AUTO_WHITE_BALANCE].value, 0);
    const std::vector<std::pair<std::uint32_t, int>> expected = {
        {V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_MANUAL},
        {V4L2_CID_EXPOSURE_ABSOLUTE, 312},
        {V4L2_CID_AUTO_WHITE_BALANCE, 0},
    };
    EXPECT_EQ(opened.camera->sets, expected);
    EXPECT_TRUE(lock.StillHeld(opened.controls->List()));

    EXPECT_EQ(lock.Toggle(opened.controls.get()),
              "Camera unlocked: exposure, white balance are automatic again");
    EXPECT_FALSE(lock.Locked());
    EXPECT_EQ(opened.camera->controls[V4L2_CID_EXPOSURE_AUTO].value, 3);
    EXPECT_EQ(opened.camera->controls[V4L2_CID_AUTO_WHITE_BALANCE].value, 1);

    // Already manual: nothing to switch; a camera that comes back on its automatics lost the lock.
    opened.camera->controls[V4L2_CID_EXPOSURE_AUTO].value = V4L2_EXPOSURE_MANUAL;
    opened.camera->controls[V4L2_CID_AUTO_WHITE_BALANCE].value = 0;
    EXPECT_EQ(lock.Toggle(opened.controls.get()), kAutomaticsOffText);
    opened.camera->controls[V4L2_CID_AUTO_WHITE_BALANCE].value = 1;
    lock.Lock(*opened.controls, opened.controls->List());
    opened.camera->controls[V4L2_CID_AUTO_WHITE_BALANCE].value = 1;
    EXPECT_FALSE(lock.StillHeld(opened.controls->List()));
}

TEST(CameraLock_V4l2, ARefusedSwitchIsSaidInOurWords_AndTheRestIsLockedAndGivenBack) {
    Controls opened = Open();
    opened.camera->controls[V4L2_CID_AUTO_WHITE_BALANCE].setError = EBUSY;
    CameraLock lock;
    EXPECT_EQ(lock.Toggle(opened.controls.get()),
              "Camera locked: exposure set to manual at the camera's own value; white balance not locked: "
              "the camera is busy and cannot change it now");
    EXPECT_EQ(lock.Names(), std::vector<std::string>{"exposure"});
    // A release the camera refuses stays held, so the next K tries it again.
    opened.camera->controls[V4L2_CID_EXPOSURE_AUTO].setError = EBUSY;
    EXPECT_EQ(lock.Toggle(opened.controls.get()),
              "Exposure stays locked: the camera is busy and cannot change it now");
    EXPECT_TRUE(lock.Locked());
    opened.camera->controls[V4L2_CID_EXPOSURE_AUTO].setError = 0;
    EXPECT_EQ(lock.Toggle(opened.controls.get()), "Camera unlocked: exposure is automatic again");
    EXPECT_EQ(opened.camera->controls[V4L2_CID_EXPOSURE_AUTO].value, 3);
}

TEST(CameraLock_Toggle, SaysWhenThereIsNothingToLock) {
    CameraLock lock;
    EXPECT_EQ(lock.Toggle(nullptr), kNoControlsText);
    Controls opened = Open();
    opened.camera->controls.erase(V4L2_CID_EXPOSURE_AUTO);
    opened.camera->controls.erase(V4L2_CID_AUTO_WHITE_BALANCE);
    EXPECT_EQ(lock.Toggle(opened.controls.get()), kNoAutomaticsText);
    opened.camera->controls.clear();
    EXPECT_EQ(lock.Toggle(opened.controls.get()), kNoControlsText);
    EXPECT_FALSE(lock.Locked());
}

}  // namespace
}  // namespace flipbook
