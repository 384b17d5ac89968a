// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How an error a graph's element posts reaches the graph's user; not for callers of the service.

#include <gst/gst.h>

#include <string>

#include "platform/com/hresult.h"

namespace flipbook {

struct StreamError {
    bool deviceLost = false;  // the device itself is gone (pulled out, switched off)
    HRESULT result = 0;       // what the error means, as a result code of the service
    std::string message;      // the element's own words
};

// Reads an error message. A device that went away is told apart from one that failed: V4L2 cameras
// report it as a resource error naming ENODEV, or as a device that cannot be found.
StreamError ReadStreamError(GstMessage* message);

}  // namespace flipbook
