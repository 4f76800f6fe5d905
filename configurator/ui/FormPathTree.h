// "Выбор папки для размещения файлов конфигурации": a tree of the root folder and the mounted
// volumes whose nodes list their sub-folders when expanded.
#pragma once

#include <QDialog>

class QLineEdit;
class QTreeWidget;
class QTreeWidgetItem;

namespace kl40 {

class FormPathTree : public QDialog {
    Q_OBJECT
public:
    explicit FormPathTree(QWidget* parent = nullptr);

    // Opens the tree near `startPath` (expanded down to it, nothing selected).
    void start(const QString& startPath);
    // The path line's text (a node's path, or "<none>" before the first selection).
    QString pathLine() const;
    // What "Применить" returns: the selected node's path, or the start path when no node was
    // ever selected.
    QString result() const;

    QTreeWidget* tree() const { return tree_; }
    // Expands an item, listing its sub-folders (once).
    void expandItem(QTreeWidgetItem* item);

private:
    void populate(QTreeWidgetItem* item);

    QTreeWidget* tree_;
    QLineEdit* path_;
    QString start_;
    bool selected_ = false;
};

}  // namespace kl40
