// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

class QSocketNotifier;
class QTimer;

namespace flipbook {

// The name Snap gives a picture taken at the time: "snap-" + local "yyyymmdd-hhnnsszzz" + extension
// (four-digit year, two-digit month, day, hour 00-23, minute, second, three-digit milliseconds).
std::string SnapshotName(std::chrono::system_clock::time_point time, const std::string& extension);

// The snapshot name of the millisecond after the one the name stands for, carried into the seconds,
// days and years as the calendar does ("snap-20241231-235959999.png" gives
// "snap-20250101-000000000.png"); empty for a name that is not a snapshot name.
std::string NextSnapshotName(const std::string& name);

// The newest snapshot name of one folder, so that a picture taken after the clock went back (the end of
// daylight saving, a clock set right) still sorts after every picture before it: the list, playback,
// export and the command-line tool all take name order as shooting order.
class TSnapshotSeries {
public:
    // The name for a picture taken at the time into the folder: SnapshotName's, unless that would not
    // sort after the newest snapshot name the folder holds (in any picture format, whatever the case
    // of "snap-") or was given here, since then the millisecond after that one. The folder is read when
    // it is first named here; the names given here count from then on, saved or still pending.
    std::string NameFor(const std::string& folder, std::chrono::system_clock::time_point time,
                        const std::string& extension);
    // Tells of a picture saved into the folder under the name, which moved on from the one given
    // where that was taken.
    void Saved(const std::string& folder, const std::string& name);

private:
    std::string folder_;
    std::string newest_;  // "snap-yyyymmdd-hhnnsszzz", "" when the folder holds none
};

// The extension of the name from its last "." on, lower-cased with ASCII rules; empty without a dot.
std::string LowerCaseExtension(const std::string& name);

// The bare names of the folder's entries whose extension (from the last ".", lower-cased with ASCII
// rules) equals the given one exactly, in the order the folder yields them. Folders count like files,
// so a folder named "x.png" is listed; entries that are neither a file nor a folder (pipes, sockets,
// devices, dangling links) carry no attribute a picture list accepts and are left out. A folder that
// cannot be read gives an empty list. Hidden temporary files that our crashed or killed processes
// left in the folder are removed first.
std::vector<std::string> ListPictureNames(const std::string& folder, const std::string& extension);
// Whether the folder's entry of that name is one ListPictureNames gives for the extension.
bool IsPictureEntry(const std::string& folder, const std::string& name, const std::string& extension);

// Follows one folder's entries as other programs (and our own writer) add, remove and rename them,
// through the system's file notifications, so that a list of its pictures keeps up without the whole
// folder read again. Reports come on the thread that made the watch, from its event loop, once a burst
// of changes has settled for a moment.
class TFolderWatch {
public:
    struct Changes {
        std::set<std::string>
            names;         // entries that came, went or were renamed, as the file system names them
        bool all = false;  // the system dropped notifications: only reading the folder tells
    };

    // Watches the folder (its bytes, as the file system holds them, with or without the final "/");
    // changed is called when changes wait to be taken. A folder that cannot be watched (gone, or the
    // system's watches used up) never reports.
    TFolderWatch(const std::string& folder, std::function<void()> changed);
    ~TFolderWatch();
    TFolderWatch(const TFolderWatch&) = delete;
    TFolderWatch& operator=(const TFolderWatch&) = delete;

    // Whether the folder is watched.
    bool Watching() const { return descriptor_ >= 0; }
    // The changes since last taken. Our writers' hidden temporary files are left out: their pictures
    // come with the rename to the final name.
    Changes Take();
    // Calls changed again after the settling moment, for changes that cannot be taken yet.
    void Postpone();

private:
    void Read();

    std::function<void()> changed_;
    int descriptor_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::unique_ptr<QTimer> settle_;
    Changes pending_;
};

}  // namespace flipbook
