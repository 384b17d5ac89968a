// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/mediagraph/service.h"

#include <gst/gst.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/mediagraph/devices.h"
#include "platform/mediagraph/graph.h"
#include "platform/mediagraph/sample_grabber.h"
#include "platform/mediagraph/service_classes.h"

namespace flipbook {

namespace {

struct Apartment {
    std::mutex mutex;
    int entries = 0;
    std::vector<ClassRegistration> classes;
};

Apartment& TheApartment() {
    static Apartment apartment;
    return apartment;
}

void ShutDownGStreamer() {
    gst_deinit();
}

std::string ServiceErrorText(HRESULT result) {
    switch (result) {
        case VFW_E_ALREADY_CONNECTED:
            return "The operation cannot be performed because the pins are already connected";
        case VFW_E_NO_ACCEPTABLE_TYPES:
            return "No acceptable types found";
        case VFW_E_NOT_CONNECTED:
            return "The operation cannot be performed because the pins are not connected";
        case VFW_E_RUNTIME_ERROR:
            return "A run-time error occurred";
        case VFW_E_NOT_FOUND:
            return "An object or name was not found";
        case VFW_E_CANNOT_CONNECT:
            return "No combination of intermediate filters could be found to make the connection";
        case VFW_E_CANNOT_RENDER:
            return "No combination of filters could be found to render the stream";
        case VFW_E_WRONG_STATE:
            return "The operation could not be performed because the filter is in the wrong state";
        case VFW_E_NOT_IN_GRAPH:
            return "Cannot perform the requested function on an object that is not in the filter graph";
        case E_DEVICE_BUSY:
            return "The requested resource is in use";
        case E_DEVICE_GONE:
            return "The specified device is no longer available";
        default:
            return {};
    }
}

}  // namespace

HRESULT CoInitialize(void*) {
    Apartment& apartment = TheApartment();
    std::lock_guard lock(apartment.mutex);
    if (apartment.entries++ > 0) return S_FALSE;
    static std::once_flag initialised;
    std::call_once(initialised, [] {
        gst_init(nullptr, nullptr);
        std::atexit(&ShutDownGStreamer);
    });
    apartment.classes.emplace_back(CLSID_FilterGraph, &CreateFilterGraphManager);
    apartment.classes.emplace_back(CLSID_CaptureGraphBuilder2, &CreateCaptureGraphBuilder);
    apartment.classes.emplace_back(CLSID_SystemDeviceEnum, &CreateSystemDeviceEnum);
    apartment.classes.emplace_back(CLSID_DeviceMoniker, &CreateDeviceMoniker);
    apartment.classes.emplace_back(CLSID_SampleGrabber, &CreateSampleGrabber);
    return S_OK;
}

void CoUninitialize() {
    Apartment& apartment = TheApartment();
    std::lock_guard lock(apartment.mutex);
    if (apartment.entries == 0 || --apartment.entries > 0) return;
    apartment.classes.clear();
}

std::string AMGetErrorText(HRESULT result) {
    std::string text = ServiceErrorText(result);
    if (text.empty()) text = ComErrorText(result);
    if (!text.empty()) return text + ".";
    char number[48];
    std::snprintf(number, sizeof number, "Unknown error 0x%08X.", static_cast<unsigned>(result));
    return number;
}

std::size_t AMGetErrorTextA(HRESULT result, char* buffer, std::size_t size) {
    if (!buffer || size == 0) return 0;
    std::string text = AMGetErrorText(result);
    std::size_t length = std::min(text.size(), size - 1);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return length;
}

}  // namespace flipbook
