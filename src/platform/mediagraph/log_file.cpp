#include "platform/mediagraph/log_file.h"

#include <fcntl.h>
#include <gst/gst.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>
#include <string>

namespace flipbook {

namespace {

// The log function stays installed once added: GStreamer may be inside it on a streaming thread
// while the log is switched off, so switching only changes the descriptor under this lock.
struct DebugLog {
    std::mutex configuration;  // serialises switching; GStreamer may log while we call it
    std::mutex mutex;          // guards the descriptor for the writers
    int descriptor = -1;
    bool functionInstalled = false;
    bool removedDefault = false;
    GstDebugLevel previousThreshold = GST_LEVEL_NONE;
};

DebugLog& TheLog() {
    static DebugLog log;
    return log;
}

void WriteToLog(GstDebugCategory* category, GstDebugLevel level, const gchar* file, const gchar* function,
                gint line, GObject* object, GstDebugMessage* message, gpointer) {
    DebugLog& log = TheLog();
    {
        std::lock_guard lock(log.mutex);
        if (log.descriptor < 0) return;
    }
    if (level > gst_debug_category_get_threshold(category)) return;
    // GStreamer may log while it holds the object's lock, so the name is read as its own default
    // log function reads it: without taking locks.
    const char* objectName =
        object && GST_IS_OBJECT(object) && GST_OBJECT_NAME(object) ? GST_OBJECT_NAME(object) : "";
    const gchar* text = gst_debug_message_get(message);
    char prefix[512];
    std::snprintf(prefix, sizeof prefix, "%" GST_TIME_FORMAT " %-7s %20s %s:%d:%s:<%s> ",
                  GST_TIME_ARGS(gst_util_get_timestamp()), gst_debug_level_get_name(level),
                  gst_debug_category_get_name(category), file, line, function, objectName);
    std::string entry = std::string(prefix) + (text ? text : "") + "\n";
    std::lock_guard lock(log.mutex);
    if (log.descriptor < 0) return;
    const char* data = entry.data();
    std::size_t left = entry.size();
    while (left > 0) {
        ssize_t written = write(log.descriptor, data, left);
        if (written <= 0) break;
        data += written;
        left -= static_cast<std::size_t>(written);
    }
}

}  // namespace

HRESULT SetDebugLogFile(std::intptr_t file) {
    DebugLog& log = TheLog();
    if (file != 0) {
        int mode = fcntl(static_cast<int>(file), F_GETFL);
        if (file < 0 || mode < 0 || (mode & O_ACCMODE) == O_RDONLY) return E_INVALIDARG;
    }
    int duplicate = file != 0 ? fcntl(static_cast<int>(file), F_DUPFD_CLOEXEC, 3) : -1;
    if (file != 0 && duplicate < 0) return E_INVALIDARG;

    std::lock_guard switching(log.configuration);
    bool wasOn = false;
    {
        std::lock_guard lock(log.mutex);
        wasOn = log.descriptor >= 0;
        if (wasOn) close(log.descriptor);
        log.descriptor = duplicate;
    }
    if (duplicate >= 0 && !wasOn) {
        if (!log.functionInstalled) {
            (gst_debug_add_log_function)(&WriteToLog, nullptr, nullptr);
            log.functionInstalled = true;
        }
        // While the log goes to the file, the usual output on stderr would only repeat it. The
        // functions are called past GStreamer's macros, which stand null for the default output.
        log.removedDefault = (gst_debug_remove_log_function)(nullptr) > 0;
        log.previousThreshold = gst_debug_get_default_threshold();
        if (log.previousThreshold < GST_LEVEL_INFO) gst_debug_set_default_threshold(GST_LEVEL_INFO);
        gst_debug_set_active(TRUE);
    } else if (duplicate < 0 && wasOn) {
        gst_debug_set_default_threshold(log.previousThreshold);
        if (log.removedDefault) (gst_debug_add_log_function)(nullptr, nullptr, nullptr);
        log.removedDefault = false;
    }
    return S_OK;
}

}  // namespace flipbook
