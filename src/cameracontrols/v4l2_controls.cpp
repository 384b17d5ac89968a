// SPDX-License-Identifier: GPL-3.0-or-later
#include "cameracontrols/v4l2_controls.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstring>
#include <map>
#include <optional>

namespace flipbook {
namespace {

class NodeDevice : public V4l2Device {
public:
    explicit NodeDevice(int descriptor) : descriptor_(descriptor) {}
    ~NodeDevice() override { ::close(descriptor_); }
    NodeDevice(const NodeDevice&) = delete;
    NodeDevice& operator=(const NodeDevice&) = delete;

    int Control(unsigned long request, void* argument) override {
        int result = 0;
        // A signal may cut a call short; the driver has done nothing then.
        do result = ::ioctl(descriptor_, request, argument);
        while (result < 0 && errno == EINTR);
        return result < 0 ? errno : 0;
    }

private:
    int descriptor_;
};

// The drivers' names are NUL-terminated within their fixed fields, as char or as bytes.
template <class Character>
std::string TextOf(const Character* text, std::size_t size) {
    const auto* begin = reinterpret_cast<const char*>(text);
    return std::string(begin, strnlen(begin, size));
}

// Why the camera would not do it, in words a user can act on.
std::string Reason(int error) {
    switch (error) {
        case EBUSY:
            return "the camera is busy and cannot change it now";
        case EINVAL:
        case ERANGE:
            return "the camera does not take that value";
        case EACCES:
        case EPERM:
            return "the camera does not allow changing it";
        case ENODEV:
        case ENXIO:
        case ENOENT:
            return "the camera was disconnected";
        case EIO:
        case ETIMEDOUT:
        case EPROTO:
            return "the camera did not answer";
        default:
            return std::strerror(error);
    }
}

bool Gone(int error) {
    return error == ENODEV || error == ENXIO || error == ENOENT;
}

[[noreturn]] void Refuse(const std::string& what, int error) {
    if (Gone(error)) throw ECameraGone(what, Reason(error));
    throw ECameraControl(what, Reason(error));
}

class V4l2Controls : public CameraControls {
public:
    explicit V4l2Controls(std::unique_ptr<V4l2Device> device) : device_(std::move(device)) {}

    std::vector<CameraControl> List() override {
        std::vector<CameraControl> controls;
        v4l2_query_ext_ctrl query{};
        query.id = V4L2_CTRL_FLAG_NEXT_CTRL;
        while (true) {
            const int error = device_->Control(VIDIOC_QUERY_EXT_CTRL, &query);
            // EINVAL ends the list; anything else is the device failing.
            if (error == EINVAL) break;
            if (error) Refuse("The camera's controls", error);
            if (std::optional<CameraControl> control = Describe(query))
                controls.push_back(std::move(*control));
            query.id |= V4L2_CTRL_FLAG_NEXT_CTRL;
        }
        return controls;
    }

    void Set(std::uint32_t id, int value) override {
        v4l2_control control{id, value};
        const int error = device_->Control(VIDIOC_S_CTRL, &control);
        if (error) Refuse(NameOf(id), error);
    }

private:
    std::optional<CameraControl> Describe(const v4l2_query_ext_ctrl& query) {
        if (query.flags & V4L2_CTRL_FLAG_DISABLED) return std::nullopt;
        CameraControl control;
        switch (query.type) {
            case V4L2_CTRL_TYPE_INTEGER:
                control.type = ControlType::Integer;
                break;
            case V4L2_CTRL_TYPE_BOOLEAN:
                control.type = ControlType::Boolean;
                break;
            case V4L2_CTRL_TYPE_MENU:
            case V4L2_CTRL_TYPE_INTEGER_MENU:
                control.type = ControlType::Menu;
                break;
            case V4L2_CTRL_TYPE_BUTTON:
                control.type = ControlType::Button;
                break;
            default:
                return std::nullopt;
        }
        control.id = query.id;
        control.name = TextOf(query.name, sizeof query.name);
        names_[query.id] = control.name;
        control.minimum = static_cast<int>(query.minimum);
        control.maximum = static_cast<int>(query.maximum);
        control.step = static_cast<int>(query.step);
        control.defaultValue = static_cast<int>(query.default_value);
        control.inactive = (query.flags & V4L2_CTRL_FLAG_INACTIVE) != 0;
        // Grabbed: held by a stream that is running; it cannot be set until that stops.
        control.readOnly = (query.flags & (V4L2_CTRL_FLAG_READ_ONLY | V4L2_CTRL_FLAG_GRABBED)) != 0;
        if (control.type == ControlType::Menu) control.menu = Menu(query);
        const bool readable =
            control.type != ControlType::Button && !(query.flags & V4L2_CTRL_FLAG_WRITE_ONLY);
        if (readable) {
            v4l2_control current{query.id, 0};
            const int error = device_->Control(VIDIOC_G_CTRL, &current);
            // An inactive control may refuse to be read, and some firmware fails to read one control
            // at all (EIO): that one is listed at its default, marked, and the others still are.
            if (Gone(error)) Refuse(control.name, error);
            control.value = error ? control.defaultValue : current.value;
            control.valueUnknown = error != 0;
        }
        return control;
    }

    // The entries a driver names; numbers it leaves out (EINVAL) are gaps in the menu, not faults.
    std::vector<MenuEntry> Menu(const v4l2_query_ext_ctrl& query) {
        std::vector<MenuEntry> entries;
        for (std::int64_t index = query.minimum; index <= query.maximum; ++index) {
            v4l2_querymenu item{};
            item.id = query.id;
            item.index = static_cast<__u32>(index);
            const int error = device_->Control(VIDIOC_QUERYMENU, &item);
            if (error == EINVAL) continue;
            if (error) Refuse(TextOf(query.name, sizeof query.name), error);
            entries.push_back({static_cast<int>(index), query.type == V4L2_CTRL_TYPE_INTEGER_MENU
                                                            ? std::to_string(item.value)
                                                            : TextOf(item.name, sizeof item.name)});
        }
        return entries;
    }

    std::string NameOf(std::uint32_t id) const {
        auto found = names_.find(id);
        return found != names_.end() ? found->second : "The camera control";
    }

    std::unique_ptr<V4l2Device> device_;
    std::map<std::uint32_t, std::string> names_;
};

}  // namespace

std::unique_ptr<V4l2Device> OpenV4l2Device(const std::string& path) {
    const int descriptor = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0) Refuse(path, errno);
    return std::make_unique<NodeDevice>(descriptor);
}

std::unique_ptr<CameraControls> MakeV4l2Controls(std::unique_ptr<V4l2Device> device) {
    return std::make_unique<V4l2Controls>(std::move(device));
}

}  // namespace flipbook
