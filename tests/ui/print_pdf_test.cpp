// kl40cfg --print-pdf: the sheet as a PDF, read back with pdftotext -bbox.
#include <gtest/gtest.h>

#include <QDir>

#include <algorithm>
#include <cmath>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

struct Word {
    QString text;
    double x, y;
};

QString program() { return qEnvironmentVariable("KL40CFG"); }

QProcessEnvironment cleanEnvironment(const QString& home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", home);  // never the user's real settings
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", home);
    env.insert("LC_ALL", "C.UTF-8");
    return env;
}

int run(const QStringList& args, const QString& cwd, const QString& home, QString* err = nullptr)
{
    QProcess p;
    p.setProcessEnvironment(cleanEnvironment(home));
    p.setWorkingDirectory(cwd);
    p.start(program(), args);
    if (!p.waitForFinished(60000))
        return -1;
    if (err)
        *err = QString::fromLocal8Bit(p.readAllStandardError());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
}

// Words of the first page in reading order (top to bottom, then left to right).
QVector<Word> words(const QString& pdf, QString* title)
{
    QProcess p;
    p.start("pdftotext", {"-bbox", pdf, "-"});
    p.waitForFinished(60000);
    const QString html = QString::fromUtf8(p.readAllStandardOutput());
    QRegularExpression t("<title>(.*)</title>");
    if (auto m = t.match(html); m.hasMatch())
        *title = m.captured(1);
    QVector<Word> out;
    QRegularExpression w("<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\"[^>]*>([^<]*)</word>");
    for (auto it = w.globalMatch(html); it.hasNext();) {
        auto m = it.next();
        QString text = m.captured(3);
        text.replace("&quot;", "\"").replace("&amp;", "&").replace("&lt;", "<").replace("&gt;", ">");
        out.push_back({text, m.captured(1).toDouble(), m.captured(2).toDouble()});
    }
    // Words on one line share their top within a point or two.
    std::stable_sort(out.begin(), out.end(), [](const Word& a, const Word& b) {
        if (std::abs(a.y - b.y) > 2.0)
            return a.y < b.y;
        return a.x < b.x;
    });
    return out;
}

TEST(PrintPdf, SheetTextsInOrderAndTitled)
{
    if (QStandardPaths::findExecutable("pdftotext").isEmpty())
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    ASSERT_FALSE(program().isEmpty());
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile f(QDir(dir.path()).filePath("config.ini"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("ip1-192,168,0,10.0\r\nip2-192,168,0,1\r\nip3-255,255,255,0\r\n"
            "ip4-10,0,0,1.8080\r\ngd-20.40\r\ngt-07.100\r\ngi-0123456789AB\r\n"
            "gk1-0123456789ABCDEF\r\n");
    f.close();

    const QString pdf = QDir(dir.path()).filePath("sheet.pdf");
    QString err;
    ASSERT_EQ(run({"--print-pdf", pdf}, dir.path(), dir.path(), &err), 0) << err.toStdString();
    QString title;
    const QVector<Word> ws = words(pdf, &title);
    ASSERT_FALSE(ws.isEmpty());
    EXPECT_EQ(title, QStringLiteral("Конвертор KL40(0123-4567-89AB)"));

    QStringList seq;
    for (const Word& w : ws)
        seq << w.text;
    const QString all = seq.join(' ');
    // Every text, in the order of the sheet.
    const QStringList expected = {
        QStringLiteral("Конфигурация"), QStringLiteral("устройства:(\"0123-4567-89AB)"),
        QStringLiteral("Сетевые"), QStringLiteral("параметры:"),
        QStringLiteral("IP-адрес"), QStringLiteral("порт"),
        QStringLiteral("IP-адрес"), "192.168.000.010", "10001",
        QStringLiteral("Маска"), "255.255.255.000",
        QStringLiteral("Шлюз"), "192.168.000.001",
        QStringLiteral("Серверы"), QStringLiteral("приема"), QStringLiteral("сообщений:"),
        QStringLiteral("Сервер"), QStringLiteral("№1"), "010.000.000.001", "8080",
        QStringLiteral("Сервер"), QStringLiteral("№2"), "000.000.000.000", "10001",
        QStringLiteral("Сервер"), QStringLiteral("№3"), "000.000.000.000", "10001",
        QStringLiteral("Параметры"), "MX3:",
        // The values stand right after their labels.
        QStringLiteral("Идентификатор"), ":0123-4567-89AB",
        QStringLiteral("Ключ"), QStringLiteral("шифрации"), ":01-23-45-67-89-AB-CD-EF",
        "00-00-00-00-00-00-00-00", "00-00-00-00-00-00-00-00", "00-00-00-00-00-00-00-00",
        QStringLiteral("Параметры"), QStringLiteral("сеансов"), QStringLiteral("связи:"),
        QStringLiteral("Период"), QStringLiteral("сообщ."), QStringLiteral("\"деж.реж.\"тип"), "1:", "20",
        QStringLiteral("сек."),
        QStringLiteral("Период"), QStringLiteral("сообщ."), QStringLiteral("\"деж.реж.\"тип"), "2:", "40",
        QStringLiteral("сек."),
        QStringLiteral("Время"), QStringLiteral("ожидания"), QStringLiteral("ответа"), ":", "7", QStringLiteral("сек."),
        QStringLiteral("Макс.число"), QStringLiteral("неотв."), QStringLiteral("на"), QStringLiteral("сообщ."), ":", "99",
        QStringLiteral("Дата"),
    };
    int at = 0;
    for (const QString& e : expected) {
        while (at < seq.size() && seq[at] != e)
            ++at;
        ASSERT_LT(at, seq.size()) << "missing or out of order: " << e.toStdString() << "\nin: " << all.toStdString();
        ++at;
    }
    EXPECT_TRUE(all.contains(QStringLiteral("Подпись:")));
    // The signature line ends about 15 mm left of the page's right edge (A4: 595 pt wide), on
    // the line of the date.
    const Word* date = nullptr;
    const Word* sign = nullptr;
    for (const Word& w : ws) {
        if (w.text.startsWith(QStringLiteral("печати:")))
            date = &w;
        if (w.text == QStringLiteral("Подпись:"))
            sign = &w;
    }
    ASSERT_NE(date, nullptr);
    ASSERT_NE(sign, nullptr);
    EXPECT_NEAR(date->y, sign->y, 1.0);
    EXPECT_GT(sign->x, 250.0);
}

TEST(PrintPdf, UnwritableOutputGivesOneLineAndExit2)
{
    ASSERT_FALSE(program().isEmpty());
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QString err;
    EXPECT_EQ(run({"--print-pdf", QDir(dir.path()).filePath("no/such/folder/x.pdf")}, dir.path(), dir.path(), &err), 2);
    EXPECT_EQ(err.trimmed().count('\n'), 0) << err.toStdString();
    EXPECT_TRUE(err.startsWith("kl40cfg: ")) << err.toStdString();
    EXPECT_TRUE(err.contains("x.pdf")) << err.toStdString();
    EXPECT_EQ(run({"--version"}, dir.path(), dir.path()), 0);

    // A configuration file that cannot be read is reported the same way, and nothing is printed.
    QFile big(QDir(dir.path()).filePath("big.ini"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    big.write(QByteArray(2 << 20, ';'));
    big.close();
    const QString pdf = QDir(dir.path()).filePath("big.pdf");
    EXPECT_EQ(run({"--print-pdf", pdf, big.fileName()}, dir.path(), dir.path(), &err), 2);
    EXPECT_TRUE(err.startsWith("kl40cfg: ")) << err.toStdString();
    EXPECT_FALSE(QFile::exists(pdf));
    // Without a file and without ./config.ini the defaults are printed.
    EXPECT_EQ(run({"--print-pdf", pdf}, dir.path(), dir.path(), &err), 0) << err.toStdString();
    EXPECT_TRUE(QFile::exists(pdf));
}

}  // namespace
