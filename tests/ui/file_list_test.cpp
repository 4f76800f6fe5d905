// The folder list of configuration files and the folder tree's rules, on temporary folders.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "configurator/ui/file_list.h"
#include "configurator/ui/folder_tree.h"
#include "tests/ui/fakes.h"

namespace kl40 {
namespace {

void writeFile(const QString& path, const QByteArray& content)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(content);
}

// Captions from the file content itself, counting every read.
struct CountingReader {
    QStringList reads;
    FileListModel::CaptionReader fn()
    {
        return [this](const QString& path) {
            reads << QFileInfo(path).fileName();
            QFile f(path);
            f.open(QIODevice::ReadOnly);
            return QString::fromUtf8(f.readAll());
        };
    }
};

class FileListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        // 12 configuration files, extensions in any letter case, plus things that are no entry.
        for (int i = 1; i <= 12; ++i) {
            const QString ext = i % 3 == 0 ? "INI" : (i % 3 == 1 ? "ini" : "Ini");
            writeFile(dir.filePath(QStringLiteral("dev%1.%2").arg(i, 2, 10, QChar('0')).arg(ext)),
                      QStringLiteral("ID%1").arg(13 - i, 2, 10, QChar('0')).toUtf8());
        }
        writeFile(dir.filePath("notes.txt"), "x");
        writeFile(dir.filePath("dev.ini.bak"), "x");
        QDir(dir.path()).mkdir("folder.ini");
    }
    QTemporaryDir dir;
    CountingReader reader;
};

TEST_F(FileListTest, FirstNineAtOnceThenTwoPerTick)
{
    FileListModel m(reader.fn());
    m.fill(dir.path());
    ASSERT_EQ(m.rowCount(), 12);
    EXPECT_EQ(m.columnCount(), 2);
    EXPECT_EQ(reader.reads.size(), 9);
    for (int r = 0; r < 12; ++r) {
        EXPECT_EQ(m.fileName(r).left(5), QStringLiteral("dev%1").arg(r + 1, 2, 10, QChar('0')));
        EXPECT_EQ(m.pending(r), r >= 9) << r;
        EXPECT_EQ(m.caption(r), r < 9 ? QStringLiteral("ID%1").arg(12 - r, 2, 10, QChar('0'))
                                      : kPendingCaption);
    }
    EXPECT_TRUE(m.labelRed());
    EXPECT_EQ(m.positionText(0), QStringLiteral("1 из 12"));
    EXPECT_EQ(m.positionText(-1), QStringLiteral("0 из 12"));

    EXPECT_EQ(m.tick(), 2);
    EXPECT_FALSE(m.pending(9));
    EXPECT_FALSE(m.pending(10));
    EXPECT_TRUE(m.pending(11));
    EXPECT_TRUE(m.reading());
    EXPECT_EQ(m.tick(), 1);
    EXPECT_FALSE(m.reading());
    EXPECT_FALSE(m.labelRed());
    EXPECT_EQ(m.caption(11), "ID01");
    EXPECT_EQ(m.tick(), 0);
    EXPECT_EQ(reader.reads.size(), 12);
    EXPECT_EQ(m.data(m.index(3, 1)).toString(), m.fileName(3));
    EXPECT_EQ(m.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Идентификатор"));
    EXPECT_EQ(m.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Файл"));
}

TEST_F(FileListTest, SortSharesOneDirectionAndPendingEntriesAreReadInShownOrder)
{
    FileListModel m(reader.fn());
    m.fill(dir.path());
    EXPECT_EQ(m.sortDirection(), 1);
    EXPECT_EQ(m.markedColumn(), -1);
    // First click on the identifier: descending ("????" sorts below digits and letters).
    m.sortByColumn(FileListModel::CaptionColumn);
    EXPECT_EQ(m.sortDirection(), -1);
    EXPECT_EQ(m.markedColumn(), 0);
    EXPECT_EQ(m.caption(0), "ID12");
    EXPECT_EQ(m.caption(8), "ID04");
    EXPECT_EQ(m.caption(9), kPendingCaption);
    // The tick walks the shown order from the top.
    EXPECT_EQ(m.tick(), 2);
    // Second click: ascending.
    m.sortByColumn(FileListModel::CaptionColumn);
    EXPECT_EQ(m.sortDirection(), 1);
    EXPECT_EQ(m.caption(0), kPendingCaption);
    EXPECT_EQ(m.caption(1), "ID02");
    EXPECT_EQ(m.caption(11), "ID12");
    // The file column continues the shared direction: descending now.
    m.sortByColumn(FileListModel::FileColumn);
    EXPECT_EQ(m.markedColumn(), 1);
    EXPECT_EQ(m.sortDirection(), -1);
    EXPECT_TRUE(m.fileName(0).startsWith("dev12"));
    EXPECT_TRUE(m.fileName(11).startsWith("dev01"));
    // Comparison ignores letter case.
    m.sortByColumn(FileListModel::FileColumn);
    EXPECT_TRUE(m.fileName(0).startsWith("dev01"));
    // Refilling clears the mark.
    m.fill(dir.path());
    EXPECT_EQ(m.markedColumn(), -1);
    EXPECT_EQ(m.fullPath(0), QDir(dir.path()).filePath(m.fileName(0)));
}

TEST(FileList, MissingFolderGivesEmptyList)
{
    FileListModel m([](const QString&) { return QString("x"); });
    m.fill("/nonexistent/folder/for/kl40");
    EXPECT_EQ(m.rowCount(), 0);
    EXPECT_EQ(m.positionText(-1), QStringLiteral("0 из 0"));
    EXPECT_EQ(m.tick(), 0);
    EXPECT_FALSE(m.reading());
}

TEST(FolderTree, NodesListSubFoldersOnly)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QDir root(dir.path());
    ASSERT_TRUE(root.mkpath("a/deep/deeper"));
    ASSERT_TRUE(root.mkpath("b"));
    ASSERT_TRUE(root.mkpath(".hidden/x"));
    writeFile(root.filePath("file.txt"), "x");
    writeFile(root.filePath("b/only-file"), "x");

    const QString base = dir.path() + '/';
    const QVector<FolderNode> children = subFolders(base);
    ASSERT_EQ(children.size(), 3);
    EXPECT_EQ(children[0].name, ".hidden");
    EXPECT_TRUE(children[0].expandable);
    EXPECT_EQ(children[1].name, "a");
    EXPECT_EQ(children[1].path, base + "a/");
    EXPECT_TRUE(children[1].expandable);
    EXPECT_EQ(children[2].name, "b");
    EXPECT_FALSE(children[2].expandable);  // holds a file only
    EXPECT_TRUE(subFolders(base + "b/").isEmpty());
    EXPECT_TRUE(hasSubFolder(base + "a/"));
    EXPECT_FALSE(hasSubFolder(base + "a/deep/deeper/"));
    EXPECT_EQ(childPath(base + "a/", "deep"), base + "a/deep/");
    EXPECT_EQ(childPath("/", "data"), "/data/");

    const QVector<FolderNode> roots = folderRoots();
    ASSERT_FALSE(roots.isEmpty());
    EXPECT_EQ(roots[0].path, "/");
    for (const FolderNode& r : roots) {
        EXPECT_TRUE(r.path.endsWith('/')) << r.path.toStdString();
        EXPECT_TRUE(r.expandable);
        EXPECT_EQ(std::count_if(roots.begin(), roots.end(),
                                [&](const FolderNode& o) { return o.path == r.path; }),
                  1);
    }
}

}  // namespace
}  // namespace kl40
