// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gst/gst.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace flipbook::testing {

// Points GStreamer at the test camera plugin, with a registry of its own, and hides the machine's
// own cameras, so tests see exactly the devices they announce. Call before GStreamer is initialised
// (before the apartment is first entered); trackLeaks switches on the leak tracer as well.
inline void PrepareTestCamera(bool trackLeaks = false) {
    setenv("GST_PLUGIN_PATH", FLIPBOOK_TEST_CAMERA_DIR, 1);
    setenv("GST_REGISTRY", FLIPBOOK_TEST_CAMERA_DIR "/test-registry.bin", 1);
    setenv("GST_PLUGIN_FEATURE_RANK",
           "v4l2deviceprovider:NONE,pipewiredeviceprovider:NONE,libcameraprovider:NONE", 1);
    setenv("FLIPBOOK_TEST_CAMERA", "", 1);
    if (trackLeaks) setenv("GST_TRACERS", "leaks", 1);
}

// The devices the test camera announces from its next probe on (see testcamera.cpp for the form).
inline void SetTestCameras(const std::string& devices) {
    setenv("FLIPBOOK_TEST_CAMERA", devices.c_str(), 1);
}

// Plugs a camera in (a description as in FLIPBOOK_TEST_CAMERA) or pulls one out (by its name or device
// path) while the program runs: the test camera's provider posts device-added or device-removed to
// every watching device monitor, and later probes see the change. Needs GStreamer initialised.
inline void EmitOnTestCameraProvider(const char* signal, const std::string& text) {
    GstDeviceProvider* provider = gst_device_provider_factory_get_by_name("flipbooktestcameraprovider");
    if (!provider) return;
    g_signal_emit_by_name(provider, signal, text.c_str());
    gst_object_unref(provider);
}
inline void PlugInTestCamera(const std::string& description) {
    EmitOnTestCameraProvider("plug", description);
}
inline void PullOutTestCamera(const std::string& name) {
    EmitOnTestCameraProvider("unplug", name);
}

// Counts the GStreamer objects made and not yet freed since it was made; needs PrepareTestCamera(true).
class GstLeakCheck {
public:
    GstLeakCheck() {
        GList* tracers = gst_tracing_get_active_tracers();
        for (GList* item = tracers; item; item = item->next) {
            if (!tracer_ && g_str_equal(G_OBJECT_TYPE_NAME(item->data), "GstLeaksTracer"))
                tracer_ = GST_TRACER(gst_object_ref(item->data));
        }
        g_list_free_full(tracers, gst_object_unref);
        if (tracer_) g_signal_emit_by_name(tracer_, "activity-start-tracking");
    }
    ~GstLeakCheck() {
        if (!tracer_) return;
        g_signal_emit_by_name(tracer_, "activity-stop-tracking");
        gst_object_unref(tracer_);
    }
    GstLeakCheck(const GstLeakCheck&) = delete;
    GstLeakCheck& operator=(const GstLeakCheck&) = delete;

    bool Available() const { return tracer_ != nullptr; }

    // Type names of the objects made since the start that still live.
    std::vector<std::string> LiveObjects() {
        GstStructure* checkpoint = nullptr;
        // Each checkpoint gives what happened since the one before; live_ keeps the running account.
        g_signal_emit_by_name(tracer_, "activity-get-checkpoint", &checkpoint);
        if (checkpoint) {
            const GValue* created = gst_structure_get_value(checkpoint, "objects-created-list");
            const GValue* removed = gst_structure_get_value(checkpoint, "objects-removed-list");
            for (guint i = 0; created && i < gst_value_list_get_size(created); ++i) {
                const GstStructure* object = gst_value_get_structure(gst_value_list_get_value(created, i));
                live_[AddressOf(object)] = gst_structure_get_string(object, "type-name");
            }
            for (guint i = 0; removed && i < gst_value_list_get_size(removed); ++i)
                live_.erase(AddressOf(gst_value_get_structure(gst_value_list_get_value(removed, i))));
            gst_structure_free(checkpoint);
        }
        std::vector<std::string> names;
        for (const auto& [address, name] : live_) names.push_back(name);
        return names;
    }

    // LiveObjects once nothing is left, or after a grace of two seconds: a streaming thread drops
    // its last reference to its task just after the pipeline has joined it.
    std::vector<std::string> LiveObjectsAfterThreadsEnd() {
        std::vector<std::string> live = LiveObjects();
        for (int round = 0; round < 200 && !live.empty(); ++round) {
            g_usleep(10000);
            live = LiveObjects();
        }
        return live;
    }

private:
    static guint64 AddressOf(const GstStructure* object) {
        const GValue* value = gst_structure_get_value(object, "address");
        if (!value) return 0;
        if (G_VALUE_HOLDS_POINTER(value)) return reinterpret_cast<guint64>(g_value_get_pointer(value));
        if (G_VALUE_HOLDS_UINT64(value)) return g_value_get_uint64(value);
        // The tracer writes addresses as text ("0x55...").
        if (G_VALUE_HOLDS_STRING(value)) return g_ascii_strtoull(g_value_get_string(value), nullptr, 16);
        return 0;
    }

    GstTracer* tracer_ = nullptr;
    std::map<guint64, std::string> live_;
};

}  // namespace flipbook::testing
