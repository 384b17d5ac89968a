// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace flipbook {

// The name Snap gives a picture taken at the time: "snap-" + local "yyyymmdd-hhnnsszzz" + extension
// (four-digit year, two-digit month, day, hour 00-23, minute, second, three-digit milliseconds).
std::string SnapshotName(std::chrono::system_clock::time_point time, const std::string& extension);

// The snapshot name of the millisecond after the one the name stands for, carried into the seconds,
// days and years as the calendar does ("snap-20241231-235959999.png" gives
// "snap-20250101-000000000.png"); empty for a name that is not a snapshot name.
std::string NextSnapshotName(const std::string& name);

// The extension of the name from its last "." on, lower-cased with ASCII rules; empty without a dot.
std::string LowerCaseExtension(const std::string& name);

// The bare names of the folder's entries whose extension (from the last ".", lower-cased with ASCII
// rules) equals the given one exactly, in the order the folder yields them. Folders count like files,
// so a folder named "x.png" is listed; entries that are neither a file nor a folder (pipes, sockets,
// devices, dangling links) carry no attribute a picture list accepts and are left out. A folder that
// cannot be read gives an empty list. Hidden temporary files that our crashed or killed processes
// left in the folder are removed first.
std::vector<std::string> ListPictureNames(const std::string& folder, const std::string& extension);

}  // namespace flipbook
