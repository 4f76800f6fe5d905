// The main window's flows driven without a window: start-up, open, save, validation dialogue,
// print, defaults, settings, the file list and the link flow.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "configurator/config/text_rules.h"
#include "configurator/ui/file_list.h"
#include "configurator/ui/main_flow.h"
#include "configurator/ui/settings_store.h"
#include "tests/ui/fakes.h"

namespace kl40 {
namespace {

using test::Asked;
using test::FakeLinkWindow;
using test::RecordingCanvas;
using test::ScriptedDialogs;

// Records what the flows ask of the window.
class RecordingView final : public MainView {
public:
    void pullFields() override { ++pulls; }
    void pushFields() override { ++pushes; }
    void focusField(FieldId f) override { focused.push_back(f); }
    void setPagesVisible(bool v) override { pagesVisible.push_back(v); }
    void setListState(bool l) override { listStates.push_back(l); }
    void setTitle(const QString& t) override { title = t; }
    int pulls = 0;
    int pushes = 0;
    std::vector<FieldId> focused;
    std::vector<bool> pagesVisible;
    std::vector<bool> listStates;
    QString title;
};

const char* const kFile =
    "KL40-KL40 soft v.2.0\r\n"
    "ip1-192,168,000,010.0\r\n"
    "ip2-192,168,000,001\r\n"
    "ip3-255,255,255,000\r\n"
    "ip4-010,000,000,001.80\r\n"
    "gd-20.40\r\n"
    "gt-07.100\r\n"
    "gi-0123456789AB\r\n"
    "gk1-0123456789ABCDEF\r\n";

class FlowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        oldCwd = QDir::currentPath();
        QDir::setCurrent(dir.path());
        flow = std::make_unique<MainFlow>(store, dialogs, dir.path() + "/");
        flow->setView(&view);
        flow->setDateSource([] { return QStringLiteral("10.12.26"); });
    }
    void TearDown() override { QDir::setCurrent(oldCwd); }

    QString path(const QString& name) const { return QDir(dir.path()).filePath(name); }
    void write(const QString& name, const QByteArray& text)
    {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    QString read(const QString& name) const
    {
        QFile f(path(name));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromLatin1(f.readAll());
    }
    // Saves to `name` in the folder; true when the flow reported success.
    bool saveAs(const QString& name)
    {
        dialogs.files.push_back(path(name));
        return flow->save();
    }

    QTemporaryDir dir;
    QString oldCwd;
    MemorySettingsStore store;
    ScriptedDialogs dialogs;
    RecordingView view;
    std::unique_ptr<MainFlow> flow;
};

TEST_F(FlowTest, StartWithoutFileShowsDefaults)
{
    flow->start(QString());
    const MainWindowFields& f = flow->fields();
    EXPECT_TRUE(f.network.dhcp);
    EXPECT_FALSE(f.network.static_enabled);
    EXPECT_EQ(f.network.ip, "000.000.000.000");
    EXPECT_EQ(f.network.port, "10001");
    for (const std::string& p : f.network.server_port)
        EXPECT_EQ(p, "10001");
    EXPECT_EQ(f.protocol.duty1, "15");
    EXPECT_EQ(f.protocol.duty2, "30");
    EXPECT_EQ(f.protocol.answer, "5");
    EXPECT_EQ(f.protocol.no_answer, "2");
    EXPECT_EQ(f.protocol.ident, "0000-0000-0000");
    EXPECT_EQ(flow->title(), kTitleBase);
    EXPECT_TRUE(flow->title().endsWith(QStringLiteral("=>   ")));
    EXPECT_EQ(view.title, kTitleBase);
    EXPECT_TRUE(dialogs.asked.isEmpty());
    EXPECT_FALSE(flow->listState());
    // A fresh set, drawn and unloaded, passes every check and saves.
    ASSERT_TRUE(saveAs("fresh.ini"));
    const QString text = read("fresh.ini");
    EXPECT_TRUE(text.contains("ip1-000,000,000,000.10001"));
    EXPECT_TRUE(text.contains("gi-000000000000"));
}

TEST_F(FlowTest, StartLoadsConfigIniOrTheNamedFile)
{
    write("config.ini", kFile);
    flow->start(QString());
    EXPECT_EQ(flow->title(), kTitleBase + QDir::toNativeSeparators(QFileInfo(path("config.ini")).absoluteFilePath()));
    EXPECT_FALSE(flow->fields().network.dhcp);
    // A port 0 read from the file is redrawn as 10001.
    EXPECT_EQ(flow->fields().network.port, "10001");
    EXPECT_EQ(flow->fields().protocol.ident, "0123-4567-89AB");

    // A named file that does not exist: the defaults, no message.
    flow->start(path("missing.ini"));
    EXPECT_EQ(flow->title(), kTitleBase);
    EXPECT_TRUE(flow->fields().network.dhcp);
    EXPECT_TRUE(dialogs.asked.isEmpty());
}

TEST_F(FlowTest, UnansweredLimitAboveTheSpinIsShownAndSavedAs99)
{
    write("a.ini", kFile);
    flow->start(path("a.ini"));
    EXPECT_EQ(flow->fields().protocol.no_answer, "99");
    ASSERT_TRUE(saveAs("b.ini"));
    EXPECT_TRUE(read("b.ini").contains("gt-07.99 "));
    EXPECT_TRUE(read("b.ini").contains("gd-20.40 "));
}

TEST_F(FlowTest, ValidationDefaultsAndCorrection)
{
    struct Case {
        const char* name;
        std::function<void(MainWindowFields&)> edit;
        int answer;
        QString title;
        bool offerDefault;
        bool saved;
        std::function<void(const MainWindowFields&)> check;
        std::optional<FieldId> focus;
    } cases[] = {
        {"duty 1 of 3 set to default", [](MainWindowFields& f) { f.protocol.duty1 = "3"; }, kResultContinue,
         QStringLiteral("Недопустимая величина периода отправки сообщений дежурного режим первого типа (без подтверждения пульта)."),
         true, true, [](const MainWindowFields& f) { EXPECT_EQ(f.protocol.duty1, "15"); }, std::nullopt},
        {"duty 2 of 4 set to default", [](MainWindowFields& f) { f.protocol.duty2 = "4"; }, kResultContinue,
         QStringLiteral("Недопустимая величина периода отправки сообщений дежурного режим второго типа (с подтверждением от пульта)."),
         true, true, [](const MainWindowFields& f) { EXPECT_EQ(f.protocol.duty2, "30"); }, std::nullopt},
        {"duty 1 of 3 corrected", [](MainWindowFields& f) { f.protocol.duty1 = "3"; }, kResultCorrect,
         QStringLiteral("Недопустимая величина периода отправки сообщений дежурного режим первого типа (без подтверждения пульта)."),
         true, false, [](const MainWindowFields& f) { EXPECT_EQ(f.protocol.duty1, "3"); }, FieldId::E_MX3_Duty1},
        {"window closed", [](MainWindowFields& f) { f.protocol.answer = "61"; }, kResultClosed,
         QStringLiteral("Недопустимая величина времени ожидания ответа на переданное сообщение."), true, false,
         [](const MainWindowFields&) {}, std::nullopt},
        {"server with zero address and port 0 saves",
         [](MainWindowFields& f) { f.network.server_port[0] = "0"; }, kResultClosed, QString(), false, true,
         [](const MainWindowFields&) {}, std::nullopt},
        {"server with an address and port 0 fails",
         [](MainWindowFields& f) {
             f.network.server[1] = "010.000.000.001";
             f.network.server_port[1] = "0";
         },
         kResultCorrect, QStringLiteral("Недопустимый номер порта сервера для приема сообщений."), true, false,
         [](const MainWindowFields&) {}, FieldId::E_MX3_Port2},
        {"address group above 255 offers correction only",
         [](MainWindowFields& f) { f.network.server[2] = "256.000.000.001"; }, kResultContinue,
         QStringLiteral("Недопустимый IP-адрес сервера для приема сообщений."), false, false,
         [](const MainWindowFields&) {}, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dialogs.asked.clear();
        dialogs.answers = {c.answer};
        view.focused.clear();
        flow->start(QString());
        c.edit(flow->fields());
        const QString name = QStringLiteral("%1.ini").arg(c.name).replace(' ', '_');
        EXPECT_EQ(saveAs(name), c.saved);
        const QVector<Asked> errors = dialogs.of(Asked::ErrorValidation);
        if (c.title.isEmpty()) {
            EXPECT_TRUE(errors.isEmpty());
        } else {
            ASSERT_EQ(errors.size(), 1);
            EXPECT_EQ(errors[0].message, c.title);
            EXPECT_EQ(errors[0].flag1, c.offerDefault);
        }
        EXPECT_EQ(QFileInfo::exists(path(name)), c.saved);
        EXPECT_EQ(dialogs.of(Asked::Save).isEmpty(), !c.saved);
        c.check(flow->fields());
        if (c.focus) {
            ASSERT_EQ(view.focused.size(), 1u);
            EXPECT_EQ(view.focused[0], *c.focus);
        } else {
            EXPECT_TRUE(view.focused.empty());
        }
        dialogs.files.clear();
    }
}

TEST_F(FlowTest, DhcpKeepsTypedAddressesUntilSaved)
{
    flow->start(QString());
    NetworkPageFields& n = flow->fields().network;
    ChooseStatic(flow->current(), n);
    n.ip = "192.168.  1. 10";
    n.mask = "255.255.255.  0";
    n.gateway = "192.168.  1.  1";
    ChooseDhcp(flow->current(), n);
    EXPECT_EQ(n.ip, "000.000.000.000");
    ChooseStatic(flow->current(), n);
    EXPECT_EQ(n.ip, "192.168.001.010");
    EXPECT_EQ(n.gateway, "192.168.001.001");
    ASSERT_TRUE(saveAs("static.ini"));
    EXPECT_TRUE(read("static.ini").contains("ip1-192,168,001,010.10001"));
    ChooseDhcp(flow->current(), n);
    ASSERT_TRUE(saveAs("dhcp.ini"));
    const QString text = read("dhcp.ini");
    EXPECT_TRUE(text.contains("ip1-000,000,000,000.10001"));
    EXPECT_TRUE(text.contains("ip2-000,000,000,000 "));
    EXPECT_TRUE(text.contains("ip3-000,000,000,000 "));
}

TEST_F(FlowTest, IdentifierLettersBeyondFAreDroppedThenPadded)
{
    flow->start(QString());
    flow->fields().protocol.ident = "12GZ-AB3X-YY9F";
    ASSERT_TRUE(saveAs("id.ini"));
    EXPECT_EQ(flow->current().Identifier(), "12AB39F");
    EXPECT_TRUE(read("id.ini").contains("gi-12AB39F "));
    flow->redraw();
    EXPECT_EQ(flow->fields().protocol.ident, "12AB-39F0-0000");
}

TEST_F(FlowTest, SaveDialogAndFailures)
{
    flow->start(QString());
    flow->fields().protocol.ident = "0123-4567-89AB";

    // Cancelled: nothing written, no window.
    EXPECT_FALSE(flow->save());
    ASSERT_EQ(dialogs.of(Asked::Save).size(), 1);
    const FileDialogRequest req = dialogs.of(Asked::Save)[0].request;
    EXPECT_EQ(req.proposedName, "KL40_0123456789AB_0123456789AB.ini");
    EXPECT_EQ(req.defaultSuffix, "ini");
    EXPECT_TRUE(req.confirmOverwrite);
    EXPECT_TRUE(req.initialFolder.isEmpty());  // normal mode: the dialog's own folder
    EXPECT_TRUE(req.filter.contains("(*.gsm)"));
    EXPECT_TRUE(dialogs.of(Asked::Confirm).isEmpty());

    // A folder that does not exist: "cannot be created", no success window.
    dialogs.asked.clear();
    dialogs.files = {path("no/such/folder/x.ini")};
    EXPECT_FALSE(flow->save());
    ASSERT_EQ(dialogs.of(Asked::ErrorGeneral).size(), 1);
    EXPECT_EQ(dialogs.of(Asked::ErrorGeneral)[0].message,
              QStringLiteral("Ошибка записи в файл - файл не может быть создан"));
    EXPECT_EQ(dialogs.of(Asked::ErrorGeneral)[0].recommendation,
              QStringLiteral("Проверьте отсутствие запрета записи и наличие свободного места"));
    EXPECT_TRUE(dialogs.of(Asked::Confirm).isEmpty());

    // A folder where the file should be: an error window, no success window, folder untouched.
    dialogs.asked.clear();
    ASSERT_TRUE(QDir(dir.path()).mkpath("taken.ini/inner"));
    dialogs.files = {path("taken.ini")};
    EXPECT_FALSE(flow->save());
    EXPECT_EQ(dialogs.of(Asked::ErrorGeneral).size(), 1);
    EXPECT_TRUE(dialogs.of(Asked::Confirm).isEmpty());
    EXPECT_TRUE(QFileInfo(path("taken.ini/inner")).isDir());

    // Success: the single-button confirmation; an old file is replaced; a name without an
    // extension gets ".ini".
    dialogs.asked.clear();
    write("old.ini", "old content");
    ASSERT_TRUE(saveAs("old.ini"));
    EXPECT_TRUE(read("old.ini").startsWith("KL40-KL40 soft v.2.0\r\n"));
    ASSERT_EQ(dialogs.of(Asked::Confirm).size(), 1);
    EXPECT_EQ(dialogs.of(Asked::Confirm)[0].message, QStringLiteral("Операция выполнена"));
    EXPECT_EQ(dialogs.of(Asked::Confirm)[0].recommendation, QStringLiteral("Конфигурация сохранена"));
    EXPECT_FALSE(dialogs.of(Asked::Confirm)[0].flag1);
    ASSERT_TRUE(saveAs("noext"));
    EXPECT_TRUE(QFileInfo::exists(path("noext.ini")));
    EXPECT_EQ(flow->title(), kTitleBase);  // saving does not change the title
}

TEST_F(FlowTest, SaveDialogStartsInTheListFolderInListMode)
{
    flow->naming().listMode = true;
    flow->naming().listPath = dir.path() + "/lists/";
    flow->naming().maskMode = false;
    flow->start(QString());
    EXPECT_FALSE(flow->save());
    EXPECT_EQ(dialogs.of(Asked::Save)[0].request.initialFolder, dir.path() + "/lists/");
    EXPECT_EQ(dialogs.of(Asked::Save)[0].request.proposedName, "config.ini");
    // Once set, the dialog keeps its starting folder.
    flow->naming().listPath = "/elsewhere/";
    EXPECT_FALSE(flow->save());
    EXPECT_EQ(dialogs.of(Asked::Save)[1].request.initialFolder, dir.path() + "/lists/");
}

TEST_F(FlowTest, OpenErrorKeepsTheSet)
{
    write("a.ini", kFile);
    flow->start(path("a.ini"));
    const T_DEVICE_CommandMX3 before = flow->current();
    dialogs.files = {path("gone.ini")};
    flow->open();
    ASSERT_EQ(dialogs.of(Asked::Open).size(), 1);
    EXPECT_EQ(dialogs.of(Asked::Open)[0].request.filter, kOpenFilter);
    ASSERT_EQ(dialogs.of(Asked::ErrorGeneral).size(), 1);
    const Asked e = dialogs.of(Asked::ErrorGeneral)[0];
    EXPECT_EQ(e.message, QStringLiteral("Ошибка открытия файла"));
    EXPECT_EQ(e.recommendation, QStringLiteral("Проверьте наличие файла"));
    EXPECT_TRUE(e.flag1);   // "Исправить"
    EXPECT_FALSE(e.flag2);  // no "Продолжить"
    EXPECT_TRUE(flow->current() == before);
    EXPECT_TRUE(flow->title().endsWith("a.ini"));
}

TEST_F(FlowTest, ListModeOpensAnEntryAndReturns)
{
    ASSERT_TRUE(QDir(dir.path()).mkpath("list"));
    write("list/one.ini", "gi-111122223333\r\n");
    write("list/two.INI", "gd-25.50\r\n");
    flow->naming().listMode = true;
    flow->naming().listPath = path("list") + "/";
    flow->start(QString());
    flow->open();
    EXPECT_TRUE(flow->listState());
    EXPECT_EQ(view.listStates.back(), true);
    EXPECT_TRUE(dialogs.of(Asked::Open).isEmpty());
    FileListModel& list = flow->fileList();
    ASSERT_EQ(list.rowCount(), 2);
    EXPECT_EQ(list.caption(0), "1111-2222-3333");
    EXPECT_EQ(list.caption(1), "0000-0000-0000");  // no "gi" line
    ASSERT_TRUE(flow->openListEntry(1));
    EXPECT_FALSE(flow->listState());
    EXPECT_EQ(flow->fields().protocol.duty1, "25");
    EXPECT_TRUE(flow->title().endsWith("two.INI"));
    // "Отменить" and "Выбрать файл \"вручную\"".
    flow->open();
    flow->cancelList();
    EXPECT_FALSE(flow->listState());
    flow->open();
    flow->chooseFileManually();
    EXPECT_FALSE(flow->listState());
    EXPECT_EQ(dialogs.of(Asked::Open).size(), 1);
}

TEST_F(FlowTest, PrintFormatsTheIdentifierAndTitlesTheJob)
{
    write("a.ini", kFile);
    flow->start(path("a.ini"));
    RecordingCanvas canvas;
    dialogs.canvas = &canvas;
    ASSERT_TRUE(flow->print());
    EXPECT_EQ(dialogs.jobTitle, QStringLiteral("Конвертор KL40(0123-4567-89AB)"));
    EXPECT_EQ(flow->current().Identifier(), "0123-4567-89AB");
    EXPECT_NE(canvas.findText("10001"), nullptr);  // the port 0 of the file, redrawn
    EXPECT_NE(canvas.findText(QStringLiteral("Дата печати:10.12.26")), nullptr);
    EXPECT_NE(canvas.findText("99"), nullptr);

    flow->fields().protocol.ident = "";
    canvas.calls.clear();
    ASSERT_TRUE(flow->print());
    EXPECT_EQ(dialogs.jobTitle, QStringLiteral("Конвертор KL40(0000-0000-0000)"));
    EXPECT_NE(canvas.findText(QStringLiteral("Конфигурация устройства:(\"0000-0000-0000)")), nullptr);

    dialogs.printConfirmed = false;
    canvas.calls.clear();
    EXPECT_FALSE(flow->print());
    EXPECT_TRUE(canvas.calls.isEmpty());
}

TEST_F(FlowTest, DefaultsAfterConfirmation)
{
    write("a.ini", kFile);
    flow->start(path("a.ini"));
    dialogs.answers = {kResultClosed};
    flow->resetToDefaults();
    ASSERT_EQ(dialogs.of(Asked::Confirm).size(), 1);
    const Asked q = dialogs.of(Asked::Confirm)[0];
    EXPECT_EQ(q.message, QStringLiteral("Вы хотите \"сбросить\" настройки в значение \"по-умолчанию\"?"));
    EXPECT_EQ(q.recommendation, QStringLiteral("(все введённые значения параметров будут потеряны)"));
    EXPECT_TRUE(q.flag1);
    EXPECT_EQ(flow->fields().protocol.duty1, "20");
    EXPECT_TRUE(flow->title().endsWith("a.ini"));

    view.pagesVisible.clear();
    dialogs.answers = {kResultContinue};
    flow->resetToDefaults();
    EXPECT_EQ(flow->fields().protocol.duty1, "15");
    EXPECT_EQ(flow->fields().protocol.ident, "0000-0000-0000");
    EXPECT_TRUE(flow->fields().network.dhcp);
    EXPECT_EQ(flow->title(), kTitleBase);
    EXPECT_EQ(view.pagesVisible, (std::vector<bool>{false, true}));
}

TEST_F(FlowTest, SettingsAreWrittenOnlyWhenApplied)
{
    flow->start(QString());
    dialogs.settings = [](LibrarySettings&, NamingSettings& n) {
        n.prefix = "CHANGED";
        return false;
    };
    flow->editSettings();
    EXPECT_EQ(flow->naming().prefix, "KL40");
    EXPECT_FALSE(store.contains(QString::fromLatin1(kNamingKey), "MaskPref"));

    dialogs.settings = [](LibrarySettings& l, NamingSettings& n) {
        EXPECT_EQ(l.openGprs, 30000);
        l.openGprs = 5000;
        l.ports = {"10001", "10009"};
        n.prefix = "DEV";
        n.listMode = true;
        return true;
    };
    flow->editSettings();
    EXPECT_EQ(flow->naming().prefix, "DEV");
    EXPECT_EQ(store.raw(QString::fromLatin1(kNamingKey), "MaskPref"), QVariant(QString("DEV")));
    EXPECT_EQ(store.raw(QString::fromLatin1(kNamingKey), "ListModeOpenSave"), QVariant(1));
    EXPECT_EQ(store.raw(QString::fromLatin1(kLibraryKey), "Open_GPRS"), QVariant(5000));
    EXPECT_EQ(store.raw(QString::fromLatin1(kLibraryKey), "PortsCount"), QVariant(2));
    EXPECT_EQ(store.raw(QString::fromLatin1(kLibraryKey), "Port_N2"), QVariant(QString("10009")));
}

TEST_F(FlowTest, LinkResults)
{
    FakeLinkWindow link;
    flow->setLinkWindow(&link);
    link.deviceSet.Reset();
    link.deviceSet.IdentCommands[0].SetText(1, "ABCDEF012345");
    link.deviceSet.IdentCommands[1].SetText(1, "1111111111111111");

    struct Case {
        const char* name;
        int result;
        std::optional<int> confirmAnswer;
        bool taken;
    } cases[] = {
        {"nothing changed", 0, std::nullopt, false},
        {"key changed, confirmed", 1, kResultContinue, true},
        {"key changed, cancelled", 1, kResultClosed, false},
        {"parameters taken over", 2, std::nullopt, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        flow->start(QString());
        dialogs.asked.clear();
        dialogs.answers.clear();
        if (c.confirmAnswer)
            dialogs.answers = {*c.confirmAnswer};
        link.result = c.result;
        link.shown = false;
        flow->fields().protocol.duty1 = "44";
        flow->link();
        EXPECT_TRUE(link.prepared);
        EXPECT_TRUE(link.shown);
        EXPECT_EQ(link.setSeen.DutyCommand.Value1(), 44);  // unloaded before the window opens
        const QVector<Asked> confirms = dialogs.of(Asked::Confirm);
        if (c.confirmAnswer) {
            ASSERT_EQ(confirms.size(), 1);
            EXPECT_EQ(confirms[0].message, QStringLiteral("Ключ шифрации был изменён"));
            EXPECT_EQ(confirms[0].recommendation, QStringLiteral("Подтвердите сохранение нового ключа"));
            EXPECT_TRUE(confirms[0].flag1);
        } else {
            EXPECT_TRUE(confirms.isEmpty());
        }
        if (c.taken) {
            EXPECT_EQ(flow->current().Identifier(), "ABCDEF012345");
            EXPECT_EQ(flow->fields().protocol.ident, "ABCD-EF01-2345");
            EXPECT_EQ(flow->fields().protocol.key[0], "11-11-11-11-11-11-11-11");
        } else {
            EXPECT_EQ(flow->current().Identifier(), "000000000000");
            EXPECT_EQ(flow->current().DutyCommand.Value1(), 44);
            EXPECT_EQ(flow->fields().protocol.ident, "0000-0000-0000");
        }
    }

    // A failing check keeps the link window closed.
    flow->start(QString());
    link.shown = false;
    dialogs.answers = {kResultCorrect};
    flow->fields().network.port = "0";
    flow->link();
    EXPECT_FALSE(link.shown);
    EXPECT_EQ(dialogs.of(Asked::ErrorValidation).back().message,
              QStringLiteral("Недопустимый номер порта прибора для отправки сообщений."));
}

}  // namespace
}  // namespace kl40
