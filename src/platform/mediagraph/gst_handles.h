// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gst/gst.h>

#include <memory>
#include <utility>

namespace flipbook::gst {

// A counted reference to a GstObject (element, pad, bus, device, monitor). Adopt takes over a
// reference the caller owns, sinking a floating one, so a freshly made element is owned here and not
// by whoever adds it to a bin first; Ref takes a new reference.
template <class T>
class ObjectPtr {
public:
    ObjectPtr() = default;
    ObjectPtr(const ObjectPtr& other) : pointer_(other.pointer_) {
        if (pointer_) gst_object_ref(pointer_);
    }
    ObjectPtr(ObjectPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
    ~ObjectPtr() { Reset(); }
    ObjectPtr& operator=(ObjectPtr other) noexcept {
        std::swap(pointer_, other.pointer_);
        return *this;
    }

    static ObjectPtr Adopt(T* pointer) {
        ObjectPtr result;
        if (pointer && g_object_is_floating(pointer)) gst_object_ref_sink(pointer);
        result.pointer_ = pointer;
        return result;
    }
    static ObjectPtr Ref(T* pointer) {
        ObjectPtr result;
        if (pointer) result.pointer_ = static_cast<T*>(gst_object_ref(pointer));
        return result;
    }

    T* Get() const { return pointer_; }
    T* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }
    void Reset() {
        if (pointer_) gst_object_unref(std::exchange(pointer_, nullptr));
    }

private:
    T* pointer_ = nullptr;
};

using ElementPtr = ObjectPtr<GstElement>;
using PadPtr = ObjectPtr<GstPad>;
using BusPtr = ObjectPtr<GstBus>;
using DevicePtr = ObjectPtr<GstDevice>;
using DeviceMonitorPtr = ObjectPtr<GstDeviceMonitor>;

struct CapsUnref {
    void operator()(GstCaps* caps) const { gst_caps_unref(caps); }
};
struct StructureFree {
    void operator()(GstStructure* structure) const { gst_structure_free(structure); }
};
struct GFree {
    void operator()(void* memory) const { g_free(memory); }
};
struct ErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
struct MessageUnref {
    void operator()(GstMessage* message) const { gst_message_unref(message); }
};
struct SampleUnref {
    void operator()(GstSample* sample) const { gst_sample_unref(sample); }
};

using CapsPtr = std::unique_ptr<GstCaps, CapsUnref>;
using StructurePtr = std::unique_ptr<GstStructure, StructureFree>;
using StringPtr = std::unique_ptr<gchar, GFree>;
using ErrorPtr = std::unique_ptr<GError, ErrorFree>;
using MessagePtr = std::unique_ptr<GstMessage, MessageUnref>;
using SamplePtr = std::unique_ptr<GstSample, SampleUnref>;

// Makes an element of a factory, owned by the result; empty when the factory is missing.
inline ElementPtr MakeElement(const char* factory, const char* name = nullptr) {
    return ElementPtr::Adopt(gst_element_factory_make(factory, name));
}

}  // namespace flipbook::gst
