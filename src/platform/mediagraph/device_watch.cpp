#include "platform/mediagraph/device_watch.h"

#include <mutex>

#include "platform/mediagraph/gst_handles.h"

namespace flipbook {

struct VideoDeviceWatch::State {
    std::mutex mutex;  // held while changed runs, so the destructor waits for a call in progress
    std::function<void()> changed;
    gst::DeviceMonitorPtr monitor;
    gst::BusPtr bus;
};

namespace {

GstBusSyncReply OnMonitorMessage(GstBus*, GstMessage* message, gpointer data) {
    auto* state = static_cast<std::shared_ptr<VideoDeviceWatch::State>*>(data);
    const GstMessageType type = GST_MESSAGE_TYPE(message);
    if (type == GST_MESSAGE_DEVICE_ADDED || type == GST_MESSAGE_DEVICE_REMOVED) {
        std::lock_guard lock((*state)->mutex);
        if ((*state)->changed) (*state)->changed();
    }
    gst_message_unref(message);
    return GST_BUS_DROP;
}

}  // namespace

VideoDeviceWatch::VideoDeviceWatch(std::function<void()> changed) : state_(std::make_shared<State>()) {
    state_->changed = std::move(changed);
    state_->monitor = gst::DeviceMonitorPtr::Adopt(gst_device_monitor_new());
    gst_device_monitor_add_filter(state_->monitor.Get(), "Video/Source", nullptr);
    state_->bus = gst::BusPtr::Adopt(gst_device_monitor_get_bus(state_->monitor.Get()));
    // The handler holds the state, so a message that is being handled while the watch goes finds it.
    gst_bus_set_sync_handler(state_->bus.Get(), &OnMonitorMessage, new std::shared_ptr<State>(state_),
                             [](gpointer data) { delete static_cast<std::shared_ptr<State>*>(data); });
    // A framework without a provider that can watch simply never reports a change.
    gst_device_monitor_start(state_->monitor.Get());
}

VideoDeviceWatch::~VideoDeviceWatch() {
    {
        std::lock_guard lock(state_->mutex);
        state_->changed = nullptr;
    }
    gst_device_monitor_stop(state_->monitor.Get());
    gst_bus_set_sync_handler(state_->bus.Get(), nullptr, nullptr, nullptr);
}

}  // namespace flipbook
