// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/sys_dev_enum.h"

#include "platform/mediagraph/service.h"

namespace flipbook {

namespace {

constexpr std::size_t kLongestFriendlyName = 255;

std::string ReadProperty(IMoniker& moniker, const std::string& name) {
    ComPtr<IPropertyBag> properties;
    moniker.BindToStorage(nullptr, nullptr, IPropertyBag::kIid, properties.PutVoid());
    std::string value;
    if (properties) properties->Read(name, value);
    return value;
}

ComPtr<IEnumMoniker> ClassEnumerator(const GUID& category) {
    ComPtr<ICreateDevEnum> deviceEnumerator;
    CoCreateInstance(CLSID_SystemDeviceEnum, CLSCTX_INPROC, deviceEnumerator);
    ComPtr<IEnumMoniker> classEnumerator;
    if (!deviceEnumerator || deviceEnumerator->CreateClassEnumerator(category, classEnumerator, 0) != S_OK)
        return nullptr;
    return classEnumerator;
}

}  // namespace

std::string CutToCharacters(const std::string& text, std::size_t count) {
    std::size_t characters = 0;
    for (std::size_t position = 0; position < text.size(); ++position) {
        // Continuation bytes (10xxxxxx) belong to the character before them.
        if ((static_cast<unsigned char>(text[position]) & 0xC0) == 0x80) continue;
        if (characters++ == count) return text.substr(0, position);
    }
    return text;
}

TSysDevEnum::TSysDevEnum(const GUID& category) {
    SelectCategory(category);
}

void TSysDevEnum::SelectCategory(const GUID& category) {
    category_ = category;
    devices_.clear();
    ComPtr<IEnumMoniker> classEnumerator = ClassEnumerator(category);
    if (!classEnumerator) return;
    ComPtr<IMoniker> moniker;
    while (classEnumerator->Next(1, moniker.Put(), nullptr) == S_OK) {
        // A device whose properties cannot be read is still listed (with no name), so that list
        // indices stay the enumeration's indices, which GetMoniker relies on.
        TDeviceEntry entry;
        ComPtr<IPropertyBag> properties;
        moniker->BindToStorage(nullptr, nullptr, IPropertyBag::kIid, properties.PutVoid());
        if (properties) {
            std::string value;
            properties->Read("FriendlyName", value);
            entry.FriendlyName = CutToCharacters(value, kLongestFriendlyName);
            value.clear();
            properties->Read("DevicePath", value);
            entry.DevicePath = value;
            if (properties->Read("CLSID", value) == S_OK) {
                std::optional<GUID> clsid = ParseGuid(value);
                if (!clsid) throw EOleSysError(CO_E_CLASSSTRING);
                entry.CLSID = *clsid;
            }
        }
        devices_.push_back(std::move(entry));
    }
}

TDeviceEntry TSysDevEnum::Devices(int index) const {
    if (index < 0 || index >= DeviceCount()) throw EListError(index);
    return devices_[static_cast<std::size_t>(index)];
}

ComPtr<IMoniker> TSysDevEnum::GetMoniker(int index) const {
    if (index < 0 || index >= DeviceCount()) return nullptr;
    ComPtr<IEnumMoniker> classEnumerator = ClassEnumerator(category_);
    if (!classEnumerator) return nullptr;
    // Cameras come and go between the listing and now, so the place in the list may hold another
    // one; the device path finds the listed camera wherever it is.
    const std::string& path = devices_[static_cast<std::size_t>(index)].DevicePath;
    ComPtr<IMoniker> moniker;
    while (classEnumerator->Next(1, moniker.Put(), nullptr) == S_OK) {
        if (ReadProperty(*moniker, "DevicePath") == path) return moniker;
    }
    return nullptr;
}

int TSysDevEnum::IndexOfPath(const std::string& devicePath) const {
    for (std::size_t index = 0; index < devices_.size(); ++index)
        if (devices_[index].DevicePath == devicePath) return static_cast<int>(index);
    return -1;
}

}  // namespace flipbook
