// Everything the configurator asks the user goes through these interfaces, so that a test can
// answer in advance and read what was asked. The windows implement them with Qt (qt_dialogs.h).
#pragma once

#include <QString>

#include <functional>

namespace kl40 {

class PrintCanvas;
struct LibrarySettings;
struct NamingSettings;
class T_DEVICE_CommandMX3;

// Result codes of the two message windows.
enum : int {
    kResultContinue = 1,  // "Продолжить" (and "Установить \"по-умолчанию\"")
    kResultClosed = 2,    // error window closed by its frame; "Отказаться" in the confirmation
    kResultCorrect = 4,   // "Исправить"
};

// The parameters of one file dialog.
struct FileDialogRequest {
    QString filter;           // Qt filter text: "Description (*.ini);;..."
    QString defaultSuffix;    // "ini"
    QString initialFolder;    // empty: the dialog's own choice
    QString proposedName;     // save dialog: the name offered
    bool confirmOverwrite = false;
};

class Dialogs {
public:
    virtual ~Dialogs() = default;

    // Error window, general form: "Исправить" shown exactly when offerCorrect, "Продолжить"
    // exactly when offerContinue. Returns 1, 4 or 2 (closed).
    virtual int errorGeneral(const QString& message, const QString& recommendation,
                             bool offerCorrect, bool offerContinue) = 0;
    // Error window, validation form: "Исправить" always, "Установить \"по-умолчанию\"" exactly
    // when offerDefault. Returns 1 (take the default), 4 (correct) or 2 (closed).
    virtual int errorValidation(const QString& message, const QString& recommendation,
                                bool offerDefault) = 0;
    // Confirmation window: with ask "Продолжить" and "Отказаться", without only "Продолжить".
    // Returns 1 for "Продолжить", 2 otherwise.
    virtual int confirm(const QString& message, const QString& recommendation, bool ask) = 0;

    // File dialogs: the chosen file's full name, empty when cancelled.
    virtual QString openFileName(const FileDialogRequest& request) = 0;
    virtual QString saveFileName(const FileDialogRequest& request) = 0;

    // Print dialog, then (when confirmed) one print job titled jobTitle on which draw() draws.
    // Returns false when the dialog was cancelled or the printer failed.
    virtual bool print(const QString& jobTitle, const std::function<void(PrintCanvas&)>& draw) = 0;

    // The settings dialog "Параметры работы". Returns true when closed with "Применить"; the two
    // records then hold what was taken over.
    virtual bool editSettings(LibrarySettings& library, NamingSettings& naming) = 0;
};

// The link window as the main window uses it.
class LinkWindow {
public:
    virtual ~LinkWindow() = default;

    // Hands the window the library settings, the local ports and the current set.
    virtual void prepareLink(const LibrarySettings& settings, const T_DEVICE_CommandMX3& set) = 0;
    // Shows the window modally until it is closed.
    virtual void exec() = 0;
    // 0 nothing changed, 1 the encryption key was changed, 2 parameters read from the device
    // were taken over.
    virtual int linkResult() const = 0;
    // Copies the window's parameter set into `set`.
    virtual void fetchParameters(T_DEVICE_CommandMX3& set) const = 0;
};

}  // namespace kl40
