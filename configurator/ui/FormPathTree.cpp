#include "configurator/ui/FormPathTree.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "configurator/ui/folder_tree.h"

namespace kl40 {

namespace {

enum Role { PathRole = Qt::UserRole, LoadedRole };

QStyle::StandardPixmap iconOf(VolumeKind k)
{
    switch (k) {
    case VolumeKind::Removable:
        return QStyle::SP_DriveFDIcon;
    case VolumeKind::Fixed:
        return QStyle::SP_DriveHDIcon;
    case VolumeKind::Remote:
        return QStyle::SP_DriveNetIcon;
    case VolumeKind::CdRom:
        return QStyle::SP_DriveCDIcon;
    case VolumeKind::Other:
        break;
    }
    return QStyle::SP_ComputerIcon;
}

}  // namespace

FormPathTree::FormPathTree(QWidget* parent) : QDialog(parent)
{
    setObjectName("FormPathTree");
    setWindowTitle(QStringLiteral("Выбор папки для размещения файлов конфигурации"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    tree_ = new QTreeWidget(this);
    tree_->setObjectName("TV_Path");
    tree_->setHeaderHidden(true);
    tree_->setColumnCount(1);
    tree_->setMinimumSize(420, 360);

    path_ = new QLineEdit(kNoFolderSelected, this);
    path_->setObjectName("E_Path");
    path_->setReadOnly(true);

    auto* apply = new QPushButton(QStringLiteral("Применить"), this);
    apply->setObjectName("B_Apply");
    auto* cancel = new QPushButton(QStringLiteral("Отказаться"), this);
    cancel->setObjectName("B_Cancel");
    connect(apply, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(apply);
    buttons->addWidget(cancel);

    auto* lay = new QVBoxLayout(this);
    lay->addWidget(tree_);
    lay->addWidget(path_);
    lay->addLayout(buttons);

    for (const FolderNode& r : folderRoots()) {
        auto* item = new QTreeWidgetItem(tree_, QStringList{r.name});
        item->setData(0, PathRole, r.path);
        item->setIcon(0, style()->standardIcon(iconOf(r.kind)));
        item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    }

    connect(tree_, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) {
        populate(item);
        if (item->parent())
            item->setIcon(0, style()->standardIcon(QStyle::SP_DirOpenIcon));
    });
    connect(tree_, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem* item) {
        if (item->parent())
            item->setIcon(0, style()->standardIcon(QStyle::SP_DirClosedIcon));
    });
    connect(tree_, &QTreeWidget::itemSelectionChanged, this, [this] {
        const QList<QTreeWidgetItem*> items = tree_->selectedItems();
        if (items.isEmpty())
            return;
        selected_ = true;
        path_->setText(items.first()->data(0, PathRole).toString());
    });
}

void FormPathTree::populate(QTreeWidgetItem* item)
{
    if (item->data(0, LoadedRole).toBool())
        return;
    item->setData(0, LoadedRole, true);
    const QVector<FolderNode> children = subFolders(item->data(0, PathRole).toString());
    for (const FolderNode& c : children) {
        auto* child = new QTreeWidgetItem(item, QStringList{c.name});
        child->setData(0, PathRole, c.path);
        child->setIcon(0, style()->standardIcon(QStyle::SP_DirClosedIcon));
        child->setChildIndicatorPolicy(c.expandable ? QTreeWidgetItem::ShowIndicator
                                                    : QTreeWidgetItem::DontShowIndicator);
    }
    if (children.isEmpty())
        item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
}

void FormPathTree::expandItem(QTreeWidgetItem* item)
{
    populate(item);
    item->setExpanded(true);
}

void FormPathTree::start(const QString& startPath)
{
    start_ = startPath;
    selected_ = false;
    path_->setText(kNoFolderSelected);
    tree_->blockSignals(true);
    tree_->setCurrentItem(nullptr);
    tree_->clearSelection();
    tree_->blockSignals(false);
    // Open the branch that leads to the start folder, taking the deepest matching root.
    QString target = startPath;
    if (!target.endsWith('/'))
        target += '/';
    QTreeWidgetItem* node = nullptr;
    int best = -1;
    for (int i = 0; i < tree_->topLevelItemCount(); ++i) {
        const QString p = tree_->topLevelItem(i)->data(0, PathRole).toString();
        if (target.startsWith(p) && p.size() > best) {
            best = p.size();
            node = tree_->topLevelItem(i);
        }
    }
    while (node) {
        const QString p = node->data(0, PathRole).toString();
        if (p == target)
            break;
        expandItem(node);
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; i < node->childCount(); ++i) {
            if (target.startsWith(node->child(i)->data(0, PathRole).toString())) {
                next = node->child(i);
                break;
            }
        }
        node = next;
    }
    if (node)
        tree_->scrollToItem(node);
}

QString FormPathTree::pathLine() const { return path_->text(); }

QString FormPathTree::result() const { return selected_ ? path_->text() : start_; }

}  // namespace kl40
