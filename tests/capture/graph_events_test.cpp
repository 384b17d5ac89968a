// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "capture/filter_graph.h"

namespace flipbook {
namespace {

// Every typed event records its name and arguments in one string, so one table covers them.
class RecordingGraph : public ::testing::Test {
protected:
    void SetUp() override {
        auto name = [this](const char* event) { return [this, event](TFilterGraph&) { seen_ = event; }; };
        auto value = [this](const char* event) {
            return [this, event](TFilterGraph&, std::int32_t v) {
                seen_ = std::string(event) + " " + std::to_string(v);
            };
        };
        auto pair = [this](const char* event) {
            return [this, event](TFilterGraph&, std::int32_t a, std::int32_t b) {
                seen_ = std::string(event) + " " + std::to_string(a) + " " + std::to_string(b);
            };
        };
        auto flag = [this](const char* event) {
            return [this, event](TFilterGraph&, bool f) {
                seen_ = std::string(event) + (f ? " true" : " false");
            };
        };
        graph_.OnGraphComplete = [this](TFilterGraph&, HRESULT result, IBaseFilter* renderer) {
            seen_ = "Complete " + std::to_string(result) + (renderer ? " renderer" : " none");
        };
        graph_.OnGraphUserAbort = name("UserAbort");
        graph_.OnGraphErrorAbort = [this](TFilterGraph&, HRESULT result, const std::string& message) {
            // Appended in place: GCC 12 at -O3 takes " " + message for an overlapping copy (-Wrestrict).
            seen_ = "ErrorAbort " + std::to_string(result);
            if (!message.empty()) seen_.append(" ").append(message);
        };
        graph_.OnGraphVideoSizeChanged = pair("VideoSize");
        graph_.OnGraphOpeningFile = flag("OpeningFile");
        graph_.OnGraphBufferingData = flag("Buffering");
        graph_.OnGraphOleEvent = [this](TFilterGraph&, const std::string& a, const std::string& b) {
            seen_ = "Ole " + a + "|" + b;
        };
        graph_.OnGraphEndOfSegment = [this](TFilterGraph&, std::int64_t time, std::int32_t segment) {
            seen_ = "EndOfSegment " + std::to_string(time) + " " + std::to_string(segment);
        };
        graph_.OnGraphDeviceLost = [this](TFilterGraph&, IUnknown*, bool removed) {
            seen_ = std::string("DeviceLost") + (removed ? " removed" : " kept");
        };
        graph_.OnGraphSNDDevOutError = pair("SndOut");
        graph_.OnGraphClockUnset = name("ClockUnset");
        graph_.OnDVDDomainTitle = name("DVDDomainTitle");
        graph_.OnDVDDomainStop = name("DVDDomainStop");
        graph_.OnDVDErrorMacrovisionFail = name("DVDMacrovision");
        graph_.OnDVDWarningSeek = value("DVDWarningSeek");
        graph_.OnDVDAnglesAvailable = flag("DVDAngles");
        graph_.OnDVDKaraokeMode = value("DVDKaraoke");
        graph_.OnDSEvent = [this](TFilterGraph&, std::int32_t code, std::intptr_t, std::intptr_t) {
            dsEvents_.push_back(code);
        };
    }

    std::string Raise(std::int32_t code, std::intptr_t param1 = 0, std::intptr_t param2 = 0) {
        seen_ = "-";
        graph_.DoGraphEvent(code, param1, param2);
        return seen_;
    }

    TFilterGraph graph_;
    std::string seen_;
    std::vector<std::int32_t> dsEvents_;
};

TEST_F(RecordingGraph, DoGraphEvent_RaisesTheTypedEventOfEachCodeWithItsArguments) {
    std::int64_t streamTime = 123456789012;
    const char* first = "first";
    const char* second = "second";
    struct Case {
        std::int32_t code;
        std::intptr_t param1;
        std::intptr_t param2;
        std::string expected;
    };
    for (const Case& test : std::vector<Case>{
             {EC_COMPLETE, 0, 0, "Complete 0 none"},
             {EC_USERABORT, 0, 0, "UserAbort"},
             {EC_ERRORABORT, static_cast<std::int32_t>(0x80004005), 0, "ErrorAbort -2147467259"},
             {EC_ERRORABORT, 1, reinterpret_cast<std::intptr_t>(first), "ErrorAbort 1 first"},
             {EC_VIDEO_SIZE_CHANGED, (480 << 16) | 640, 0, "VideoSize 640 480"},
             {EC_OPENING_FILE, 1, 0, "OpeningFile true"},
             {EC_BUFFERING_DATA, 2, 0, "Buffering false"},
             {EC_OLE_EVENT, reinterpret_cast<std::intptr_t>(first), reinterpret_cast<std::intptr_t>(second),
              "Ole first|second"},
             {EC_END_OF_SEGMENT, reinterpret_cast<std::intptr_t>(&streamTime), 3,
              "EndOfSegment 123456789012 3"},
             {EC_END_OF_SEGMENT, 0, 4, "EndOfSegment 0 4"},
             {EC_DEVICE_LOST, 0, 1, "DeviceLost removed"},
             {EC_SNDDEV_OUT_ERROR, 5, 6, "SndOut 5 6"},
             {EC_CLOCK_UNSET, 0, 0, "ClockUnset"},
             {EC_DVD_DOMAIN_CHANGE, DVD_DOMAIN_Title, 0, "DVDDomainTitle"},
             {EC_DVD_DOMAIN_CHANGE, DVD_DOMAIN_Stop, 0, "DVDDomainStop"},
             {EC_DVD_ERROR, DVD_ERROR_MacrovisionFail, 0, "DVDMacrovision"},
             {EC_DVD_WARNING, DVD_WARNING_Seek, 7, "DVDWarningSeek 7"},
             {EC_DVD_ANGLES_AVAILABLE, 1, 0, "DVDAngles true"},
             {EC_DVD_KARAOKE_MODE, 9, 0, "DVDKaraoke 9"},
             {EC_PAUSED, 0, 0, "-"},  // not assigned: nothing typed
             {4, 0, 0, "-"},          // no typed event for this code
             {EC_DVD_DOMAIN_CHANGE, 99, 0, "-"},
         })
        EXPECT_EQ(Raise(test.code, test.param1, test.param2), test.expected) << test.code;
    EXPECT_EQ(dsEvents_.size(), 22u);  // OnDSEvent comes for every code, first
}

}  // namespace
}  // namespace flipbook
