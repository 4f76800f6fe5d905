// The real windows driven with QTest: the message windows, the main window with its pages and
// file list, the settings dialog and the folder tree. Setting KL40_UI_SHOTS to a folder saves a
// screenshot of every window shown.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSet>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>

#include "configurator/ui/FormConfig.h"
#include "configurator/ui/FormError.h"
#include "configurator/ui/FormMain.h"
#include "configurator/ui/FormOk.h"
#include "configurator/ui/FormPathTree.h"
#include "configurator/ui/field_widgets.h"
#include "configurator/ui/file_list.h"
#include "configurator/ui/main_flow.h"
#include "configurator/ui/qt_dialogs.h"
#include "configurator/ui/settings_store.h"
#include "tests/ui/fakes.h"

namespace kl40 {
namespace {

using test::Asked;
using test::ScriptedDialogs;

void shot(QWidget* w, const QString& name)
{
    const QString dir = qEnvironmentVariable("KL40_UI_SHOTS");
    if (dir.isEmpty() || !w)
        return;
    QDir().mkpath(dir);
    w->grab().save(QDir(dir).filePath(name + ".png"));
}

// Runs `act` inside the next modal loop, then returns that loop's result.
// A dialog the test left open is closed with -1, so that a failing check cannot hang the run.
int runModal(QDialog& d, std::function<void()> act)
{
    QTimer::singleShot(0, &d, [act, &d] {
        act();
        if (d.isVisible())
            d.done(-1);
    });
    return d.exec();
}

// Closes whatever modal window a failed check left open.
struct ModalCloser {
    ~ModalCloser()
    {
        if (auto* m = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            m->done(-1);
    }
};

// A key pressed where the window's focus is.
void pressKey(QWidget* window, Qt::Key key)
{
    QWidget* target = window->focusWidget() ? window->focusWidget() : window;
    QTest::keyClick(target, key);
}

// ---------------------------------------------------------------- message windows

TEST(ErrorWindow, FormsButtonsFocusAndResults)
{
    FormError w;
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Выявлена ошибка:"));
    EXPECT_EQ(w.continueButton()->text(), QStringLiteral("Продолжить"));
    EXPECT_EQ(w.correctButton()->text(), QStringLiteral("Исправить"));
    EXPECT_EQ(w.defaultButton()->text(), QStringLiteral("Установить \"по-умолчанию\""));
    EXPECT_TRUE(w.correctButton()->isDefault());

    struct Case {
        const char* name;
        std::function<void()> set;
        bool cont, correct, def;
        QPushButton* focus;
        std::function<void()> act;
        int result;
    } cases[] = {
        {"file error, Escape", [&] { w.setGeneral(QStringLiteral("Ошибка открытия файла"), QStringLiteral("Проверьте наличие файла"), true, false); },
         false, true, false, w.correctButton(), [&] { pressKey(&w, Qt::Key_Escape); }, kResultCorrect},
        {"file error, click", [&] { w.setGeneral("m", "r", true, false); }, false, true, false,
         w.correctButton(), [&] { QTest::mouseClick(w.correctButton(), Qt::LeftButton); }, kResultCorrect},
        {"file error, Enter", [&] { w.setGeneral("m", "r", true, false); }, false, true, false,
         w.correctButton(), [&] { pressKey(&w, Qt::Key_Return); }, kResultCorrect},
        {"continue only", [&] { w.setGeneral("m", "r", false, true); }, true, false, false, w.continueButton(),
         [&] { QTest::mouseClick(w.continueButton(), Qt::LeftButton); }, kResultContinue},
        {"continue only, Escape", [&] { w.setGeneral("m", "r", false, true); }, true, false, false,
         w.continueButton(), [&] { pressKey(&w, Qt::Key_Escape); }, kResultClosed},
        {"both, frame closed", [&] { w.setGeneral("m", "r", true, true); }, true, true, false, w.correctButton(),
         [&] { w.close(); }, kResultClosed},
        {"validation without default right after continue only",
         [&] { w.setGeneral("m", "r", false, true); w.setValidation("m", "r", false); }, false, true, false,
         w.correctButton(), [&] { pressKey(&w, Qt::Key_Escape); }, kResultCorrect},
        {"validation with default", [&] { w.setValidation("m", "r", true); }, false, true, true,
         w.correctButton(), [&] { QTest::mouseClick(w.defaultButton(), Qt::LeftButton); }, kResultContinue},
        {"validation with default, Escape", [&] { w.setValidation("m", "r", true); }, false, true, true,
         w.correctButton(), [&] { pressKey(&w, Qt::Key_Escape); }, kResultCorrect},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.set();
        const int r = runModal(w, [&] {
            EXPECT_EQ(w.continueButton()->isVisible(), c.cont);
            EXPECT_EQ(w.correctButton()->isVisible(), c.correct);
            EXPECT_EQ(w.defaultButton()->isVisible(), c.def);
            EXPECT_EQ(w.focusWidget(), c.focus);
            shot(&w, QStringLiteral("error-%1").arg(++n));
            c.act();
        });
        EXPECT_EQ(r, c.result);
    }
}

TEST(ConfirmWindow, WithAndWithoutQuestion)
{
    QWidget owner;
    owner.resize(800, 600);
    owner.move(100, 50);
    owner.show();
    FormOk w(&owner);
    EXPECT_TRUE(w.windowTitle().isEmpty());

    w.set(QStringLiteral("Операция выполнена"), QStringLiteral("Конфигурация сохранена"), false);
    int r = runModal(w, [&] {
        EXPECT_TRUE(w.continueButton()->isVisible());
        EXPECT_FALSE(w.refuseButton()->isVisible());
        // Centred alone.
        const int centre = w.continueButton()->geometry().center().x();
        EXPECT_NEAR(centre, w.width() / 2, 3);
        EXPECT_NEAR(w.frameGeometry().center().x(), owner.frameGeometry().center().x(), 3);
        EXPECT_EQ(w.message(), QStringLiteral("Операция выполнена"));
        shot(&w, "confirm-success");
        pressKey(&w, Qt::Key_Escape);
    });
    EXPECT_EQ(r, kResultClosed);
    r = runModal(w, [&] { pressKey(&w, Qt::Key_Return); });
    EXPECT_EQ(r, kResultContinue);

    w.set(QStringLiteral("Вы хотите \"сбросить\" настройки в значение \"по-умолчанию\"?"),
          QStringLiteral("(все введённые значения параметров будут потеряны)"), true);
    r = runModal(w, [&] {
        EXPECT_TRUE(w.refuseButton()->isVisible());
        EXPECT_TRUE(w.refuseButton()->isDefault());
        EXPECT_LT(w.continueButton()->geometry().right(), w.refuseButton()->geometry().left());
        shot(&w, "confirm-question");
        pressKey(&w, Qt::Key_Escape);
    });
    EXPECT_EQ(r, kResultClosed);
    r = runModal(w, [&] { pressKey(&w, Qt::Key_Return); });
    EXPECT_EQ(r, kResultClosed);  // the default button is "Отказаться"
    r = runModal(w, [&] { QTest::mouseClick(w.continueButton(), Qt::LeftButton); });
    EXPECT_EQ(r, kResultContinue);
    r = runModal(w, [&] { w.close(); });
    EXPECT_EQ(r, kResultClosed);
}

// ---------------------------------------------------------------- main window

const char* const kFile =
    "KL40-KL40 soft v.2.0\r\n"
    "ip1-000,000,000,000.0\r\n"
    "gd-20.40\r\n"
    "gt-07.100\r\n"
    "gi-0123456789AB\r\n";

// Messages go to the real windows; file names come from a queue.
class WindowDialogs final : public Dialogs {
public:
    QtDialogs real;
    std::deque<QString> files;
    int shown = 0;
    int errorGeneral(const QString& m, const QString& r, bool c, bool k) override
    {
        ++shown;
        return real.errorGeneral(m, r, c, k);
    }
    int errorValidation(const QString& m, const QString& r, bool d) override
    {
        ++shown;
        return real.errorValidation(m, r, d);
    }
    int confirm(const QString& m, const QString& r, bool a) override
    {
        ++shown;
        return real.confirm(m, r, a);
    }
    QString openFileName(const FileDialogRequest&) override { return take(); }
    QString saveFileName(const FileDialogRequest&) override { return take(); }
    bool print(const QString&, const std::function<void(PrintCanvas&)>&) override { return false; }
    bool editSettings(LibrarySettings&, NamingSettings&) override { return false; }
    QString take()
    {
        if (files.empty())
            return {};
        QString f = files.front();
        files.pop_front();
        return f;
    }
};

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        oldCwd = QDir::currentPath();
        QDir::setCurrent(dir.path());
    }
    void TearDown() override
    {
        window.reset();
        flow.reset();
        QDir::setCurrent(oldCwd);
    }
    void open(const QString& file = QString(), Dialogs* d = nullptr)
    {
        flow = std::make_unique<MainFlow>(store, d ? *d : dialogs, dir.path() + "/");
        window = std::make_unique<FormMain>(*flow);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        flow->start(file);
    }
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
        return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QString();
    }
    template <class T = QWidget>
    T* child(const char* name) const
    {
        T* w = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QLineEdit* field(FieldId id) const { return window->edit(id); }
    void click(const char* name) { QTest::mouseClick(child<QPushButton>(name), Qt::LeftButton); }
    void retype(QLineEdit* e, const QString& text)
    {
        e->setFocus();
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Delete);
        e->setCursorPosition(0);
        QTest::keyClicks(e, text);
    }
    bool save(const QString& name)
    {
        dialogs.files.push_back(path(name));
        click("BtnSave");
        return QFileInfo::exists(path(name));
    }

    QTemporaryDir dir;
    QString oldCwd;
    MemorySettingsStore store;
    ScriptedDialogs dialogs;
    std::unique_ptr<MainFlow> flow;
    std::unique_ptr<FormMain> window;
};

TEST_F(MainWindowTest, StartsWithDefaultsAndNamedControls)
{
    open();
    EXPECT_TRUE(window->windowTitle().startsWith(QStringLiteral("Конфигуратор конвертора KL40 v.2.2.1.0")));
    EXPECT_TRUE(window->windowTitle().endsWith(QStringLiteral("=>   ")));
    EXPECT_TRUE(child<QRadioButton>("RB_LAN_DHCP")->isChecked());
    EXPECT_FALSE(field(FieldId::E_LAN_IP)->isEnabled());
    EXPECT_FALSE(child<QLabel>("L_LAN_IP")->isEnabled());
    EXPECT_EQ(field(FieldId::E_LAN_IP)->displayText(), "000.000.000.000");
    EXPECT_EQ(field(FieldId::E_LAN_Port)->text(), "10001");
    EXPECT_EQ(field(FieldId::E_MX3_Port3)->text(), "10001");
    EXPECT_EQ(field(FieldId::E_MX3_Duty1)->text(), "15");
    EXPECT_EQ(field(FieldId::E_MX3_Duty2)->text(), "30");
    EXPECT_EQ(field(FieldId::E_MX3_Answer)->text(), "5");
    EXPECT_EQ(field(FieldId::E_MX3_NoAnswer)->text(), "2");
    EXPECT_EQ(field(FieldId::E_MX3_Ident)->displayText(), "0000-0000-0000");
    EXPECT_EQ(field(FieldId::E_MX3_Key_1)->displayText(), "00-00-00-00-00-00-00-00");
    EXPECT_FALSE(child<QPushButton>("BtnLink")->isEnabled());
    EXPECT_FALSE(child<QTreeView>("ListFileConfig")->isVisible());
    EXPECT_TRUE(child<QTabWidget>("PC_Main")->isVisible());
    for (const char* n : {"Tab_LAN", "Tab_MX3", "BtnOpen", "BtnSave", "BtnPrint", "BtnDefault", "BtnConfig",
                          "B_MX3_Ident_Generate", "B_MX3_Key_Generate", "B_MX3_Key_Clear", "RB_LAN_StaticIP",
                          "UD_MX3_Duty1", "UD_MX3_NoAnswer"})
        child(n);

    // Every labelled field is its label's buddy.
    struct Buddy {
        const char* label;
        FieldId field;
        const char* text;
    } buddies[] = {
        {"L_LAN_IP", FieldId::E_LAN_IP, "IP-адрес"},
        {"L_LAN_Mask", FieldId::E_LAN_Mask, "Маска сети"},
        {"L_LAN_GateWay", FieldId::E_LAN_GateWay, "Шлюз"},
        {"L_LAN_Port", FieldId::E_LAN_Port, "Порт для отправки пакетов :"},
        {"L_MX3_Server2", FieldId::E_MX3_Server2, "Сервер №2:"},
        {"L_MX3_Port2", FieldId::E_MX3_Port2, "порт :"},
        {"L_MX3_Ident", FieldId::E_MX3_Ident, "Идентификатор    :"},
        {"L_MX3_Key", FieldId::E_MX3_Key_1, "Ключ шифрации  :"},
    };
    for (const Buddy& b : buddies) {
        auto* l = child<QLabel>(b.label);
        EXPECT_EQ(l->text(), QString::fromUtf8(b.text));
        EXPECT_EQ(l->buddy(), window->fieldWidget(b.field)) << b.label;
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(window->fieldWidget(b.field));
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->text(QAccessible::Name), QString::fromUtf8(b.text)) << b.label;
    }
    shot(window.get(), "main-network");
    child<QTabWidget>("PC_Main")->setCurrentIndex(1);
    shot(window.get(), "main-protocol");
}

TEST_F(MainWindowTest, UnansweredLimit100IsShownAndSavedAs99)
{
    write("a.ini", kFile);
    open(path("a.ini"));
    EXPECT_TRUE(window->windowTitle().endsWith("a.ini"));
    EXPECT_EQ(field(FieldId::E_MX3_NoAnswer)->text(), "99");
    EXPECT_EQ(field(FieldId::E_LAN_Port)->text(), "10001");
    ASSERT_TRUE(save("b.ini"));
    EXPECT_TRUE(read("b.ini").contains("gt-07.99 "));
    ASSERT_EQ(dialogs.of(Asked::Confirm).size(), 1);
}

TEST_F(MainWindowTest, DutyPeriodOf3GetsDefaultOrFocus)
{
    open();
    auto* tabs = child<QTabWidget>("PC_Main");
    retype(field(FieldId::E_MX3_Duty1), "3");
    dialogs.answers = {kResultContinue};
    ASSERT_TRUE(save("d.ini"));
    EXPECT_EQ(field(FieldId::E_MX3_Duty1)->text(), "15");
    EXPECT_TRUE(read("d.ini").contains("gd-15.30"));

    tabs->setCurrentIndex(0);
    retype(field(FieldId::E_MX3_Duty1), "3");
    window->fieldWidget(FieldId::RB_LAN_DHCP)->setFocus();
    tabs->setCurrentIndex(0);
    dialogs.answers = {kResultCorrect};
    EXPECT_FALSE(save("e.ini"));
    EXPECT_EQ(tabs->currentIndex(), 1);
    EXPECT_EQ(window->focusWidget(), field(FieldId::E_MX3_Duty1));
    EXPECT_EQ(field(FieldId::E_MX3_Duty1)->text(), "3");
    EXPECT_EQ(dialogs.of(Asked::ErrorValidation).back().flag1, true);
}

TEST_F(MainWindowTest, DhcpThenStaticRestoresTypedAddresses)
{
    open();
    QTest::mouseClick(child<QRadioButton>("RB_LAN_StaticIP"), Qt::LeftButton);
    ASSERT_TRUE(field(FieldId::E_LAN_IP)->isEnabled());
    retype(field(FieldId::E_LAN_IP), "192168001010");
    retype(field(FieldId::E_LAN_Mask), "255255255000");
    retype(field(FieldId::E_LAN_GateWay), "192168001001");
    EXPECT_EQ(field(FieldId::E_LAN_IP)->displayText(), "192.168.001.010");
    QTest::mouseClick(child<QRadioButton>("RB_LAN_DHCP"), Qt::LeftButton);
    EXPECT_EQ(field(FieldId::E_LAN_IP)->displayText(), "000.000.000.000");
    EXPECT_FALSE(field(FieldId::E_LAN_Mask)->isEnabled());
    QTest::mouseClick(child<QRadioButton>("RB_LAN_StaticIP"), Qt::LeftButton);
    EXPECT_EQ(field(FieldId::E_LAN_IP)->displayText(), "192.168.001.010");
    EXPECT_EQ(field(FieldId::E_LAN_GateWay)->displayText(), "192.168.001.001");
    ASSERT_TRUE(save("static.ini"));
    EXPECT_TRUE(read("static.ini").contains("ip3-255,255,255,000 "));
    QTest::mouseClick(child<QRadioButton>("RB_LAN_DHCP"), Qt::LeftButton);
    ASSERT_TRUE(save("dhcp.ini"));
    const QString t = read("dhcp.ini");
    EXPECT_TRUE(t.contains("ip1-000,000,000,000.10001"));
    EXPECT_TRUE(t.contains("ip2-000,000,000,000 "));
    EXPECT_TRUE(t.contains("ip3-000,000,000,000 "));
}

TEST_F(MainWindowTest, IdentifierLettersBeyondFDroppedAndPadded)
{
    open();
    QLineEdit* id = field(FieldId::E_MX3_Ident);
    child<QTabWidget>("PC_Main")->setCurrentIndex(1);
    retype(id, "12gzab");
    EXPECT_TRUE(id->displayText().startsWith("12GZ-AB"));  // upper case
    ASSERT_TRUE(save("id.ini"));
    // Leaving the field kept G and Z as positions ("12GZ-AB00-0000"); the unload drops them.
    EXPECT_TRUE(read("id.ini").contains("gi-12AB000000 "));
    // Leaving the field regroups it with zeros.
    retype(id, "ab");
    field(FieldId::E_MX3_Duty1)->setFocus();
    EXPECT_EQ(id->displayText(), "AB00-0000-0000");
    dialogs.files = {path("id.ini")};
    click("BtnOpen");
    EXPECT_EQ(id->displayText(), "12AB-0000-0000");  // padded by the redraw
}

TEST_F(MainWindowTest, ServerPortZeroOnlyWithZeroAddress)
{
    open();
    retype(field(FieldId::E_MX3_Port1), "0");
    ASSERT_TRUE(save("s0.ini"));
    EXPECT_TRUE(read("s0.ini").contains("ip4-000,000,000,000.0 "));
    retype(field(FieldId::E_MX3_Port1), "0");
    retype(field(FieldId::E_MX3_Server1), "010000000001");
    dialogs.answers = {kResultCorrect};
    EXPECT_FALSE(save("s1.ini"));
    EXPECT_EQ(dialogs.of(Asked::ErrorValidation).back().message,
              QStringLiteral("Недопустимый номер порта сервера для приема сообщений."));
    EXPECT_EQ(window->focusWidget(), field(FieldId::E_MX3_Port1));
}

TEST_F(MainWindowTest, AddressGroupsTypedShortMeanWhatTheyShow)
{
    open();
    QTest::mouseClick(child<QRadioButton>("RB_LAN_StaticIP"), Qt::LeftButton);
    retype(field(FieldId::E_LAN_IP), "10.1.22.3");
    retype(field(FieldId::E_MX3_Server1), "1.2.3.4");
    ASSERT_TRUE(save("short.ini"));
    const QString t = read("short.ini");
    EXPECT_TRUE(t.contains("ip1-010,001,022,003.10001")) << t.toStdString();
    EXPECT_TRUE(t.contains("ip4-001,002,003,004.10001")) << t.toStdString();
}

TEST_F(MainWindowTest, FieldInputRules)
{
    open();
    QLineEdit* port = field(FieldId::E_LAN_Port);
    retype(port, "1a2-b3 4567");
    EXPECT_EQ(port->text(), "12345");
    retype(field(FieldId::E_MX3_Duty1), "9x99");
    EXPECT_EQ(field(FieldId::E_MX3_Duty1)->text(), "999");
    retype(field(FieldId::E_MX3_Answer), "123");
    EXPECT_EQ(field(FieldId::E_MX3_Answer)->text(), "12");
    // A click on a label or a spin puts the focus into the field.
    child<QTabWidget>("PC_Main")->setCurrentIndex(0);
    QTest::mouseClick(child<QLabel>("L_LAN_Port"), Qt::LeftButton);
    EXPECT_EQ(window->focusWidget(), port);
    // Focus colours.
    EXPECT_EQ(port->palette().color(QPalette::Base), FocusColour::focusColour());
    QTest::mouseClick(child<QLabel>("L_MX3_Port1"), Qt::LeftButton);
    EXPECT_NE(port->palette().color(QPalette::Base), FocusColour::focusColour());
    child<QTabWidget>("PC_Main")->setCurrentIndex(1);
    auto* spin = child<UpDown>("UD_MX3_Duty1");
    retype(field(FieldId::E_MX3_Duty1), "2");
    window->fieldWidget(FieldId::E_MX3_Ident)->setFocus();
    QTest::mouseClick(spin->findChild<QWidget*>("down"), Qt::LeftButton);
    EXPECT_EQ(field(FieldId::E_MX3_Duty1)->text(), "1");
    EXPECT_EQ(window->focusWidget(), field(FieldId::E_MX3_Duty1));
    QTest::mouseClick(spin->findChild<QWidget*>("down"), Qt::LeftButton);
    EXPECT_EQ(field(FieldId::E_MX3_Duty1)->text(), "1");  // the spin's minimum
    retype(field(FieldId::E_MX3_NoAnswer), "99");
    QTest::mouseClick(child<UpDown>("UD_MX3_NoAnswer")->findChild<QWidget*>("up"), Qt::LeftButton);
    EXPECT_EQ(field(FieldId::E_MX3_NoAnswer)->text(), "99");
}

TEST_F(MainWindowTest, GenerationAndClearingButtons)
{
    open();
    child<QTabWidget>("PC_Main")->setCurrentIndex(1);
    const QRegularExpression ident("^[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}$");
    const QRegularExpression pairs("^([0-9A-F]{2}-){7}[0-9A-F]{2}$");
    click("B_MX3_Ident_Generate");
    EXPECT_TRUE(ident.match(field(FieldId::E_MX3_Ident)->displayText()).hasMatch())
        << field(FieldId::E_MX3_Ident)->displayText().toStdString();
    click("B_MX3_Key_Clear");
    for (FieldId k : {FieldId::E_MX3_Key_1, FieldId::E_MX3_Key_2, FieldId::E_MX3_Key_3, FieldId::E_MX3_Key_4})
        EXPECT_EQ(field(k)->displayText(), "3C-5A-3C-5A-3C-5A-3C-5A");
    click("B_MX3_Key_Generate");
    QSet<QString> parts;
    for (FieldId k : {FieldId::E_MX3_Key_1, FieldId::E_MX3_Key_2, FieldId::E_MX3_Key_3, FieldId::E_MX3_Key_4}) {
        EXPECT_TRUE(pairs.match(field(k)->displayText()).hasMatch()) << field(k)->displayText().toStdString();
        parts << field(k)->displayText();
    }
    EXPECT_EQ(parts.size(), 4);
    // The set gets them at the next unload: saved as 12 and 16 digits.
    const QString id = field(FieldId::E_MX3_Ident)->displayText().remove('-');
    const QString k1 = field(FieldId::E_MX3_Key_1)->displayText().remove('-');
    ASSERT_TRUE(save("gen.ini"));
    EXPECT_TRUE(read("gen.ini").contains("gi-" + id + " "));
    EXPECT_TRUE(read("gen.ini").contains("gk1-" + k1 + " "));
}

TEST_F(MainWindowTest, PagesRememberTheirField)
{
    open();
    auto* tabs = child<QTabWidget>("PC_Main");
    tabs->setCurrentIndex(1);
    field(FieldId::E_MX3_Answer)->setFocus();
    tabs->setCurrentIndex(0);
    field(FieldId::E_MX3_Port2)->setFocus();
    tabs->setCurrentIndex(1);
    EXPECT_EQ(window->focusWidget(), field(FieldId::E_MX3_Answer));
    tabs->setCurrentIndex(0);
    EXPECT_EQ(window->focusWidget(), field(FieldId::E_MX3_Port2));
}

TEST_F(MainWindowTest, ListModeWithADozenFiles)
{
    ASSERT_TRUE(QDir(dir.path()).mkpath("cfg"));
    for (int i = 1; i <= 12; ++i)
        write(QStringLiteral("cfg/device%1.%2").arg(i, 2, 10, QChar('0')).arg(i % 2 ? "ini" : "INI"),
              QStringLiteral("gi-%1AAABBBBCCC\r\ngd-%2.30\r\n").arg(i % 10).arg(10 + i).toLatin1());
    open();
    flow->naming().listMode = true;
    flow->naming().listPath = path("cfg") + "/";
    click("BtnOpen");
    auto* list = child<QTreeView>("ListFileConfig");
    ASSERT_TRUE(list->isVisible());
    EXPECT_FALSE(child<QTabWidget>("PC_Main")->isVisible());
    EXPECT_FALSE(child<QPushButton>("BtnSave")->isVisible());
    EXPECT_TRUE(child<QPushButton>("BtnListOpen")->isEnabled());
    EXPECT_EQ(list->header()->sectionSize(0), 185);
    EXPECT_EQ(list->header()->sectionSize(1), 780);
    EXPECT_EQ(list->header()->sectionResizeMode(0), QHeaderView::Fixed);
    EXPECT_EQ(list->header()->sectionResizeMode(1), QHeaderView::Fixed);
    FileListModel& m = flow->fileList();
    ASSERT_EQ(m.rowCount(), 12);
    EXPECT_EQ(m.caption(0), "1AAA-BBBB-CCC0");
    EXPECT_EQ(m.caption(9), kPendingCaption);
    auto* pos = child<QLabel>("L_ListPosition");
    EXPECT_EQ(pos->text(), QStringLiteral("1 из 12"));
    EXPECT_EQ(pos->palette().color(QPalette::WindowText), QColor(Qt::red));
    EXPECT_TRUE(window->listTimer().isActive());
    EXPECT_EQ(window->listTimer().interval(), 50);
    shot(window.get(), "main-list-reading");
    window->listTick();
    EXPECT_EQ(m.caption(9), "0AAA-BBBB-CCC0");
    EXPECT_EQ(m.caption(11), kPendingCaption);
    window->listTick();
    EXPECT_FALSE(window->listTimer().isActive());
    EXPECT_NE(pos->palette().color(QPalette::WindowText), QColor(Qt::red));
    // Header clicks: descending, then ascending, with the mark on the clicked column; the
    // selected entry stays selected.
    list->setCurrentIndex(m.index(1, 0));
    QHeaderView* h = list->header();
    const int x = h->sectionViewportPosition(1) + 10;
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, QPoint(x, h->height() / 2));
    EXPECT_TRUE(m.fileName(0).startsWith("device12"));
    EXPECT_EQ(window->selectedRow(), 10);
    EXPECT_EQ(pos->text(), QStringLiteral("11 из 12"));
    EXPECT_EQ(h->sortIndicatorSection(), 1);
    // Negative direction: the "down" mark, which the header draws for Qt's ascending order.
    EXPECT_EQ(h->sortIndicatorOrder(), Qt::AscendingOrder);
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, QPoint(x, h->height() / 2));
    EXPECT_TRUE(m.fileName(0).startsWith("device01"));
    EXPECT_EQ(h->sortIndicatorOrder(), Qt::DescendingOrder);  // the "up" mark
    shot(window.get(), "main-list");
    // Select the third entry and open it with Enter.
    list->setCurrentIndex(m.index(2, 0));
    EXPECT_EQ(pos->text(), QStringLiteral("3 из 12"));
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_FALSE(list->isVisible());
    EXPECT_TRUE(child<QTabWidget>("PC_Main")->isVisible());
    EXPECT_TRUE(window->windowTitle().endsWith("device03.ini"));
    EXPECT_EQ(field(FieldId::E_MX3_Duty1)->text(), "13");
    // An empty folder: no entry, "Открыть файл" disabled.
    flow->naming().listPath = path("nothing") + "/";
    click("BtnOpen");
    EXPECT_FALSE(child<QPushButton>("BtnListOpen")->isEnabled());
    EXPECT_EQ(pos->text(), QStringLiteral("0 из 0"));
    click("BtnListCancel");
    EXPECT_FALSE(list->isVisible());
}

TEST_F(MainWindowTest, SaveFailureShowsTheErrorWindowAndNoSuccess)
{
    WindowDialogs wd;
    open(QString(), &wd);
    wd.real.setOwner(window.get());
    // The file name is taken by a folder: the file cannot be written there.
    ASSERT_TRUE(QDir(dir.path()).mkpath("ro/taken.ini"));
    for (const QString& target : {path("ro/taken.ini"), path("missing/x.ini")}) {
        SCOPED_TRACE(target.toStdString());
        wd.files = {target};
        wd.shown = 0;
        bool seen = false;
        QTimer::singleShot(0, window.get(), [&] {
            ModalCloser closer;
            auto* e = qobject_cast<FormError*>(QApplication::activeModalWidget());
            ASSERT_NE(e, nullptr);
            seen = true;
            EXPECT_TRUE(e->message().startsWith(QStringLiteral("Ошибка записи в файл - файл не может быть")));
            EXPECT_TRUE(e->recommendation().startsWith(QStringLiteral("Проверьте отсутствие запрета записи")));
            EXPECT_TRUE(e->correctButton()->isVisible());
            EXPECT_FALSE(e->continueButton()->isVisible());
            EXPECT_FALSE(e->defaultButton()->isVisible());
            shot(e, "error-save");
            QTest::mouseClick(e->correctButton(), Qt::LeftButton);
        });
        click("BtnSave");
        EXPECT_TRUE(seen);
        EXPECT_EQ(wd.shown, 1);  // the error window only: no success window
        EXPECT_FALSE(QFileInfo(target).isFile());
    }
    wd.real.setOwner(nullptr);
}

TEST_F(MainWindowTest, ResetToDefaultsAsksFirst)
{
    WindowDialogs wd;
    write("a.ini", kFile);
    open(path("a.ini"), &wd);
    wd.real.setOwner(window.get());
    QTimer::singleShot(0, window.get(), [&] {
        ModalCloser closer;
        auto* q = qobject_cast<FormOk*>(QApplication::activeModalWidget());
        ASSERT_NE(q, nullptr);
        EXPECT_TRUE(q->refuseButton()->isVisible());
        QTest::mouseClick(q->continueButton(), Qt::LeftButton);
    });
    click("BtnDefault");
    EXPECT_EQ(field(FieldId::E_MX3_Duty1)->text(), "15");
    EXPECT_EQ(field(FieldId::E_MX3_NoAnswer)->text(), "2");
    EXPECT_TRUE(window->windowTitle().endsWith(QStringLiteral("=>   ")));
    wd.real.setOwner(nullptr);
}

// ---------------------------------------------------------------- settings dialog and tree

TEST(SettingsDialog, ShowsAndTakesOverByItsRules)
{
    FormConfig d;
    LibrarySettings lib;
    lib.ports = {"10001", "10002"};
    NamingSettings n;
    n.listPath = "/a/very/long/folder/name/beyond/sixteen/";
    n.ident2 = storedIdent2(3);
    n.ident3 = storedIdent3(2);
    d.fill(lib, n);
    d.show();
    auto get = [&](const char* name) { return d.findChild<QLineEdit*>(QString::fromLatin1(name)); };
    EXPECT_EQ(d.windowTitle(), QStringLiteral("Параметры работы"));
    EXPECT_EQ(d.tabs()->tabText(0), QStringLiteral("Работа с файлами"));
    EXPECT_EQ(d.tabs()->tabText(1), QStringLiteral("Связь с прибором"));
    EXPECT_EQ(d.elementChoice(1), kElementPrefix);
    EXPECT_EQ(d.elementChoice(2), kElementIdentifier);
    EXPECT_EQ(d.elementChoice(3), kElementSuffix);
    auto* example = d.findChild<QLabel*>("L_Example");
    EXPECT_EQ(example->text(), "KL40_AAAABBBBCCCC.ini");  // suffix empty
    // Normal mode disables the folder.
    EXPECT_FALSE(get("E_ListPath")->isEnabled());
    QTest::mouseClick(d.findChild<QRadioButton*>("RB_ModeList"), Qt::LeftButton);
    EXPECT_TRUE(get("E_ListPath")->isEnabled());
    // Refused characters are dropped; typing does not recompute the example.
    QLineEdit* pref = get("E_MaskPref");
    pref->setFocus();
    pref->selectAll();
    QTest::keyClicks(pref, "A*B:C?D|E\"F/G<H>I\\");
    EXPECT_EQ(pref->text(), "ABCDEFGHI");
    QTest::keyClicks(pref, "JKLMN");
    EXPECT_EQ(pref->text(), "ABCDEFGHIJ");  // 10 characters
    EXPECT_EQ(example->text(), "KL40_AAAABBBBCCCC.ini");
    QLineEdit* d1 = get("E_MaskDelim1");
    d1->selectAll();
    d1->setFocus();
    QTest::keyClicks(d1, "-+");
    EXPECT_EQ(d1->text(), "-");
    QTest::mouseClick(d.findChild<QRadioButton*>("RB_Element3_3"), Qt::LeftButton);
    EXPECT_EQ(example->text(), "ABCDEFGHIJ-AAAABBBBCCCC_AAAABBBBCCCC.ini");
    d.findChild<QRadioButton*>("RB_Element2_0")->click();
    EXPECT_EQ(example->text(), "ABCDEFGHIJ-AAAABBBBCCCC.ini");
    // The long folder stays; typing at its end is refused, deleting works.
    QLineEdit* folder = get("E_ListPath");
    folder->setFocus();
    folder->end(false);
    QTest::keyClicks(folder, "x");
    EXPECT_EQ(folder->text(), n.listPath);
    QTest::keyClick(folder, Qt::Key_Backspace);
    EXPECT_EQ(folder->text(), n.listPath.chopped(1));
    folder->selectAll();
    QTest::keyClick(folder, Qt::Key_Delete);
    QTest::keyClicks(folder, "/data/configurations/x");
    EXPECT_EQ(folder->text(), "/data/configurat");
    shot(&d, "settings-files");

    d.tabs()->setCurrentIndex(1);
    EXPECT_EQ(get("E_Open_GPRS")->text(), "30");
    EXPECT_EQ(get("E_ToWaitSendDAfterIn")->text(), "300");
    EXPECT_EQ(get("E_Ports")->text(), "10001,10002");
    get("E_Ports")->setFocus();
    get("E_Ports")->selectAll();
    QTest::keyClicks(get("E_Ports"), "10005,x10006 ");
    EXPECT_EQ(get("E_Ports")->text(), "10005,10006");
    get("E_Open_GPRS")->setText("45");
    get("E_ToSendDG2_GPRS")->setText("");
    get("E_CountRetrySendDG2_GPRS")->setFocus();
    get("E_CountRetrySendDG2_GPRS")->selectAll();
    QTest::keyClicks(get("E_CountRetrySendDG2_GPRS"), "7a");
    shot(&d, "settings-link");

    LibrarySettings outLib = lib;
    outLib.toSendDG2Gprs = 12345;  // an empty field leaves this
    NamingSettings outNaming = n;
    d.takeOver(outLib, outNaming);
    EXPECT_EQ(outLib.openGprs, 45000);
    EXPECT_EQ(outLib.toSendDG2Gprs, 12345);
    EXPECT_EQ(outLib.countRetrySendDG2Gprs, 7);
    EXPECT_EQ(outLib.ports, (QStringList{"10005", "10006"}));
    EXPECT_TRUE(outNaming.listMode);
    EXPECT_EQ(outNaming.listPath, "/data/configurat/");
    EXPECT_EQ(outNaming.prefix, "ABCDEFGHIJ");
    EXPECT_EQ(outNaming.delim1, "-");
    EXPECT_EQ(outNaming.ident1, kElementPrefix);
    EXPECT_EQ(outNaming.ident2, kElementEmpty);
    EXPECT_EQ(outNaming.ident3, kElementIdentifier);

    // "По-умолчанию" shows the library defaults; the records are not touched.
    QTest::mouseClick(d.findChild<QPushButton*>("B_LinkDefault"), Qt::LeftButton);
    const char* names[] = {"E_Open_GPRS", "E_ToSendDG2_GPRS", "E_ToRetrySendDG2_GPRS", "E_CountRetrySendDG2_GPRS",
                           "E_ToWaitKvitCmd_GPRS", "E_ToWaitSendDAfterIn", "E_CountRetryRecive_GPRS",
                           "E_CountNoGoodTimeTag_GPRS"};
    const char* values[] = {"30", "30", "10", "10", "10", "300", "5", "5"};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(get(names[i])->text(), values[i]) << names[i];
    EXPECT_EQ(get("E_Ports")->text(), "10001");
    EXPECT_EQ(lib.ports, (QStringList{"10001", "10002"}));
    // The mask group follows the check box.
    QTest::mouseClick(d.findChild<QCheckBox*>("CB_MaskMode"), Qt::LeftButton);
    EXPECT_FALSE(d.findChild<QGroupBox*>("GB_Mask")->isEnabled());
}

TEST(SettingsDialog, BrowseTakesTheTreesFolder)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir(dir.path()).mkpath("Configurations/Site"));
    FormConfig d;
    NamingSettings n;
    n.listMode = true;
    n.listPath = dir.path() + "/";
    d.fill(LibrarySettings{}, n);
    d.show();
    auto* folder = d.findChild<QLineEdit*>("E_ListPath");
    for (bool apply : {false, true}) {
        QTimer::singleShot(0, &d, [&, apply] {
            auto* t = qobject_cast<FormPathTree*>(QApplication::activeModalWidget());
            ASSERT_NE(t, nullptr);
            // Whatever fails below, the tree is closed so that the test goes on.
            struct Closer {
                FormPathTree* t;
                ~Closer() { if (t->isVisible()) t->reject(); }
            } closer{t};
            const auto start = t->tree()->findItems(QFileInfo(dir.path()).fileName(),
                                                    Qt::MatchExactly | Qt::MatchRecursive);
            ASSERT_EQ(start.size(), 1);
            t->expandItem(start[0]);
            ASSERT_EQ(start[0]->childCount(), 1);
            QTreeWidgetItem* conf = start[0]->child(0);
            t->expandItem(conf);
            ASSERT_EQ(conf->childCount(), 1);
            t->tree()->setCurrentItem(conf->child(0));
            QTest::mouseClick(t->findChild<QPushButton*>(apply ? "B_Apply" : "B_Cancel"), Qt::LeftButton);
        });
        QTest::mouseClick(d.findChild<QWidget*>("B_ListPath"), Qt::LeftButton);
        EXPECT_EQ(folder->text(), apply ? dir.path() + "/Configurations/Site/" : dir.path() + "/");
        EXPECT_EQ(d.focusWidget(), folder);
    }
    // A folder longer than the typing limit is kept whole.
    LibrarySettings lib;
    NamingSettings out;
    d.takeOver(lib, out);
    EXPECT_EQ(out.listPath, dir.path() + "/Configurations/Site/");
}

TEST(FolderTree, SelectingANodeShowsItsPath)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir(dir.path()).mkpath("Data/Sub"));
    ASSERT_TRUE(QDir(dir.path()).mkpath("Empty"));
    FormPathTree t;
    t.start(dir.path());
    t.show();
    EXPECT_EQ(t.windowTitle(), QStringLiteral("Выбор папки для размещения файлов конфигурации"));
    EXPECT_EQ(t.pathLine(), "<none>");
    EXPECT_EQ(t.result(), dir.path());  // nothing selected: the start folder comes back
    QTreeWidget* tree = t.tree();
    ASSERT_GE(tree->topLevelItemCount(), 1);
    EXPECT_EQ(tree->topLevelItem(0)->text(0), "/");
    // The branch down to the start folder is open; find its node.
    const QList<QTreeWidgetItem*> found = tree->findItems(QFileInfo(dir.path()).fileName(),
                                                          Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_EQ(found.size(), 1);
    QTreeWidgetItem* node = found[0];
    t.expandItem(node);
    ASSERT_EQ(node->childCount(), 2);
    EXPECT_EQ(node->child(0)->text(0), "Data");
    EXPECT_EQ(node->child(0)->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    EXPECT_EQ(node->child(1)->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicator);
    tree->setCurrentItem(node->child(0));
    EXPECT_EQ(t.pathLine(), dir.path() + "/Data/");
    EXPECT_EQ(t.result(), dir.path() + "/Data/");
    t.expandItem(node->child(0));
    EXPECT_EQ(node->child(0)->child(0)->text(0), "Sub");
    shot(&t, "folder-tree");
}

}  // namespace
}  // namespace kl40
