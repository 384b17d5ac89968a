// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include <QListWidgetItem>

namespace flipbook {

// An entry of the picture list. It keeps the file name's own bytes, which need not be valid UTF-8, so
// the file can still be loaded and deleted; the text shown is their best reading. Entries sort by
// their text without regard to case, as the folder chooser sorts.
class TSnapshotItem : public QListWidgetItem {
public:
    explicit TSnapshotItem(const std::string& fileName);

    // The file name as the file system holds it.
    const std::string& FileName() const { return fileName_; }

    bool operator<(const QListWidgetItem& other) const override;

private:
    std::string fileName_;
};

// The file name of a list entry: its own bytes for a TSnapshotItem, else its text in UTF-8.
std::string SnapshotFileName(const QListWidgetItem& item);

}  // namespace flipbook
