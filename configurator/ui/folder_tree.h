// Rules of the folder tree used to pick the list folder: the top-level nodes, the children of a
// node, and a node's path (every name followed by "/").
#pragma once

#include <QString>
#include <QVector>

namespace kl40 {

enum class VolumeKind { Removable, Fixed, Remote, CdRom, Other };

struct FolderNode {
    QString name;          // shown text
    QString path;          // full path, ends with "/"
    bool expandable = false;
    VolumeKind kind = VolumeKind::Fixed;  // top-level nodes only
};

// The root folder and every mounted volume (each once); every one starts expandable.
QVector<FolderNode> folderRoots();

// The sub-folders of `path` (not "." or ".."; files skipped), in name order; each is expandable
// exactly when it has at least one sub-folder itself.
QVector<FolderNode> subFolders(const QString& path);

// True when the folder has at least one sub-folder (stops at the first one found).
bool hasSubFolder(const QString& path);

// The path of a child node: the parent's path, the name and "/".
QString childPath(const QString& parentPath, const QString& name);

inline const QString kNoFolderSelected = QStringLiteral("<none>");

}  // namespace kl40
