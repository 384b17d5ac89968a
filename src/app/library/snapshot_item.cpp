// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/library/snapshot_item.h"

#include <QFile>

namespace flipbook {

TSnapshotItem::TSnapshotItem(const std::string& fileName)
    : QListWidgetItem(QFile::decodeName(QByteArray::fromStdString(fileName))), fileName_(fileName) {}

bool TSnapshotItem::operator<(const QListWidgetItem& other) const {
    const int order = text().compare(other.text(), Qt::CaseInsensitive);
    // Names that differ only in case keep one fixed order between them.
    return order != 0 ? order < 0 : SnapshotFileName(*this) < SnapshotFileName(other);
}

std::string SnapshotFileName(const QListWidgetItem& item) {
    if (const auto* snapshot = dynamic_cast<const TSnapshotItem*>(&item)) return snapshot->FileName();
    return item.text().toStdString();
}

}  // namespace flipbook
