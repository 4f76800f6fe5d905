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
    QVector<int> order(entries_.size());
    for (int i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [this, column, dir](int ia, int ib) {
        const Entry& a = entries_[ia];
        const Entry& b = entries_[ib];
        const QString ka = (column == CaptionColumn ? a.caption : a.fileName).toUpper();
        const QString kb = (column == CaptionColumn ? b.caption : b.fileName).toUpper();
        const int c = ka.compare(kb);
        return dir > 0 ? c < 0 : c > 0;
    });
    QVector<Entry> sorted;
    sorted.reserve(entries_.size());
    QVector<int> newRow(entries_.size());
    for (int i = 0; i < order.size(); ++i) {
        sorted.push_back(entries_[order[i]]);
        newRow[order[i]] = i;
    }
    entries_ = std::move(sorted);
    // The selected entry stays selected wherever it moves.
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    for (const QModelIndex& i : before)
        after << index(newRow[i.row()], i.column());
    changePersistentIndexList(before, after);
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
