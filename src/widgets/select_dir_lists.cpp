// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/select_dir_lists.h"

#include "platform/shell/desktop.h"
#include "widgets/select_dir_files.h"

#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyledItemDelegate>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <system_error>

namespace flipbook {
namespace {

namespace fs = std::filesystem;

constexpr int kDirectoryPathRole = Qt::UserRole;
constexpr int kEntryKindRole = Qt::UserRole + 1;
constexpr int kDepthRole = Qt::UserRole + 2;
constexpr int kIndentPerLevel = 4;
constexpr int kDirectoryItemHeight = 17;
constexpr int kFileItemHeight = 13;
// From this many files on, filling the list may take a moment worth showing.
constexpr std::size_t kBusyFileCount = 100;

// Draws each entry at its own height, shifted right by its depth.
class EntryDelegate : public QStyledItemDelegate {
public:
    EntryDelegate(int itemHeight, QObject* parent) : QStyledItemDelegate(parent), itemHeight_(itemHeight) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem shifted(option);
        shifted.rect.adjust(index.data(kDepthRole).toInt() * kIndentPerLevel, 0, 0, 0);
        QStyledItemDelegate::paint(painter, shifted, index);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(itemHeight_);
        return size;
    }

private:
    int itemHeight_;
};

QIcon StandardIcon(QStyle::StandardPixmap pixmap) {
    return QApplication::style()->standardIcon(pixmap);
}

// The open-folder glyph with a dot in its corner marks the directory the list stands in.
QIcon CurrentFolderIcon() {
    QPixmap pixmap = StandardIcon(QStyle::SP_DirOpenIcon).pixmap(16, 16);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    // A light ring keeps the dot visible on the selection colour as well as on the list's base.
    painter.setPen(QPen(QApplication::palette().color(QPalette::Base), 1.0));
    painter.setBrush(QApplication::palette().color(QPalette::Text));
    painter.drawEllipse(QRectF(9.5, 9.5, 6, 6));
    return QIcon(pixmap);
}

QIcon EntryIcon(TDirectoryListBox::EntryKind kind) {
    switch (kind) {
        case TDirectoryListBox::EntryKind::Ancestor:
            return StandardIcon(QStyle::SP_DirOpenIcon);
        case TDirectoryListBox::EntryKind::Current:
            return CurrentFolderIcon();
        case TDirectoryListBox::EntryKind::Subdirectory:
            break;
    }
    return StandardIcon(QStyle::SP_DirClosedIcon);
}

QIcon DriveIcon(DriveKind kind) {
    switch (kind) {
        case DriveKind::Removable:
            return StandardIcon(QStyle::SP_DriveFDIcon);
        case DriveKind::Network:
            return StandardIcon(QStyle::SP_DriveNetIcon);
        case DriveKind::CD:
            return StandardIcon(QStyle::SP_DriveCDIcon);
        case DriveKind::Ram:
            return StandardIcon(QStyle::SP_DriveDVDIcon);
        case DriveKind::Fixed:
            break;
    }
    return StandardIcon(QStyle::SP_DriveHDIcon);
}

bool IsHidden(const std::string& name) {
    return !name.empty() && name.front() == '.';
}

std::vector<std::string> EntriesOf(const std::string& directory, bool wantDirectories) {
    std::vector<std::string> names;
    std::error_code error;
    for (auto it = fs::directory_iterator(directory, error); !error && it != fs::directory_iterator();
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (IsHidden(name)) continue;
        std::error_code statusError;
        const auto status = fs::status(it->path(), statusError);  // follows links, as opening would
        if (statusError) continue;
        if (wantDirectories ? fs::is_directory(status) : fs::is_regular_file(status)) names.push_back(name);
    }
    SortNames(names);
    return names;
}

}  // namespace

QString ShownName(const std::string& name) {
    return QFile::decodeName(QByteArray::fromStdString(name));
}

void SortNames(std::vector<std::string>& names) {
    auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
    std::sort(names.begin(), names.end(), [&](const std::string& a, const std::string& b) {
        const bool less =
            std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [&](char x, char y) {
                return lower(static_cast<unsigned char>(x)) < lower(static_cast<unsigned char>(y));
            });
        const bool greater =
            std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), [&](char x, char y) {
                return lower(static_cast<unsigned char>(x)) < lower(static_cast<unsigned char>(y));
            });
        return less || (!greater && a < b);
    });
}

void TPathLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawText(contentsRect(), static_cast<int>(alignment()),
                     fontMetrics().elidedText(text(), Qt::ElideMiddle, contentsRect().width()));
}

TDirectoryListBox::TDirectoryListBox(std::vector<Drive> drives, QWidget* parent)
    : QListWidget(parent), drives_(std::move(drives)) {
    setItemDelegate(new EntryDelegate(kDirectoryItemHeight, this));
    setUniformItemSizes(true);
    std::error_code error;
    directory_ = fs::current_path(error).string();
    connect(this, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { OpenEntry(row(item)); });
    Rebuild();
}

int TDirectoryListBox::DriveIndex() const {
    return DriveIndexOf(drives_, directory_);
}

void TDirectoryListBox::SetDirectory(const std::string& path) {
    if (path.empty()) return;
    const std::string full = ExpandPath(path);
    if (full == directory_) return;
    directory_ = ChangeDirectory(full);
    RememberDriveDirectory(drives_, directory_);
    Rebuild();
    emit Changed();
}

void TDirectoryListBox::AddEntry(const std::string& name, const std::string& directory, EntryKind kind,
                                 int depth) {
    auto* item = new QListWidgetItem(EntryIcon(kind), ShownName(name), this);
    // The bytes themselves: the text shown cannot always be turned back into them.
    item->setData(kDirectoryPathRole, QByteArray::fromStdString(directory));
    item->setData(kEntryKindRole, static_cast<int>(kind));
    item->setData(kDepthRole, depth);
}

void TDirectoryListBox::Rebuild() {
    clear();
    const int driveIndex = DriveIndex();
    const std::string root = driveIndex >= 0 ? drives_[static_cast<std::size_t>(driveIndex)].mountPoint : "/";

    // The root entry shows the whole mount point; below it, one entry for each folder on the way.
    std::vector<std::pair<std::string, std::string>> chain{{root, root}};  // shown text, directory
    std::string below = directory_.substr(std::min(root.size(), directory_.size()));
    std::string walked = root;
    for (const auto& part : fs::path(below).relative_path()) {
        walked = (fs::path(walked) / part).string();
        chain.emplace_back(part.string(), walked);
    }
    int depth = 0;
    for (std::size_t i = 0; i < chain.size(); ++i, ++depth) {
        const bool current = i + 1 == chain.size();
        AddEntry(chain[i].first, chain[i].second, current ? EntryKind::Current : EntryKind::Ancestor, depth);
    }
    currentEntryRow_ = count() - 1;
    for (const auto& name : EntriesOf(directory_, true)) {
        AddEntry(name, (fs::path(directory_) / name).string(), EntryKind::Subdirectory, depth);
    }
    setCurrentRow(currentEntryRow_);
}

std::string TDirectoryListBox::EntryDirectory(int row) const {
    const auto* entry = item(row);
    return entry ? entry->data(kDirectoryPathRole).toByteArray().toStdString() : std::string();
}

TDirectoryListBox::EntryKind TDirectoryListBox::EntryKindOf(int row) const {
    const auto* entry = item(row);
    return entry ? static_cast<EntryKind>(entry->data(kEntryKindRole).toInt()) : EntryKind::Current;
}

int TDirectoryListBox::EntryDepth(int row) const {
    const auto* entry = item(row);
    return entry ? entry->data(kDepthRole).toInt() : 0;
}

void TDirectoryListBox::OpenEntry(int row) {
    if (item(row) == nullptr) return;
    try {
        SetDirectory(EntryDirectory(row));
    } catch (const Exception& error) {
        TheDesktop().ShowError(error.what());
        setCurrentRow(currentEntryRow_);
    }
}

void TDirectoryListBox::keyPressEvent(QKeyEvent* event) {
    // Enter opens the entry here; it must not reach the dialog, where it would press OK.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        OpenEntry(currentRow());
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

TFileListBox::TFileListBox(QWidget* parent) : QListWidget(parent) {
    setItemDelegate(new EntryDelegate(kFileItemHeight, this));
    setUniformItemSizes(true);
    QPalette grey = palette();
    grey.setColor(QPalette::Text, Qt::gray);
    setPalette(grey);
}

void TFileListBox::SetDirectory(const std::string& directory) {
    directory_ = directory;
    clear();
    const auto names = EntriesOf(directory, false);
    std::optional<ScopedBusyCursor> busy;
    if (names.size() >= kBusyFileCount) busy.emplace();
    for (const auto& name : names) addItem(ShownName(name));
}

TDriveComboBox::TDriveComboBox(const std::vector<Drive>& drives, QWidget* parent) : QComboBox(parent) {
    for (const auto& drive : drives) addItem(DriveIcon(drive.kind), ShownName(DriveText(drive)));
}

}  // namespace flipbook
