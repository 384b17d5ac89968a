// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "widgets/select_dir_drives.h"

#include <QDialog>
#include <QFlags>

#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;

namespace flipbook {

class TDirectoryListBox;
class TDriveComboBox;
class TFileListBox;
class TPathLabel;

enum class SelectDirOption : unsigned {
    AllowCreate = 1,    // the path is typed in an edit box, and the result is its text
    PerformCreate = 2,  // the confirmed path is created with all its missing parents
    Prompt = 4,         // with AllowCreate, confirming a path that does not exist asks first
};
Q_DECLARE_FLAGS(SelectDirOptions, SelectDirOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(SelectDirOptions)

// The folder chooser: a directory list, a drive box, the current directory's files and, with
// AllowCreate, the path to return in an edit box. Browsing in it changes the process's current
// directory, which stays changed after it closes.
class TSelectDirDlg : public QDialog {
    Q_OBJECT
public:
    // The drive box offers the drives given (the system's mount points normally).
    explicit TSelectDirDlg(QWidget* parent = nullptr, std::vector<Drive> drives = ChooserDrives());
    ~TSelectDirDlg() override;

    // Moves the dialog to the directory to start from; empty keeps the current directory. A folder
    // that cannot be entered falls back to the current directory of its drive. Throws EInOutError
    // when the drive itself cannot be entered.
    void SetStartDirectory(const std::string& directory);
    bool AllowCreate() const { return allowCreate_; }
    void SetAllowCreate(bool allowCreate);
    void SetPrompt(bool prompt) { prompt_ = prompt; }
    // Context 0 means there is no help: the Help button goes and OK and Cancel move right.
    void SetHelpContext(int helpContext);

    // The path the dialog returns, as the file system's bytes: DirEdit's text with AllowCreate (see
    // TypedPath), else the directory shown.
    std::string Result() const;

    // The directory list moved: the label, the files, the edit box (all selected) and the drive
    // box follow it.
    void DirListChange();
    // Another drive was chosen: the directory list moves into that drive's current directory.
    // Throws EInOutError when it cannot.
    void DriveListChange();
    // OK: with AllowCreate and Prompt, a path that is not an existing directory is only accepted
    // after the user agreed to create it.
    void OKClick();
    void NetClick();
    void HelpButtonClick();

private:
    void BuildControls();
    void FormCreate();
    void SelectDrive(int index);
    bool AskToCreate();

    std::vector<Drive> drives_;
    bool allowCreate_ = false;
    bool prompt_ = false;
    int helpContext_ = 0;

    // Owned by the dialog through Qt's parent ownership.
    QLineEdit* DirEdit = nullptr;
    TPathLabel* DirLabel = nullptr;
    TDirectoryListBox* DirList = nullptr;
    TFileListBox* FileList = nullptr;
    TDriveComboBox* DriveList = nullptr;
    QPushButton* NetButton = nullptr;
    QPushButton* OKButton = nullptr;
    QPushButton* CancelButton = nullptr;
    QPushButton* HelpButton = nullptr;
};

// Shows the folder chooser modally, starting from the directory (empty: the current directory).
// On OK the directory becomes the confirmed path and true is returned; with PerformCreate that path
// is then created. On Cancel it stays unchanged and false is returned. Throws EInOutError when the
// start directory's drive cannot be entered (before anything is shown) or when PerformCreate is
// given an empty or relative path that cannot be made ("Unable to create directory"; the directory
// already holds the confirmed path then).
bool SelectDirectory(QWidget* parent, std::string& directory, SelectDirOptions options, int helpContext);

// How the program asks for a folder, so that tests can answer instead of the dialog.
class DirectoryChooser {
public:
    virtual ~DirectoryChooser() = default;
    // As SelectDirectory().
    virtual bool Select(QWidget* parent, std::string& directory, SelectDirOptions options,
                        int helpContext) = 0;

protected:
    DirectoryChooser() = default;
};

// The process's chooser: the dialog unless a test installed its own.
DirectoryChooser& TheDirectoryChooser();
// Installs the chooser TheDirectoryChooser() returns from now on; null restores the dialog.
// Returns the previous installed one (null for the dialog).
DirectoryChooser* InstallDirectoryChooser(DirectoryChooser* chooser);

}  // namespace flipbook
