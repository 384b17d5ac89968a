// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A stand-in for the service's sample grabber filter, registered for its class id: it reports the
// connected media type and kept sample it is given and records what the component asks of it.

#include <cstring>
#include <vector>

#include "platform/com/class_factory.h"
#include "platform/mediagraph/media_type.h"
#include "platform/mediagraph/sample_grabber.h"
#include "platform/mediagraph/service.h"

namespace flipbook::testing {

class FakePin : public ComObject<IPin> {
public:
    HRESULT Disconnect() override {
        ++disconnects;
        return S_FALSE;
    }
    HRESULT ConnectedTo(ComPtr<IPin>& other) override {
        other.Reset();
        return E_NOTIMPL;
    }
    HRESULT QueryDirection(PinDirection&) override { return E_NOTIMPL; }
    HRESULT QueryId(std::string&) override { return E_NOTIMPL; }

    int disconnects = 0;
};

class FakeSampleGrabber : public ComObject<IBaseFilter, ISampleGrabber> {
public:
    ~FakeSampleGrabber() override { FreeMediaType(connected_); }

    // Connects a video type whose image header has these values, in a VIDEOINFOHEADER block or, for
    // FORMAT_VideoInfo2, in a VIDEOINFOHEADER2 block.
    void Connect(std::int32_t width, std::int32_t height, std::uint16_t bitCount = 24,
                 const GUID& formatType = FORMAT_VideoInfo, std::uint32_t compression = 0) {
        FreeMediaType(connected_);
        connected_.majortype = MEDIATYPE_Video;
        connected_.subtype = MEDIASUBTYPE_RGB24;
        connected_.formattype = formatType;
        std::uint8_t* videoInfo = MakeVideoInfoFormat({width, height, bitCount, compression, 0}, 0);
        if (formatType == FORMAT_VideoInfo2) {
            // The second form has 24 more bytes before the same image header.
            constexpr std::uint32_t size = kVideoInfo2ImageHeaderOffset + kImageHeaderSize;
            connected_.pbFormat = static_cast<std::uint8_t*>(CoTaskMemAlloc(size));
            std::memset(connected_.pbFormat, 0, size);
            std::memcpy(connected_.pbFormat + kVideoInfo2ImageHeaderOffset,
                        videoInfo + kVideoInfoImageHeaderOffset, kImageHeaderSize);
            connected_.cbFormat = size;
            CoTaskMemFree(videoInfo);
        } else {
            connected_.pbFormat = videoInfo;
            connected_.cbFormat = kVideoInfoHeaderSize;
        }
        connectedResult = S_OK;
    }

    // IBaseFilter
    HRESULT EnumPins(std::vector<ComPtr<IPin>>& pins) override {
        pins = {input, output};
        return S_OK;
    }
    HRESULT Stop() override {
        ++stops;
        return S_OK;
    }

    // ISampleGrabber
    HRESULT SetOneShot(bool) override { return S_OK; }
    HRESULT SetMediaType(const AM_MEDIA_TYPE* type) override {
        ++mediaTypesSet;
        lastSubtype = type->subtype;
        return S_OK;
    }
    HRESULT GetConnectedMediaType(AM_MEDIA_TYPE* type) override {
        if (connectedResult != S_OK) return connectedResult;
        return CopyMediaType(*type, connected_);
    }
    HRESULT SetBufferSamples(bool bufferThem) override {
        bufferSamples = bufferThem;
        return S_OK;
    }
    HRESULT GetCurrentBuffer(std::int32_t* bufferSize, void* buffer) override {
        if (!haveKept) return VFW_E_WRONG_STATE;
        if (*bufferSize < static_cast<std::int32_t>(kept.size())) return E_OUTOFMEMORY;
        std::memcpy(buffer, kept.data(), kept.size());
        *bufferSize = static_cast<std::int32_t>(kept.size());
        return S_OK;
    }
    HRESULT SetCallback(ISampleGrabberCB* newCallback, std::int32_t which) override {
        callback = newCallback;
        callbackWhich = which;
        ++callbacksSet;
        return S_OK;
    }

    // The type GetConnectedMediaType reports, for changing single fields.
    AM_MEDIA_TYPE& Connected() { return connected_; }

    void Keep(std::vector<std::uint8_t> sample) {
        kept = std::move(sample);
        haveKept = true;
    }

    HRESULT connectedResult = VFW_E_NOT_CONNECTED;
    std::vector<std::uint8_t> kept;
    bool haveKept = false;

    ComPtr<FakePin> input = MakeCom<FakePin>();
    ComPtr<FakePin> output = MakeCom<FakePin>();
    int stops = 0;
    int mediaTypesSet = 0;
    GUID lastSubtype;
    bool bufferSamples = false;
    ISampleGrabberCB* callback = nullptr;
    std::int32_t callbackWhich = -1;
    int callbacksSet = 0;

private:
    AM_MEDIA_TYPE connected_{};
};

// Makes CoCreateInstance of the sample grabber class give this fake while the object lives.
class FakeSampleGrabberClass {
public:
    FakeSampleGrabberClass()
        : registration_(CLSID_SampleGrabber, [grabber = grabber] {
              return ComPtr<IUnknown>(static_cast<IBaseFilter*>(grabber.Get()));
          }) {}

    ComPtr<FakeSampleGrabber> grabber = MakeCom<FakeSampleGrabber>();

private:
    ClassRegistration registration_;
};

}  // namespace flipbook::testing
