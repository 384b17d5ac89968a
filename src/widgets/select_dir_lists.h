// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "widgets/select_dir_drives.h"

#include <QComboBox>
#include <QLabel>
#include <QListWidget>

#include <string>
#include <vector>

namespace flipbook {

// A path label: paints the path shortened in the middle to fit its width; text() keeps the full path.
class TPathLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// The directory list: the drive's root, each ancestor and the current directory, then the current
// directory's subdirectories, each entry indented by its depth. Its directory is always the
// process's current directory as it was when the list last moved.
class TDirectoryListBox : public QListWidget {
    Q_OBJECT
public:
    enum class EntryKind { Ancestor, Current, Subdirectory };

    TDirectoryListBox(std::vector<Drive> drives, QWidget* parent);

    const std::string& Directory() const { return directory_; }
    // Moves the list into the directory, which becomes the process's current directory. Nothing
    // happens for an empty path or the directory already shown. Throws EInOutError when the
    // directory cannot be entered; the list then keeps its directory.
    void SetDirectory(const std::string& path);
    // The index in the drives of the drive the list's directory lies on, or -1.
    int DriveIndex() const;

    // The directory an entry leads to (its bytes, whatever its text shows), and what kind of entry it is.
    std::string EntryDirectory(int row) const;
    EntryKind EntryKindOf(int row) const;
    // How many levels deep the entry is indented.
    int EntryDepth(int row) const;
    // Moves into the entry's directory, as a double click or Enter does. A failure is shown in the
    // desktop's error box and leaves the list where it was.
    void OpenEntry(int row);

signals:
    // The list moved to another directory.
    void Changed();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Rebuild();
    void AddEntry(const std::string& name, const std::string& directory, EntryKind kind, int depth);

    std::vector<Drive> drives_;
    std::string directory_;
    int currentEntryRow_ = -1;
};

// The file list: the ordinary files of a directory (no folders, no hidden files, nothing but
// regular files), sorted by name, in grey.
class TFileListBox : public QListWidget {
    Q_OBJECT
public:
    explicit TFileListBox(QWidget* parent);
    void SetDirectory(const std::string& directory);
    const std::string& Directory() const { return directory_; }

private:
    std::string directory_;
};

// The drive box: one entry for each drive, with the glyph of its kind.
class TDriveComboBox : public QComboBox {
    Q_OBJECT
public:
    TDriveComboBox(const std::vector<Drive>& drives, QWidget* parent);
};

// How the chooser shows a name or path of the file system: its bytes read in the system's encoding, with
// what cannot be read shown as a replacement character. Lossy: the entries keep the bytes themselves.
QString ShownName(const std::string& name);

// Sorts names as the lists show them: without regard to case, then by their bytes.
void SortNames(std::vector<std::string>& names);

}  // namespace flipbook
