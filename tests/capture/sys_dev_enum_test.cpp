// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/sys_dev_enum.h"

#include <gtest/gtest.h>

#include "platform/mediagraph/filters.h"
#include "platform/mediagraph/service.h"
#include "test_camera.h"

namespace flipbook {
namespace {

const bool kCameraPrepared = (testing::PrepareTestCamera(), true);

class SysDevEnum : public ::testing::Test {
protected:
    void SetUp() override { CoInitialize(); }
    void TearDown() override {
        testing::SetTestCameras("");
        CoUninitialize();
    }

    static std::vector<std::string> Names(const TSysDevEnum& devices) {
        std::vector<std::string> names;
        for (int i = 0; i < devices.DeviceCount(); ++i) names.push_back(devices.Devices(i).FriendlyName);
        return names;
    }
};

TEST_F(SysDevEnum, Construction_ListsTheCategorysDevicesInOrder) {
    struct Case {
        std::string cameras;
        std::vector<std::string> names;
    };
    for (const Case& test : std::vector<Case>{{"", {}},
                                              {"Only", {"Only"}},
                                              {"Left:640x480;Right:ball", {"Left", "Right"}},
                                              {"Twin:smpte;Twin:ball", {"Twin", "Twin"}}}) {
        testing::SetTestCameras(test.cameras);
        TSysDevEnum devices(CLSID_VideoInputDeviceCategory);
        EXPECT_EQ(Names(devices), test.names) << test.cameras;
    }
}

TEST_F(SysDevEnum, Devices_CutsLongNamesAt255Characters_AndGivesTheZeroGuidWithoutClassId) {
    std::string ascii(300, 'n');
    std::string accented;
    for (int i = 0; i < 300; ++i) accented += "\xC3\xA9";  // é, two bytes each
    testing::SetTestCameras(ascii + ";" + accented +
                            ":noclsid;Marked:clsid={00112233-4455-6677-8899-AABBCCDDEEFF}");
    TSysDevEnum devices(CLSID_VideoInputDeviceCategory);
    ASSERT_EQ(devices.DeviceCount(), 3);
    EXPECT_EQ(devices.Devices(0).FriendlyName, std::string(255, 'n'));
    EXPECT_NE(devices.Devices(0).CLSID, GUID_NULL);
    EXPECT_EQ(devices.Devices(1).FriendlyName, accented.substr(0, 510));
    EXPECT_EQ(devices.Devices(1).CLSID, GUID_NULL);
    EXPECT_EQ(devices.Devices(2).CLSID, MakeGuid("{00112233-4455-6677-8899-AABBCCDDEEFF}"));
    EXPECT_THROW(devices.Devices(3), EListError);
    EXPECT_THROW(devices.Devices(-1), EListError);
}

TEST_F(SysDevEnum, SelectCategory_RaisesTheComError_ForAClassIdNotInRegistryForm) {
    testing::SetTestCameras("Good;Bad:clsid=not-a-guid");
    try {
        TSysDevEnum devices(CLSID_VideoInputDeviceCategory);
        FAIL() << "no exception";
    } catch (const EOleSysError& error) {
        EXPECT_EQ(error.ErrorCode(), CO_E_CLASSSTRING);
    }
}

TEST_F(SysDevEnum, GetMoniker_GivesNoneOutsideTheList) {
    TSysDevEnum none(CLSID_VideoInputDeviceCategory);
    EXPECT_EQ(none.DeviceCount(), 0);
    EXPECT_FALSE(none.GetMoniker(0));

    testing::SetTestCameras("One;Two");
    TSysDevEnum devices(CLSID_VideoInputDeviceCategory);
    EXPECT_FALSE(devices.GetMoniker(-1));
    EXPECT_FALSE(devices.GetMoniker(devices.DeviceCount()));
    ASSERT_TRUE(devices.GetMoniker(1));

    devices.SelectCategory(CLSID_SystemDeviceEnum);  // not a device category
    EXPECT_EQ(devices.DeviceCount(), 0);
    EXPECT_FALSE(devices.GetMoniker(0));
}

// Cameras of one model share a name; the device path tells them apart, also when the list changed
// since it was read.
TEST_F(SysDevEnum, GetMoniker_FindsTheListedCameraByItsDevicePath_AfterTheListChanged) {
    testing::SetTestCameras("Twin:smpte;Twin:ball");
    TSysDevEnum devices(CLSID_VideoInputDeviceCategory);
    ASSERT_EQ(devices.DeviceCount(), 2);
    EXPECT_EQ(devices.Devices(0).DevicePath, "/dev/video0");
    EXPECT_EQ(devices.Devices(1).DevicePath, "/dev/video1");
    EXPECT_EQ(devices.IndexOfPath("/dev/video1"), 1);
    EXPECT_EQ(devices.IndexOfPath("/dev/video9"), -1);

    testing::SetTestCameras("Twin:ball:path=/dev/video1");  // the first one pulled out
    EXPECT_FALSE(devices.GetMoniker(0));
    ComPtr<IMoniker> second = devices.GetMoniker(1);
    ASSERT_TRUE(second);
    ComPtr<IPropertyBag> properties;
    ASSERT_EQ(second->BindToStorage(nullptr, nullptr, IPropertyBag::kIid, properties.PutVoid()), S_OK);
    std::string path;
    EXPECT_EQ(properties->Read("DevicePath", path), S_OK);
    EXPECT_EQ(path, "/dev/video1");
}

TEST_F(SysDevEnum, GetMoniker_StillBindsAfterItsImageWentThroughBytes_AndNotOnceTheDeviceIsGone) {
    testing::SetTestCameras("Desk;Desk:640x480");
    TSysDevEnum devices(CLSID_VideoInputDeviceCategory);
    ComPtr<IMoniker> moniker = devices.GetMoniker(1);
    ASSERT_TRUE(moniker);
    std::vector<std::uint8_t> image;
    ASSERT_EQ(OleSaveToStream(moniker.As<IPersistStream>().Get(), image), S_OK);
    moniker.Reset();

    ByteReader reader(image);
    ComPtr<IMoniker> loaded;
    ASSERT_EQ(OleLoadFromStream(reader, IMoniker::kIid, loaded.PutVoid()), S_OK);
    ComPtr<IBaseFilter> filter;
    EXPECT_EQ(loaded->BindToObject(nullptr, nullptr, IBaseFilter::kIid, filter.PutVoid()), S_OK);
    EXPECT_TRUE(filter);

    // The unplugged device takes the moniker's binding with it, even though another device of the
    // same name is still there; and a fresh GetMoniker finds fewer devices than its index needs.
    testing::SetTestCameras("Desk");
    EXPECT_EQ(loaded->BindToObject(nullptr, nullptr, IBaseFilter::kIid, filter.PutVoid()), MK_E_NOOBJECT);
    EXPECT_FALSE(devices.GetMoniker(1));
}

}  // namespace
}  // namespace flipbook
