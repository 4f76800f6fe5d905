// The folder list of configuration files: one entry per "*.ini" file, captioned by the
// identifier read from the file. The first nine files are read at once, the rest by ticks of a
// timer (two per tick) while the list is shown. The model has no timer of its own: the window
// calls tick() every kFileListTickMs, a test calls it directly.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <QVector>

#include <functional>

namespace kl40 {

inline constexpr int kFileListTickMs = 50;
inline constexpr int kFileListReadAtOnce = 9;
inline constexpr int kFileListReadPerTick = 2;
inline const QString kPendingCaption = QStringLiteral("????-????-????");

class FileListModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { CaptionColumn = 0, FileColumn = 1 };

    // Reads the file at a full path and returns the caption for it (the grouped identifier).
    using CaptionReader = std::function<QString(const QString& fullPath)>;

    explicit FileListModel(CaptionReader reader, QObject* parent = nullptr);

    // Empties the list and lists the folder's "*.ini" files (extension in any letter case, folders
    // skipped), in name order; reads the first nine, marks the rest pending. Clears the sort marks
    // and turns the position label red.
    void fill(const QString& folder);

    // Reads pending entries from the first until two are read. Returns how many were read; when
    // fewer than two, reading is over: the label colour returns to normal.
    int tick();
    bool reading() const { return reading_; }

    // Negates the shared sort direction and sorts by the column (upper-cased comparison).
    void sortByColumn(int column);
    int sortDirection() const { return direction_; }
    // The column that shows a sort mark, -1 for none; the mark is "up" for a positive direction.
    int markedColumn() const { return marked_; }

    // "N из M" for the selected row (-1 = none selected, shown as 0).
    QString positionText(int selectedRow) const;
    // True while the position label is shown in red.
    bool labelRed() const { return reading_; }

    QString folder() const { return folder_; }
    QString fileName(int row) const;
    QString caption(int row) const;
    bool pending(int row) const;
    // Folder + file name of a row.
    QString fullPath(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    struct Entry {
        QString caption;
        QString fileName;
        bool pending = true;
    };

    void readEntry(int row);

    CaptionReader reader_;
    QString folder_;
    QVector<Entry> entries_;
    int direction_ = 1;
    int marked_ = -1;
    bool reading_ = false;
};

}  // namespace kl40
