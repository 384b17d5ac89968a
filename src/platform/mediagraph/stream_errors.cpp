// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/mediagraph/stream_errors.h"

#include <cerrno>
#include <cstring>

#include "platform/mediagraph/gst_handles.h"
#include "platform/mediagraph/service.h"

namespace flipbook {

namespace {

HRESULT ResultOfResourceError(gint code) {
    switch (code) {
        case GST_RESOURCE_ERROR_BUSY:
            return E_DEVICE_BUSY;
        case GST_RESOURCE_ERROR_NOT_FOUND:
            return E_DEVICE_GONE;
        case GST_RESOURCE_ERROR_NOT_AUTHORIZED:
            return E_ACCESSDENIED;
        default:
            return VFW_E_RUNTIME_ERROR;
    }
}

HRESULT ResultOfStreamError(gint code) {
    switch (code) {
        case GST_STREAM_ERROR_FORMAT:
        case GST_STREAM_ERROR_WRONG_TYPE:
        case GST_STREAM_ERROR_CODEC_NOT_FOUND:
            return VFW_E_NO_ACCEPTABLE_TYPES;
        default:
            return VFW_E_RUNTIME_ERROR;
    }
}

bool NamesNoSuchDevice(const char* debug) {
    if (!debug) return false;
    // V4L2 writes "poll error 1: No such device (19)": the system's text, then the number.
    const std::string number = " (" + std::to_string(ENODEV) + ")";
    return std::strstr(debug, g_strerror(ENODEV)) || std::strstr(debug, number.c_str());
}

}  // namespace

StreamError ReadStreamError(GstMessage* message) {
    GError* rawError = nullptr;
    gchar* rawDebug = nullptr;
    gst_message_parse_error(message, &rawError, &rawDebug);
    gst::ErrorPtr error(rawError);
    gst::StringPtr debug(rawDebug);
    StreamError result;
    result.result = VFW_E_RUNTIME_ERROR;
    if (!error) return result;
    result.message = error->message ? error->message : "";
    if (error->domain == GST_RESOURCE_ERROR) {
        result.result = ResultOfResourceError(error->code);
        result.deviceLost = result.result == E_DEVICE_GONE || NamesNoSuchDevice(debug.get());
        if (result.deviceLost) result.result = E_DEVICE_GONE;
    } else if (error->domain == GST_STREAM_ERROR) {
        result.result = ResultOfStreamError(error->code);
    }
    return result;
}

}  // namespace flipbook
