// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "platform/mediagraph/filters.h"

namespace flipbook {

inline constexpr CLSID CLSID_SampleGrabber = MakeGuid("{C1F400A0-3F08-11D3-9F0B-006008039E37}");

// One sample as SampleCB sees it; valid only during the call.
class IMediaSample : public IUnknown {
public:
    static constexpr IID kIid = MakeGuid("{56A8689A-0AD4-11CE-B03A-0020AF0BA770}");

    virtual HRESULT GetPointer(std::uint8_t** buffer) = 0;
    virtual std::int32_t GetActualDataLength() = 0;
};

// Receives samples on the streaming thread.
class ISampleGrabberCB : public IUnknown {
public:
    static constexpr IID kIid = MakeGuid("{0579154A-2B53-4994-B0D0-E773148EFF85}");

    virtual HRESULT SampleCB(double sampleTime, IMediaSample* sample) = 0;
    virtual HRESULT BufferCB(double sampleTime, std::uint8_t* buffer, std::int32_t bufferLength) = 0;
};

// A sink filter that accepts one media type and hands each sample to a callback.
class ISampleGrabber : public IUnknown {
public:
    static constexpr IID kIid = MakeGuid("{6B652FFF-11FE-4FCE-92AD-0266B5D7C78F}");

    // After the first sample the stream ends (the graph reports EC_COMPLETE).
    virtual HRESULT SetOneShot(bool oneShot) = 0;
    // Restricts the input to that type; takes effect at the next connection.
    virtual HRESULT SetMediaType(const AM_MEDIA_TYPE* type) = 0;
    // The type of the current connection with a VIDEOINFOHEADER block (the caller frees it); rows are
    // top-down (negative height); VFW_E_NOT_CONNECTED before a connection is negotiated.
    virtual HRESULT GetConnectedMediaType(AM_MEDIA_TYPE* type) = 0;
    // Keep a copy of the last sample for GetCurrentBuffer.
    virtual HRESULT SetBufferSamples(bool bufferThem) = 0;
    // Copies the kept sample: with no buffer, gives its size; E_INVALIDARG when samples are not kept,
    // VFW_E_WRONG_STATE when none arrived yet, E_OUTOFMEMORY when *bufferSize is too small.
    virtual HRESULT GetCurrentBuffer(std::int32_t* bufferSize, void* buffer) = 0;
    // which 0 calls SampleCB, 1 calls BufferCB, for every sample on the streaming thread; null stops
    // the calls, and returns only once a call in progress has finished.
    virtual HRESULT SetCallback(ISampleGrabberCB* callback, std::int32_t which) = 0;
};

}  // namespace flipbook
