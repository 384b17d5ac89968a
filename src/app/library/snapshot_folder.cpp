// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/library/snapshot_folder.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

#include <sys/inotify.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QTimer>

#include "platform/files/safe_file.h"

namespace flipbook {

namespace {

// Regular files and folders map onto the attributes a listing accepts (read-only, hidden, folder,
// archive); anything else stands for an attribute outside that set.
bool HasListableAttributes(const std::filesystem::directory_entry& entry) {
    std::error_code error;
    const auto status = entry.status(error);
    if (error) return false;
    return std::filesystem::is_regular_file(status) || std::filesystem::is_directory(status);
}

}  // namespace

std::string LowerCaseExtension(const std::string& name) {
    const auto dot = name.find_last_of('.');
    if (dot == std::string::npos) return {};
    std::string extension = name.substr(dot);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; });
    return extension;
}

namespace {

constexpr const char* kSnapshotNameLayout = "snap-%04d%02d%02d-%02d%02d%02d%03d";
constexpr std::size_t kStemLength = 23;  // "snap-yyyymmdd-hhnnsszzz"
// The formats Snap saves in, of which a folder's pictures order one series.
constexpr const char* kPictureExtensions[] = {".png", ".jpg", ".bmp"};

std::string FormatSnapshotName(const std::tm& time, int milliseconds, const std::string& extension) {
    char text[96];
    std::snprintf(text, sizeof text, kSnapshotNameLayout, time.tm_year + 1900, time.tm_mon + 1, time.tm_mday,
                  time.tm_hour, time.tm_min, time.tm_sec, milliseconds);
    return text + extension;
}

}  // namespace

std::string NextSnapshotName(const std::string& name) {
    if (name.size() < kStemLength || name.compare(0, 5, "snap-") != 0 || name[13] != '-') return {};
    for (std::size_t index = 5; index < kStemLength; ++index)
        if (index != 13 && (name[index] < '0' || name[index] > '9')) return {};
    const auto number = [&name](std::size_t at, std::size_t digits) {
        return std::stoi(name.substr(at, digits));
    };
    // The name's own calendar, free of time zones: the next name is the next millisecond on the clock
    // face, whatever the zone's rules did at that instant.
    const std::chrono::year_month_day day{std::chrono::year(number(5, 4)),
                                          std::chrono::month(static_cast<unsigned>(number(9, 2))),
                                          std::chrono::day(static_cast<unsigned>(number(11, 2)))};
    if (!day.ok()) return {};
    const auto next = std::chrono::sys_days(day) + std::chrono::hours(number(14, 2)) +
                      std::chrono::minutes(number(16, 2)) + std::chrono::seconds(number(18, 2)) +
                      std::chrono::milliseconds(number(20, 3) + 1);
    const auto seconds = std::chrono::floor<std::chrono::seconds>(next);
    const std::time_t whole = std::chrono::system_clock::to_time_t(seconds);
    std::tm face{};
    gmtime_r(&whole, &face);
    return FormatSnapshotName(face, static_cast<int>((next - seconds).count()), name.substr(kStemLength));
}

std::string SnapshotName(std::chrono::system_clock::time_point time, const std::string& extension) {
    const auto sinceEpoch = time.time_since_epoch();
    const auto seconds = std::chrono::floor<std::chrono::seconds>(sinceEpoch);
    const auto milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch - seconds);
    const std::time_t whole = seconds.count();
    std::tm local{};
    localtime_r(&whole, &local);
    return FormatSnapshotName(local, static_cast<int>(milliseconds.count()), extension);
}

namespace {

// The name's snapshot part with "snap-" lower-cased, when the name starts with one and is a picture's:
// the part the list's order goes by (it compares names without regard to case), since the rest of the
// name follows it. Empty otherwise; the date is not checked.
std::string SnapshotStem(const std::string& name) {
    if (name.size() <= kStemLength) return {};
    std::string stem = name.substr(0, kStemLength);
    std::transform(stem.begin(), stem.begin() + 5, stem.begin(),
                   [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; });
    if (stem.compare(0, 5, "snap-") != 0 || stem[13] != '-') return {};
    for (std::size_t index = 5; index < kStemLength; ++index)
        if (index != 13 && (stem[index] < '0' || stem[index] > '9')) return {};
    const std::string extension = LowerCaseExtension(name);
    if (std::find(std::begin(kPictureExtensions), std::end(kPictureExtensions), extension) ==
        std::end(kPictureExtensions))
        return {};
    return stem;
}

// The later of the two snapshot parts, where the candidate's date is one of the calendar's. Fixed
// width: plain order of the digits is the order of the times.
std::string Newer(const std::string& newest, const std::string& candidate) {
    return candidate > newest && !NextSnapshotName(candidate).empty() ? candidate : newest;
}

// The newest snapshot part of the folder's pictures' names; empty when there is none or the folder
// cannot be read.
std::string NewestSnapshotStem(const std::string& folder) {
    std::string newest;
    std::error_code error;
    for (std::filesystem::directory_iterator entries(folder, error), end; !error && entries != end;
         entries.increment(error))
        newest = Newer(newest, SnapshotStem(entries->path().filename().string()));
    return newest;
}

}  // namespace

std::string TSnapshotSeries::NameFor(const std::string& folder, std::chrono::system_clock::time_point time,
                                     const std::string& extension) {
    if (folder != folder_) {
        folder_ = folder;
        newest_ = NewestSnapshotStem(folder);
    }
    std::string stem = SnapshotName(time, "");
    if (!newest_.empty() && stem <= newest_) {
        const std::string next = NextSnapshotName(newest_);
        if (!next.empty()) stem = next;
    }
    newest_ = stem;
    return stem + extension;
}

void TSnapshotSeries::Saved(const std::string& folder, const std::string& name) {
    if (folder == folder_) newest_ = Newer(newest_, SnapshotStem(name));
}

std::vector<std::string> ListPictureNames(const std::string& folder, const std::string& extension) {
    RemoveStaleTemporaryFiles(folder);
    std::vector<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator entries(folder, error), end; !error && entries != end;
         entries.increment(error)) {
        const auto& entry = *entries;
        const std::string name = entry.path().filename().string();
        if (!HasListableAttributes(entry)) continue;
        if (LowerCaseExtension(name) != extension) continue;
        names.push_back(name);
    }
    return names;
}

bool IsPictureEntry(const std::string& folder, const std::string& name, const std::string& extension) {
    if (name.empty() || LowerCaseExtension(name) != extension) return false;
    const std::filesystem::directory_entry entry(std::filesystem::path(folder) / name);
    return HasListableAttributes(entry);
}

namespace {

// How long a burst of changes (a file manager moving a hundred pictures, a time-lapse saving) may
// settle before the list follows: the list changes once for the burst, not once a file.
constexpr int kSettleMilliseconds = 150;

// ".NAME.PID-N.partial", as our writers name a picture until it is whole.
bool IsWritersTemporaryName(const std::string& name) {
    constexpr std::string_view suffix = ".partial";
    return name.size() > suffix.size() && name.front() == '.' &&
           name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

TFolderWatch::TFolderWatch(const std::string& folder, std::function<void()> changed)
    : changed_(std::move(changed)), settle_(std::make_unique<QTimer>()) {
    settle_->setSingleShot(true);
    settle_->setInterval(kSettleMilliseconds);
    QObject::connect(settle_.get(), &QTimer::timeout, [this] { changed_(); });
    descriptor_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (descriptor_ < 0) return;
    // Entries coming, going and renamed; what happens inside a file does not change the list.
    if (::inotify_add_watch(descriptor_, folder.c_str(),
                            IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ONLYDIR) < 0) {
        ::close(descriptor_);
        descriptor_ = -1;
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(descriptor_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { Read(); });
}

TFolderWatch::~TFolderWatch() {
    notifier_.reset();
    if (descriptor_ >= 0) ::close(descriptor_);
}

TFolderWatch::Changes TFolderWatch::Take() {
    return std::exchange(pending_, Changes{});
}

void TFolderWatch::Postpone() {
    settle_->start();
}

void TFolderWatch::Read() {
    alignas(inotify_event) char buffer[16 * 1024];
    for (;;) {
        const ssize_t length = ::read(descriptor_, buffer, sizeof buffer);
        if (length < 0 && errno == EINTR) continue;
        if (length <= 0) break;  // all read (EAGAIN), or the watch cannot be read any more
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= length;) {
            inotify_event event;
            std::memcpy(&event, buffer + at, sizeof event);
            const char* name = buffer + at + sizeof event;
            if (event.mask & IN_Q_OVERFLOW) {
                pending_.all = true;
            } else if (event.len > 0) {
                const std::string entry(name, ::strnlen(name, event.len));
                if (!IsWritersTemporaryName(entry)) pending_.names.insert(entry);
            }
            at += static_cast<ssize_t>(sizeof event + event.len);
        }
    }
    if ((pending_.all || !pending_.names.empty()) && !settle_->isActive()) settle_->start();
}

}  // namespace flipbook
