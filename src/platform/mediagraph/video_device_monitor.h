// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The one device monitor of the process; not for callers of the service.

#include <gst/gst.h>

namespace flipbook {

// Lists video sources; it runs (and reports changes on its bus) while a device watch lives. Every
// listing and watching goes through it.
GstDeviceMonitor* TheVideoDeviceMonitor();

}  // namespace flipbook
