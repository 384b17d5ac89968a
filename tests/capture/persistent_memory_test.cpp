// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/persistent_memory.h"

#include <gtest/gtest.h>

#include <vector>

#include "capture/media_type.h"
#include "platform/core/exception.h"
#include "platform/graphics/stream.h"
#include "platform/mediagraph/service.h"
#include "test_camera.h"

namespace flipbook {
namespace {

const bool kCameraPrepared = (testing::PrepareTestCamera(), true);

std::vector<std::uint8_t> Stored(const TPersistentMemory& memory) {
    MemoryStream stream;
    memory.WriteData(stream);
    return stream.Bytes();
}

std::vector<std::uint8_t> Stored(const TMediaType& type) {
    MemoryStream stream;
    type.WriteData(stream);
    return stream.Bytes();
}

TPersistentMemory MemoryOf(const std::vector<std::uint8_t>& block) {
    std::vector<std::uint8_t> stored{static_cast<std::uint8_t>(block.size()), 0, 0, 0};
    stored.insert(stored.end(), block.begin(), block.end());
    MemoryStream stream(stored);
    TPersistentMemory memory;
    memory.ReadData(stream);
    return memory;
}

TEST(TPersistentMemory_Data, IsTheLittleEndianLengthThenTheBlock_AndReadsBack) {
    TPersistentMemory memory;
    memory.SetDataLength(3);
    EXPECT_EQ(Stored(memory), (std::vector<std::uint8_t>{3, 0, 0, 0, 0, 0, 0}));  // new blocks are zero

    MemoryStream stream(std::vector<std::uint8_t>{2, 1, 0, 0});
    std::vector<std::uint8_t> block(258);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i * 7);
    stream.SetPosition(4);
    stream.WriteBuffer(block.data(), block.size());
    stream.SetPosition(0);
    memory.ReadData(stream);
    ASSERT_EQ(memory.DataLength(), 258u);
    EXPECT_EQ(std::vector<std::uint8_t>(memory.Data(), memory.Data() + 258), block);
    EXPECT_EQ(Stored(memory), stream.Bytes());

    MemoryStream empty(std::vector<std::uint8_t>{0, 0, 0, 0});
    memory.ReadData(empty);
    EXPECT_EQ(memory.DataLength(), 0u);
    EXPECT_EQ(memory.Data(), nullptr);
}

TEST(TPersistentMemory_Data, LengthBeyondTheStream_RaisesWithoutAllocating) {
    TPersistentMemory memory = MemoryOf({1, 2, 3});
    // A length of 4 GiB - 1 backed by two bytes must not be believed.
    MemoryStream stream(std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 9, 9});
    EXPECT_THROW(memory.ReadData(stream), EReadError);
    EXPECT_EQ(memory.DataLength(), 0u);
    MemoryStream cut(std::vector<std::uint8_t>{5, 0});
    EXPECT_THROW(memory.ReadData(cut), EReadError);
}

TEST(TPersistentMemory_StoresData, OnlyAnEqualNonEmptyAncestorSparesTheValue) {
    const TPersistentMemory block = MemoryOf({1, 2, 3});
    const TPersistentMemory same = MemoryOf({1, 2, 3});
    const TPersistentMemory other = MemoryOf({1, 2, 4});
    const TPersistentMemory longer = MemoryOf({1, 2, 3, 0});
    const TPersistentMemory empty;
    EXPECT_TRUE(block.StoresData(nullptr));
    EXPECT_FALSE(block.StoresData(&same));
    EXPECT_TRUE(block.StoresData(&other));
    EXPECT_TRUE(block.StoresData(&longer));
    EXPECT_TRUE(block.StoresData(&empty));
    EXPECT_TRUE(empty.StoresData(&empty));  // both empty: the length 0 is still written
}

TEST(TPersistentMemory_Assign, CopiesTheBlock) {
    TPersistentMemory source = MemoryOf({7, 8});
    TPersistentMemory target = MemoryOf({1, 2, 3, 4});
    target.Assign(source);
    EXPECT_EQ(Stored(target), (std::vector<std::uint8_t>{2, 0, 0, 0, 7, 8}));
    EXPECT_NE(target.Data(), source.Data());
}

class TBaseFilterTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing::SetTestCameras("First Camera;Second Camera:640x480");
        CoInitialize();
    }
    void TearDown() override {
        CoUninitialize();
        testing::SetTestCameras("");
    }

    static ComPtr<IMoniker> DeviceMoniker(int index) {
        ComPtr<ICreateDevEnum> devices;
        CoCreateInstance(CLSID_SystemDeviceEnum, CLSCTX_INPROC, devices);
        ComPtr<IEnumMoniker> enumerator;
        devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, enumerator, 0);
        ComPtr<IMoniker> moniker;
        if (enumerator) {
            enumerator->Skip(static_cast<std::uint32_t>(index));
            enumerator->Next(1, moniker.Put(), nullptr);
        }
        return moniker;
    }
};

TEST_F(TBaseFilterTest, EmptyBlock_GivesNoMonikerAndNoFilter) {
    TBaseFilter baseFilter;
    MemoryStream stored(std::vector<std::uint8_t>{0, 0, 0, 0});
    baseFilter.ReadData(stored);
    EXPECT_FALSE(baseFilter.Moniker());
    EXPECT_FALSE(baseFilter.CreateFilter());
}

TEST_F(TBaseFilterTest, Moniker_IsKeptAsItsPersistedImage_AndBindsToTheDevice) {
    ComPtr<IMoniker> second = DeviceMoniker(1);
    ASSERT_TRUE(second);
    TBaseFilter baseFilter;
    baseFilter.SetMoniker(second.Get());
    std::vector<std::uint8_t> image;
    ASSERT_EQ(OleSaveToStream(second.Get(), image), S_OK);
    ASSERT_EQ(baseFilter.DataLength(), image.size());
    EXPECT_EQ(std::vector<std::uint8_t>(baseFilter.Data(), baseFilter.Data() + image.size()), image);
    const auto classId = CLSID_DeviceMoniker.ToBytes();
    EXPECT_TRUE(std::equal(classId.begin(), classId.end(), baseFilter.Data()));

    // The stored value alone is enough to find the device again, as after reading settings.
    TBaseFilter reread;
    MemoryStream stream;
    baseFilter.WriteData(stream);
    stream.SetPosition(0);
    reread.ReadData(stream);
    ComPtr<IMoniker> loaded = reread.Moniker();
    ASSERT_TRUE(loaded);
    std::string loadedName, secondName;
    loaded->GetDisplayName(loadedName);
    second->GetDisplayName(secondName);
    EXPECT_EQ(loadedName, secondName);
    EXPECT_TRUE(reread.CreateFilter());

    baseFilter.SetMoniker(nullptr);
    EXPECT_EQ(baseFilter.DataLength(), 0u);
    EXPECT_FALSE(baseFilter.Moniker());
}

TEST_F(TBaseFilterTest, GarbageImage_GivesNoMoniker) {
    TBaseFilter baseFilter;
    MemoryStream stored(std::vector<std::uint8_t>{5, 0, 0, 0, 1, 2, 3, 4, 5});
    baseFilter.ReadData(stored);
    EXPECT_FALSE(baseFilter.Moniker());
    EXPECT_FALSE(baseFilter.CreateFilter());
}

// The stored value of the main window's sample grabber: video, RGB24, VideoInfo, fixed-size samples,
// sample size 1, no format block.
std::vector<std::uint8_t> WindowGrabberImage() {
    std::vector<std::uint8_t> image(72);
    auto put = [&](std::size_t at, const GUID& guid) {
        const auto bytes = guid.ToBytes();
        std::copy(bytes.begin(), bytes.end(), image.begin() + static_cast<std::ptrdiff_t>(at));
    };
    put(0, MEDIATYPE_Video);
    put(16, MEDIASUBTYPE_RGB24);
    image[32] = image[33] = image[34] = image[35] = 0xFF;
    image[40] = 1;
    put(44, FORMAT_VideoInfo);
    return image;
}

TEST(TMediaType_Data, WindowGrabberValue_ReadsAsRgb24VideoWithoutFormat) {
    std::vector<std::uint8_t> image = WindowGrabberImage();
    EXPECT_EQ(image[0], 0x76);  // majortype's first field is little-endian: 73646976
    TMediaType type;
    MemoryStream stream(image);
    type.ReadData(stream);
    const AM_MEDIA_TYPE& record = type.MediaType();
    EXPECT_EQ(record.majortype, MEDIATYPE_Video);
    EXPECT_EQ(record.subtype, MEDIASUBTYPE_RGB24);
    EXPECT_EQ(record.formattype, FORMAT_VideoInfo);
    EXPECT_EQ(record.bFixedSizeSamples, -1);
    EXPECT_EQ(record.bTemporalCompression, 0);
    EXPECT_EQ(record.lSampleSize, 1u);
    EXPECT_EQ(record.cbFormat, 0u);
    EXPECT_EQ(record.pbFormat, nullptr);
    EXPECT_EQ(Stored(type), image);
}

TEST(TMediaType_Data, FormatBlockFollowsTheRecord_AndStoredAddressesAreIgnored) {
    std::vector<std::uint8_t> image = WindowGrabberImage();
    image[60] = 0x44;  // pUnk slot
    image[64] = 5;     // cbFormat
    image[68] = 0x88;  // pbFormat slot
    image.insert(image.end(), {10, 20, 30, 40, 50});
    TMediaType type;
    MemoryStream stream(image);
    type.ReadData(stream);
    EXPECT_EQ(type.MediaType().pUnk, nullptr);
    ASSERT_EQ(type.MediaType().cbFormat, 5u);
    EXPECT_EQ(std::vector<std::uint8_t>(type.MediaType().pbFormat, type.MediaType().pbFormat + 5),
              (std::vector<std::uint8_t>{10, 20, 30, 40, 50}));
    image[60] = 0;
    image[68] = 0;
    EXPECT_EQ(Stored(type), image);

    // Reading again frees the old block and takes the new record.
    TMediaType fresh;
    MemoryStream again(Stored(fresh));
    type.ReadData(again);
    EXPECT_TRUE(type.Equals(fresh));
    EXPECT_EQ(type.MediaType().pbFormat, nullptr);
}

TEST(TMediaType_Data, FormatLengthBeyondTheStream_RaisesWithoutAllocating) {
    std::vector<std::uint8_t> image = WindowGrabberImage();
    image[64] = image[65] = image[66] = 0xFF;
    image[67] = 0x7F;
    image.insert(image.end(), {1, 2, 3});
    TMediaType type;
    MemoryStream stream(image);
    EXPECT_THROW(type.ReadData(stream), EReadError);
    EXPECT_EQ(type.MediaType().cbFormat, 0u);
    EXPECT_EQ(type.MediaType().pbFormat, nullptr);
    MemoryStream cut(std::vector<std::uint8_t>(71));
    EXPECT_THROW(type.ReadData(cut), EReadError);
}

TMediaType TypeWithFormat(std::vector<std::uint8_t> format) {
    TMediaType type;
    AM_MEDIA_TYPE& record = type.MediaType();
    record.majortype = MEDIATYPE_Video;
    record.subtype = MEDIASUBTYPE_RGB24;
    record.formattype = FORMAT_VideoInfo;
    record.pbFormat = static_cast<std::uint8_t*>(CoTaskMemAlloc(format.size()));
    record.cbFormat = static_cast<std::uint32_t>(format.size());
    std::copy(format.begin(), format.end(), record.pbFormat);
    return type;
}

TEST(TMediaType_Equals, ComparesTypesAndFormatBytesOnly) {
    const TMediaType a = TypeWithFormat({1, 2, 3});
    TMediaType b = TypeWithFormat({1, 2, 3});
    b.MediaType().lSampleSize = 99;  // not part of equality
    b.MediaType().bFixedSizeSamples = 0;
    EXPECT_TRUE(a.Equals(b));
    EXPECT_FALSE(a.StoresData(&b));
    EXPECT_TRUE(a.StoresData(nullptr));

    EXPECT_FALSE(a.Equals(TypeWithFormat({1, 2, 4})));
    EXPECT_FALSE(a.Equals(TypeWithFormat({1, 2})));
    TMediaType otherSubtype = TypeWithFormat({1, 2, 3});
    otherSubtype.MediaType().subtype = MEDIASUBTYPE_YUY2;
    EXPECT_FALSE(a.Equals(otherSubtype));
    EXPECT_TRUE(a.StoresData(&otherSubtype));
    TMediaType otherFormat = TypeWithFormat({1, 2, 3});
    otherFormat.MediaType().formattype = FORMAT_VideoInfo2;
    EXPECT_FALSE(a.Equals(otherFormat));
}

class CountedThing : public ComObject<IUnknown> {
public:
    std::uint32_t Count() {
        AddRef();
        return Release();
    }
};

TEST(TMediaType_Assign, DuplicatesTheBlockAndCountsTheReference) {
    ComPtr<CountedThing> thing = MakeCom<CountedThing>();
    TMediaType source = TypeWithFormat({4, 5, 6});
    source.MediaType().pUnk = thing.Get();
    thing->AddRef();  // the record's own reference
    {
        TMediaType target = TypeWithFormat({9});
        target.Assign(source);
        EXPECT_TRUE(target.Equals(source));
        EXPECT_NE(target.MediaType().pbFormat, source.MediaType().pbFormat);
        EXPECT_EQ(target.MediaType().pUnk, thing.Get());
        EXPECT_EQ(thing->Count(), 3u);
        TMediaType copy(target);
        EXPECT_EQ(thing->Count(), 4u);
    }
    EXPECT_EQ(thing->Count(), 2u);  // freeing a media type drops its reference
}

}  // namespace
}  // namespace flipbook
