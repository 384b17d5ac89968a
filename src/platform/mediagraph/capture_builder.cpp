#include <vector>

#include "platform/mediagraph/graph.h"
#include "platform/mediagraph/gst_filter.h"
#include "platform/mediagraph/rot.h"
#include "platform/mediagraph/service.h"
#include "platform/mediagraph/service_classes.h"

namespace flipbook {

namespace {

// The first pad of the given direction that is not linked yet.
gst::PadPtr FreePad(GstElement* element, GstPadDirection direction) {
    GstIterator* pads = direction == GST_PAD_SRC ? gst_element_iterate_src_pads(element)
                                                 : gst_element_iterate_sink_pads(element);
    gst::PadPtr found;
    GValue item = G_VALUE_INIT;
    while (!found && gst_iterator_next(pads, &item) == GST_ITERATOR_OK) {
        GstPad* pad = GST_PAD(g_value_get_object(&item));
        if (!gst_pad_is_linked(pad)) found = gst::PadPtr::Ref(pad);
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(pads);
    return found;
}

// What the source's pad can give. A source that opens its device in READY (a camera) reports the
// device's real formats only there, so it is asked in READY when it can get there.
gst::CapsPtr SourceCaps(GstElement* source, GstPad* pad) {
    GstState state = GST_STATE_NULL;
    gst_element_get_state(source, &state, nullptr, 0);
    bool raised =
        state == GST_STATE_NULL && gst_element_set_state(source, GST_STATE_READY) == GST_STATE_CHANGE_SUCCESS;
    gst::CapsPtr caps(gst_pad_query_caps(pad, nullptr));
    if (raised) gst_element_set_state(source, GST_STATE_NULL);
    return caps;
}

bool CanGive(const GstCaps* caps, const char* mediaType) {
    gst::CapsPtr wanted(gst_caps_new_empty_simple(mediaType));
    return gst_caps_can_intersect(caps, wanted.get());
}

// Links a decoder's pad to the next converter once the decoder has found the stream.
void LinkDecodedPad(GstElement*, GstPad* pad, gpointer target) {
    auto* sinkPad = static_cast<GstPad*>(target);
    if (!gst_pad_is_linked(sinkPad)) gst_pad_link(pad, sinkPad);
}

class CaptureGraphBuilder : public ComObject<ICaptureGraphBuilder2> {
public:
    HRESULT SetFiltergraph(IGraphBuilder* graph) override {
        if (!graph) return E_POINTER;
        if (graph_) return E_UNEXPECTED;
        graph_ = ComPtr<IGraphBuilder>(graph);
        return S_OK;
    }
    HRESULT GetFiltergraph(ComPtr<IGraphBuilder>& graph) override {
        graph = graph_;
        return graph_ ? S_OK : E_UNEXPECTED;
    }

    HRESULT RenderStream(const GUID* category, const GUID* type, IUnknown* source, IBaseFilter* intermediate,
                         IBaseFilter* sink) override {
        if (category || type || intermediate) return E_NOTIMPL;
        if (!graph_) return E_UNEXPECTED;
        if (!source) return E_POINTER;
        if (!sink) return VFW_E_CANNOT_RENDER;
        GstElement* pipeline = ElementOf(graph_.Get());
        GstElement* sourceElement = ElementOf(source);
        GstElement* sinkElement = ElementOf(sink);
        if (!pipeline || !sourceElement || !sinkElement) return E_INVALIDARG;
        if (GST_OBJECT_PARENT(sourceElement) != GST_OBJECT(pipeline) ||
            GST_OBJECT_PARENT(sinkElement) != GST_OBJECT(pipeline))
            return VFW_E_NOT_IN_GRAPH;

        gst::PadPtr sourcePad = FreePad(sourceElement, GST_PAD_SRC);
        gst::PadPtr sinkPad = FreePad(sinkElement, GST_PAD_SINK);
        if (!sourcePad || !sinkPad) return VFW_E_CANNOT_CONNECT;

        gst::CapsPtr accepted(gst_pad_query_caps(sinkPad.Get(), nullptr));
        gst::CapsPtr offered = SourceCaps(sourceElement, sourcePad.Get());
        if (gst_caps_is_any(accepted.get()) ||
            (!gst_caps_is_empty(offered.get()) && gst_caps_is_subset(offered.get(), accepted.get()))) {
            if (gst_pad_link(sourcePad.Get(), sinkPad.Get()) != GST_PAD_LINK_OK) return VFW_E_CANNOT_CONNECT;
            NotifyRunningObjectChanged(graph_.Get());
            return S_OK;
        }
        return LinkThroughConverters(sourcePad.Get(), sinkPad.Get(), offered.get());
    }

private:
    struct Converter {
        const char* factory;
        const char* name;
    };

    // Raw video only needs its colour format changed; compressed video is decoded first, by the
    // JPEG decoder where that is what the device gives, else by whichever decoder fits.
    HRESULT LinkThroughConverters(GstPad* sourcePad, GstPad* sinkPad, const GstCaps* offered) {
        std::vector<Converter> chain;
        if (CanGive(offered, "video/x-raw")) {
            chain = {{"videoconvert", "Color Space Converter"}};
        } else if (CanGive(offered, "image/jpeg")) {
            chain = {{"jpegdec", "MJPEG Decompressor"}, {"videoconvert", "Color Space Converter"}};
        } else {
            chain = {{"decodebin", "Decoder"}};
        }

        std::vector<ComPtr<IBaseFilter>> added;
        auto fail = [&] {
            for (const ComPtr<IBaseFilter>& filter : added) graph_->RemoveFilter(filter.Get());
            return VFW_E_CANNOT_CONNECT;
        };
        GstPad* upstream = sourcePad;
        gst::PadPtr upstreamHolder;
        for (const Converter& converter : chain) {
            gst::ElementPtr element = gst::MakeElement(converter.factory);
            if (!element) return fail();
            ComPtr<IBaseFilter> filter = MakeElementFilter(element);
            if (Failed(graph_->AddFilter(filter.Get(), converter.name))) return fail();
            added.push_back(filter);
            gst::PadPtr input = gst::PadPtr::Adopt(gst_element_get_static_pad(element.Get(), "sink"));
            if (!input || gst_pad_link(upstream, input.Get()) != GST_PAD_LINK_OK) return fail();
            gst::PadPtr output = gst::PadPtr::Adopt(gst_element_get_static_pad(element.Get(), "src"));
            if (!output) {
                // A decoder that makes its output pad once it knows the stream: link it then.
                gst::ElementPtr next = gst::MakeElement("videoconvert");
                if (!next) return fail();
                ComPtr<IBaseFilter> nextFilter = MakeElementFilter(next);
                if (Failed(graph_->AddFilter(nextFilter.Get(), "Color Space Converter"))) return fail();
                added.push_back(nextFilter);
                gst::PadPtr nextInput = gst::PadPtr::Adopt(gst_element_get_static_pad(next.Get(), "sink"));
                g_signal_connect_data(
                    element.Get(), "pad-added", G_CALLBACK(LinkDecodedPad), gst_object_ref(nextInput.Get()),
                    [](gpointer pad, GClosure*) { gst_object_unref(pad); }, GConnectFlags{});
                upstreamHolder = gst::PadPtr::Adopt(gst_element_get_static_pad(next.Get(), "src"));
                upstream = upstreamHolder.Get();
                break;
            }
            upstreamHolder = output;
            upstream = upstreamHolder.Get();
        }
        if (gst_pad_link(upstream, sinkPad) != GST_PAD_LINK_OK) return fail();
        NotifyRunningObjectChanged(graph_.Get());
        return S_OK;
    }

    ComPtr<IGraphBuilder> graph_;
};

}  // namespace

ComPtr<IUnknown> CreateCaptureGraphBuilder() {
    return ComPtr<IUnknown>(new CaptureGraphBuilder);
}

}  // namespace flipbook
