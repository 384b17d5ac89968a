// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/mediagraph/graph.h"
#include "platform/mediagraph/service_classes.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>

#include "platform/mediagraph/gst_filter.h"
#include "platform/mediagraph/log_file.h"
#include "platform/mediagraph/rot.h"
#include "platform/mediagraph/service.h"
#include "platform/mediagraph/stream_errors.h"

namespace flipbook {

namespace {

// How long Run waits for the first frame before it answers that the graph is still starting. A
// camera that cannot start says so well within it; one that is merely slow is not a failure.
constexpr std::chrono::seconds kFirstFrameTimeout{3};

struct GraphEvent {
    std::int32_t code;
    std::intptr_t param1;
    std::intptr_t param2;
    gst::ElementPtr origin;  // the graph's element whose device was lost
    std::string text;        // the element's message of an abort
};

// Whether the sources of a graph that was just set running delivered a frame or failed first.
class StartSignal {
public:
    void Frame() {
        std::lock_guard lock(mutex_);
        frame_ = true;
        changed_.notify_all();
    }
    void Fail(HRESULT error) {
        std::lock_guard lock(mutex_);
        if (Succeeded(error_)) error_ = error;
        changed_.notify_all();
    }
    // S_OK once a frame came, the failure if one came first, S_FALSE when neither came in time.
    HRESULT Wait(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, timeout, [this] { return frame_ || Failed(error_); });
        if (Failed(error_)) return error_;
        return frame_ ? S_OK : S_FALSE;
    }
    HRESULT Error() {
        std::lock_guard lock(mutex_);
        return error_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool frame_ = false;
    HRESULT error_ = S_OK;
};

// Buffer probes on the source pads of a graph's sources, signalling the first frame.
class FirstFrameProbes {
public:
    FirstFrameProbes(GstElement* pipeline, const std::shared_ptr<StartSignal>& signal) {
        GstIterator* sources = gst_bin_iterate_sources(GST_BIN(pipeline));
        GValue item = G_VALUE_INIT;
        while (gst_iterator_next(sources, &item) == GST_ITERATOR_OK) {
            GstElement* source = GST_ELEMENT(g_value_get_object(&item));
            gst::PadPtr pad = gst::PadPtr::Adopt(gst_element_get_static_pad(source, "src"));
            if (pad) {
                gulong id =
                    gst_pad_add_probe(pad.Get(), GST_PAD_PROBE_TYPE_BUFFER, &FirstFrameProbes::OnBuffer,
                                      new std::shared_ptr<StartSignal>(signal), &FirstFrameProbes::Free);
                probes_.push_back({pad, id});
            }
            g_value_reset(&item);
        }
        g_value_unset(&item);
        gst_iterator_free(sources);
    }
    ~FirstFrameProbes() {
        for (const auto& [pad, id] : probes_) gst_pad_remove_probe(pad.Get(), id);
    }
    FirstFrameProbes(const FirstFrameProbes&) = delete;
    FirstFrameProbes& operator=(const FirstFrameProbes&) = delete;

    bool Empty() const { return probes_.empty(); }

private:
    static GstPadProbeReturn OnBuffer(GstPad*, GstPadProbeInfo*, gpointer signal) {
        (*static_cast<std::shared_ptr<StartSignal>*>(signal))->Frame();
        return GST_PAD_PROBE_OK;
    }
    static void Free(gpointer signal) { delete static_cast<std::shared_ptr<StartSignal>*>(signal); }

    std::vector<std::pair<gst::PadPtr, gulong>> probes_;
};

// The child of the pipeline that holds the element (or is it).
gst::ElementPtr ChildOfPipeline(GstObject* object, GstElement* pipeline) {
    gst::ObjectPtr<GstObject> current = gst::ObjectPtr<GstObject>::Ref(object);
    while (current) {
        gst::ObjectPtr<GstObject> parent =
            gst::ObjectPtr<GstObject>::Adopt(gst_object_get_parent(current.Get()));
        if (parent.Get() == GST_OBJECT(pipeline))
            return GST_IS_ELEMENT(current.Get()) ? gst::ElementPtr::Ref(GST_ELEMENT(current.Get()))
                                                 : gst::ElementPtr();
        current = parent;
    }
    return {};
}

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
        if (logging_) SetDebugLogFile(pipeline_.Get(), 0);
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
        HRESULT result = SetDebugLogFile(pipeline_.Get(), file);
        if (Succeeded(result)) logging_ = file != 0;
        return result;
    }

    // IMediaControl
    // A camera fails only once it is asked for frames (held by another program, gone), on its own
    // thread; so Run waits for the sources' first frame or their first error.
    HRESULT Run() override {
        auto start = std::make_shared<StartSignal>();
        {
            std::lock_guard lock(eventMutex_);
            aborted_ = false;
            start_ = start;
        }
        HRESULT result = S_OK;
        {
            FirstFrameProbes probes(pipeline_.Get(), start);
            const GstStateChangeReturn change = gst_element_set_state(pipeline_.Get(), GST_STATE_PLAYING);
            if (change == GST_STATE_CHANGE_FAILURE)
                result = Failed(start->Error()) ? start->Error() : VFW_E_RUNTIME_ERROR;
            else if (!probes.Empty())
                result = start->Wait(kFirstFrameTimeout);
            else if (change == GST_STATE_CHANGE_ASYNC)
                result = S_FALSE;
        }
        {
            std::lock_guard lock(eventMutex_);
            start_.reset();
        }
        if (Failed(result)) gst_element_set_state(pipeline_.Get(), GST_STATE_NULL);
        return result;
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
        GraphEvent event = std::move(events_.front());
        events_.pop_front();
        code = event.code;
        param1 = event.param1;
        param2 = event.param2;
        // What the parameters point to lives until FreeEventParams (or the graph's end).
        if (code == EC_DEVICE_LOST && event.origin) {
            if (const NamedFilter* filter = FilterOfElement(event.origin.Get())) {
                param1 = reinterpret_cast<std::intptr_t>(static_cast<IUnknown*>(filter->filter.Get()));
                lostDevices_.emplace(param1, filter->filter);
            }
        } else if (code == EC_ERRORABORT) {
            auto text = std::make_unique<std::string>(std::move(event.text));
            param2 = reinterpret_cast<std::intptr_t>(text->c_str());
            abortTexts_.emplace(param2, std::move(text));
        }
        return S_OK;
    }
    HRESULT FreeEventParams(std::int32_t code, std::intptr_t param1, std::intptr_t param2) override {
        std::lock_guard lock(eventMutex_);
        if (code == EC_DEVICE_LOST) lostDevices_.erase(param1);
        if (code == EC_ERRORABORT) abortTexts_.erase(param2);
        return S_OK;
    }
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
        Queue({code, param1, param2, {}, {}});
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
                if (!graph->Aborted()) graph->Queue({EC_COMPLETE, S_OK, 0, {}, {}});
                break;
            case GST_MESSAGE_ERROR:
                graph->OnError(message);
                break;
            case GST_MESSAGE_NEW_CLOCK:
                graph->Queue({EC_CLOCK_CHANGED, 0, 0, {}, {}});
                break;
            case GST_MESSAGE_CLOCK_LOST:
                graph->Queue({EC_CLOCK_UNSET, 0, 0, {}, {}});
                break;
            default:
                break;
        }
        // A handler that drops a message owns it.
        gst_message_unref(message);
        return GST_BUS_DROP;
    }

    bool Aborted() {
        std::lock_guard lock(eventMutex_);
        return aborted_;
    }

    // The first error of a run stops the stream and is reported, with its cause; the ones that
    // follow only tell how the stream ended. A lost device is EC_DEVICE_LOST (param2 1: removed).
    void OnError(GstMessage* message) {
        StreamError error = ReadStreamError(message);
        GST_WARNING_OBJECT(GST_MESSAGE_SRC(message), "graph error: %s", error.message.c_str());
        std::shared_ptr<StartSignal> start;
        {
            std::lock_guard lock(eventMutex_);
            if (aborted_) return;
            aborted_ = true;
            start = start_;
        }
        if (start) start->Fail(error.result);
        if (error.deviceLost)
            Queue({EC_DEVICE_LOST, 0, 1, ChildOfPipeline(GST_MESSAGE_SRC(message), pipeline_.Get()), {}});
        else
            Queue({EC_ERRORABORT, error.result, 0, {}, std::move(error.message)});
    }

    void Queue(GraphEvent event) {
        {
            std::lock_guard lock(eventMutex_);
            events_.push_back(std::move(event));
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
    bool logging_ = false;  // this graph's debug log goes to its file

    std::mutex eventMutex_;
    std::deque<GraphEvent> events_;
    std::map<std::intptr_t, ComPtr<IBaseFilter>> lostDevices_;          // param1 of handed-out EC_DEVICE_LOST
    std::map<std::intptr_t, std::unique_ptr<std::string>> abortTexts_;  // param2 of handed-out EC_ERRORABORT
    bool aborted_ = false;                // this run's stream stopped on an error
    std::shared_ptr<StartSignal> start_;  // while Run waits for the first frame

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
