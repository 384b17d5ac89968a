// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/com/unknown.h"

namespace flipbook {

inline constexpr CLSID CLSID_SystemDeviceEnum = MakeGuid("{62BE5D10-60EB-11D0-BD3B-00A0C911CE86}");
inline constexpr CLSID CLSID_VideoInputDeviceCategory = MakeGuid("{860BB310-5D01-11D0-BD3B-00A0C911CE86}");
inline constexpr CLSID CLSID_DeviceMoniker = MakeGuid("{4315D437-5B8C-11D0-BD3B-00A0C911CE86}");
inline constexpr CLSID CLSID_ItemMoniker = MakeGuid("{00000304-0000-0000-C000-000000000046}");

// A read position in a persisted byte image.
class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    // Copies count bytes and moves on; false (and nothing moved) when fewer are left.
    bool Read(void* target, std::size_t count);
    std::size_t Position() const { return position_; }
    std::size_t Remaining() const { return bytes_.size() - position_; }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t position_ = 0;
};

// An object that saves its state to a byte image and loads it back.
class IPersistStream : public IUnknown {
public:
    static constexpr IID kIid = MakeGuid("{00000109-0000-0000-C000-000000000046}");

    virtual HRESULT GetClassID(CLSID& clsid) = 0;
    // Appends the object's state.
    virtual HRESULT Save(std::vector<std::uint8_t>& stream) = 0;
    // Reads the state that Save wrote; STG_E_READFAULT when it is cut short or malformed.
    virtual HRESULT Load(ByteReader& stream) = 0;
};

// Names an object and finds it again.
class IMoniker : public IPersistStream {
public:
    static constexpr IID kIid = MakeGuid("{0000000F-0000-0000-C000-000000000046}");
    using Parent = IPersistStream;

    // The named object, queried for iid; MK_E_NOOBJECT when it no longer exists. The bind context
    // and left moniker are not used and must be null.
    virtual HRESULT BindToObject(void* bindContext, IMoniker* left, const IID& iid, void** object) = 0;
    // The object's storage (for devices: IPropertyBag).
    virtual HRESULT BindToStorage(void* bindContext, IMoniker* left, const IID& iid, void** object) = 0;
    virtual HRESULT GetDisplayName(std::string& name) = 0;
};

class IEnumMoniker : public IUnknown {
public:
    static constexpr IID kIid = MakeGuid("{00000102-0000-0000-C000-000000000046}");

    // Up to count monikers into monikers[]; S_OK when all count were given, S_FALSE otherwise.
    virtual HRESULT Next(std::uint32_t count, IMoniker** monikers, std::uint32_t* fetched) = 0;
    // S_FALSE when fewer than count were left.
    virtual HRESULT Skip(std::uint32_t count) = 0;
    virtual HRESULT Reset() = 0;
};

// Named text properties of a device: "FriendlyName" (shown to the user, shared by cameras of one
// model), "DevicePath" (unique among the devices present, the same when a camera returns to its
// place), "CLSID" (only for devices that announce one) and "V4l2DevicePath" (the V4L2 device node,
// for the camera's controls; only for a camera reached through V4L2).
class IPropertyBag : public IUnknown {
public:
    static constexpr IID kIid = MakeGuid("{55272A00-42CB-11CE-8135-00AA004BB851}");

    // S_OK with the value, or E_INVALIDARG for a property the device does not have (value untouched).
    virtual HRESULT Read(const std::string& name, std::string& value) = 0;
};

class ICreateDevEnum : public IUnknown {
public:
    static constexpr IID kIid = MakeGuid("{29840822-5B84-11D0-BD3B-00A0C911CE86}");

    // An enumerator of the devices present in the category: S_OK with one, or S_FALSE and none when
    // the category is empty or unknown.
    virtual HRESULT CreateClassEnumerator(const GUID& category, ComPtr<IEnumMoniker>& enumerator,
                                          std::uint32_t flags) = 0;
};

// Writes the object's class id (16 bytes) and its state.
HRESULT OleSaveToStream(IPersistStream* object, std::vector<std::uint8_t>& stream);
// Reads a class id, makes an object of that class and loads its state; the result queried for iid.
HRESULT OleLoadFromStream(ByteReader& stream, const IID& iid, void** object);

}  // namespace flipbook
