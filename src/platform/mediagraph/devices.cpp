// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/mediagraph/devices.h"

#include <cstring>

#include "platform/com/class_factory.h"
#include "platform/mediagraph/gst_filter.h"
#include "platform/mediagraph/service.h"
#include "platform/mediagraph/service_classes.h"
#include "platform/mediagraph/video_device_monitor.h"

namespace flipbook {

namespace {

constexpr std::uint32_t kDeviceMonikerVersion = 1;
// A persisted text longer than this is not a device identity but a damaged image.
constexpr std::uint32_t kLongestIdentityText = 1 << 20;

// What a device moniker remembers of its device: enough to find the same device again.
struct DeviceIdentity {
    std::string displayName;
    std::string deviceClass;
    std::string properties;  // the device's property structure in its text form

    bool operator==(const DeviceIdentity&) const = default;
};

std::string TakeString(gchar* text) {
    gst::StringPtr owned(text);
    return owned ? owned.get() : "";
}

DeviceIdentity IdentityOf(GstDevice* device) {
    DeviceIdentity identity;
    identity.displayName = TakeString(gst_device_get_display_name(device));
    identity.deviceClass = TakeString(gst_device_get_device_class(device));
    gst::StructurePtr properties(gst_device_get_properties(device));
    if (properties) identity.properties = TakeString(gst_structure_to_string(properties.get()));
    return identity;
}

// The video input devices present now, in the monitor's order.
std::vector<gst::DevicePtr> ProbeVideoDevices() {
    std::vector<gst::DevicePtr> devices;
    GList* list = gst_device_monitor_get_devices(TheVideoDeviceMonitor());
    for (GList* item = list; item; item = item->next)
        devices.push_back(gst::DevicePtr::Adopt(GST_DEVICE(item->data)));
    g_list_free(list);
    return devices;
}

void AppendUint32(std::vector<std::uint8_t>& stream, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) stream.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

bool ReadUint32(ByteReader& stream, std::uint32_t& value) {
    std::uint8_t bytes[4];
    if (!stream.Read(bytes, 4)) return false;
    value = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
    return true;
}

void AppendText(std::vector<std::uint8_t>& stream, const std::string& text) {
    AppendUint32(stream, static_cast<std::uint32_t>(text.size()));
    stream.insert(stream.end(), text.begin(), text.end());
}

bool ReadText(ByteReader& stream, std::string& text) {
    std::uint32_t length = 0;
    if (!ReadUint32(stream, length) || length > kLongestIdentityText || length > stream.Remaining())
        return false;
    text.resize(length);
    return stream.Read(text.data(), length);
}

// The properties in which providers name the device itself rather than its model: the V4L2 device
// node, the sound server's object path or node name.
constexpr const char* kDevicePathProperties[] = {"device.path", "api.v4l2.path", "object.path", "node.name"};

// What tells two cameras of one model apart: the device's path, or, from a provider that gives none,
// everything it says of the device.
std::string DevicePathOf(const DeviceIdentity& identity) {
    gst::StructurePtr properties(gst_structure_from_string(identity.properties.c_str(), nullptr));
    for (const char* name : kDevicePathProperties) {
        const gchar* path = properties ? gst_structure_get_string(properties.get(), name) : nullptr;
        if (path && *path) return path;
    }
    return identity.deviceClass + ":" + identity.displayName + ":" + identity.properties;
}

class PropertyBag : public ComObject<IPropertyBag> {
public:
    explicit PropertyBag(const DeviceIdentity& identity) : identity_(identity) {}

    HRESULT Read(const std::string& name, std::string& value) override {
        if (name == "FriendlyName") {
            value = identity_.displayName;
            return S_OK;
        }
        if (name == "DevicePath") {
            value = DevicePathOf(identity_);
            return S_OK;
        }
        if (name == "CLSID") {
            // Devices have no class id of their own; one that announces "device.clsid" gives that.
            gst::StructurePtr properties(gst_structure_from_string(identity_.properties.c_str(), nullptr));
            const gchar* clsid =
                properties ? gst_structure_get_string(properties.get(), "device.clsid") : nullptr;
            if (!clsid) return E_INVALIDARG;
            value = clsid;
            return S_OK;
        }
        if (name == "V4l2DevicePath") {
            // The V4L2 node of a camera reached through V4L2 (directly, or through a sound and video
            // server that names it), for the camera's controls; others have none.
            gst::StructurePtr properties(gst_structure_from_string(identity_.properties.c_str(), nullptr));
            if (!properties) return E_INVALIDARG;
            const gchar* path = gst_structure_get_string(properties.get(), "api.v4l2.path");
            const gchar* api = gst_structure_get_string(properties.get(), "device.api");
            if (!path && api && g_str_equal(api, "v4l2"))
                path = gst_structure_get_string(properties.get(), "device.path");
            if (!path) return E_INVALIDARG;
            value = path;
            return S_OK;
        }
        return E_INVALIDARG;
    }

private:
    DeviceIdentity identity_;
};

class DeviceMoniker : public ComObject<IMoniker> {
public:
    DeviceMoniker() = default;
    explicit DeviceMoniker(DeviceIdentity identity) : identity_(std::move(identity)) {}

    HRESULT GetClassID(CLSID& clsid) override {
        clsid = CLSID_DeviceMoniker;
        return S_OK;
    }
    HRESULT Save(std::vector<std::uint8_t>& stream) override {
        AppendUint32(stream, kDeviceMonikerVersion);
        AppendText(stream, identity_.displayName);
        AppendText(stream, identity_.deviceClass);
        AppendText(stream, identity_.properties);
        return S_OK;
    }
    HRESULT Load(ByteReader& stream) override {
        std::uint32_t version = 0;
        DeviceIdentity identity;
        if (!ReadUint32(stream, version) || version != kDeviceMonikerVersion ||
            !ReadText(stream, identity.displayName) || !ReadText(stream, identity.deviceClass) ||
            !ReadText(stream, identity.properties))
            return STG_E_READFAULT;
        identity_ = std::move(identity);
        return S_OK;
    }

    // The device is looked up afresh at every bind: a moniker outlives its device, and binding one
    // whose device is gone must find nothing rather than a stale object.
    HRESULT BindToObject(void*, IMoniker*, const IID& iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        for (const gst::DevicePtr& device : ProbeVideoDevices()) {
            if (IdentityOf(device.Get()) != identity_) continue;
            gst::ElementPtr element =
                gst::ElementPtr::Adopt(gst_device_create_element(device.Get(), nullptr));
            ComPtr<IBaseFilter> filter = MakeElementFilter(std::move(element));
            if (!filter) return MK_E_NOOBJECT;
            return filter->QueryInterface(iid, object);
        }
        return MK_E_NOOBJECT;
    }
    HRESULT BindToStorage(void*, IMoniker*, const IID& iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (iid != IPropertyBag::kIid) return E_NOINTERFACE;
        return MakeCom<PropertyBag>(identity_)->QueryInterface(iid, object);
    }
    HRESULT GetDisplayName(std::string& name) override {
        name = "@device:gst:" + identity_.displayName;
        return S_OK;
    }

private:
    DeviceIdentity identity_;
};

class EnumDeviceMonikers : public ComObject<IEnumMoniker> {
public:
    explicit EnumDeviceMonikers(std::vector<ComPtr<IMoniker>> monikers) : monikers_(std::move(monikers)) {}

    HRESULT Next(std::uint32_t count, IMoniker** monikers, std::uint32_t* fetched) override {
        if (!monikers) return E_POINTER;
        std::uint32_t given = 0;
        while (given < count && next_ < monikers_.size())
            monikers[given++] = ComPtr(monikers_[next_++]).Detach();
        if (fetched) *fetched = given;
        return given == count ? S_OK : S_FALSE;
    }
    HRESULT Skip(std::uint32_t count) override {
        std::size_t left = monikers_.size() - next_;
        next_ += std::min<std::size_t>(count, left);
        return count <= left ? S_OK : S_FALSE;
    }
    HRESULT Reset() override {
        next_ = 0;
        return S_OK;
    }

private:
    std::vector<ComPtr<IMoniker>> monikers_;
    std::size_t next_ = 0;
};

class SystemDeviceEnum : public ComObject<ICreateDevEnum> {
public:
    HRESULT CreateClassEnumerator(const GUID& category, ComPtr<IEnumMoniker>& enumerator,
                                  std::uint32_t) override {
        enumerator.Reset();
        if (category != CLSID_VideoInputDeviceCategory) return S_FALSE;
        std::vector<ComPtr<IMoniker>> monikers;
        for (const gst::DevicePtr& device : ProbeVideoDevices())
            monikers.push_back(MakeCom<DeviceMoniker>(IdentityOf(device.Get())));
        if (monikers.empty()) return S_FALSE;
        enumerator = MakeCom<EnumDeviceMonikers>(std::move(monikers));
        return S_OK;
    }
};

}  // namespace

GstDeviceMonitor* TheVideoDeviceMonitor() {
    // Kept for the whole process: GStreamer's monitors share one provider of each kind, and a
    // monitor that goes away leaves the providers reporting changes to no other monitor.
    static GstDeviceMonitor* const monitor = [] {
        GstDeviceMonitor* made = gst_device_monitor_new();
        gst_object_ref_sink(made);
        gst_device_monitor_add_filter(made, "Video/Source", nullptr);
        return made;
    }();
    return monitor;
}

bool ByteReader::Read(void* target, std::size_t count) {
    if (count > Remaining()) return false;
    if (count > 0) std::memcpy(target, bytes_.data() + position_, count);
    position_ += count;
    return true;
}

HRESULT OleSaveToStream(IPersistStream* object, std::vector<std::uint8_t>& stream) {
    if (!object) return E_POINTER;
    CLSID clsid;
    HRESULT result = object->GetClassID(clsid);
    if (Failed(result)) return result;
    auto bytes = clsid.ToBytes();
    stream.insert(stream.end(), bytes.begin(), bytes.end());
    return object->Save(stream);
}

HRESULT OleLoadFromStream(ByteReader& stream, const IID& iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    std::uint8_t bytes[16];
    if (!stream.Read(bytes, sizeof bytes)) return STG_E_READFAULT;
    ComPtr<IPersistStream> persistent;
    HRESULT result = CoCreateInstance(GUID::FromBytes(bytes), CLSCTX_INPROC, persistent);
    if (Failed(result)) return result;
    result = persistent->Load(stream);
    if (Failed(result)) return result;
    return persistent->QueryInterface(iid, object);
}

ComPtr<IUnknown> CreateSystemDeviceEnum() {
    return ComPtr<IUnknown>(new SystemDeviceEnum);
}
ComPtr<IUnknown> CreateDeviceMoniker() {
    return ComPtr<IUnknown>(new DeviceMoniker);
}

}  // namespace flipbook
