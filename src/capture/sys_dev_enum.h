// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "platform/core/exception.h"
#include "platform/mediagraph/devices.h"

namespace flipbook {

// The runtime's list-index error: "List index out of bounds (%d)".
class EListError : public Exception {
public:
    explicit EListError(int index) : Exception("List index out of bounds (" + std::to_string(index) + ")") {}
};

// One listed device. FriendlyName holds at most 255 characters (code points) and is for showing only:
// two cameras of one model share it. DevicePath tells devices apart. CLSID is the zero GUID for a
// device without one.
struct TDeviceEntry {
    std::string FriendlyName;
    GUID CLSID;
    std::string DevicePath;
};

// The devices of one category of the system device enumerator, with their names and class ids, and
// the moniker of a listed device for binding a source filter to it.
class TSysDevEnum {
public:
    // Lists the category's devices. A device whose class id is not in registry form raises
    // EOleSysError, as SelectCategory does.
    explicit TSysDevEnum(const GUID& category);

    // Makes category the current one and lists its devices again.
    void SelectCategory(const GUID& category);

    int DeviceCount() const { return static_cast<int>(devices_.size()); }
    // A copy of the entry at index; EListError for an index outside 0 .. DeviceCount - 1.
    TDeviceEntry Devices(int index) const;
    // The moniker of the device listed at index, found in a fresh enumeration by its device path:
    // none for an index outside the list, or when that device is gone.
    ComPtr<IMoniker> GetMoniker(int index) const;
    // The index of the listed device with that path, or -1.
    int IndexOfPath(const std::string& devicePath) const;

private:
    GUID category_;
    std::vector<TDeviceEntry> devices_;
};

// text cut to at most count code points of UTF-8, never inside one.
std::string CutToCharacters(const std::string& text, std::size_t count);

}  // namespace flipbook
