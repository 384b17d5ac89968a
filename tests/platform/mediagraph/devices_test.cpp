// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/mediagraph/devices.h"
#include "platform/mediagraph/filters.h"

#include <gtest/gtest.h>

#include "platform/mediagraph/service.h"
#include "test_camera.h"

namespace flipbook {
namespace {

// Before any test of this program enters the apartment, since GStreamer reads its settings once.
const bool kCameraPrepared = (testing::PrepareTestCamera(), true);

class Devices : public ::testing::Test {
protected:
    void SetUp() override { CoInitialize(); }
    void TearDown() override {
        testing::SetTestCameras("");
        CoUninitialize();
    }

    static ComPtr<IEnumMoniker> VideoDevices(HRESULT expected) {
        ComPtr<ICreateDevEnum> devices;
        EXPECT_EQ(CoCreateInstance(CLSID_SystemDeviceEnum, CLSCTX_INPROC, devices), S_OK);
        ComPtr<IEnumMoniker> enumerator;
        EXPECT_EQ(devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, enumerator, 0), expected);
        return enumerator;
    }

    static std::string Property(IMoniker* moniker, const std::string& name) {
        ComPtr<IPropertyBag> bag;
        EXPECT_EQ(moniker->BindToStorage(nullptr, nullptr, IPropertyBag::kIid, bag.PutVoid()), S_OK);
        std::string value = "<none>";
        bag->Read(name, value);
        return value;
    }
};

TEST_F(Devices, CreateClassEnumerator_AnswersSFalseAndNone_WhenNoDevice) {
    EXPECT_FALSE(VideoDevices(S_FALSE));
    testing::SetTestCameras("Camera");
    ComPtr<ICreateDevEnum> devices;
    CoCreateInstance(CLSID_SystemDeviceEnum, CLSCTX_INPROC, devices);
    ComPtr<IEnumMoniker> enumerator;
    EXPECT_EQ(devices->CreateClassEnumerator(CLSID_SystemDeviceEnum, enumerator, 0),
              S_FALSE);  // not a category
    EXPECT_FALSE(enumerator);
}

TEST_F(Devices, ClassEnumerator_GivesDevicesInOrderWithTheirProperties) {
    testing::SetTestCameras(
        "First:noclsid;Second:640x480@15:ball:mjpeg;Third:clsid={ABCDEF01-2345-6789-ABCD-EF0123456789}");
    ComPtr<IEnumMoniker> enumerator = VideoDevices(S_OK);
    ASSERT_TRUE(enumerator);
    IMoniker* monikers[4] = {};
    std::uint32_t fetched = 0;
    EXPECT_EQ(enumerator->Next(4, monikers, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 3u);
    std::vector<ComPtr<IMoniker>> held;
    for (std::uint32_t i = 0; i < fetched; ++i) held.push_back(ComPtr<IMoniker>::Adopt(monikers[i]));
    EXPECT_EQ(Property(held[0].Get(), "FriendlyName"), "First");
    EXPECT_EQ(Property(held[0].Get(), "CLSID"), "<none>");
    EXPECT_EQ(Property(held[1].Get(), "FriendlyName"), "Second");
    EXPECT_EQ(ParseGuid(Property(held[1].Get(), "CLSID")).has_value(), true);
    EXPECT_EQ(Property(held[2].Get(), "CLSID"), "{ABCDEF01-2345-6789-ABCD-EF0123456789}");

    EXPECT_EQ(enumerator->Reset(), S_OK);
    EXPECT_EQ(enumerator->Skip(2), S_OK);
    ComPtr<IMoniker> third;
    EXPECT_EQ(enumerator->Next(1, third.Put(), nullptr), S_OK);
    EXPECT_EQ(Property(third.Get(), "FriendlyName"), "Third");
    EXPECT_EQ(enumerator->Skip(1), S_FALSE);
}

TEST_F(Devices, Moniker_BindsToTheSameDeviceAfterPersisting_AndToNothingOnceItIsGone) {
    testing::SetTestCameras("Same;Same:640x480");
    ComPtr<IEnumMoniker> enumerator = VideoDevices(S_OK);
    ComPtr<IMoniker> second;
    enumerator->Skip(1);
    ASSERT_EQ(enumerator->Next(1, second.Put(), nullptr), S_OK);

    std::vector<std::uint8_t> image;
    ASSERT_EQ(OleSaveToStream(second.As<IPersistStream>().Get(), image), S_OK);
    ASSERT_GT(image.size(), 16u);
    EXPECT_EQ(GUID::FromBytes(image.data()), CLSID_DeviceMoniker);

    ByteReader reader(image);
    ComPtr<IMoniker> loaded;
    ASSERT_EQ(OleLoadFromStream(reader, IMoniker::kIid, loaded.PutVoid()), S_OK);
    EXPECT_EQ(reader.Remaining(), 0u);
    EXPECT_EQ(Property(loaded.Get(), "FriendlyName"), "Same");
    ComPtr<IBaseFilter> filter;
    ASSERT_EQ(loaded->BindToObject(nullptr, nullptr, IBaseFilter::kIid, filter.PutVoid()), S_OK);
    std::vector<ComPtr<IPin>> pins;
    ASSERT_EQ(filter->EnumPins(pins), S_OK);
    ASSERT_EQ(pins.size(), 1u);
    PinDirection direction;
    pins[0]->QueryDirection(direction);
    EXPECT_EQ(direction, PinDirection::Output);

    // The first of the two same-named devices is another device; without the second none is bound.
    testing::SetTestCameras("Same");
    EXPECT_EQ(loaded->BindToObject(nullptr, nullptr, IBaseFilter::kIid, filter.PutVoid()), MK_E_NOOBJECT);
    EXPECT_FALSE(filter);
}

TEST_F(Devices, OleLoadFromStream_RefusesDamagedImages) {
    testing::SetTestCameras("Camera");
    ComPtr<IEnumMoniker> enumerator = VideoDevices(S_OK);
    ComPtr<IMoniker> moniker;
    enumerator->Next(1, moniker.Put(), nullptr);
    std::vector<std::uint8_t> image;
    OleSaveToStream(moniker.As<IPersistStream>().Get(), image);

    for (std::size_t length :
         {std::size_t{0}, std::size_t{10}, std::size_t{16}, std::size_t{21}, image.size() - 1}) {
        std::vector<std::uint8_t> cut(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(length));
        ByteReader reader(cut);
        ComPtr<IMoniker> loaded;
        EXPECT_EQ(OleLoadFromStream(reader, IMoniker::kIid, loaded.PutVoid()), STG_E_READFAULT) << length;
        EXPECT_FALSE(loaded);
    }
    std::vector<std::uint8_t> huge = image;
    huge[20] = 0xFF;  // the name's length byte: far beyond the image
    huge[23] = 0x7F;
    ByteReader hugeReader(huge);
    ComPtr<IMoniker> loaded;
    EXPECT_EQ(OleLoadFromStream(hugeReader, IMoniker::kIid, loaded.PutVoid()), STG_E_READFAULT);

    std::vector<std::uint8_t> unknown = image;
    unknown[0] ^= 0xFF;
    ByteReader unknownReader(unknown);
    EXPECT_EQ(OleLoadFromStream(unknownReader, IMoniker::kIid, loaded.PutVoid()), REGDB_E_CLASSNOTREG);
}

}  // namespace
}  // namespace flipbook
