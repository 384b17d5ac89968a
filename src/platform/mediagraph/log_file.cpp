// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/mediagraph/log_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace flipbook {

namespace {

struct GraphLog {
    const GstObject* pipeline;  // compared only, never followed
    int descriptor;
};

// The log function stays installed once added: GStreamer may be inside it on a streaming thread
// while a log is switched off, so switching only changes the list under this lock.
struct DebugLog {
    std::mutex configuration;  // serialises switching; GStreamer may log while we call it
    std::mutex mutex;          // guards the list and the saved output settings for the writers
    std::vector<GraphLog> graphs;
    bool functionInstalled = false;
    bool removedDefault = false;
    GstDebugLevel previousThreshold = GST_LEVEL_NONE;
};

DebugLog& TheLog() {
    static DebugLog log;
    return log;
}

// The outermost object holding the object. GStreamer may log while it holds an object's lock, so
// the parents are read as its own default log function reads names: without taking locks.
const GstObject* TopOf(GObject* object) {
    if (!object || !GST_IS_OBJECT(object)) return nullptr;
    const GstObject* top = GST_OBJECT(object);
    while (GST_OBJECT_PARENT(top)) top = GST_OBJECT_PARENT(top);
    return top;
}

void WriteEntry(int descriptor, const std::string& entry) {
    const char* data = entry.data();
    std::size_t left = entry.size();
    while (left > 0) {
        ssize_t written = write(descriptor, data, left);
        if (written <= 0) break;
        data += written;
        left -= static_cast<std::size_t>(written);
    }
}

void WriteToLog(GstDebugCategory* category, GstDebugLevel level, const gchar* file, const gchar* function,
                gint line, GObject* object, GstDebugMessage* message, gpointer) {
    DebugLog& log = TheLog();
    const GstObject* top = TopOf(object);
    bool forward = false;
    bool ours = false;
    {
        std::lock_guard lock(log.mutex);
        // The usual output was taken away only so the raised threshold does not flood it.
        forward = log.removedDefault && level <= log.previousThreshold;
        ours = top && std::any_of(log.graphs.begin(), log.graphs.end(),
                                  [top](const GraphLog& graph) { return graph.pipeline == top; });
    }
    if (forward) gst_debug_log_default(category, level, file, function, line, object, message, nullptr);
    if (!ours || level > gst_debug_category_get_threshold(category)) return;
    const char* objectName = GST_IS_OBJECT(object) && GST_OBJECT_NAME(object) ? GST_OBJECT_NAME(object) : "";
    const gchar* text = gst_debug_message_get(message);
    char prefix[512];
    std::snprintf(prefix, sizeof prefix, "%" GST_TIME_FORMAT " %-7s %20s %s:%d:%s:<%s> ",
                  GST_TIME_ARGS(gst_util_get_timestamp()), gst_debug_level_get_name(level),
                  gst_debug_category_get_name(category), file, line, function, objectName);
    const std::string entry = std::string(prefix) + (text ? text : "") + "\n";
    std::lock_guard lock(log.mutex);
    for (const GraphLog& graph : log.graphs)
        if (graph.pipeline == top) WriteEntry(graph.descriptor, entry);
}

}  // namespace

HRESULT SetDebugLogFile(GstElement* pipeline, std::intptr_t file) {
    if (!pipeline) return E_POINTER;
    DebugLog& log = TheLog();
    if (file != 0) {
        int mode = fcntl(static_cast<int>(file), F_GETFL);
        if (file < 0 || mode < 0 || (mode & O_ACCMODE) == O_RDONLY) return E_INVALIDARG;
    }
    int duplicate = file != 0 ? fcntl(static_cast<int>(file), F_DUPFD_CLOEXEC, 3) : -1;
    if (file != 0 && duplicate < 0) return E_INVALIDARG;

    std::lock_guard switching(log.configuration);
    bool wasOn = false;
    bool isOn = false;
    {
        std::lock_guard lock(log.mutex);
        wasOn = !log.graphs.empty();
        std::erase_if(log.graphs, [&](const GraphLog& graph) {
            if (graph.pipeline != GST_OBJECT(pipeline)) return false;
            close(graph.descriptor);
            return true;
        });
        if (duplicate >= 0) log.graphs.push_back({GST_OBJECT(pipeline), duplicate});
        isOn = !log.graphs.empty();
    }
    if (isOn && !wasOn) {
        if (!log.functionInstalled) {
            (gst_debug_add_log_function)(&WriteToLog, nullptr, nullptr);
            log.functionInstalled = true;
        }
        // The functions are called past GStreamer's macros, which stand null for the default output.
        const bool removed = (gst_debug_remove_log_function)(nullptr) > 0;
        const GstDebugLevel previous = gst_debug_get_default_threshold();
        {
            std::lock_guard lock(log.mutex);
            log.removedDefault = removed;
            log.previousThreshold = previous;
        }
        if (previous < GST_LEVEL_INFO) gst_debug_set_default_threshold(GST_LEVEL_INFO);
        gst_debug_set_active(TRUE);
    } else if (!isOn && wasOn) {
        bool removed = false;
        GstDebugLevel previous = GST_LEVEL_NONE;
        {
            std::lock_guard lock(log.mutex);
            removed = std::exchange(log.removedDefault, false);
            previous = log.previousThreshold;
        }
        gst_debug_set_default_threshold(previous);
        if (removed) (gst_debug_add_log_function)(nullptr, nullptr, nullptr);
    }
    return S_OK;
}

}  // namespace flipbook
