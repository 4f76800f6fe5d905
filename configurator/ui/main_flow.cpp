#include "configurator/ui/main_flow.h"

#include "configurator/config/analyz.h"
#include "configurator/config/config_file.h"
#include "configurator/config/random.h"
#include "configurator/config/text_rules.h"
#include "configurator/config/validation.h"
#include "configurator/ui/file_list.h"
#include "configurator/ui/settings_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <filesystem>

namespace kl40 {

namespace {

std::filesystem::path fsPath(const QString& path)
{
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

QString today() { return QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat); }

}  // namespace

MainFlow::MainFlow(SettingsStore& store, Dialogs& dialogs, const QString& defaultListFolder)
    : store_(store), dialogs_(dialogs), date_(today)
{
    naming_ = loadNamingSettings(store_, defaultListFolder);
    library_ = loadLibrarySettings(store_);
    list_ = std::make_unique<FileListModel>([this](const QString& p) { return readCaption(p); });
}

MainFlow::~MainFlow() = default;

QString MainFlow::readCaption(const QString& path)
{
    // A file that cannot be read shows the identifier of a reset set.
    scratch_.Reset();
    LoadFile(fsPath(path), scratch_);
    return qs(identifier_grouped(scratch_.Identifier()));
}

void MainFlow::redraw()
{
    RedrawAll(current_, fields_);
    if (view_) {
        view_->pushFields();
        view_->restorePageFocus();
    }
}

void MainFlow::unload()
{
    if (view_)
        view_->pullFields();
    UnloadAll(fields_, current_);
}

void MainFlow::setFileName(const QString& name)
{
    fileName_ = name;
    title_ = kTitleBase + name;
    if (view_)
        view_->setTitle(title_);
}

void MainFlow::setListStateInternal(bool list)
{
    listState_ = list;
    if (view_)
        view_->setListState(list);
}

void MainFlow::start(const QString& file)
{
    current_.Reset();
    const QString path = file.isEmpty() ? QStringLiteral("./config.ini") : file;
    const QFileInfo fi(path);
    setFileName(QString());
    if (fi.exists() && !fi.isDir()) {
        loadFile(path);
    } else {
        redraw();
    }
    setListStateInternal(false);
    if (view_)
        view_->setPagesVisible(true);
}

bool MainFlow::loadFile(const QString& path)
{
    FileError error;
    if (!LoadFile(fsPath(path), current_, &error)) {
        dialogs_.errorGeneral(qs(error.title), qs(error.text), true, false);
        return false;
    }
    setFileName(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
    redraw();
    return true;
}

void MainFlow::open()
{
    if (naming_.listMode) {
        list_->fill(naming_.listPath);
        setListStateInternal(true);
        return;
    }
    openWithDialog();
}

void MainFlow::openWithDialog()
{
    FileDialogRequest req;
    req.filter = kOpenFilter;
    req.defaultSuffix = QStringLiteral("ini");
    const QString name = dialogs_.openFileName(req);
    if (!name.isEmpty())
        loadFile(name);
}

bool MainFlow::checkAll()
{
    const DialogueOutcome outcome = run_validation_dialogue(
        current_,
        [this](const CheckFailure& f) {
            const int r = dialogs_.errorValidation(qs(f.title), qs(f.text), f.default_offered);
            if (r == kResultContinue)
                return ErrorAnswer::SetDefault;
            if (r == kResultCorrect)
                return ErrorAnswer::Correct;
            return ErrorAnswer::Closed;
        },
        [this](Page page) {
            if (page == Page::Tab_LAN)
                RedrawNetworkPage(current_, fields_.network);
            else
                RedrawProtocolPage(current_, fields_.protocol);
            if (view_)
                view_->pushFields();
        });
    if (outcome.focus && view_)
        view_->focusField(*outcome.focus);
    return outcome.passed;
}

bool MainFlow::save()
{
    unload();
    if (!checkAll())
        return false;
    const std::vector<std::string> lines = WriteLines(current_);
    FileDialogRequest req;
    req.filter = kSaveFilter;
    req.defaultSuffix = QStringLiteral("ini");
    req.confirmOverwrite = true;
    if (naming_.listMode && saveInitialFolder_.isEmpty())
        saveInitialFolder_ = naming_.listPath;
    req.initialFolder = saveInitialFolder_;
    req.proposedName = proposedFileName(naming_, qs(current_.Identifier()));
    QString name = dialogs_.saveFileName(req);
    if (name.isEmpty())
        return false;
    if (QFileInfo(name).suffix().isEmpty())
        name += QStringLiteral(".ini");
    FileError error;
    if (!SaveLines(fsPath(name), lines, &error)) {
        dialogs_.errorGeneral(qs(error.title), qs(error.text), true, false);
        return false;
    }
    dialogs_.confirm(QStringLiteral("Операция выполнена"), QStringLiteral("Конфигурация сохранена"),
                     false);
    return true;
}

PrintSheet MainFlow::sheetOfCurrent() const
{
    PrintSheet s;
    s.identifier = qs(current_.Identifier());
    for (int slot = kSlotDevice; slot <= kSlotServer3; ++slot) {
        s.address[slot] = qs(current_.Address(slot));
        s.port[slot] = current_.Port(slot);
    }
    for (int part = 1; part <= 4; ++part)
        s.keyPart[part - 1] = qs(current_.KeyPart(part));
    s.duty1 = current_.DutyCommand.Value1();
    s.duty2 = current_.DutyCommand.Value2();
    s.answerWait = current_.AnswerCommand.Value1();
    s.noAnswer = current_.AnswerCommand.Value2();
    s.date = date_ ? date_() : QString();
    return s;
}

namespace {

// The identifier stored grouped 4-4-4 before printing; the job title carries it.
QString prepareIdentifier(T_DEVICE_CommandMX3& set)
{
    std::string ident = set.Identifier();
    if (ident.empty())
        ident = "000000000000";
    const std::string grouped = identifier_grouped(ident);
    set.IdentCommands[0].SetText(1, grouped);
    return QStringLiteral("Конвертор KL40(") + qs(grouped) + ')';
}

}  // namespace

QString MainFlow::preparePrint()
{
    unload();
    return prepareIdentifier(current_);
}

void MainFlow::drawCurrent(PrintCanvas& canvas) { drawSheet(canvas, sheetOfCurrent()); }

QString MainFlow::printTo(PrintCanvas& canvas)
{
    const QString title = preparePrint();
    drawCurrent(canvas);
    return title;
}

bool MainFlow::print()
{
    const QString title = preparePrint();
    const PrintSheet sheet = sheetOfCurrent();
    return dialogs_.print(title, [&sheet](PrintCanvas& c) { drawSheet(c, sheet); });
}

void MainFlow::resetToDefaults()
{
    const int r = dialogs_.confirm(
        QStringLiteral("Вы хотите \"сбросить\" настройки в значение \"по-умолчанию\"?"),
        QStringLiteral("(все введённые значения параметров будут потеряны)"), true);
    if (r != kResultContinue)
        return;
    if (view_)
        view_->setPagesVisible(false);
    current_.Reset();
    redraw();
    setFileName(QString());
    if (view_)
        view_->setPagesVisible(true);
}

void MainFlow::editSettings()
{
    LibrarySettings library = library_;
    NamingSettings naming = naming_;
    if (!dialogs_.editSettings(library, naming))
        return;
    library_ = library;
    naming_ = naming;
    saveLibrarySettings(store_, library_);
    saveNamingSettings(store_, naming_);
    store_.flush();
}

void MainFlow::link()
{
    unload();
    if (!checkAll())
        return;
    if (!link_)
        return;
    link_->prepareLink(library_, current_);
    link_->exec();
    switch (link_->linkResult()) {
    case 1:
        if (dialogs_.confirm(QStringLiteral("Ключ шифрации был изменён"),
                             QStringLiteral("Подтвердите сохранение нового ключа"),
                             true) != kResultContinue)
            return;
        link_->fetchParameters(current_);
        redraw();
        break;
    case 2:
        link_->fetchParameters(current_);
        redraw();
        break;
    default:
        break;
    }
}

void MainFlow::generateIdentifier()
{
    if (view_)
        view_->pullFields();
    GenerateIdentField(fields_.protocol, program_random());
    if (view_)
        view_->pushFields();
}

void MainFlow::generateKey()
{
    if (view_)
        view_->pullFields();
    GenerateKeyFields(fields_.protocol);
    if (view_)
        view_->pushFields();
}

void MainFlow::clearKey()
{
    if (view_)
        view_->pullFields();
    ClearKeyFields(fields_.protocol);
    if (view_)
        view_->pushFields();
}

bool MainFlow::openListEntry(int row)
{
    if (row < 0 || row >= list_->rowCount())
        return false;
    if (!loadFile(list_->fullPath(row)))
        return false;
    setListStateInternal(false);
    return true;
}

void MainFlow::cancelList() { setListStateInternal(false); }

void MainFlow::chooseFileManually()
{
    setListStateInternal(false);
    openWithDialog();
}

}  // namespace kl40
