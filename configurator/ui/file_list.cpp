#include "configurator/ui/file_list.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace kl40 {

FileListModel::FileListModel(CaptionReader reader, QObject* parent)
    : QAbstractTableModel(parent), reader_(std::move(reader))
{
}

void FileListModel::fill(const QString& folder)
{
    beginResetModel();
    entries_.clear();
    folder_ = folder;
    marked_ = -1;
    QDir dir(folder);
    if (!folder.isEmpty() && dir.exists()) {
        // Windows' file search ignores the letter case; so does this one.
        const QFileInfoList files =
            dir.entryInfoList({QStringLiteral("*.ini")}, QDir::Files | QDir::Hidden | QDir::System,
                              QDir::Name | QDir::IgnoreCase);
        for (const QFileInfo& fi : files) {
            if (fi.isDir())
                continue;
            entries_.push_back({kPendingCaption, fi.fileName(), true});
        }
    }
    for (int row = 0; row < entries_.size() && row < kFileListReadAtOnce; ++row)
        readEntry(row);
    reading_ = true;
    endResetModel();
    emit headerDataChanged(Qt::Horizontal, 0, 1);
}

void FileListModel::readEntry(int row)
{
    Entry& e = entries_[row];
    e.caption = reader_ ? reader_(fullPath(row)) : QStringLiteral("0000-0000-0000");
    e.pending = false;
}

int FileListModel::tick()
{
    int read = 0;
    for (int row = 0; row < entries_.size() && read < kFileListReadPerTick; ++row) {
        if (!entries_[row].pending)
            continue;
        readEntry(row);
        emit dataChanged(index(row, CaptionColumn), index(row, CaptionColumn));
        ++read;
    }
    if (read < kFileListReadPerTick)
        reading_ = false;
    return read;
}

void FileListModel::sortByColumn(int column)
{
    if (column != CaptionColumn && column != FileColumn)
        return;
    direction_ = -direction_;
    marked_ = column;
    const int dir = direction_;
    emit layoutAboutToBeChanged();
    std::stable_sort(entries_.begin(), entries_.end(), [column, dir](const Entry& a, const Entry& b) {
        const QString ka = (column == CaptionColumn ? a.caption : a.fileName).toUpper();
        const QString kb = (column == CaptionColumn ? b.caption : b.fileName).toUpper();
        const int c = ka.compare(kb);
        return dir > 0 ? c < 0 : c > 0;
    });
    emit layoutChanged();
    emit headerDataChanged(Qt::Horizontal, 0, 1);
}

QString FileListModel::positionText(int selectedRow) const
{
    const int n = (selectedRow >= 0 && selectedRow < entries_.size()) ? selectedRow + 1 : 0;
    return QStringLiteral("%1 из %2").arg(n).arg(entries_.size());
}

QString FileListModel::fileName(int row) const
{
    return (row >= 0 && row < entries_.size()) ? entries_[row].fileName : QString();
}

QString FileListModel::caption(int row) const
{
    return (row >= 0 && row < entries_.size()) ? entries_[row].caption : QString();
}

bool FileListModel::pending(int row) const
{
    return row >= 0 && row < entries_.size() && entries_[row].pending;
}

QString FileListModel::fullPath(int row) const
{
    return QDir(folder_).filePath(fileName(row));
}

int FileListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(entries_.size());
}

int FileListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant FileListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= entries_.size())
        return {};
    if (role == Qt::DisplayRole)
        return index.column() == CaptionColumn ? entries_[index.row()].caption
                                               : entries_[index.row()].fileName;
    return {};
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return section == CaptionColumn ? QStringLiteral("Идентификатор") : QStringLiteral("Файл");
}

}  // namespace kl40
