// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace flipbook::testing {

// The V4L2 device node of a 1080p USB webcam, answered from its control table the way its UVC driver
// answers, so the program's real V4L2 code runs over it:
//   User Controls (a class entry)
//     brightness -64..64 (0), contrast 0..64 (32), saturation 0..128 (64), hue -40..40 (0),
//     white_balance_automatic (on), gamma 72..500 (100), gain 0..100 (0),
//     power_line_frequency menu Disabled / 50 Hz (default) / 60 Hz,
//     white_balance_temperature 2800..6500 (4600), inactive while its automatic is on,
//     sharpness 0..6 (3), backlight_compensation 0..2 (1)
//   Camera Controls (a class entry)
//     auto_exposure menu with only 1 "Manual Mode" and 3 "Aperture Priority Mode" (the default),
//     exposure_time_absolute 1..5000 (157), inactive while automatic, exposure_dynamic_framerate (off),
//     focus_absolute 0..250 step 5 (0), inactive while automatic, focus_automatic_continuous (on)
// The automatics start where they settled on a scene (exposure time 312, 5100 K, focus 70) and are
// read there; switched off, the camera drops to its stored manual value (the default), as many do. A
// write to an inactive control is refused with EACCES, a value beyond the range is clamped, a menu
// entry the camera lacks is refused with EINVAL, a class entry can be neither read nor written.
//
// The node is a file "videoN" in a folder of the test. The program opens it as it opens /dev/videoN;
// its ioctl() calls on that file reach the table, because the fake_v4l2_node library puts its own
// ioctl() before the C library's in the programs that link it (nothing is preloaded, so this works
// under the sanitizers too). Every other descriptor goes to the real ioctl().
class FakeV4l2Node {
public:
    // Plugs the camera in as folder/video0.
    explicit FakeV4l2Node(const std::filesystem::path& folder);
    ~FakeV4l2Node();
    FakeV4l2Node(const FakeV4l2Node&) = delete;
    FakeV4l2Node& operator=(const FakeV4l2Node&) = delete;

    // The node's path as the camera is plugged in now.
    const std::string& Path() const { return path_; }

    // A control's value in the camera; SetValue moves it as the camera's automatic does.
    int Value(std::uint32_t id) const;
    void SetValue(std::uint32_t id, int value);
    // Reading the control's value fails with the error from now on (EIO: firmware that rejects
    // reading one control), and works again for 0.
    void FailReads(std::uint32_t id, int error);

    // One VIDIOC_S_CTRL that reached the node: refused when error is not 0.
    struct Write {
        std::uint32_t id;
        int value;
        int error;
        bool operator==(const Write&) const = default;
    };
    std::vector<Write> Writes() const;
    // How many times the control list was walked from its start.
    int ListWalks() const;
    void ClearLog();

    // Pulls the camera out: the path disappears, and every call on a descriptor still open on the
    // node fails with ENODEV.
    void PullOut();
    // Plugs it in again, at its defaults, as a new node. Like Linux, it gets the old number only when
    // no descriptor held the old node any more, else the next free one; the path it got.
    std::string PlugInAgain();
    // Descriptors of this process open on the node, including on its pulled-out forms.
    int OpenDescriptors() const;

    struct State;

private:
    std::filesystem::path folder_;
    std::string path_;
    std::shared_ptr<State> current_;
    std::vector<std::shared_ptr<State>> pulledOut_;  // still reachable through open descriptors
};

}  // namespace flipbook::testing
