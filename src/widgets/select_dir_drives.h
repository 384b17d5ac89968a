// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace flipbook {

// The folder chooser's drives are the system's mount points: each lies at a folder of its own, and
// a path belongs to the drive with the longest mount point that contains it.
enum class DriveKind { Removable, Fixed, Network, CD, Ram };

struct Drive {
    std::string mountPoint;  // full path, no trailing "/" except for the root
    DriveKind kind = DriveKind::Fixed;
    std::string label;  // the volume's label, or for a network drive where it comes from

    bool operator==(const Drive&) const = default;
};

// The drives in a mount table in the system's format (one "source mount-point type options ..." a
// line, with octal escapes), sorted by mount point. File systems that hold no user files (kernel
// interfaces, control groups, anything under /proc, /sys, /dev or /run except removable media) are
// left out. labelOf gives a block device's volume label, or empty.
std::vector<Drive> DrivesFromMountTable(std::string_view table,
                                        const std::function<std::string(const std::string& device)>& labelOf);

// The system's drives now; "/" is always among them.
std::vector<Drive> SystemDrives();

// The drives the folder chooser offers: the system's, unless a test installed its own.
std::vector<Drive> ChooserDrives();
using DriveSource = std::function<std::vector<Drive>()>;
// Installs where ChooserDrives() takes its drives from; an empty function restores the system's.
// Returns the previous one (empty for the system's).
DriveSource InstallDriveSource(DriveSource source);

// Index of the drive that the full path lies on (longest mount point containing it), or -1.
int DriveIndexOf(const std::vector<Drive>& drives, const std::string& fullPath);

// Each drive keeps the directory that was current on it last, as the process keeps one current
// directory: the current directory when it lies on the drive, else the last one recorded there,
// else the drive's mount point.
std::string DriveCurrentDirectory(const std::vector<Drive>& drives, const Drive& drive);
// Records the directory as the one last current on its drive.
void RememberDriveDirectory(const std::vector<Drive>& drives, const std::string& directory);

// The text the drive box shows for the drive.
std::string DriveText(const Drive& drive);

}  // namespace flipbook
