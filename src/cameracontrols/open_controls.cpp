// SPDX-License-Identifier: GPL-3.0-or-later
#include "cameracontrols/open_controls.h"

#include "cameracontrols/element_controls.h"
#include "cameracontrols/v4l2_controls.h"
#include "platform/mediagraph/gst_filter.h"

namespace flipbook {

std::unique_ptr<CameraControls> OpenCameraControls(IMoniker* device, IBaseFilter* source) {
    ComPtr<IPropertyBag> properties;
    std::string path;
    if (device &&
        Succeeded(device->BindToStorage(nullptr, nullptr, IPropertyBag::kIid, properties.PutVoid())) &&
        properties && Succeeded(properties->Read("V4l2DevicePath", path))) {
        try {
            return MakeV4l2Controls(OpenV4l2Device(path));
        } catch (const ECameraControl&) {
            // A node that cannot be opened for controls (no permission, a server holding it
            // exclusively) still streams; what the element offers is the next best.
        }
    }
    GstElement* element = ElementOf(source);
    if (!element) return nullptr;
    return MakeElementControls(gst::ElementPtr::Ref(element));
}

}  // namespace flipbook
