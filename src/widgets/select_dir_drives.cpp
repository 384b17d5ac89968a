// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/select_dir_drives.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <system_error>
#include <utility>

namespace flipbook {
namespace {

namespace fs = std::filesystem;

bool OneOf(std::string_view value, std::initializer_list<std::string_view> list) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

bool IsUnder(std::string_view path, std::string_view folder) {
    if (folder == "/") return true;
    return path.size() >= folder.size() && path.substr(0, folder.size()) == folder &&
           (path.size() == folder.size() || path[folder.size()] == '/');
}

// Mount tables write space, tab, newline and backslash as three octal digits after a backslash.
std::string Unescape(std::string_view field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        const bool octal = field[i] == '\\' && i + 3 < field.size() &&
                           std::all_of(field.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                                       field.begin() + static_cast<std::ptrdiff_t>(i) + 4,
                                       [](char c) { return c >= '0' && c <= '7'; });
        if (octal) {
            out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                     (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

std::optional<DriveKind> KindOf(const std::string& source, const std::string& type,
                                const std::string& mountPoint) {
    const bool removableMedia = IsUnder(mountPoint, "/media") || IsUnder(mountPoint, "/run/media");
    if (mountPoint != "/" && !removableMedia &&
        (IsUnder(mountPoint, "/proc") || IsUnder(mountPoint, "/sys") || IsUnder(mountPoint, "/dev") ||
         IsUnder(mountPoint, "/run"))) {
        return std::nullopt;
    }
    if (OneOf(type, {"tmpfs", "ramfs"})) return DriveKind::Ram;
    if (OneOf(type, {"iso9660", "udf"})) return DriveKind::CD;
    if (OneOf(type, {"nfs", "nfs4", "cifs", "smb3", "smbfs", "afs", "ceph", "9p", "fuse.sshfs", "davfs",
                     "fuse.glusterfs"})) {
        return DriveKind::Network;
    }
    if (removableMedia) return DriveKind::Removable;
    // A file system on a block device, or one of the layered ones that containers and pools use.
    if (source.rfind("/dev/", 0) == 0 || OneOf(type, {"overlay", "zfs", "btrfs", "fuseblk"}))
        return DriveKind::Fixed;
    if (mountPoint == "/") return DriveKind::Fixed;
    return std::nullopt;
}

std::string LowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return text;
}

// The names under /dev/disk/by-label are the labels, with "\x20"-style escapes, linking to devices.
std::string LabelFromDeviceLinks(const std::string& device) {
    std::error_code error;
    const fs::path target = fs::canonical(device, error);
    if (error) return {};
    for (auto it = fs::directory_iterator("/dev/disk/by-label", error);
         !error && it != fs::directory_iterator(); it.increment(error)) {
        std::error_code linkError;
        if (fs::canonical(it->path(), linkError) != target || linkError) continue;
        const std::string name = it->path().filename().string();
        std::string label;
        for (std::size_t i = 0; i < name.size(); ++i) {
            if (name.compare(i, 2, "\\x") == 0 && i + 3 < name.size()) {
                label += static_cast<char>(std::stoi(name.substr(i + 2, 2), nullptr, 16));
                i += 3;
            } else {
                label += name[i];
            }
        }
        return label;
    }
    return {};
}

std::mutex driveLock;
DriveSource installedSource;
std::map<std::string, std::string> lastDirectoryOfDrive;

}  // namespace

std::vector<Drive> DrivesFromMountTable(
    std::string_view table, const std::function<std::string(const std::string& device)>& labelOf) {
    std::map<std::string, Drive> byMountPoint;  // a later mount at the same place hides the earlier one
    std::istringstream lines{std::string(table)};
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string source, mountPoint, type;
        if (!(fields >> source >> mountPoint >> type)) continue;
        source = Unescape(source);
        mountPoint = Unescape(mountPoint);
        if (mountPoint.empty() || mountPoint.front() != '/') continue;
        const auto kind = KindOf(source, type, mountPoint);
        if (!kind) {
            byMountPoint.erase(mountPoint);
            continue;
        }
        Drive drive{mountPoint, *kind, {}};
        if (*kind == DriveKind::Network) {
            drive.label = source;
        } else if (*kind != DriveKind::Removable) {
            drive.label = source.rfind("/dev/", 0) == 0 ? labelOf(source) : std::string();
            if (drive.label.empty()) drive.label = fs::path(source).filename().string();
        }
        byMountPoint[mountPoint] = drive;
    }
    std::vector<Drive> drives;
    for (auto& [mountPoint, drive] : byMountPoint) drives.push_back(std::move(drive));
    return drives;
}

std::vector<Drive> SystemDrives() {
    std::ifstream in("/proc/self/mounts");
    std::stringstream table;
    table << in.rdbuf();
    auto drives = DrivesFromMountTable(table.str(), LabelFromDeviceLinks);
    // Only folders can be entered; a file bound over another (as containers do) is no drive.
    std::erase_if(drives, [](const Drive& drive) {
        std::error_code error;
        return !fs::is_directory(drive.mountPoint, error);
    });
    if (drives.empty() || drives.front().mountPoint != "/")
        drives.insert(drives.begin(), Drive{"/", DriveKind::Fixed, {}});
    return drives;
}

std::vector<Drive> ChooserDrives() {
    DriveSource source;
    {
        std::lock_guard guard(driveLock);
        source = installedSource;
    }
    return source ? source() : SystemDrives();
}

DriveSource InstallDriveSource(DriveSource source) {
    std::lock_guard guard(driveLock);
    return std::exchange(installedSource, std::move(source));
}

int DriveIndexOf(const std::vector<Drive>& drives, const std::string& fullPath) {
    int best = -1;
    for (std::size_t i = 0; i < drives.size(); ++i) {
        if (!IsUnder(fullPath, drives[i].mountPoint)) continue;
        if (best < 0 ||
            drives[i].mountPoint.size() > drives[static_cast<std::size_t>(best)].mountPoint.size()) {
            best = static_cast<int>(i);
        }
    }
    return best;
}

std::string DriveCurrentDirectory(const std::vector<Drive>& drives, const Drive& drive) {
    std::error_code error;
    const std::string current = fs::current_path(error).string();
    const int currentDrive = error ? -1 : DriveIndexOf(drives, current);
    if (currentDrive >= 0 && drives[static_cast<std::size_t>(currentDrive)] == drive) return current;
    std::lock_guard guard(driveLock);
    const auto last = lastDirectoryOfDrive.find(drive.mountPoint);
    return last != lastDirectoryOfDrive.end() ? last->second : drive.mountPoint;
}

void RememberDriveDirectory(const std::vector<Drive>& drives, const std::string& directory) {
    const int index = DriveIndexOf(drives, directory);
    if (index < 0) return;
    std::lock_guard guard(driveLock);
    lastDirectoryOfDrive[drives[static_cast<std::size_t>(index)].mountPoint] = directory;
}

std::string DriveText(const Drive& drive) {
    switch (drive.kind) {
        case DriveKind::Removable:
            return drive.mountPoint;
        case DriveKind::Network:
            return drive.mountPoint + " " + LowerCase(drive.label);
        case DriveKind::Fixed:
        case DriveKind::CD:
        case DriveKind::Ram:
            break;
    }
    return drive.mountPoint + " [" + LowerCase(drive.label) + "]";
}

}  // namespace flipbook
