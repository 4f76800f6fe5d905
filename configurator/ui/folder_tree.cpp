#include "configurator/ui/folder_tree.h"

#include <QDir>
#include <QDirIterator>
#include <QStorageInfo>

namespace kl40 {

namespace {

VolumeKind kindOf(const QStorageInfo& v)
{
    const QByteArray fs = v.fileSystemType().toLower();
    if (fs.startsWith("nfs") || fs == "cifs" || fs == "smb3" || fs == "smbfs" || fs.startsWith("fuse.sshfs"))
        return VolumeKind::Remote;
    if (fs == "iso9660" || fs == "udf")
        return VolumeKind::CdRom;
    if (fs == "vfat" || fs == "exfat" || fs == "msdos" || v.rootPath().startsWith("/media/") ||
        v.rootPath().startsWith("/run/media/"))
        return VolumeKind::Removable;
    if (fs == "tmpfs" || fs == "ramfs" || fs == "overlay")
        return VolumeKind::Other;
    return VolumeKind::Fixed;
}

}  // namespace

QString childPath(const QString& parentPath, const QString& name)
{
    QString p = parentPath;
    if (!p.endsWith('/'))
        p += '/';
    return p + name + '/';
}

QVector<FolderNode> folderRoots()
{
    QVector<FolderNode> roots;
    roots.push_back({QStringLiteral("/"), QStringLiteral("/"), true, VolumeKind::Fixed});
    for (const QStorageInfo& v : QStorageInfo::mountedVolumes()) {
        if (!v.isValid())
            continue;
        QString path = v.rootPath();
        if (path.isEmpty() || path == "/")
            continue;
        if (!path.endsWith('/'))
            path += '/';
        bool seen = false;
        for (const FolderNode& r : roots)
            seen = seen || r.path == path;
        if (seen)
            continue;
        roots.push_back({v.rootPath(), path, true, kindOf(v)});
    }
    return roots;
}

bool hasSubFolder(const QString& path)
{
    QDirIterator it(path, QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    return it.hasNext();
}

QVector<FolderNode> subFolders(const QString& path)
{
    QVector<FolderNode> out;
    const QDir dir(path);
    const QStringList names = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                                            QDir::Name | QDir::IgnoreCase);
    for (const QString& n : names) {
        const QString p = childPath(path, n);
        out.push_back({n, p, hasSubFolder(p), VolumeKind::Fixed});
    }
    return out;
}

}  // namespace kl40
