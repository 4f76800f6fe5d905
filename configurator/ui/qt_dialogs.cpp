#include "configurator/ui/qt_dialogs.h"

#include <QFileDialog>
#include <QPrintDialog>
#include <QPrinter>

#include "configurator/ui/FormConfig.h"
#include "configurator/ui/FormError.h"
#include "configurator/ui/FormOk.h"
#include "configurator/ui/printer_canvas.h"

namespace kl40 {

QtDialogs::QtDialogs(QWidget* owner) : owner_(owner) {}

QtDialogs::~QtDialogs()
{
    delete error_;
    delete ok_;
}

void QtDialogs::setOwner(QWidget* owner)
{
    owner_ = owner;
    if (error_)
        error_->setParent(owner, error_->windowFlags());
    if (ok_)
        ok_->setParent(owner, ok_->windowFlags());
}

FormError& QtDialogs::errorWindow()
{
    if (!error_)
        error_ = new FormError(owner_);
    return *error_;
}

FormOk& QtDialogs::confirmWindow()
{
    if (!ok_)
        ok_ = new FormOk(owner_);
    return *ok_;
}

int QtDialogs::errorGeneral(const QString& message, const QString& recommendation,
                            bool offerCorrect, bool offerContinue)
{
    errorWindow().setGeneral(message, recommendation, offerCorrect, offerContinue);
    return errorWindow().exec();
}

int QtDialogs::errorValidation(const QString& message, const QString& recommendation, bool offerDefault)
{
    errorWindow().setValidation(message, recommendation, offerDefault);
    return errorWindow().exec();
}

int QtDialogs::confirm(const QString& message, const QString& recommendation, bool ask)
{
    confirmWindow().set(message, recommendation, ask);
    return confirmWindow().exec();
}

QString QtDialogs::openFileName(const FileDialogRequest& request)
{
    QFileDialog dlg(owner_, QString(), request.initialFolder, request.filter);
    dlg.setObjectName("OpenDialog");
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setFileMode(QFileDialog::ExistingFile);
    dlg.setDefaultSuffix(request.defaultSuffix);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return {};
    return dlg.selectedFiles().first();
}

QString QtDialogs::saveFileName(const FileDialogRequest& request)
{
    QFileDialog dlg(owner_, QString(), request.initialFolder, request.filter);
    dlg.setObjectName("SaveDialog");
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setFileMode(QFileDialog::AnyFile);
    dlg.setDefaultSuffix(request.defaultSuffix);
    dlg.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
    dlg.selectFile(request.proposedName);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return {};
    return dlg.selectedFiles().first();
}

bool QtDialogs::print(const QString& jobTitle, const std::function<void(PrintCanvas&)>& draw)
{
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dlg(&printer, owner_);
    if (dlg.exec() != QDialog::Accepted)
        return false;
    return printSheet(printer, jobTitle, draw);
}

bool QtDialogs::editSettings(LibrarySettings& library, NamingSettings& naming)
{
    FormConfig dlg(owner_);
    dlg.fill(library, naming);
    if (dlg.exec() != QDialog::Accepted)
        return false;
    dlg.takeOver(library, naming);
    return true;
}

}  // namespace kl40
