#include "platform/mediagraph/graph.h"
#include "platform/mediagraph/service_classes.h"

#include <deque>
#include <mutex>

#include "platform/mediagraph/gst_filter.h"
#include "platform/mediagraph/log_file.h"
#include "platform/mediagraph/rot.h"
#include "platform/mediagraph/service.h"

namespace flipbook {

namespace {

struct GraphEvent {
    std::int32_t code;
    std::intptr_t param1;
    std::intptr_t param2;
};

struct NamedFilter {
    std::string name;
    ComPtr<IBaseFilter> filter;
    GstElement* element;
};

class FilterGraphManager : public ComObject<IGraphBuilder, IMediaControl, IMediaEventEx, IMediaEventSink,
                                            IGraphDescription, IGstElement> {
public:
    FilterGraphManager()
        : pipeline_(gst::ElementPtr::Adopt(gst_pipeline_new(nullptr))),
          bus_(gst::BusPtr::Adopt(gst_pipeline_get_bus(GST_PIPELINE(pipeline_.Get())))) {
        // Messages are turned into events on the thread that posts them, so no GLib main loop is needed.
        gst_bus_set_sync_handler(bus_.Get(), &FilterGraphManager::OnBusMessage, this, nullptr);
    }

    ~FilterGraphManager() override {
        gst_element_set_state(pipeline_.Get(), GST_STATE_NULL);
        gst_bus_set_sync_handler(bus_.Get(), nullptr, nullptr, nullptr);
        for (const NamedFilter& entry : filters_) {
            gst_element_set_state(entry.element, GST_STATE_NULL);
            gst_bin_remove(GST_BIN(pipeline_.Get()), entry.element);
        }
        if (logging_) SetDebugLogFile(0);
    }

    // IFilterGraph
    HRESULT AddFilter(IBaseFilter* filter, const std::string& name) override {
        if (!filter) return E_POINTER;
        GstElement* element = ElementOf(filter);
        if (!element || GST_OBJECT_PARENT(element) != nullptr) return E_INVALIDARG;
        std::string unique = UniqueName(name.empty() ? "Filter" : name);
        gst_object_set_name(GST_OBJECT(element), unique.c_str());
        if (!gst_bin_add(GST_BIN(pipeline_.Get()), element)) return E_FAIL;
        filters_.push_back({unique, ComPtr<IBaseFilter>(filter), element});
        NotifyRunningObjectChanged(static_cast<IGraphBuilder*>(this));
        return S_OK;
    }

    HRESULT RemoveFilter(IBaseFilter* filter) override {
        auto entry = Find(filter);
        if (entry == filters_.end()) return VFW_E_NOT_FOUND;
        GstElement* element = entry->element;
        gst_element_set_state(element, GST_STATE_NULL);
        gst_bin_remove(GST_BIN(pipeline_.Get()), element);
        filters_.erase(entry);
        NotifyRunningObjectChanged(static_cast<IGraphBuilder*>(this));
        return S_OK;
    }

    HRESULT EnumFilters(std::vector<ComPtr<IBaseFilter>>& filters) override {
        filters.clear();
        for (const NamedFilter& entry : filters_) filters.push_back(entry.filter);
        return S_OK;
    }

    HRESULT FindFilterByName(const std::string& name, ComPtr<IBaseFilter>& filter) override {
        for (const NamedFilter& entry : filters_) {
            if (entry.name == name) {
                filter = entry.filter;
                return S_OK;
            }
        }
        filter.Reset();
        return VFW_E_NOT_FOUND;
    }

    // IGraphBuilder
    HRESULT SetLogFile(std::intptr_t file) override {
        HRESULT result = SetDebugLogFile(file);
        if (Succeeded(result)) logging_ = file != 0;
        return result;
    }

    // IMediaControl
    HRESULT Run() override {
        switch (gst_element_set_state(pipeline_.Get(), GST_STATE_PLAYING)) {
            case GST_STATE_CHANGE_FAILURE:
                gst_element_set_state(pipeline_.Get(), GST_STATE_NULL);
                return VFW_E_RUNTIME_ERROR;
            case GST_STATE_CHANGE_ASYNC:
                return S_FALSE;
            default:
                return S_OK;
        }
    }
    HRESULT Stop() override {
        return gst_element_set_state(pipeline_.Get(), GST_STATE_NULL) == GST_STATE_CHANGE_FAILURE
                   ? VFW_E_RUNTIME_ERROR
                   : S_OK;
    }

    // IMediaEvent(Ex)
    HRESULT GetEvent(std::int32_t& code, std::intptr_t& param1, std::intptr_t& param2,
                     std::int32_t) override {
        std::lock_guard lock(eventMutex_);
        if (events_.empty()) return E_ABORT;
        GraphEvent event = events_.front();
        events_.pop_front();
        code = event.code;
        param1 = event.param1;
        param2 = event.param2;
        return S_OK;
    }
    HRESULT FreeEventParams(std::int32_t, std::intptr_t, std::intptr_t) override { return S_OK; }
    HRESULT SetNotifyWindow(INotifyTarget* target, std::uint32_t message, std::intptr_t instance) override {
        std::lock_guard lock(notifyMutex_);
        notifyTarget_ = target;
        notifyMessage_ = message;
        notifyInstance_ = instance;
        return S_OK;
    }
    HRESULT SetNotifyFlags(std::int32_t flags) override {
        if (flags != 0 && flags != 1) return E_INVALIDARG;
        std::lock_guard lock(notifyMutex_);
        notifyDisabled_ = flags == 1;
        return S_OK;
    }

    // IMediaEventSink
    HRESULT Notify(std::int32_t code, std::intptr_t param1, std::intptr_t param2) override {
        Queue({code, param1, param2});
        return S_OK;
    }

    // IGraphDescription
    std::string Describe() override {
        std::string text;
        for (const NamedFilter& entry : filters_) text += "filter " + entry.name + "\n";
        for (const NamedFilter& entry : filters_) text += DescribeConnections(entry);
        return text;
    }

    GstElement* Element() override { return pipeline_.Get(); }

private:
    static GstBusSyncReply OnBusMessage(GstBus*, GstMessage* message, gpointer self) {
        auto* graph = static_cast<FilterGraphManager*>(self);
        switch (GST_MESSAGE_TYPE(message)) {
            case GST_MESSAGE_EOS:
                graph->Queue({EC_COMPLETE, S_OK, 0});
                break;
            case GST_MESSAGE_ERROR:
                graph->Queue({EC_ERRORABORT, VFW_E_RUNTIME_ERROR, 0});
                break;
            case GST_MESSAGE_NEW_CLOCK:
                graph->Queue({EC_CLOCK_CHANGED, 0, 0});
                break;
            case GST_MESSAGE_CLOCK_LOST:
                graph->Queue({EC_CLOCK_UNSET, 0, 0});
                break;
            default:
                break;
        }
        if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
            GError* error = nullptr;
            gchar* debug = nullptr;
            gst_message_parse_error(message, &error, &debug);
            GST_WARNING_OBJECT(GST_MESSAGE_SRC(message), "graph error: %s (%s)", error ? error->message : "",
                               debug ? debug : "");
            g_clear_error(&error);
            g_free(debug);
        }
        // A handler that drops a message owns it.
        gst_message_unref(message);
        return GST_BUS_DROP;
    }

    void Queue(const GraphEvent& event) {
        {
            std::lock_guard lock(eventMutex_);
            events_.push_back(event);
        }
        // Posting under the lock means that once SetNotifyWindow or SetNotifyFlags returns, the old
        // target is never called again and may go.
        std::lock_guard lock(notifyMutex_);
        if (notifyTarget_ && !notifyDisabled_) notifyTarget_->PostNotify(notifyMessage_, notifyInstance_);
    }

    std::string UniqueName(const std::string& wanted) const {
        auto taken = [this](const std::string& name) {
            for (const NamedFilter& entry : filters_)
                if (entry.name == name) return true;
            return false;
        };
        if (!taken(wanted)) return wanted;
        for (int number = 1;; ++number) {
            char suffix[16];
            std::snprintf(suffix, sizeof suffix, " %04d", number);
            if (!taken(wanted + suffix)) return wanted + suffix;
        }
    }

    std::vector<NamedFilter>::iterator Find(IBaseFilter* filter) {
        GstElement* element = ElementOf(filter);
        for (auto entry = filters_.begin(); entry != filters_.end(); ++entry)
            if (entry->filter.Get() == filter || (element && entry->element == element)) return entry;
        return filters_.end();
    }

    const NamedFilter* FilterOfElement(GstElement* element) const {
        for (const NamedFilter& entry : filters_)
            if (entry.element == element) return &entry;
        return nullptr;
    }

    std::string DescribeConnections(const NamedFilter& from) const {
        std::string text;
        GstIterator* pads = gst_element_iterate_src_pads(from.element);
        GValue item = G_VALUE_INIT;
        while (gst_iterator_next(pads, &item) == GST_ITERATOR_OK) {
            GstPad* pad = GST_PAD(g_value_get_object(&item));
            gst::PadPtr peer = gst::PadPtr::Adopt(gst_pad_get_peer(pad));
            if (peer) {
                gst::ElementPtr peerElement = gst::ElementPtr::Adopt(gst_pad_get_parent_element(peer.Get()));
                const NamedFilter* to = FilterOfElement(peerElement.Get());
                text += "connection " + from.name + "." + PadName(pad) + " -> " + (to ? to->name : "?") +
                        "." + PadName(peer.Get()) + "\n";
            }
            g_value_reset(&item);
        }
        g_value_unset(&item);
        gst_iterator_free(pads);
        return text;
    }

    static std::string PadName(GstPad* pad) {
        gst::StringPtr name(gst_pad_get_name(pad));
        return name ? name.get() : "";
    }

    gst::ElementPtr pipeline_;
    gst::BusPtr bus_;
    std::vector<NamedFilter> filters_;
    bool logging_ = false;  // the process's debug log goes to this graph's file

    std::mutex eventMutex_;
    std::deque<GraphEvent> events_;

    std::mutex notifyMutex_;
    INotifyTarget* notifyTarget_ = nullptr;
    std::uint32_t notifyMessage_ = 0;
    std::intptr_t notifyInstance_ = 0;
    bool notifyDisabled_ = false;
};

}  // namespace

ComPtr<IUnknown> CreateFilterGraphManager() {
    return ComPtr<IUnknown>(static_cast<IGraphBuilder*>(new FilterGraphManager));
}

}  // namespace flipbook
