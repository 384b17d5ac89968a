// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>

#include "platform/com/class_factory.h"

namespace flipbook {

// Result codes of the media graph service.
inline constexpr HRESULT VFW_E_ALREADY_CONNECTED = MakeResult(0x80040204);
inline constexpr HRESULT VFW_E_NO_ACCEPTABLE_TYPES = MakeResult(0x80040207);
inline constexpr HRESULT VFW_E_NOT_CONNECTED = MakeResult(0x80040209);
inline constexpr HRESULT VFW_E_RUNTIME_ERROR = MakeResult(0x8004020B);
inline constexpr HRESULT VFW_E_NOT_FOUND = MakeResult(0x80040216);
inline constexpr HRESULT VFW_E_CANNOT_CONNECT = MakeResult(0x80040217);
inline constexpr HRESULT VFW_E_CANNOT_RENDER = MakeResult(0x80040218);
inline constexpr HRESULT VFW_E_WRONG_STATE = MakeResult(0x80040227);
inline constexpr HRESULT VFW_E_NOT_IN_GRAPH = MakeResult(0x8004025F);
// A capture device held by another program (the system's ERROR_BUSY as a result code).
inline constexpr HRESULT E_DEVICE_BUSY = MakeResult(0x800700AA);
// A capture device that is no longer there (the system's ERROR_DEV_NOT_EXIST as a result code).
inline constexpr HRESULT E_DEVICE_GONE = MakeResult(0x80070037);

// Enters the apartment: initialises GStreamer on first entry and registers the service's classes
// (filter graph, capture graph builder, device enumerator, device moniker, sample grabber) with the
// class factory. Calls nest; each needs its CoUninitialize.
HRESULT CoInitialize(void* reserved = nullptr);
// Leaves the apartment; the last exit unregisters the classes. GStreamer itself is shut down when the
// process exits, since it cannot be initialised twice.
void CoUninitialize();

// The text of a result code, cut to fit size - 1 bytes and NUL-terminated; the code's number in
// words for a code without a text of its own. Returns the length written.
std::size_t AMGetErrorTextA(HRESULT result, char* buffer, std::size_t size);
std::string AMGetErrorText(HRESULT result);

// Enters the apartment for the lifetime of the object.
class ComApartment {
public:
    ComApartment() { CoInitialize(); }
    ~ComApartment() { CoUninitialize(); }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
};

}  // namespace flipbook
