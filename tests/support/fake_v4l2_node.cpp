// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/fake_v4l2_node.h"
#include "support/v4l2_query.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>

namespace flipbook::testing {

namespace {

struct Control {
    v4l2_query_ext_ctrl query{};
    int value = 0;
    std::map<int, std::string> menu;  // index to name; the indexes left out are gaps
    int readError = 0;
};

// An automatic and the control it rules, with the value that means "manual".
struct Ruling {
    std::uint32_t automatic;
    std::uint32_t manual;
    int manualValue;
};

constexpr Ruling kRulings[] = {
    {V4L2_CID_EXPOSURE_AUTO, V4L2_CID_EXPOSURE_ABSOLUTE, V4L2_EXPOSURE_MANUAL},
    {V4L2_CID_AUTO_WHITE_BALANCE, V4L2_CID_WHITE_BALANCE_TEMPERATURE, 0},
    {V4L2_CID_FOCUS_AUTO, V4L2_CID_FOCUS_ABSOLUTE, 0},
};

}  // namespace

struct FakeV4l2Node::State {
    dev_t device = 0;
    ino_t inode = 0;
    std::map<std::uint32_t, Control> controls;
    bool gone = false;
    std::vector<FakeV4l2Node::Write> writes;
    int listWalks = 0;

    State() {
        Add(V4L2_CID_USER_CLASS, "User Controls", V4L2_CTRL_TYPE_CTRL_CLASS, 0, 0, 0, 0, 0);
        controls[V4L2_CID_USER_CLASS].query.flags = V4L2_CTRL_FLAG_READ_ONLY | V4L2_CTRL_FLAG_WRITE_ONLY;
        Add(V4L2_CID_BRIGHTNESS, "Brightness", V4L2_CTRL_TYPE_INTEGER, -64, 64, 1, 0, 0);
        Add(V4L2_CID_CONTRAST, "Contrast", V4L2_CTRL_TYPE_INTEGER, 0, 64, 1, 32, 32);
        Add(V4L2_CID_SATURATION, "Saturation", V4L2_CTRL_TYPE_INTEGER, 0, 128, 1, 64, 64);
        Add(V4L2_CID_HUE, "Hue", V4L2_CTRL_TYPE_INTEGER, -40, 40, 1, 0, 0);
        Add(V4L2_CID_AUTO_WHITE_BALANCE, "White Balance, Automatic", V4L2_CTRL_TYPE_BOOLEAN, 0, 1, 1, 1, 1);
        Add(V4L2_CID_GAMMA, "Gamma", V4L2_CTRL_TYPE_INTEGER, 72, 500, 1, 100, 100);
        Add(V4L2_CID_GAIN, "Gain", V4L2_CTRL_TYPE_INTEGER, 0, 100, 1, 0, 0);
        Add(V4L2_CID_POWER_LINE_FREQUENCY, "Power Line Frequency", V4L2_CTRL_TYPE_MENU, 0, 2, 1, 1, 1);
        controls[V4L2_CID_POWER_LINE_FREQUENCY].menu = {{0, "Disabled"}, {1, "50 Hz"}, {2, "60 Hz"}};
        Add(V4L2_CID_WHITE_BALANCE_TEMPERATURE, "White Balance Temperature", V4L2_CTRL_TYPE_INTEGER, 2800,
            6500, 1, 4600, 5100);
        Add(V4L2_CID_SHARPNESS, "Sharpness", V4L2_CTRL_TYPE_INTEGER, 0, 6, 1, 3, 3);
        Add(V4L2_CID_BACKLIGHT_COMPENSATION, "Backlight Compensation", V4L2_CTRL_TYPE_INTEGER, 0, 2, 1, 1, 1);
        Add(V4L2_CID_CAMERA_CLASS, "Camera Controls", V4L2_CTRL_TYPE_CTRL_CLASS, 0, 0, 0, 0, 0);
        controls[V4L2_CID_CAMERA_CLASS].query.flags = V4L2_CTRL_FLAG_READ_ONLY | V4L2_CTRL_FLAG_WRITE_ONLY;
        Add(V4L2_CID_EXPOSURE_AUTO, "Auto Exposure", V4L2_CTRL_TYPE_MENU, 0, 3, 1, 3, 3);
        controls[V4L2_CID_EXPOSURE_AUTO].menu = {{1, "Manual Mode"}, {3, "Aperture Priority Mode"}};
        Add(V4L2_CID_EXPOSURE_ABSOLUTE, "Exposure Time, Absolute", V4L2_CTRL_TYPE_INTEGER, 1, 5000, 1, 157,
            312);
        Add(V4L2_CID_EXPOSURE_AUTO_PRIORITY, "Exposure, Dynamic Framerate", V4L2_CTRL_TYPE_BOOLEAN, 0, 1, 1,
            0, 0);
        Add(V4L2_CID_FOCUS_ABSOLUTE, "Focus, Absolute", V4L2_CTRL_TYPE_INTEGER, 0, 250, 5, 0, 70);
        Add(V4L2_CID_FOCUS_AUTO, "Focus, Automatic Continuous", V4L2_CTRL_TYPE_BOOLEAN, 0, 1, 1, 1, 1);
        for (const Ruling& ruling : kRulings) {
            Control& manual = controls[ruling.manual];
            if (controls[ruling.automatic].value != ruling.manualValue)
                manual.query.flags |= V4L2_CTRL_FLAG_INACTIVE;
        }
    }

    void Add(std::uint32_t id, const char* name, std::uint32_t type, int minimum, int maximum, int step,
             int defaultValue, int value) {
        Control& control = controls[id];
        control.query = ControlQuery(id, name, type, minimum, maximum, step, defaultValue);
        control.value = value;
    }

    // The answer of the node to one call: 0 or the errno.
    int Answer(unsigned long request, void* argument) {
        if (request == VIDIOC_S_CTRL) {
            // Every write is logged, even one that finds the camera gone, so tests see what was tried.
            auto& written = *static_cast<v4l2_control*>(argument);
            const int error = gone ? ENODEV : Set(written);
            writes.push_back({written.id, written.value, error});
            return error;
        }
        if (gone) return ENODEV;
        switch (request) {
            case VIDIOC_QUERY_EXT_CTRL:
                return Query(*static_cast<v4l2_query_ext_ctrl*>(argument));
            case VIDIOC_QUERYMENU:
                return MenuEntry(*static_cast<v4l2_querymenu*>(argument));
            case VIDIOC_G_CTRL:
                return Read(*static_cast<v4l2_control*>(argument));
            default:
                return ENOTTY;
        }
    }

    int Query(v4l2_query_ext_ctrl& query) {
        const bool next = (query.id & V4L2_CTRL_FLAG_NEXT_CTRL) != 0;
        const std::uint32_t id = query.id & ~(V4L2_CTRL_FLAG_NEXT_CTRL | V4L2_CTRL_FLAG_NEXT_COMPOUND);
        if (next && id == 0) ++listWalks;
        const auto found = next ? controls.upper_bound(id) : controls.find(id);
        if (found == controls.end()) return EINVAL;
        query = found->second.query;
        return 0;
    }

    int MenuEntry(v4l2_querymenu& item) {
        const auto found = controls.find(item.id);
        if (found == controls.end() || found->second.query.type != V4L2_CTRL_TYPE_MENU) return EINVAL;
        const auto entry = found->second.menu.find(static_cast<int>(item.index));
        if (entry == found->second.menu.end()) return EINVAL;
        std::memset(item.name, 0, sizeof item.name);
        std::strncpy(reinterpret_cast<char*>(item.name), entry->second.c_str(), sizeof item.name - 1);
        return 0;
    }

    int Read(v4l2_control& read) {
        const auto found = controls.find(read.id);
        if (found == controls.end()) return EINVAL;
        const Control& control = found->second;
        if (control.query.flags & V4L2_CTRL_FLAG_WRITE_ONLY) return EACCES;
        if (control.readError) return control.readError;
        read.value = control.value;
        return 0;
    }

    int Set(const v4l2_control& written) {
        const auto found = controls.find(written.id);
        if (found == controls.end()) return EINVAL;
        Control& control = found->second;
        const v4l2_query_ext_ctrl& query = control.query;
        if (query.flags & (V4L2_CTRL_FLAG_READ_ONLY | V4L2_CTRL_FLAG_INACTIVE)) return EACCES;
        int value = written.value;
        if (query.type == V4L2_CTRL_TYPE_MENU) {
            if (!control.menu.contains(value)) return EINVAL;
        } else {
            value = static_cast<int>(std::clamp<std::int64_t>(value, query.minimum, query.maximum));
        }
        control.value = value;
        Rule();
        return 0;
    }

    // The automatics flag what they rule; one switched off leaves its control at the stored value.
    void Rule() {
        for (const Ruling& ruling : kRulings) {
            Control& manual = controls[ruling.manual];
            const bool automaticOn = controls[ruling.automatic].value != ruling.manualValue;
            const bool wasInactive = (manual.query.flags & V4L2_CTRL_FLAG_INACTIVE) != 0;
            if (wasInactive && !automaticOn) manual.value = static_cast<int>(manual.query.default_value);
            if (automaticOn)
                manual.query.flags |= V4L2_CTRL_FLAG_INACTIVE;
            else
                manual.query.flags &= ~static_cast<__u32>(V4L2_CTRL_FLAG_INACTIVE);
        }
    }
};

namespace {

// Every node state that a descriptor may still reach. Made once and never freed: ioctl() may be
// called by any library of the process until its very end.
struct Registry {
    std::mutex lock;
    std::vector<std::shared_ptr<FakeV4l2Node::State>> states;
};

std::atomic<int> registeredStates{0};

Registry& TheRegistry() {
    static Registry* registry = new Registry;
    return *registry;
}

void Register(const std::shared_ptr<FakeV4l2Node::State>& state) {
    Registry& registry = TheRegistry();
    const std::lock_guard lock(registry.lock);
    registry.states.push_back(state);
    registeredStates = static_cast<int>(registry.states.size());
}

void Unregister(const std::shared_ptr<FakeV4l2Node::State>& state) {
    Registry& registry = TheRegistry();
    const std::lock_guard lock(registry.lock);
    std::erase(registry.states, state);
    registeredStates = static_cast<int>(registry.states.size());
}

// Makes the node's file and takes its identity; the file stays empty.
void MakeNodeFile(const std::string& path, FakeV4l2Node::State& state) {
    const int descriptor = ::open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
    if (descriptor < 0)
        throw std::runtime_error("cannot make the fake node " + path + ": " + std::strerror(errno));
    struct stat identity {};
    ::fstat(descriptor, &identity);
    ::close(descriptor);
    state.device = identity.st_dev;
    state.inode = identity.st_ino;
}

bool SameFile(const struct stat& identity, const FakeV4l2Node::State& state) {
    return identity.st_dev == state.device && identity.st_ino == state.inode;
}

// The node's answer when the descriptor is open on one, else nothing.
std::optional<int> AnswerOnNode(int descriptor, unsigned long request, void* argument) {
    if (registeredStates.load() == 0) return std::nullopt;
    struct stat identity {};
    if (::fstat(descriptor, &identity) != 0) return std::nullopt;
    Registry& registry = TheRegistry();
    const std::lock_guard lock(registry.lock);
    for (const auto& state : registry.states)
        if (SameFile(identity, *state)) return state->Answer(request, argument);
    return std::nullopt;
}

}  // namespace

FakeV4l2Node::FakeV4l2Node(const std::filesystem::path& folder)
    : folder_(folder), path_((folder / "video0").string()), current_(std::make_shared<State>()) {
    MakeNodeFile(path_, *current_);
    Register(current_);
}

FakeV4l2Node::~FakeV4l2Node() {
    Unregister(current_);
    for (const auto& state : pulledOut_) Unregister(state);
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
}

int FakeV4l2Node::Value(std::uint32_t id) const {
    const std::lock_guard lock(TheRegistry().lock);
    return current_->controls.at(id).value;
}

void FakeV4l2Node::SetValue(std::uint32_t id, int value) {
    const std::lock_guard lock(TheRegistry().lock);
    current_->controls.at(id).value = value;
}

void FakeV4l2Node::FailReads(std::uint32_t id, int error) {
    const std::lock_guard lock(TheRegistry().lock);
    current_->controls.at(id).readError = error;
}

std::vector<FakeV4l2Node::Write> FakeV4l2Node::Writes() const {
    const std::lock_guard lock(TheRegistry().lock);
    std::vector<Write> writes;
    for (const auto& state : pulledOut_)
        writes.insert(writes.end(), state->writes.begin(), state->writes.end());
    writes.insert(writes.end(), current_->writes.begin(), current_->writes.end());
    return writes;
}

int FakeV4l2Node::ListWalks() const {
    const std::lock_guard lock(TheRegistry().lock);
    return current_->listWalks;
}

void FakeV4l2Node::ClearLog() {
    const std::lock_guard lock(TheRegistry().lock);
    for (const auto& state : pulledOut_) state->writes.clear();
    current_->writes.clear();
    current_->listWalks = 0;
}

void FakeV4l2Node::PullOut() {
    {
        const std::lock_guard lock(TheRegistry().lock);
        current_->gone = true;
    }
    std::filesystem::remove(path_);
}

std::string FakeV4l2Node::PlugInAgain() {
    const bool held = OpenDescriptors() > 0;
    pulledOut_.push_back(current_);
    // A pulled-out node no descriptor reaches is gone for good, and its inode may be used again.
    if (!held)
        for (const auto& state : pulledOut_) Unregister(state);
    if (!held) pulledOut_.clear();
    // The lowest number free; the old one is not while a descriptor holds it.
    const std::string old = path_;
    int number = 0;
    auto taken = [&](const std::string& path) {
        return std::filesystem::exists(path) || (held && path == old);
    };
    while (taken((folder_ / ("video" + std::to_string(number))).string())) ++number;
    path_ = (folder_ / ("video" + std::to_string(number))).string();
    current_ = std::make_shared<State>();
    MakeNodeFile(path_, *current_);
    Register(current_);
    return path_;
}

int FakeV4l2Node::OpenDescriptors() const {
    std::vector<std::shared_ptr<State>> states = pulledOut_;
    states.push_back(current_);
    int count = 0;
    DIR* descriptors = ::opendir("/proc/self/fd");
    if (!descriptors) return 0;
    while (const dirent* entry = ::readdir(descriptors)) {
        struct stat identity {};
        if (entry->d_name[0] == '.' || ::fstatat(::dirfd(descriptors), entry->d_name, &identity, 0) != 0)
            continue;
        for (const auto& state : states)
            if (SameFile(identity, *state)) ++count;
    }
    ::closedir(descriptors);
    return count;
}

}  // namespace flipbook::testing

extern "C" int ioctl(int descriptor, unsigned long request, ...) noexcept {
    std::va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    if (const std::optional<int> error = flipbook::testing::AnswerOnNode(descriptor, request, argument)) {
        if (*error == 0) return 0;
        errno = *error;
        return -1;
    }
    using IoctlFunction = int (*)(int, unsigned long, ...);
    static const auto realIoctl = reinterpret_cast<IoctlFunction>(dlsym(RTLD_NEXT, "ioctl"));
    return realIoctl(descriptor, request, argument);
}
