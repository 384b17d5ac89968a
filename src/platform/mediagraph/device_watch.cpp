// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/mediagraph/device_watch.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "platform/mediagraph/gst_handles.h"
#include "platform/mediagraph/video_device_monitor.h"

namespace flipbook {

struct VideoDeviceWatch::State {
    std::mutex mutex;  // held while changed runs, so the destructor waits for a call in progress
    std::function<void()> changed;
};

namespace {

// The watches of the process over the one monitor. Starting the monitor reports the devices already
// there on the starting thread, so the list has a lock of its own, apart from the one for starting.
struct Watches {
    std::mutex starting;
    std::mutex listMutex;
    std::vector<std::shared_ptr<VideoDeviceWatch::State>> list;
    bool handlerInstalled = false;
};

Watches& TheWatches() {
    static Watches watches;
    return watches;
}

GstBusSyncReply OnMonitorMessage(GstBus*, GstMessage* message, gpointer) {
    const GstMessageType type = GST_MESSAGE_TYPE(message);
    gst_message_unref(message);
    if (type != GST_MESSAGE_DEVICE_ADDED && type != GST_MESSAGE_DEVICE_REMOVED) return GST_BUS_DROP;
    std::vector<std::shared_ptr<VideoDeviceWatch::State>> watching;
    {
        Watches& watches = TheWatches();
        std::lock_guard lock(watches.listMutex);
        watching = watches.list;
    }
    for (const auto& state : watching) {
        std::lock_guard lock(state->mutex);
        if (state->changed) state->changed();
    }
    return GST_BUS_DROP;
}

}  // namespace

VideoDeviceWatch::VideoDeviceWatch(std::function<void()> changed) : state_(std::make_shared<State>()) {
    state_->changed = std::move(changed);
    Watches& watches = TheWatches();
    std::lock_guard starting(watches.starting);
    GstDeviceMonitor* monitor = TheVideoDeviceMonitor();
    if (!watches.handlerInstalled) {
        gst::BusPtr bus = gst::BusPtr::Adopt(gst_device_monitor_get_bus(monitor));
        gst_bus_set_sync_handler(bus.Get(), &OnMonitorMessage, nullptr, nullptr);
        watches.handlerInstalled = true;
    }
    bool first = false;
    {
        std::lock_guard lock(watches.listMutex);
        watches.list.push_back(state_);
        first = watches.list.size() == 1;
    }
    // A framework without a provider that can watch simply never reports a change.
    if (first) gst_device_monitor_start(monitor);
}

VideoDeviceWatch::~VideoDeviceWatch() {
    Watches& watches = TheWatches();
    std::lock_guard starting(watches.starting);
    bool last = false;
    {
        std::lock_guard lock(watches.listMutex);
        std::erase(watches.list, state_);
        last = watches.list.empty();
    }
    if (last) gst_device_monitor_stop(TheVideoDeviceMonitor());
    std::lock_guard lock(state_->mutex);
    state_->changed = nullptr;
}

}  // namespace flipbook
