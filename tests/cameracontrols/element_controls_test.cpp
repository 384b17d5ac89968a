// SPDX-License-Identifier: GPL-3.0-or-later
// The controls a source element offers, over the test camera's element: what a camera reached without
// a device node shows, and what the window's lock and settings dialog rely on.

#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include "cameracontrols/camera_lock.h"
#include "cameracontrols/element_controls.h"
#include "platform/mediagraph/service.h"
#include "test_camera.h"

namespace flipbook {
namespace {

class ElementControlsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        testing::PrepareTestCamera();
        testing::SetTestCameras("Element Camera:controls;Plain Camera");
        apartment_ = new ComApartment;
    }
    static void TearDownTestSuite() { delete apartment_; }

    // The source element of the named test camera, as binding its device makes it.
    static gst::ElementPtr SourceOf(const std::string& name) {
        GstDeviceProvider* provider = gst_device_provider_factory_get_by_name("flipbooktestcameraprovider");
        gst::ElementPtr element;
        GList* devices = gst_device_provider_get_devices(provider);
        for (GList* item = devices; item; item = item->next) {
            gst::StringPtr shown(gst_device_get_display_name(GST_DEVICE(item->data)));
            if (name == shown.get())
                element = gst::ElementPtr::Adopt(gst_device_create_element(GST_DEVICE(item->data), nullptr));
        }
        g_list_free_full(devices, gst_object_unref);
        gst_object_unref(provider);
        return element;
    }

    static ComApartment* apartment_;
};
ComApartment* ElementControlsTest::apartment_ = nullptr;

TEST_F(ElementControlsTest, ListsTheCamerasProperties_AndRulesTheManualOnesByTheirAutomatics) {
    gst::ElementPtr source = SourceOf("Element Camera");
    ASSERT_TRUE(source);
    std::unique_ptr<CameraControls> controls = MakeElementControls(source);
    std::vector<CameraControl> listed = controls->List();
    ASSERT_EQ(listed.size(), 8u);

    const CameraControl& mode = *FindControl(listed, V4L2_CID_EXPOSURE_AUTO);
    EXPECT_EQ(mode.type, ControlType::Menu);
    EXPECT_EQ(mode.name, "Auto Exposure");
    ASSERT_EQ(mode.menu.size(), 2u);
    EXPECT_EQ(mode.menu[0].value, V4L2_EXPOSURE_MANUAL);
    EXPECT_EQ(mode.menu[0].name, "Manual Mode");
    EXPECT_EQ(mode.value, V4L2_EXPOSURE_APERTURE_PRIORITY);
    const CameraControl& exposure = *FindControl(listed, V4L2_CID_EXPOSURE_ABSOLUTE);
    EXPECT_EQ(exposure.type, ControlType::Integer);
    EXPECT_EQ(std::tie(exposure.minimum, exposure.maximum, exposure.defaultValue),
              std::make_tuple(3, 2047, 250));
    EXPECT_TRUE(exposure.inactive);
    EXPECT_EQ(FindControl(listed, V4L2_CID_FOCUS_AUTO)->type, ControlType::Boolean);
    EXPECT_FALSE(FindControl(listed, V4L2_CID_BRIGHTNESS)->inactive);

    controls->Set(V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_MANUAL);
    controls->Set(V4L2_CID_EXPOSURE_ABSOLUTE, 400);
    listed = controls->List();
    EXPECT_FALSE(FindControl(listed, V4L2_CID_EXPOSURE_ABSOLUTE)->inactive);
    EXPECT_EQ(FindControl(listed, V4L2_CID_EXPOSURE_ABSOLUTE)->value, 400);
    try {
        controls->Set(V4L2_CID_EXPOSURE_ABSOLUTE, 5000);
        ADD_FAILURE() << "a value outside the range was taken";
    } catch (const ECameraControl& error) {
        EXPECT_STREQ(error.what(), "Exposure Time, Absolute: the camera does not take that value");
    }
    // The camera keeps its values across elements, as a camera keeps them while powered.
    EXPECT_EQ(FindControl(MakeElementControls(SourceOf("Element Camera"))->List(), V4L2_CID_EXPOSURE_ABSOLUTE)
                  ->value,
              400);
}

TEST_F(ElementControlsTest, ACameraWithoutControls_HasNothingToLock) {
    gst::ElementPtr source = SourceOf("Plain Camera");
    ASSERT_TRUE(source);
    std::unique_ptr<CameraControls> controls = MakeElementControls(source);
    EXPECT_TRUE(controls->List().empty());
    CameraLock lock;
    EXPECT_EQ(lock.Toggle(controls.get()), "This camera offers no controls");
}

}  // namespace
}  // namespace flipbook
