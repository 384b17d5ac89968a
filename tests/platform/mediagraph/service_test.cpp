// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/mediagraph/service.h"

#include <gtest/gtest.h>

#include "platform/mediagraph/graph.h"
#include "platform/mediagraph/media_type.h"

namespace flipbook {
namespace {

TEST(Service_AMGetErrorText, GivesTheTextCutToTheBuffer) {
    EXPECT_EQ(AMGetErrorText(VFW_E_NOT_CONNECTED),
              "The operation cannot be performed because the pins are not connected.");
    EXPECT_EQ(AMGetErrorText(E_FAIL), "Unspecified error.");
    EXPECT_EQ(AMGetErrorText(MakeResult(0x80041234)), "Unknown error 0x80041234.");
    char small[11];
    EXPECT_EQ(AMGetErrorTextA(E_FAIL, small, sizeof small), 10u);
    EXPECT_STREQ(small, "Unspecifie");
}

TEST(Service_AMGetErrorText, EveryCodeTheServiceReturnsHasItsOwnText) {
    for (HRESULT code : {VFW_E_ALREADY_CONNECTED,
                         VFW_E_NO_ACCEPTABLE_TYPES,
                         VFW_E_NOT_CONNECTED,
                         VFW_E_RUNTIME_ERROR,
                         VFW_E_NOT_FOUND,
                         VFW_E_CANNOT_CONNECT,
                         VFW_E_CANNOT_RENDER,
                         VFW_E_WRONG_STATE,
                         VFW_E_NOT_IN_GRAPH,
                         E_NOTIMPL,
                         E_NOINTERFACE,
                         E_POINTER,
                         E_ABORT,
                         E_FAIL,
                         E_UNEXPECTED,
                         E_ACCESSDENIED,
                         E_OUTOFMEMORY,
                         E_INVALIDARG,
                         STG_E_WRITEFAULT,
                         STG_E_READFAULT,
                         CLASS_E_NOAGGREGATION,
                         REGDB_E_CLASSNOTREG,
                         MK_E_UNAVAILABLE,
                         MK_E_NOOBJECT,
                         CO_E_CLASSSTRING})
        EXPECT_EQ(AMGetErrorText(code).rfind("Unknown error", 0), std::string::npos) << std::hex << code;
}

TEST(Service_Apartment, RegistersTheServiceClassesButNoDvdGraphBuilder) {
    ComPtr<IGraphBuilder> graph;
    EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, CLSCTX_INPROC, graph), REGDB_E_CLASSNOTREG);
    {
        ComApartment apartment;
        ComApartment nested;
        EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, CLSCTX_INPROC, graph), S_OK);
        ComPtr<IDvdGraphBuilder> dvd;
        EXPECT_EQ(CoCreateInstance(CLSID_DvdGraphBuilder, CLSCTX_INPROC, dvd), REGDB_E_CLASSNOTREG);
    }
    graph.Reset();
    EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, CLSCTX_INPROC, graph), REGDB_E_CLASSNOTREG);
}

TEST(MediaType_VideoInfo, ImageHeaderSitsAtByte48AndRoundTrips) {
    AM_MEDIA_TYPE type;
    type.pbFormat = MakeVideoInfoFormat({321, -240, 24, 0, 964 * 240}, 333333);
    type.cbFormat = kVideoInfoHeaderSize;
    ASSERT_TRUE(type.pbFormat);
    EXPECT_EQ(type.pbFormat[48], 40);          // biSize
    EXPECT_EQ(type.pbFormat[52], 321 & 0xFF);  // biWidth
    EXPECT_EQ(type.pbFormat[56 + 3], 0xFF);    // negative biHeight
    EXPECT_EQ(type.pbFormat[62], 24);          // biBitCount
    VideoImageHeader header;
    ASSERT_TRUE(ReadVideoImageHeader(type, kVideoInfoImageHeaderOffset, header));
    EXPECT_EQ(header.width, 321);
    EXPECT_EQ(header.height, -240);
    EXPECT_EQ(header.sizeImage, 964u * 240u);
    EXPECT_FALSE(ReadVideoImageHeader(type, kVideoInfo2ImageHeaderOffset, header));  // 72 + 40 > 88

    AM_MEDIA_TYPE copy;
    ASSERT_EQ(CopyMediaType(copy, type), S_OK);
    EXPECT_NE(copy.pbFormat, type.pbFormat);
    EXPECT_TRUE(std::equal(copy.pbFormat, copy.pbFormat + copy.cbFormat, type.pbFormat));
    FreeMediaType(copy);
    FreeMediaType(type);
    EXPECT_EQ(type.pbFormat, nullptr);
    EXPECT_EQ(type.cbFormat, 0u);
}

}  // namespace
}  // namespace flipbook
