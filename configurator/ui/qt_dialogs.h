// The Qt windows behind the Dialogs interface: one error window and one confirmation window for
// the whole run, the file dialogs, the print dialog and the settings dialog.
#pragma once

#include "configurator/ui/dialogs.h"

class QWidget;

namespace kl40 {

class FormError;
class FormOk;

class QtDialogs final : public Dialogs {
public:
    explicit QtDialogs(QWidget* owner = nullptr);
    ~QtDialogs() override;

    void setOwner(QWidget* owner);

    int errorGeneral(const QString& message, const QString& recommendation, bool offerCorrect,
                     bool offerContinue) override;
    int errorValidation(const QString& message, const QString& recommendation, bool offerDefault) override;
    int confirm(const QString& message, const QString& recommendation, bool ask) override;
    QString openFileName(const FileDialogRequest& request) override;
    QString saveFileName(const FileDialogRequest& request) override;
    bool print(const QString& jobTitle, const std::function<void(PrintCanvas&)>& draw) override;
    bool editSettings(LibrarySettings& library, NamingSettings& naming) override;

    FormError& errorWindow();
    FormOk& confirmWindow();

private:
    QWidget* owner_;
    FormError* error_ = nullptr;
    FormOk* ok_ = nullptr;
};

}  // namespace kl40
