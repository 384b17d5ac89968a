// SPDX-License-Identifier: GPL-3.0-or-later
#include <optional>
#include <vector>

#include "platform/mediagraph/capture_mode.h"
#include "platform/mediagraph/frame_converter.h"
#include "platform/mediagraph/graph.h"
#include "platform/mediagraph/gst_filter.h"
#include "platform/mediagraph/rot.h"
#include "platform/mediagraph/service.h"
#include "platform/mediagraph/service_classes.h"
#include "platform/mediagraph/source_modes.h"

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

// Whether every format the source offers is one our frame converter takes.
bool ConverterTakes(const GstCaps* caps) {
    gst::ElementPtr converter = MakeFrameConverter();
    gst::PadPtr input = gst::PadPtr::Adopt(gst_element_get_static_pad(converter.Get(), "sink"));
    gst::CapsPtr taken(gst_pad_query_caps(input.Get(), nullptr));
    return !gst_caps_is_empty(caps) && gst_caps_is_subset(caps, taken.get());
}

// The values of an integer field: one, or each of a list; none for a range, which names no size a
// camera really has.
std::vector<int> IntegersOf(const GValue* value) {
    if (!value) return {};
    if (G_VALUE_HOLDS_INT(value)) return {g_value_get_int(value)};
    std::vector<int> values;
    if (GST_VALUE_HOLDS_LIST(value))
        for (guint i = 0; i < gst_value_list_get_size(value); ++i)
            if (G_VALUE_HOLDS_INT(gst_value_list_get_value(value, i)))
                values.push_back(g_value_get_int(gst_value_list_get_value(value, i)));
    return values;
}

// The rates of a framerate field: one, each of a list, or the top of a range.
std::vector<std::pair<int, int>> RatesOf(const GValue* value) {
    auto rate = [](const GValue* fraction) {
        return std::make_pair(gst_value_get_fraction_numerator(fraction),
                              gst_value_get_fraction_denominator(fraction));
    };
    if (!value) return {{0, 1}};
    if (GST_VALUE_HOLDS_FRACTION(value)) return {rate(value)};
    if (GST_VALUE_HOLDS_FRACTION_RANGE(value)) return {rate(gst_value_get_fraction_range_max(value))};
    std::vector<std::pair<int, int>> rates;
    if (GST_VALUE_HOLDS_LIST(value))
        for (guint i = 0; i < gst_value_list_get_size(value); ++i)
            if (GST_VALUE_HOLDS_FRACTION(gst_value_list_get_value(value, i)))
                rates.push_back(rate(gst_value_list_get_value(value, i)));
    return rates;
}

std::vector<std::string> FormatsOf(const GstStructure* structure) {
    if (gst_structure_has_name(structure, "image/jpeg")) return {"image/jpeg"};
    if (!gst_structure_has_name(structure, "video/x-raw")) return {};
    const GValue* value = gst_structure_get_value(structure, "format");
    if (value && G_VALUE_HOLDS_STRING(value)) return {g_value_get_string(value)};
    std::vector<std::string> formats;
    if (value && GST_VALUE_HOLDS_LIST(value))
        for (guint i = 0; i < gst_value_list_get_size(value); ++i)
            if (G_VALUE_HOLDS_STRING(gst_value_list_get_value(value, i)))
                formats.push_back(g_value_get_string(gst_value_list_get_value(value, i)));
    return formats;
}

// Every mode the caps name exactly, in their order: raw video and JPEG, each size with each rate.
std::vector<CaptureMode> ModesOf(const GstCaps* caps) {
    std::vector<CaptureMode> modes;
    for (guint i = 0; i < gst_caps_get_size(caps); ++i) {
        const GstStructure* structure = gst_caps_get_structure(caps, i);
        for (const std::string& format : FormatsOf(structure))
            for (int width : IntegersOf(gst_structure_get_value(structure, "width")))
                for (int height : IntegersOf(gst_structure_get_value(structure, "height")))
                    for (auto [numerator, denominator] :
                         RatesOf(gst_structure_get_value(structure, "framerate")))
                        modes.push_back(
                            {format, format == "image/jpeg", width, height, numerator, denominator});
    }
    return modes;
}

gst::CapsPtr CapsOf(const CaptureMode& mode) {
    gst::CapsPtr caps(gst_caps_new_simple(mode.compressed ? "image/jpeg" : "video/x-raw", "width", G_TYPE_INT,
                                          mode.width, "height", G_TYPE_INT, mode.height, nullptr));
    if (!mode.compressed)
        gst_caps_set_simple(caps.get(), "format", G_TYPE_STRING, mode.format.c_str(), nullptr);
    if (mode.rateNumerator > 0)
        gst_caps_set_simple(caps.get(), "framerate", GST_TYPE_FRACTION, mode.rateNumerator,
                            mode.rateDenominator, nullptr);
    return caps;
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
        std::vector<Converter> chain;
        // Left to negotiation, a camera settles on the first mode it lists, which is rarely the one
        // a user wants; so the mode is chosen here and held by a filter of its own.
        const std::vector<CaptureMode> modes = ModesOf(offered.get());
        std::optional<std::size_t> chosen = ChooseCaptureMode(modes);
        if (std::optional<std::size_t> preferred = PreferredModeIndex(sourceElement, modes))
            chosen = preferred;
        if (chosen) {
            gst::CapsPtr mode = CapsOf(modes[*chosen]);
            if (gst_caps_can_intersect(mode.get(), offered.get())) {
                chain.push_back({"capsfilter", "Capture Mode", gst::CapsPtr(gst_caps_ref(mode.get()))});
                offered = std::move(mode);
            }
        }
        const bool fits =
            gst_caps_is_any(accepted.get()) ||
            (!gst_caps_is_empty(offered.get()) && gst_caps_is_subset(offered.get(), accepted.get()));
        if (!fits) {
            // Frames the converter takes become the sink's BGR in one pass, written into the buffer the
            // sink receives: MJPEG decoded straight into BGR, raw YUV converted once. Other raw video
            // only needs its colour format changed; other compressed video is decoded by whichever
            // decoder fits.
            if (ConverterTakes(offered.get())) {
                chain.push_back(
                    {nullptr,
                     CanGive(offered.get(), "image/jpeg") ? "MJPEG Decompressor" : "Color Space Converter",
                     nullptr});
            } else if (CanGive(offered.get(), "video/x-raw")) {
                chain.push_back({"videoconvert", "Color Space Converter", nullptr});
            } else {
                chain.push_back({"decodebin", "Decoder", nullptr});
            }
        }
        return LinkThrough(chain, sourcePad.Get(), sinkPad.Get());
    }

private:
    struct Converter {
        const char* factory;  // none for our own frame converter
        const char* name;
        gst::CapsPtr caps;  // for a caps filter: what it lets through
    };

    // Adds the chain's elements to the graph and links source, chain and sink in that order; on a
    // failure takes out again whatever it added.
    HRESULT LinkThrough(const std::vector<Converter>& chain, GstPad* sourcePad, GstPad* sinkPad) {
        std::vector<ComPtr<IBaseFilter>> added;
        auto fail = [&] {
            for (const ComPtr<IBaseFilter>& filter : added) graph_->RemoveFilter(filter.Get());
            return VFW_E_CANNOT_CONNECT;
        };
        GstPad* upstream = sourcePad;
        gst::PadPtr upstreamHolder;
        for (const Converter& converter : chain) {
            gst::ElementPtr element =
                converter.factory ? gst::MakeElement(converter.factory) : MakeFrameConverter();
            if (!element) return fail();
            if (converter.caps) g_object_set(element.Get(), "caps", converter.caps.get(), nullptr);
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

// Beside the builder, which reads a source's modes the same way (source_modes.h).
std::vector<CaptureMode> OfferedCaptureModes(IBaseFilter* source) {
    GstElement* element = ElementOf(source);
    if (!element) return {};
    gst::PadPtr pad = gst::PadPtr::Adopt(gst_element_get_static_pad(element, "src"));
    if (!pad) return {};
    gst::CapsPtr offered = SourceCaps(element, pad.Get());
    return offered ? ModesOf(offered.get()) : std::vector<CaptureMode>{};
}

ComPtr<IUnknown> CreateCaptureGraphBuilder() {
    return ComPtr<IUnknown>(new CaptureGraphBuilder);
}

}  // namespace flipbook
