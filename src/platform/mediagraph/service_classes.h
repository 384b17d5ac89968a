// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Creators of the service's classes, registered with the class factory on entering the apartment.

#include "platform/com/unknown.h"

namespace flipbook {

ComPtr<IUnknown> CreateFilterGraphManager();
ComPtr<IUnknown> CreateCaptureGraphBuilder();
ComPtr<IUnknown> CreateSystemDeviceEnum();
ComPtr<IUnknown> CreateDeviceMoniker();
ComPtr<IUnknown> CreateSampleGrabber();

}  // namespace flipbook
