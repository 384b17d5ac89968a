// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/mediagraph/gst_filter.h"

#include "platform/mediagraph/service.h"

namespace flipbook {

namespace {

class ElementFilter : public ComObject<IBaseFilter, IGstElement> {
public:
    explicit ElementFilter(gst::ElementPtr element) : element_(std::move(element)) {}

    HRESULT EnumPins(std::vector<ComPtr<IPin>>& pins) override {
        return EnumElementPins(element_.Get(), pins);
    }
    HRESULT Stop() override { return StopElement(element_.Get()); }
    GstElement* Element() override { return element_.Get(); }

private:
    gst::ElementPtr element_;
};

class Pin : public ComObject<IPin> {
public:
    explicit Pin(gst::PadPtr pad) : pad_(std::move(pad)) {}

    HRESULT Disconnect() override {
        gst::PadPtr peer = gst::PadPtr::Adopt(gst_pad_get_peer(pad_.Get()));
        if (!peer) return S_FALSE;
        bool unlinked = GST_PAD_IS_SRC(pad_.Get()) ? gst_pad_unlink(pad_.Get(), peer.Get())
                                                   : gst_pad_unlink(peer.Get(), pad_.Get());
        return unlinked ? S_OK : S_FALSE;
    }
    HRESULT ConnectedTo(ComPtr<IPin>& other) override {
        gst::PadPtr peer = gst::PadPtr::Adopt(gst_pad_get_peer(pad_.Get()));
        if (!peer) {
            other.Reset();
            return VFW_E_NOT_CONNECTED;
        }
        other = MakePin(std::move(peer));
        return S_OK;
    }
    HRESULT QueryDirection(PinDirection& direction) override {
        direction = GST_PAD_IS_SRC(pad_.Get()) ? PinDirection::Output : PinDirection::Input;
        return S_OK;
    }
    HRESULT QueryId(std::string& id) override {
        gst::StringPtr name(gst_pad_get_name(pad_.Get()));
        id = name ? name.get() : "";
        return S_OK;
    }

private:
    gst::PadPtr pad_;
};

void AppendPins(GstIterator* iterator, std::vector<ComPtr<IPin>>& pins) {
    GValue item = G_VALUE_INIT;
    std::vector<ComPtr<IPin>> found;
    bool done = false;
    while (!done) {
        switch (gst_iterator_next(iterator, &item)) {
            case GST_ITERATOR_OK:
                found.push_back(MakePin(gst::PadPtr::Ref(GST_PAD(g_value_get_object(&item)))));
                g_value_reset(&item);
                break;
            case GST_ITERATOR_RESYNC:
                // The element's pads changed while we walked them: start again.
                found.clear();
                gst_iterator_resync(iterator);
                break;
            default:
                done = true;
                break;
        }
    }
    g_value_unset(&item);
    gst_iterator_free(iterator);
    pins.insert(pins.end(), found.begin(), found.end());
}

}  // namespace

GstElement* ElementOf(IUnknown* object) {
    ComPtr<IGstElement> element = QueryAs<IGstElement>(object);
    return element ? element->Element() : nullptr;
}

ComPtr<IBaseFilter> MakeElementFilter(gst::ElementPtr element) {
    if (!element) return nullptr;
    return MakeCom<ElementFilter>(std::move(element));
}

ComPtr<IPin> MakePin(gst::PadPtr pad) {
    return MakeCom<Pin>(std::move(pad));
}

HRESULT EnumElementPins(GstElement* element, std::vector<ComPtr<IPin>>& pins) {
    pins.clear();
    if (!element) return E_POINTER;
    AppendPins(gst_element_iterate_sink_pads(element), pins);
    AppendPins(gst_element_iterate_src_pads(element), pins);
    return S_OK;
}

HRESULT StopElement(GstElement* element) {
    if (!element) return E_POINTER;
    return gst_element_set_state(element, GST_STATE_NULL) == GST_STATE_CHANGE_FAILURE ? VFW_E_RUNTIME_ERROR
                                                                                      : S_OK;
}

}  // namespace flipbook
