// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/mediagraph/sample_grabber.h"

#include <gst/app/gstappsink.h>
#include <gst/video/video.h>

#include <mutex>
#include <vector>

#include "platform/mediagraph/gst_filter.h"
#include "platform/mediagraph/service.h"
#include "platform/mediagraph/service_classes.h"

namespace flipbook {

namespace {

constexpr std::uint32_t FourCC(char a, char b, char c, char d) {
    return static_cast<std::uint32_t>(a) | (static_cast<std::uint32_t>(b) << 8) |
           (static_cast<std::uint32_t>(c) << 16) | (static_cast<std::uint32_t>(d) << 24);
}

// Video subtypes of four-character codes share one pattern: the code, then a fixed tail.
GUID FourCCSubtype(std::uint32_t fourCC) {
    GUID subtype = MakeGuid("{00000000-0000-0010-8000-00AA00389B71}");
    subtype.data1 = fourCC;
    return subtype;
}

struct RawFormat {
    GUID subtype;
    const char* format;
};

constexpr RawFormat kRawFormats[] = {
    {MEDIASUBTYPE_RGB24, "BGR"}, {MEDIASUBTYPE_RGB32, "BGRx"}, {MEDIASUBTYPE_YUY2, "YUY2"},
    {MEDIASUBTYPE_I420, "I420"}, {MEDIASUBTYPE_NV12, "NV12"},
};

// The caps a media type lets through: no major type accepts anything; video without a subtype
// accepts any raw video. A VIDEOINFOHEADER with a size fixes the size.
gst::CapsPtr CapsOfMediaType(const AM_MEDIA_TYPE& type) {
    if (type.majortype == GUID_NULL) return gst::CapsPtr(gst_caps_new_any());
    if (type.majortype != MEDIATYPE_Video) return gst::CapsPtr(gst_caps_new_empty());
    gst::CapsPtr caps;
    if (type.subtype == GUID_NULL) {
        caps.reset(gst_caps_new_empty_simple("video/x-raw"));
    } else if (type.subtype == MEDIASUBTYPE_MJPG) {
        caps.reset(gst_caps_new_empty_simple("image/jpeg"));
    } else {
        for (const RawFormat& raw : kRawFormats)
            if (raw.subtype == type.subtype)
                caps.reset(gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, raw.format, nullptr));
        if (!caps) return gst::CapsPtr(gst_caps_new_empty());
    }
    VideoImageHeader header;
    if (type.formattype == FORMAT_VideoInfo &&
        ReadVideoImageHeader(type, kVideoInfoImageHeaderOffset, header) && header.width > 0 &&
        header.height != 0) {
        gst_caps_set_simple(caps.get(), "width", G_TYPE_INT, header.width, "height", G_TYPE_INT,
                            header.height < 0 ? -header.height : header.height, nullptr);
    }
    return caps;
}

// The media type of negotiated caps; false for caps that are not video.
bool MediaTypeOfCaps(const GstCaps* caps, AM_MEDIA_TYPE& type) {
    const GstStructure* structure = gst_caps_get_structure(caps, 0);
    VideoImageHeader header;
    std::int64_t frameTime = 0;
    gint rateNumerator = 0;
    gint rateDenominator = 1;
    if (gst_structure_has_name(structure, "image/jpeg")) {
        gint width = 0;
        gint height = 0;
        gst_structure_get_int(structure, "width", &width);
        gst_structure_get_int(structure, "height", &height);
        header = {width, height, 24, FourCC('M', 'J', 'P', 'G'), 0};
        type.subtype = MEDIASUBTYPE_MJPG;
        type.bFixedSizeSamples = 0;
        type.bTemporalCompression = 0;
        gst_structure_get_fraction(structure, "framerate", &rateNumerator, &rateDenominator);
    } else {
        GstVideoInfo info;
        if (!gst_video_info_from_caps(&info, caps)) return false;
        std::int32_t width = GST_VIDEO_INFO_WIDTH(&info);
        std::int32_t height = GST_VIDEO_INFO_HEIGHT(&info);
        auto size = static_cast<std::uint32_t>(GST_VIDEO_INFO_SIZE(&info));
        GstVideoFormat format = GST_VIDEO_INFO_FORMAT(&info);
        std::uint16_t bitCount =
            width > 0 && height > 0
                ? static_cast<std::uint16_t>(8ull * size / (std::uint64_t(width) * height))
                : 0;
        std::uint32_t compression = 0;
        if (format == GST_VIDEO_FORMAT_BGR) {
            type.subtype = MEDIASUBTYPE_RGB24;
            bitCount = 24;
        } else if (format == GST_VIDEO_FORMAT_BGRx || format == GST_VIDEO_FORMAT_BGRA) {
            type.subtype = MEDIASUBTYPE_RGB32;
            bitCount = 32;
        } else {
            compression = gst_video_format_to_fourcc(format);
            type.subtype = FourCCSubtype(compression);
        }
        // Our frames are top-down, which the image header tells by a negative height.
        header = {width, -height, bitCount, compression, size};
        type.bFixedSizeSamples = -1;
        type.bTemporalCompression = 0;
        type.lSampleSize = size;
        rateNumerator = GST_VIDEO_INFO_FPS_N(&info);
        rateDenominator = GST_VIDEO_INFO_FPS_D(&info);
    }
    if (rateNumerator > 0) frameTime = 10'000'000LL * rateDenominator / rateNumerator;
    type.majortype = MEDIATYPE_Video;
    type.formattype = FORMAT_VideoInfo;
    type.pUnk = nullptr;
    type.pbFormat = MakeVideoInfoFormat(header, frameTime);
    type.cbFormat = type.pbFormat ? kVideoInfoHeaderSize : 0;
    return true;
}

class MediaSample : public ComObject<IMediaSample> {
public:
    MediaSample(std::uint8_t* data, std::int32_t length) : data_(data), length_(length) {}

    HRESULT GetPointer(std::uint8_t** buffer) override {
        if (!buffer) return E_POINTER;
        *buffer = data_;
        return S_OK;
    }
    std::int32_t GetActualDataLength() override { return length_; }

private:
    std::uint8_t* data_;
    std::int32_t length_;
};

class SampleGrabber : public ComObject<IBaseFilter, ISampleGrabber, IGstElement> {
public:
    SampleGrabber() : bin_(gst::ElementPtr::Adopt(gst_bin_new(nullptr))), sink_(gst::MakeElement("appsink")) {
        if (!sink_) return;
        g_object_set(sink_.Get(), "sync", FALSE, "enable-last-sample", FALSE, "max-buffers", 1, nullptr);
        gst_bin_add(GST_BIN(bin_.Get()), sink_.Get());
        gst::PadPtr target = gst::PadPtr::Adopt(gst_element_get_static_pad(sink_.Get(), "sink"));
        gst_element_add_pad(bin_.Get(), gst_ghost_pad_new("in", target.Get()));
        // The output stays unconnected: the grabber ends the stream; it exists so callers that expect
        // an input and an output pin find both.
        gst_element_add_pad(bin_.Get(), gst_ghost_pad_new_no_target("out", GST_PAD_SRC));
        GstAppSinkCallbacks callbacks{};
        callbacks.new_sample = &SampleGrabber::OnNewSample;
        gst_app_sink_set_callbacks(GST_APP_SINK(sink_.Get()), &callbacks, this, nullptr);
    }

    ~SampleGrabber() override {
        gst_element_set_state(bin_.Get(), GST_STATE_NULL);
        FreeMediaType(mediaType_);
    }

    // IBaseFilter
    HRESULT EnumPins(std::vector<ComPtr<IPin>>& pins) override { return EnumElementPins(bin_.Get(), pins); }
    HRESULT Stop() override { return StopElement(bin_.Get()); }
    GstElement* Element() override { return bin_.Get(); }

    // ISampleGrabber
    HRESULT SetOneShot(bool oneShot) override {
        std::lock_guard lock(keptMutex_);
        oneShot_ = oneShot;
        oneShotDone_ = false;
        return S_OK;
    }
    HRESULT SetMediaType(const AM_MEDIA_TYPE* type) override {
        if (!type) return E_POINTER;
        if (!sink_) return E_UNEXPECTED;
        AM_MEDIA_TYPE copy;
        HRESULT result = CopyMediaType(copy, *type);
        if (Failed(result)) return result;
        gst::CapsPtr caps = CapsOfMediaType(copy);
        g_object_set(sink_.Get(), "caps", caps.get(), nullptr);
        FreeMediaType(mediaType_);
        mediaType_ = copy;
        return S_OK;
    }
    HRESULT GetConnectedMediaType(AM_MEDIA_TYPE* type) override {
        if (!type) return E_POINTER;
        if (!sink_) return VFW_E_NOT_CONNECTED;
        gst::PadPtr pad = gst::PadPtr::Adopt(gst_element_get_static_pad(sink_.Get(), "sink"));
        gst::CapsPtr caps(gst_pad_get_current_caps(pad.Get()));
        if (!caps) return VFW_E_NOT_CONNECTED;
        *type = AM_MEDIA_TYPE{};
        return MediaTypeOfCaps(caps.get(), *type) ? S_OK : VFW_E_NOT_CONNECTED;
    }
    HRESULT SetBufferSamples(bool bufferThem) override {
        std::lock_guard lock(keptMutex_);
        bufferSamples_ = bufferThem;
        // Switched off, the kept sample is gone: switched on again, there is none until the next.
        if (!bufferThem) kept_.reset();
        return S_OK;
    }
    HRESULT GetCurrentBuffer(std::int32_t* bufferSize, void* buffer) override {
        if (!bufferSize) return E_POINTER;
        std::lock_guard lock(keptMutex_);
        if (!bufferSamples_) return E_INVALIDARG;
        if (!kept_) return VFW_E_WRONG_STATE;
        GstBuffer* keptBuffer = gst_sample_get_buffer(kept_.get());
        auto size = static_cast<std::int32_t>(gst_buffer_get_size(keptBuffer));
        if (buffer) {
            if (*bufferSize < size) return E_OUTOFMEMORY;
            gst_buffer_extract(keptBuffer, 0, buffer, static_cast<gsize>(size));
        }
        *bufferSize = size;
        return S_OK;
    }
    HRESULT SetCallback(ISampleGrabberCB* callback, std::int32_t which) override {
        if (which != 0 && which != 1) return E_INVALIDARG;
        ComPtr<ISampleGrabberCB> old;
        {
            // Waits for a call in progress: after this returns the old callback is never called again.
            std::lock_guard lock(callbackMutex_);
            old = std::exchange(callback_, ComPtr<ISampleGrabberCB>(callback));
            callbackWhich_ = which;
        }
        return S_OK;
    }

private:
    static GstFlowReturn OnNewSample(GstAppSink* sink, gpointer self) {
        gst::SamplePtr sample(gst_app_sink_pull_sample(sink));
        if (!sample) return GST_FLOW_ERROR;
        return static_cast<SampleGrabber*>(self)->Deliver(sample);
    }

    GstFlowReturn Deliver(const gst::SamplePtr& sample) {
        GstBuffer* buffer = gst_sample_get_buffer(sample.get());
        if (!buffer) return GST_FLOW_OK;
        GstMapInfo map;
        if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) return GST_FLOW_ERROR;
        bool lastOne = false;
        {
            std::lock_guard lock(keptMutex_);
            if (oneShot_ && oneShotDone_) {
                gst_buffer_unmap(buffer, &map);
                return GST_FLOW_EOS;
            }
            // The sample itself is kept, not a copy of it: its memory stays as it is until the next
            // sample replaces it, and a copy of a 4K frame costs as much as the rest of the handler.
            if (bufferSamples_) kept_.reset(gst_sample_ref(sample.get()));
            lastOne = oneShot_;
            oneShotDone_ = oneShot_;
        }
        double sampleTime =
            GST_BUFFER_PTS_IS_VALID(buffer) ? static_cast<double>(GST_BUFFER_PTS(buffer)) / GST_SECOND : 0.0;
        auto length = static_cast<std::int32_t>(map.size);
        {
            std::lock_guard lock(callbackMutex_);
            if (callback_ && callbackWhich_ == 1) {
                callback_->BufferCB(sampleTime, map.data, length);
            } else if (callback_) {
                ComPtr<IMediaSample> mediaSample = MakeCom<MediaSample>(map.data, length);
                callback_->SampleCB(sampleTime, mediaSample.Get());
            }
        }
        gst_buffer_unmap(buffer, &map);
        return lastOne ? GST_FLOW_EOS : GST_FLOW_OK;
    }

    gst::ElementPtr bin_;
    gst::ElementPtr sink_;
    AM_MEDIA_TYPE mediaType_{};

    std::mutex keptMutex_;
    bool bufferSamples_ = false;
    bool oneShot_ = false;
    bool oneShotDone_ = false;
    gst::SamplePtr kept_;

    std::mutex callbackMutex_;
    ComPtr<ISampleGrabberCB> callback_;
    std::int32_t callbackWhich_ = 1;
};

}  // namespace

ComPtr<IUnknown> CreateSampleGrabber() {
    return ComPtr<IUnknown>(static_cast<IBaseFilter*>(new SampleGrabber));
}

}  // namespace flipbook
